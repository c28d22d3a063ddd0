#include "ContactListView.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

namespace {
// The hint ends every entry with CR; on screen each entry is a line of its own, and the
// values are shown as text, never as markup.
QString hintHtml(const QString &hint)
{
    QString html = hint.toHtmlEscaped();
    if (html.endsWith(u'\r'))
        html.chop(1);
    html.replace(u'\r', QStringLiteral("<br>"));
    return QStringLiteral("<p style='white-space:pre'>") + html + QStringLiteral("</p>");
}
} // namespace

ContactListView::ContactListView(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setAlternatingRowColors(false);
    verticalHeader()->hide();
    // Fixed row heights let the view skip measuring rows: a million rows scroll at once.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
}

void ContactListView::copyColumnWidths(const QTableView *from)
{
    for (int c = 0; c < from->model()->columnCount(); ++c)
        setColumnWidth(c, from->columnWidth(c));
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

bool ContactListView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (m_hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), hintHtml(m_hint), viewport());
        return true;
    }
    return QTableView::viewportEvent(event);
}
