#include "ContactListView.h"

#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "store/DateText.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <QtMath>

namespace {

// The columns' widths in pixels as the window was drawn, for MS Sans Serif 8 point, whose
// characters are about 5 pixels wide on average.
const int kDesignWidths[] = {30, 80, 80, 80, 90, 150, 70, 50, 70, 80, 80, 80, 80, 80, 100, 80, 80, 100, 100};
constexpr double kDesignCharWidth = 5.0;
constexpr int kNumberColumn = 0;
constexpr int kDateColumn = 1 + TContatto::datainserimento;

} // namespace

QString plainToolTip(const QString &text)
{
    QString html = text.toHtmlEscaped();
    while (html.endsWith(u'\r') || html.endsWith(u'\n'))
        html.chop(1);
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(u'\r', QStringLiteral("<br>"));
    html.replace(u'\n', QStringLiteral("<br>"));
    return QStringLiteral("<p style='white-space:pre'>") + html + QStringLiteral("</p>");
}

ContactListView::ContactListView(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab moves to the next control, as in every other control of the window; walking from
    // cell to cell would also collapse a selection of many rows to one.
    setTabKeyNavigation(false);
    setShowGrid(true);
    setWordWrap(false);
    setAlternatingRowColors(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    // Fixed row heights let the view skip measuring rows: a million rows scroll at once.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setTextElideMode(Qt::ElideRight);
}

void ContactListView::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelReset, this, &ContactListView::fitNumberColumn);
    connect(model, &QAbstractItemModel::rowsInserted, this, &ContactListView::fitNumberColumn);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ContactListView::fitNumberColumn);
    applyDesignWidths();
}

int ContactListView::textColumnWidth(const QString &text) const
{
    // What the item delegate asks for a line of text, and the grid line.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return qCeil(QFontMetricsF(font()).horizontalAdvance(text)) + 2 * margin + (showGrid() ? 1 : 0);
}

void ContactListView::applyDesignWidths()
{
    if (!model())
        return;
    const double scale = fontMetrics().averageCharWidth() / kDesignCharWidth;
    const int columns = std::min(model()->columnCount(), int(std::size(kDesignWidths)));
    for (int c = 0; c < columns; ++c)
        setColumnWidth(c, qRound(kDesignWidths[c] * scale));
    if (kDateColumn < columns) {
        // Any locale's longest date and time: two-digit day, month and hour.
        const QString sample = DateText::format(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)));
        setColumnWidth(kDateColumn, std::max(columnWidth(kDateColumn), textColumnWidth(sample)));
    }
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    fitNumberColumn();
}

void ContactListView::fitNumberColumn()
{
    const auto *contacts = qobject_cast<const ContactListModel *>(model());
    if (!contacts || contacts->columnCount() <= kNumberColumn)
        return;
    const int largest = contacts->largestLineNumber();
    // The widest digit as often as the largest number has digits.
    const QFontMetricsF metrics(font());
    QChar widest = u'0';
    for (char16_t d = u'1'; d <= u'9'; ++d) {
        if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(widest))
            widest = QChar(d);
    }
    const int needed = textColumnWidth(QString(QString::number(largest).size(), widest));
    if (columnWidth(kNumberColumn) < needed)
        setColumnWidth(kNumberColumn, needed);
}

void ContactListView::copyColumnWidths(const QTableView *from)
{
    for (int c = 0; c < from->model()->columnCount(); ++c)
        setColumnWidth(c, from->columnWidth(c));
    fitNumberColumn();
}

void ContactListView::enableSorting()
{
    QHeaderView *header = horizontalHeader();
    header->setSectionsClickable(true);
    showSortOrder(-1, Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    connect(header, &QHeaderView::sectionClicked, this, &ContactListView::columnClicked);
}

void ContactListView::showSortOrder(int column, Qt::SortOrder order)
{
    horizontalHeader()->setSortIndicator(column >= 1 ? column : -1, order);
}

QList<std::pair<int, int>> ContactListView::selectedSpans() const
{
    QList<std::pair<int, int>> spans;
    if (!selectionModel())
        return spans;
    for (const QItemSelectionRange &range : selectionModel()->selection())
        spans.append({range.top(), range.bottom()});
    std::sort(spans.begin(), spans.end());
    QList<std::pair<int, int>> merged;
    for (const auto &s : std::as_const(spans)) {
        if (!merged.isEmpty() && s.first <= merged.last().second + 1)
            merged.last().second = std::max(merged.last().second, s.second);
        else
            merged.append(s);
    }
    return merged;
}

int ContactListView::selectedRowCount() const
{
    int count = 0;
    for (const auto &span : selectedSpans())
        count += span.second - span.first + 1;
    return count;
}

void ContactListView::mousePressEvent(QMouseEvent *event)
{
    QTableView::mousePressEvent(event);
    Q_EMIT mousePressed();
}

void ContactListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT enterPressed();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ContactListView::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyDesignWidths();
}

void ContactListView::setEmptyText(const QString &text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    viewport()->update();
}

void ContactListView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (m_emptyText.isEmpty() || !model() || model()->rowCount() > 0)
        return;
    // Painted over the empty rows, so that the window's layout stays as it is.
    QPainter painter(viewport());
    const int margin = fontMetrics().averageCharWidth() * 4;
    const QRect area = viewport()->rect().adjusted(margin, margin, -margin, -margin);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
}

bool ContactListView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (m_hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), plainToolTip(m_hint), viewport());
        return true;
    }
    return QTableView::viewportEvent(event);
}
