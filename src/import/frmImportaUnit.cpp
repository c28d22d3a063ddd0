#include "frmImportaUnit.h"

#include "app/ContactListView.h"
#include "app/Desktop.h"
#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "store/Duplicates.h"
#include "app/WaitCursor.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

TfrmImporta::TfrmImporta(QWidget *owner) : QDialog(owner, Qt::Tool)
{
    setObjectName(QStringLiteral("frmImporta"));
    m_model = new ContactListModel(this);
    buildWindow();
    Messages::guarded([this] { FormCreate(); });
}

void TfrmImporta::buildWindow()
{
    setWindowTitle(QStringLiteral("Importa contatti"));
    setSizeGripEnabled(true);

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(5, 5, 5, 5);
    outer->setSpacing(4);

    gb = new QGroupBox(QStringLiteral("Elenco contatti importati:"), this);
    gb->setObjectName(QStringLiteral("gb"));
    auto *inner = new QVBoxLayout(gb);
    inner->setContentsMargins(6, 4, 6, 6);
    inner->setSpacing(4);
    lfile = label(gb, "lfile", QStringLiteral("File: "));
    lfile->setTextFormat(Qt::PlainText);
    // A long path must not widen the window; the full text stays readable as its hint.
    lfile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    inner->addWidget(lfile);
    listim = new ContactListView(gb);
    listim->setObjectName(QStringLiteral("listim"));
    listim->setModel(m_model);
    inner->addWidget(listim, 1);
    outer->addWidget(gb, 1);

    QFont italic = font();
    italic.setItalic(true);
    QFont bold = font();
    bold.setBold(true);

    auto *bottom = new QGridLayout;
    bottom->setHorizontalSpacing(6);
    bottom->setVerticalSpacing(4);
    QLabel *Label1 = label(this, "Label1", QStringLiteral("Totale contatti importati:"));
    Label1->setFont(italic);
    lcontatti = label(this, "lcontatti", QStringLiteral("0"));
    lcontatti->setFont(italic);
    QLabel *Label3 = label(this, "Label3", QStringLiteral("Totale contatti selezionati:"));
    lsel = label(this, "lsel", QStringLiteral("0"));
    lsel->setFont(bold);
    QLabel *Label2 = label(this, "Label2",
                           QStringLiteral("Seleziona i contatti che vuoi aggiungere nella rubrica di Rubrino "
                                          "e clicca su \"Importa\""));
    Label2->setWordWrap(true);
    lcambiati = label(this, "lcambiati", QString());
    lcambiati->setWordWrap(true);
    lcambiati->hide();

    auto speedButton = [this](const char *name, const QString &text) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
        b->setMinimumWidth(110);
        return b;
    };
    QToolButton *SpeedButton1 = speedButton("SpeedButton1", QStringLiteral("Seleziona tutti"));
    QToolButton *SpeedButton2 = speedButton("SpeedButton2", QStringLiteral("Deseleziona tutti"));
    QToolButton *SpeedButton3 = speedButton("SpeedButton3", QStringLiteral("Deseleziona doppioni"));
    SpeedButton3->setToolTip(QStringLiteral("Non importare i contatti che sembrano già in rubrica o ripetuti nel file"));

    auto *counts = new QHBoxLayout;
    counts->setSpacing(6);
    counts->addWidget(Label1);
    counts->addWidget(lcontatti);
    counts->addStretch(1);
    auto *selected = new QHBoxLayout;
    selected->setSpacing(6);
    selected->addWidget(Label3);
    selected->addWidget(lsel);
    selected->addStretch(1);
    auto *speed = new QHBoxLayout;
    speed->setSpacing(4);
    speed->addWidget(SpeedButton1);
    speed->addWidget(SpeedButton2);
    bottom->addLayout(counts, 0, 0);
    bottom->addLayout(speed, 0, 1, Qt::AlignRight);
    bottom->addLayout(selected, 1, 0);
    bottom->addWidget(SpeedButton3, 1, 1, Qt::AlignRight);
    bottom->addWidget(Label2, 2, 0, 1, 2);
    bottom->addWidget(lcambiati, 3, 0, 1, 2);
    bottom->setColumnStretch(0, 1);
    outer->addLayout(bottom);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Importa"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setFont(bold);
    BitBtn1->setDefault(true);
    BitBtn1->setMinimumWidth(100);
    auto *BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Annulla"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    BitBtn2->setMinimumWidth(100);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    outer->addLayout(buttons);

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { Messages::guarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { Messages::guarded([this] { SpeedButton2Click(); }); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { Messages::guarded([this] { SpeedButton3Click(); }); });
    // "Importa" closes the window whatever its handler did, a failed write included.
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        Messages::guarded([this] { BitBtn1Click(); });
        accept();
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(listim->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TfrmImporta::listimSelectItem);
    // Enter in the list means "Importa", as in any dialog with a default button.
    connect(listim, &ContactListView::enterPressed, BitBtn1, &QPushButton::click);

    setMinimumSize(500, 500);
    resize(500, 500);
    Desktop::fitToScreen(this, Desktop::Fit::Resizable);
}

