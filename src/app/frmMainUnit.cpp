#include "frmMainUnit.h"

#include "CardLabel.h"
#include "ContactListView.h"
#include "Desktop.h"
#include "Messages.h"
#include "WaitCursor.h"
#include "frmSplashUnit.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "store/ContactListModel.h"
#include "store/FileAccess.h"
#include "store/TextCodec.h"
#include "vcard/Msvcard.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

namespace {

TfrmMain *g_instance = nullptr;

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    return Desktop::button(parent, name, text);
}

} // namespace

TfrmMain *TfrmMain::instance()
{
    return g_instance;
}

// FormCreate: the splash first, so that it is on screen while everything else is made.
TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent)
{
    g_instance = this;
    setObjectName(QStringLiteral("frmMain"));
    // A large book takes a moment to read: the other processor core reads it while this
    // one shows the splash and builds the window, and the first reload takes it over.
    BookLines::readAhead(AddressBook::contactFile());

    splashWindow = new TfrmSplash(this);
    splashWindow->showPainted();

    // The data folder lives beside the program; a failure here shows up at the first write.
    AddressBook::ensureDataFolder();

    csv = new TCSVStringInfo(this);
    csv->setObjectName(QStringLiteral("csv"));
    vcard = new TmsVCard(this);
    vcard->setObjectName(QStringLiteral("vcard"));
    m_model = new ContactListModel(this);

    buildWindow();
}

TfrmMain::~TfrmMain()
{
    if (g_instance == this)
        g_instance = nullptr;
}