void TfrmImporta::FormCreate()
{
    LoadList();
    SpeedButton1Click();
}

void TfrmImporta::LoadList()
{
    const TfrmMain *main = TfrmMain::instance();
    const QByteArrayList lines = main ? main->importLines : QByteArrayList();
    QList<int> numbers(lines.size());
    for (int k = 0; k < numbers.size(); ++k)
        numbers[k] = k + 1;
    m_model->setNumberedRows(lines, std::move(numbers));
    markDuplicates(lines);
    if (main)
        listim->copyColumnWidths(main->lista);
    lcontatti->setText(QString::number(m_model->rowCount()));
}

void TfrmImporta::listimSelectItem()
{
    lsel->setText(QString::number(listim->selectedRowCount()));
}

void TfrmImporta::SpeedButton1Click()
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    // One range for all rows, so that a hundred thousand candidates select at once.
    const QItemSelection all(m_model->index(0, 0), m_model->index(rows - 1, m_model->columnCount() - 1));
    listim->selectionModel()->select(all, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TfrmImporta::SpeedButton2Click()
{
    listim->selectionModel()->clearSelection();
}

QList<int> TfrmImporta::selectedRows() const
{
    QList<int> rows;
    for (const auto &span : listim->selectedSpans()) {
        for (int r = span.first; r <= span.second; ++r)
            rows.append(r);
    }
    return rows;
}

void TfrmImporta::setChangedValues(int count)
{
    lcambiati->setVisible(count > 0);
    lcambiati->setText(count == 1 ? QStringLiteral("1 valore conteneva lettere che la rubrica non può conservare: "
                                                   "sono state sostituite con le più simili (per esempio Ł con L).")
                                  : QStringLiteral("%1 valori contenevano lettere che la rubrica non può conservare: "
                                                   "sono state sostituite con le più simili (per esempio Ł con L).")
                                        .arg(count));
}

void TfrmImporta::BitBtn1Click()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        ShowError(QStringLiteral("Non c'è nulla da importare"));
        return;
    }
    // The candidates go after whatever the file holds now: the main window's book when the
    // file still holds exactly it, otherwise the file read afresh.
    BookEdit edit;
    edit.appended.reserve(rows.size());
    for (int row : rows)
        edit.appended.append(m_model->joinedFields(row));
    const TfrmMain *main = TfrmMain::instance();
    saveBookEdit(AddressBook::contactFile(), main ? &main->contactLines : nullptr, edit);
    m_imported = rows.size();
}

void TfrmImporta::markDuplicates(const QByteArrayList &lines)
{
    QStringList marks;
    if (!lines.isEmpty()) {
        WaitCursor wait;
        // The book as the file holds it now: the main window's, unless the file changed since
        // it was loaded (an earlier file of the same import added to it).
        const QString path = AddressBook::contactFile();
        const TfrmMain *main = TfrmMain::instance();
        BookLines book;
        try {
            book = main && main->contactLines.stillIn(path) ? main->contactLines : BookLines::read(path);
        } catch (const AppError &) {
            // A book that cannot be read has nothing to compare with; "Importa" will say why.
        }
        const Duplicates::Result found = Duplicates::find(book, lines);
        const qsizetype bookLines = book.size();
        marks.reserve(lines.size());
        for (qsizetype k = 0; k < lines.size(); ++k) {
            const quint32 match = found.firstMatch[size_t(bookLines + k)];
            if (match == Duplicates::kNone)
                marks.append(QString());
            else if (match < bookLines)
                marks.append(QString::number(match + 1));
            else
                marks.append(QStringLiteral("nel file"));
        }
    }
    m_model->setExtraColumn(QStringLiteral("Già in rubrica"), std::move(marks));
}

void TfrmImporta::SpeedButton3Click()
{
    const int column = m_model->columnCount() - 1;
    QItemSelection duplicates;
    for (int row = 0, rows = m_model->rowCount(); row < rows;) {
        if (m_model->data(m_model->index(row, column)).toString().isEmpty()) {
            ++row;
            continue;
        }
        // Runs of candidates as one range each.
        const int first = row;
        while (row < rows && !m_model->data(m_model->index(row, column)).toString().isEmpty())
            ++row;
        duplicates.select(m_model->index(first, 0), m_model->index(row - 1, column));
    }
    listim->selectionModel()->select(duplicates, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}