void TfrmMain::buildWindow()
{
    setWindowTitle(QStringLiteral("Rubrino 1.1"));
    setWindowIcon(QIcon(QStringLiteral(":/rubrino.png")));

    auto *GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    setCentralWidget(GroupBox1);
    auto *outer = new QVBoxLayout(GroupBox1);
    outer->setContentsMargins(8, 6, 8, 6);
    outer->setSpacing(4);

    // Search row: chooser, key, "Cerca ...".
    auto *search = new QGridLayout;
    search->setHorizontalSpacing(8);
    search->setVerticalSpacing(2);
    search->addWidget(label(GroupBox1, "Label5", QStringLiteral("Cerca contatto tra:")), 0, 0);
    cbcerca = new QComboBox(GroupBox1);
    cbcerca->setObjectName(QStringLiteral("cbcerca"));
    cbcerca->setEditable(false);
    cbcerca->setMinimumWidth(160);
    search->addWidget(cbcerca, 1, 0);
    search->addWidget(label(GroupBox1, "Label6", QStringLiteral("Chiave di ricerca:")), 0, 1);
    txtsearch = new QLineEdit(GroupBox1);
    txtsearch->setObjectName(QStringLiteral("txtsearch"));
    txtsearch->setMaxLength(100);
    search->addWidget(txtsearch, 1, 1);
    Button4 = button(GroupBox1, "Button4", QStringLiteral("Cerca ..."));
    Button4->setDefault(true);
    search->addWidget(Button4, 1, 2);
    search->setColumnStretch(1, 1);
    outer->addLayout(search);

    outer->addWidget(label(GroupBox1, "Label1", QStringLiteral("Rubrica:")));

    // The list and the card beside it.
    auto *middle = new QHBoxLayout;
    middle->setSpacing(6);
    lista = new ContactListView(GroupBox1);
    lista->setObjectName(QStringLiteral("lista"));
    lista->setModel(m_model);
    lista->enableSorting();
    middle->addWidget(lista, 1);

    gb = new QGroupBox(QStringLiteral("Scheda contatto:"), GroupBox1);
    gb->setObjectName(QStringLiteral("gb"));
    // Wide enough for a phone number, an e-mail address and the date in full.
    gb->setFixedWidth(300);
    auto *card = new QGridLayout(gb);
    card->setContentsMargins(6, 4, 6, 6);
    card->setHorizontalSpacing(6);
    card->setVerticalSpacing(1);
    struct CardRow { const char *caption; const char *value; const char *hint; };
    const CardRow rows[] = {
        {"Nome:", "lnome", nullptr},
        {"Cognome: ", "lcognome", nullptr},
        {"Posizione:", "lposizione", nullptr},
        {"Organizzazione:", "lorganizzazione", nullptr},
        {"Indirizzo: ", "lindirizzo", nullptr},
        {"Città:", "lcitta", nullptr},
        {"CAP:", "lcap", nullptr},
        {"Nazione:", "lnazione", nullptr},
        {"Cell. privato: ", "lcellprivato", "Chiama questo numero"},
        {"Cell. lavoro:", "lcelllavoro", "Chiama questo numero"},
        {"Tel. casa:", "ltelcasa", "Chiama questo numero"},
        {"Tel. lavoro:", "ltelufficio", "Chiama questo numero"},
        {"Fax:", "lfax", nullptr},
        {"Istant messenger:", "listantmessenger", "Visita questo sito"},
        {"E-mail:", "lemail", "Manda una email"},
        {"Sito:", "lsito", "Visita questo sito"},
        {"Data inserimento:", "ldata", nullptr},
    };
    QFont captionFont = gb->font();
    captionFont.setBold(true);
    int r = 0;
    for (const CardRow &row : rows) {
        QLabel *caption = label(gb, QByteArray("Label" + QByteArray::number(7 + r)).constData(),
                                QString::fromUtf8(row.caption));
        caption->setFont(captionFont);
        auto *value = new CardLabel(row.hint ? QString::fromUtf8(row.hint) : QString(), gb);
        value->setObjectName(QLatin1String(row.value));
        if (row.hint) {
            // Links of the card: blue, a hand cursor, and their hint.
            value->setStyleSheet(QStringLiteral("color: blue;"));
            value->setCursor(Qt::PointingHandCursor);
            value->installEventFilter(this);
        }
        card->addWidget(caption, r, 0);
        card->addWidget(value, r, 1);
        m_cardLabels.append(value);
        ++r;
    }
    QLabel *noteCaption = label(gb, "Label24", QStringLiteral("Note:"));
    noteCaption->setFont(captionFont);
    card->addWidget(noteCaption, r++, 0, 1, 2);
    mnote = new QPlainTextEdit(QStringLiteral("-"), gb);
    mnote->setObjectName(QStringLiteral("mnote"));
    mnote->setReadOnly(true);
    mnote->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    card->addWidget(mnote, r, 0, 1, 2);
    card->setRowStretch(r, 1);
    card->setColumnStretch(1, 1);
    middle->addWidget(gb);
    outer->addLayout(middle, 1);

    // Counters.
    auto *counters = new QHBoxLayout;
    QLabel *Label3 = label(GroupBox1, "Label3", QStringLiteral("Numero totale contatti:"));
    lcont = label(GroupBox1, "lcont", QStringLiteral("0"));
    QFont bold = lcont->font();
    bold.setBold(true);
    lcont->setFont(bold);
    lsear = label(GroupBox1, "lsear", QStringLiteral("0"));
    lsel = label(GroupBox1, "lsel", QStringLiteral("0"));
    counters->addWidget(Label3);
    counters->addWidget(lcont);
    counters->addSpacing(24);
    counters->addWidget(label(GroupBox1, "Label2", QStringLiteral("N. contatti trovati: ")));
    counters->addWidget(lsear);
    counters->addSpacing(24);
    counters->addWidget(label(GroupBox1, "Label25", QStringLiteral("N. contatti selezionati: ")));
    counters->addWidget(lsel);
    counters->addStretch(1);
    // The tools that came later close the counters' row, where it has room: the button rows
    // and the caption beside "Ricarica lista" stay as they were.
    auto *tools = new QHBoxLayout;
    QPushButton *Button10 = button(GroupBox1, "Button10", QStringLiteral("Doppioni ..."));
    tools->addWidget(Button10);
    counters->addLayout(tools);
    outer->addLayout(counters);

    // First button row.
    auto *row1 = new QHBoxLayout;
    QPushButton *Button1 = button(GroupBox1, "Button1", QStringLiteral("Aggiungi ..."));
    QPushButton *Button2 = button(GroupBox1, "Button2", QStringLiteral("Modifica ..."));
    QPushButton *Button3 = button(GroupBox1, "Button3", QStringLiteral("Elimina ..."));
    QPushButton *Button6 = button(GroupBox1, "Button6", QStringLiteral("Promemoria ..."));
    QPushButton *Button9 = button(GroupBox1, "Button9", QStringLiteral("Importa ..."));
    QPushButton *Button5 = button(GroupBox1, "Button5", QStringLiteral("Esporta ..."));
    Button5->setToolTip(QStringLiteral("Esporta i contatti selezionati o tutta la rubrica"));
    row1->addWidget(Button1);
    row1->addWidget(Button2);
    row1->addWidget(Button3);
    row1->addStretch(1);
    row1->addWidget(Button6);
    row1->addWidget(Button9);
    row1->addWidget(Button5);
    outer->addLayout(row1);

    auto *Bevel1 = new QFrame(GroupBox1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    outer->addWidget(Bevel1);

    // Second button row.
    auto *row2 = new QHBoxLayout;
    QPushButton *BitBtn3 = button(GroupBox1, "BitBtn3", QStringLiteral("&Ricarica lista"));
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    QLabel *Label4 = label(GroupBox1, "Label4",
                           QStringLiteral("Rubrino 1.1 - a cura della squadra di Rubrino"));
    Label4->setEnabled(false);
    Label4->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QPushButton *Button7 = button(GroupBox1, "Button7", QStringLiteral("Informazioni su ..."));
    QPushButton *BitBtn2 = button(GroupBox1, "BitBtn2", QStringLiteral("&Guida"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    QPushButton *BitBtn1 = button(GroupBox1, "BitBtn1", QStringLiteral("&Esci"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    row2->addWidget(BitBtn3);
    row2->addSpacing(8);
    row2->addWidget(Label4, 1);
    row2->addWidget(Button7);
    row2->addWidget(BitBtn2);
    row2->addWidget(BitBtn1);
    outer->addLayout(row2);

    // Tab order as the window was designed.
    QWidget *order[] = {cbcerca, txtsearch, Button4, lista, gb, Button1, Button2, Button3, Button6,
                        Button9, Button5, BitBtn3, Button7, BitBtn2, BitBtn1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    setTabOrder(Button5, Button10);
    addVersionControls(tools, Button10);

    auto handle = [this](QPushButton *b, void (TfrmMain::*fn)()) {
        connect(b, &QPushButton::clicked, this, [this, fn] { Messages::guarded([&] { (this->*fn)(); }); });
    };
    handle(Button1, &TfrmMain::Button1Click);
    handle(Button2, &TfrmMain::Button2Click);
    handle(Button3, &TfrmMain::Button3Click);
    handle(Button4, &TfrmMain::Button4Click);
    handle(Button5, &TfrmMain::Button5Click);
    handle(Button6, &TfrmMain::Button6Click);
    handle(Button7, &TfrmMain::Button7Click);
    handle(Button9, &TfrmMain::Button9Click);
    handle(Button10, &TfrmMain::Button10Click);
    handle(BitBtn2, &TfrmMain::BitBtn2Click);
    handle(BitBtn3, &TfrmMain::BitBtn3Click);
    connect(BitBtn1, &QPushButton::clicked, this, &QWidget::close);

    // "Cerca ..." is the window's default button: Enter in the search controls and the
    // list starts the search; Enter on a focused button presses that button.
    connect(txtsearch, &QLineEdit::returnPressed, Button4, &QPushButton::click);
    cbcerca->installEventFilter(this);
    connect(lista, &ContactListView::enterPressed, Button4, &QPushButton::click);

    connect(lista->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TfrmMain::onSelectionChanged);
    // A search, a reload or a delete rebuilds the rows and drops the selection without a
    // selection event: the counter follows all the same.
    connect(m_model, &QAbstractItemModel::modelReset, this, &TfrmMain::updateSelectedCount);
    connect(lista, &ContactListView::mousePressed, this, [this] { Messages::guarded([this] { listaMouseDown(); }); });
    connect(lista, &QAbstractItemView::doubleClicked, this, [this] { Messages::guarded([this] { listaDblClick(); }); });
    connect(lista, &ContactListView::columnClicked, this,
            [this](int column) { Messages::guarded([&] { listaColumnClick(column); }); });

    // Keyboard comfort: Ctrl+F to the search key, F5 reloads, Delete deletes the selected rows.
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, txtsearch, [this] { txtsearch->setFocus(); txtsearch->selectAll(); });
    auto *refresh = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(refresh, &QShortcut::activated, BitBtn3, &QPushButton::click);
    auto *del = new QShortcut(QKeySequence::Delete, lista, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, Button3, &QPushButton::click);
    // F2 changes the contact on the card, as a double-click does; Ctrl+C in the list copies
    // the chosen contacts, as "Copia" of its menu does.
    auto *edit = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(edit, &QShortcut::activated, Button2, &QPushButton::click);
    auto *copy = new QShortcut(QKeySequence::Copy, lista, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, [this] { Messages::guarded([this] { CopiaClick(); }); });
    lista->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lista, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { Messages::guarded([&] { showListMenu(at); }); });

    setMinimumSize(790, 532);
    resize(798, 594);
    Desktop::fitToScreen(this, Desktop::Fit::Resizable);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cbcerca && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Button4->click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        // A click: the left button let go over the link it was pressed on.
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *l = qobject_cast<CardLabel *>(watched);
        if (l && m_cardLabels.contains(l) && mouse->button() == Qt::LeftButton
            && l->rect().contains(mouse->position().toPoint()) && !l->hasSelectedText()) {
            Messages::guarded([&] { cardLinkClick(l); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::showEvent(QShowEvent *event)
{
    if (!m_shown) {
        m_shown = true;
        Messages::guarded([this] { FormShow(); });
    }
    QMainWindow::showEvent(event);
}

void TfrmMain::FormShow()
{
    // Every step runs whatever became of the one before: a book that cannot be read is
    // reported, and the window still comes up ready to search once it is repaired and
    // reloaded. The splash goes in any case.
    const auto closeSplash = qScopeGuard([this] { delete splashWindow; });
    Messages::guarded([this] {
        try {
            Reload();
        } catch (...) {
            // The splash stays on top of everything: it goes before the error box comes up.
            delete splashWindow;
            throw;
        }
    });
    // The chooser offers the field captions of the list's columns, without "N.": its
    // item index is the 0-based field index.
    cbcerca->clear();
    for (int c = 1; c < m_model->columnCount(); ++c)
        cbcerca->addItem(m_model->headerData(c, Qt::Horizontal).toString());
    cbcerca->setCurrentIndex(0);
    openReminderAtStartup();
}

void TfrmMain::Reload()
{
    // Everything that holds the old book lets it go first, so that a large book is never
    // held twice; the counter follows the emptied list until the new book is in.
    searchValues.clear();
    contactLines = BookLines();
    m_model->clear();
    selectedIndex = 0;
    selectedNumber.clear();
    lista->setHint(QString());
    ClearContact();
    lcont->setText(QStringLiteral("0"));

    // A missing file is an empty book. A zero-length line is no contact: it is not listed,
    // but it stays in the file and keeps its number, so the numbering shows a gap there.
    const QString path = AddressBook::contactFile();
    try {
        contactLines = BookLines::read(path);
        m_model->setRows(contactLines, contactLines.nonEmptyLines());
    } catch (const std::bad_alloc &) {
        m_model->clear();
        contactLines = BookLines();
        throw AppError(FileAccess::outOfMemory(path));
    }
    lista->showSortOrder(m_model->sortColumn(), m_model->sortOrder());
    lcont->setText(QString::number(m_model->rowCount()));
    // A search of an empty book leaves it empty: the text stays until a reload finds contacts.
    lista->setEmptyText(m_model->rowCount() > 0
                            ? QString()
                            : QStringLiteral("La rubrica è vuota: premi «Aggiungi ...» per il primo contatto, "
                                             "o «Importa ...» per portarli da un altro programma."));
}

void TfrmMain::ClearContact()
{
    gb->setTitle(QStringLiteral("Scheda contatto:"));
    for (CardLabel *l : std::as_const(m_cardLabels))
        l->setValue("-");
    mnote->setPlainText(QStringLiteral("-"));
}

void TfrmMain::LoadLis(int fieldIndex)
{
    // The values are views into the lines of contactLines, found as the search reads them:
    // a search of a million contacts copies nothing. They live until the next reload.
    searchValues = SearchValues(contactLines, fieldIndex);
}

void TfrmMain::onSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    if (m_restoringSelection)
        return;
    // The card shows the row the user chose last, the current row, whatever the change did
    // to other rows: a plain click inside a range keeps the clicked row selected and drops
    // the others. Without a current row, the last row of the change.
    int row = lista->selectionModel()->currentIndex().row();
    if (row < 0) {
        for (const QItemSelection *part : {&selected, &deselected}) {
            for (const QItemSelectionRange &range : *part)
                row = std::max(row, range.bottom());
        }
    }
    if (row >= 0)
        listaSelectItem(row);
}

void TfrmMain::listaSelectItem(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    selectedNumber = QString::number(m_model->lineNumber(row));
    selectedIndex = row;
    gb->setTitle(QStringLiteral("Scheda contatto n. ") + selectedNumber + QStringLiteral(" :"));
    const QList<QByteArrayView> fields = m_model->fieldViews(row);
    // Fields 1 to 16 and 18 go to the labels, the note (17) to the memo.
    for (int k = 0; k < m_cardLabels.size(); ++k) {
        const int field = k < TContatto::note ? k : TContatto::datainserimento;
        m_cardLabels[k]->setValue(AddressBook::shownPart(fields[field]).toByteArray());
    }
    mnote->setPlainText(AddressBook::shownField(fields[TContatto::note]));
    updateSelectedCount();
}

void TfrmMain::updateSelectedCount()
{
    lsel->setText(QString::number(lista->selectedRowCount()));
}

void TfrmMain::chooseLines(int first, int last)
{
    QItemSelection selection;
    int firstRow = -1;
    const int lastColumn = m_model->columnCount() - 1;
    for (int row = 0, rows = m_model->rowCount(), start = -1; row <= rows; ++row) {
        bool in = false;
        if (row < rows) {
            const int line = m_model->lineNumber(row);
            in = line >= first && line <= last;
            if (line == first)
                firstRow = row;
        }
        if (in && start < 0)
            start = row;
        if (!in && start >= 0) {
            selection.select(m_model->index(start, 0), m_model->index(row - 1, lastColumn));
            start = -1;
        }
    }
    if (firstRow < 0)
        return;
    // The card follows the current row: it goes to the first of them as they are selected.
    QItemSelectionModel *model = lista->selectionModel();
    model->setCurrentIndex(m_model->index(firstRow, 0), QItemSelectionModel::NoUpdate);
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    lista->scrollTo(m_model->index(firstRow, 0), QAbstractItemView::PositionAtCenter);
}

QList<int> TfrmMain::selectedRows() const
{
    QList<int> rows;
    const QItemSelection selection = lista->selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.append(r);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TfrmMain::listaMouseDown()
{
    if (selectedNumber.isEmpty())
        return;
    // One entry per field, each ended by CR; the view shows one line per field.
    QString hint;
    const QList<QByteArrayView> fields = m_model->fieldViews(selectedIndex);
    for (int c = 1; c < m_model->columnCount(); ++c) {
        hint += m_model->headerData(c, Qt::Horizontal).toString() + QStringLiteral(": ")
            + AddressBook::shownField(fields[c - 1]) + u'\r';
    }
    lista->setHint(hint);
}

void TfrmMain::listaDblClick()
{
    Button2Click();
}

void TfrmMain::listaColumnClick(int column)
{
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column >= 1 && column == m_model->sortColumn() && m_model->sortOrder() == Qt::AscendingOrder)
        order = Qt::DescendingOrder;
    sortList(column, order);
}

void TfrmMain::sortList(int column, Qt::SortOrder order)
{
    // A selection scattered over more ranges than this would make every repaint and every
    // click of the list crawl (the selection is a list of ranges, searched cell by cell):
    // then only the contact on the card stays chosen.
    constexpr int kMostRanges = 1000;

    WaitCursor wait;
    // The chosen contacts by their lines: their rows change with the order.
    std::vector<bool> chosen(size_t(contactLines.size()), false);
    for (const auto &[first, last] : lista->selectedSpans()) {
        for (int row = first; row <= last; ++row)
            chosen[size_t(m_model->lineNumber(row) - 1)] = true;
    }
    const int currentLine = m_model->lineNumber(lista->currentIndex().row());
    const int cardLine = selectedNumber.toInt(); // 0 when no contact is on the card

    QString failure;
    try {
        m_model->sort(column, order);
    } catch (const AppError &e) {
        failure = e.message(); // the rows are in file order: the choice is found again all the same
    }
    lista->showSortOrder(m_model->sortColumn(), order);

    QItemSelection selection;
    int currentRow = -1;
    int cardRow = -1;
    int spans = 0;
    const int lastColumn = m_model->columnCount() - 1;
    for (int row = 0, rows = m_model->rowCount(), start = -1; row <= rows; ++row) {
        bool in = false;
        if (row < rows) {
            const int line = m_model->lineNumber(row);
            if (line == currentLine)
                currentRow = row;
            if (line == cardLine)
                cardRow = row;
            in = chosen[size_t(line - 1)];
        }
        if (in && start < 0)
            start = row;
        if (!in && start >= 0) {
            if (++spans <= kMostRanges)
                selection.select(m_model->index(start, 0), m_model->index(row - 1, lastColumn));
            start = -1;
        }
    }
    if (spans > kMostRanges) {
        selection.clear();
        if (cardRow >= 0 && chosen[size_t(cardLine - 1)])
            selection.select(m_model->index(cardRow, 0), m_model->index(cardRow, lastColumn));
    }
    {
        const QScopedValueRollback restoring(m_restoringSelection, true);
        QItemSelectionModel *model = lista->selectionModel();
        if (currentRow >= 0)
            model->setCurrentIndex(m_model->index(currentRow, 0), QItemSelectionModel::NoUpdate);
        model->select(selection, QItemSelectionModel::Select);
    }
    // The card goes on showing its contact, now on another row.
    if (cardRow >= 0)
        selectedIndex = cardRow;
    updateSelectedCount();
    const int shown = cardRow >= 0 ? cardRow : currentRow;
    if (shown >= 0)
        lista->scrollTo(m_model->index(shown, 0), QAbstractItemView::PositionAtCenter);
    else
        lista->scrollToTop();
    if (!failure.isEmpty())
        ShowError(failure);
}

void TfrmMain::Button4Click()
{
    // The key is taken exactly as typed; only the letters A to Z are compared without case.
    const QString key = txtsearch->text();
    if (key.isEmpty()) {
        ShowError(QStringLiteral("Specifica una chiave di ricerca valida."));
        return;
    }
    LoadLis(cbcerca->currentIndex());
    m_model->clear();
    selectedIndex = 0;
    selectedNumber.clear();
    lista->setHint(QString());
    ClearContact();

    LineSet rows;
    // A character the address book cannot hold matches nothing.
    const bool storable = std::all_of(key.begin(), key.end(), TextCodec::isAnsi);
    const QByteArray needle = TextCodec::toAnsi(key);
    // The stored text matches, and so does the text the list shows for it: a comma is
    // stored as "&#44;" and a leading double quote as "&#34;". Only a key holding one of
    // these two can match the shown text where the stored one does not.
    const bool coded = needle.contains(',') || needle.contains('"');
    QByteArray buffer;
    searchValues.forEach([&](qsizetype, QByteArrayView value) {
        bool match = storable && AddressBook::containsIgnoringAsciiCase(value, needle);
        if (storable && !match && coded)
            match = AddressBook::containsIgnoringAsciiCase(
                AddressBook::shownValue(AddressBook::shownPart(value), buffer), needle);
        rows.append(match);
    });
    rows.finish();
    const qsizetype found = rows.count();
    m_model->setRows(contactLines, std::move(rows));
    lista->showSortOrder(m_model->sortColumn(), m_model->sortOrder());
    lsear->setText(QString::number(found));
}

void TfrmMain::BitBtn3Click()
{
    Reload();
}
