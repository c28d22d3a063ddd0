#include "frmDoppioniUnit.h"

#include "Desktop.h"
#include "Messages.h"
#include "WaitCursor.h"
#include "frmAvanzamentoUnit.h"
#include "frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "store/DateText.h"
#include "store/Progress.h"
#include "store/TextCodec.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Rows shown open at first: beyond this many contacts the groups stay closed, so that a
// book full of duplicates opens at once; each one opens with a click.
constexpr int kOpenContacts = 2000;

QString shown(QByteArrayView stored)
{
    return AddressBook::shownField(stored);
}

bool isEmptyValue(QByteArrayView v)
{
    return v.isEmpty() || v == "-";
}

} // namespace

// The groups as a tree: a row for each group, under it a row for each of its contacts with
// its "N.", name, surname, telephones, e-mail, date and why it matched, and a box to tick it
// for "Elimina ...". The texts are made from the book's lines when the view asks for them.
class DuplicateGroupsModel : public QAbstractItemModel
{
public:
    enum Column { Number, Given, Family, Phones, Email, Date, Why, ColumnCount };

    DuplicateGroupsModel(QObject *parent, BookLines book, Duplicates::Result result)
        : QAbstractItemModel(parent), m_book(std::move(book)), m_r(std::move(result)),
          m_ticked(m_r.members.size(), false)
    {
    }

    const Duplicates::Result &result() const { return m_r; }
    bool ticked(int group, int position) const { return m_ticked[m_r.starts[size_t(group)] + size_t(position)]; }
    void setTicked(int group, int position, bool on)
    {
        m_ticked[m_r.starts[size_t(group)] + size_t(position)] = on;
        const QModelIndex i = index(position, Number, index(group, 0));
        Q_EMIT dataChanged(i, i, {Qt::CheckStateRole});
    }
    quint32 member(int group, int position) const { return m_r.group(group)[position]; }

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override
    {
        if (row < 0 || column < 0 || column >= ColumnCount)
            return {};
        if (!parent.isValid())
            return row < m_r.groupCount() ? createIndex(row, column, quintptr(0)) : QModelIndex();
        if (parent.internalId() != 0 || row >= m_r.groupSize(parent.row()))
            return {};
        return createIndex(row, column, quintptr(parent.row()) + 1);
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        if (!child.isValid() || child.internalId() == 0)
            return {};
        return createIndex(int(child.internalId() - 1), 0, quintptr(0));
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        if (!parent.isValid())
            return int(m_r.groupCount());
        if (parent.internalId() == 0 && parent.column() == 0)
            return int(m_r.groupSize(parent.row()));
        return 0;
    }
    int columnCount(const QModelIndex & = QModelIndex()) const override { return ColumnCount; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const captions[] = {"N.", "Nome", "Cognome", "Telefoni", "E-mail", "Data inserimento", "Motivo"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
            return QString::fromUtf8(captions[section]);
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex &i) const override
    {
        if (!i.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (i.internalId() != 0 && i.column() == Number)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }

    QVariant data(const QModelIndex &i, int role) const override
    {
        if (!i.isValid())
            return {};
        if (i.internalId() == 0) {
            if (role != Qt::DisplayRole || i.column() != Number)
                return {};
            // The group's line: its number, its size, and why its contacts were put together.
            quint8 why = 0;
            const quint32 *m = m_r.group(i.row());
            for (qsizetype k = 0; k < m_r.groupSize(i.row()); ++k)
                why |= m_r.reasons[m[k]];
            return QStringLiteral("Gruppo %1: %2 contatti (%3)")
                .arg(i.row() + 1)
                .arg(m_r.groupSize(i.row()))
                .arg(Duplicates::reasonText(why));
        }
        const int group = int(i.internalId() - 1);
        const quint32 line = member(group, i.row());
        if (role == Qt::CheckStateRole && i.column() == Number)
            return ticked(group, i.row()) ? Qt::Checked : Qt::Unchecked;
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        if (i.column() == Number)
            return QString::number(line + 1);
        if (i.column() == Why)
            return Duplicates::reasonText(m_r.reasons[line]);
        const QList<QByteArrayView> f = fields(line);
        switch (i.column()) {
        case Given:
            return shown(f[TContatto::nome]);
        case Family:
            return shown(f[TContatto::cognome]);
        case Email:
            return shown(f[TContatto::email]);
        case Date:
            return shown(f[TContatto::datainserimento]);
        case Phones: {
            QStringList phones;
            for (int k : {TContatto::cellprivato, TContatto::celllavoro, TContatto::telcasa, TContatto::telufficio}) {
                if (!isEmptyValue(f[k]))
                    phones << shown(f[k]);
            }
            return phones.isEmpty() ? QStringLiteral("-") : phones.join(QStringLiteral(" / "));
        }
        }
        return {};
    }

    bool setData(const QModelIndex &i, const QVariant &value, int role) override
    {
        if (!i.isValid() || i.internalId() == 0 || i.column() != Number || role != Qt::CheckStateRole)
            return false;
        setTicked(int(i.internalId() - 1), i.row(), value.toInt() == Qt::Checked);
        return true;
    }

private:
    QList<QByteArrayView> fields(quint32 line) const
    {
        QList<QByteArrayView> f = TCSVStringInfo::fieldViews(m_book[line]);
        f.resize(TContatto::FieldCount);
        return f;
    }

    BookLines m_book;
    Duplicates::Result m_r;
    std::vector<bool> m_ticked;
};

TfrmDoppioni::TfrmDoppioni(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmDoppioni"));
    buildWindow();
}

TfrmDoppioni::~TfrmDoppioni() = default;

void TfrmDoppioni::buildWindow()
{
    setWindowTitle(QStringLiteral("Doppioni"));
    setSizeGripEnabled(true);
    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(6);

    lstato = new QLabel(this);
    lstato->setObjectName(QStringLiteral("lstato"));
    lstato->setTextFormat(Qt::PlainText);
    QFont bold = lstato->font();
    bold.setBold(true);
    lstato->setFont(bold);
    outer->addWidget(lstato);

    listdoppi = new QTreeView(this);
    listdoppi->setObjectName(QStringLiteral("listdoppi"));
    listdoppi->setUniformRowHeights(true);
    listdoppi->setAllColumnsShowFocus(true);
    listdoppi->setSelectionMode(QAbstractItemView::SingleSelection);
    listdoppi->setSelectionBehavior(QAbstractItemView::SelectRows);
    listdoppi->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listdoppi->header()->setStretchLastSection(true);
    outer->addWidget(listdoppi, 1);

    auto *Label1 = new QLabel(QStringLiteral("Scegli un gruppo: \"Unisci ...\" ne fa un solo contatto scegliendo campo per "
                                             "campo (solo i contatti spuntati, se ne hai spuntati almeno due); "
                                             "\"Elimina ...\" toglie dalla rubrica i contatti spuntati."),
                              this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    outer->addWidget(Label1);

    auto *buttons = new QHBoxLayout;
    Button1 = Desktop::button(this, "Button1", QStringLiteral("Unisci ..."), 100);
    Button2 = Desktop::button(this, "Button2", QStringLiteral("Elimina ..."), 100);
    auto *BitBtn1 = Desktop::button(this, "BitBtn1", QStringLiteral("Chiudi"), 100);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    outer->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button2Click(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    // A double click on a contact of a group merges that group, the likeliest wish.
    connect(listdoppi, &QTreeView::doubleClicked, this, [this](const QModelIndex &i) {
        if (i.isValid() && i.internalId() != 0)
            Button1->click();
    });

    resize(820, 480);
    Desktop::fitToScreen(this, Desktop::Fit::Resizable);
}

void TfrmDoppioni::FormCreate()
{
    regroup();
}

void TfrmDoppioni::regroup()
{
    TfrmMain *main = TfrmMain::instance();
    m_book = main ? main->contactLines : BookLines();
    Duplicates::Result result;
    {
        WaitCursor wait;
        QWidget *owner = isVisible() ? static_cast<QWidget *>(this) : parentWidget();
        TfrmAvanzamento window(owner, QStringLiteral("Ricerca doppioni"),
                               QStringLiteral("File: ") + QDir::toNativeSeparators(AddressBook::contactFile()));
        const qsizetype lines = m_book.size();
        Progress progress(Duplicates::progressTotal(lines), 1 << 16,
                          window.hook([lines](qint64, qint64, qint64) {
                              return QStringLiteral("Confronto di %1 contatti").arg(TfrmAvanzamento::number(lines));
                          }));
        result = Duplicates::find(m_book, {}, &progress);
    }

    // The old model goes once the view shows the new one.
    DuplicateGroupsModel *old = m_model;
    m_model = new DuplicateGroupsModel(this, m_book, std::move(result));
    listdoppi->setModel(m_model);
    delete old;

    const Duplicates::Result &r = m_model->result();
    if (r.groupCount() == 0) {
        lstato->setText(QStringLiteral("Nessun doppione trovato."));
    } else {
        lstato->setText(QStringLiteral("Gruppi di contatti che sembrano la stessa persona: %1 (%2 contatti)")
                            .arg(TfrmAvanzamento::number(r.groupCount()), TfrmAvanzamento::number(qint64(r.members.size()))));
    }
    qsizetype open = 0;
    for (int g = 0; g < r.groupCount(); ++g) {
        listdoppi->setFirstColumnSpanned(g, QModelIndex(), true);
        if (g == 0 || open + r.groupSize(g) <= kOpenContacts) {
            listdoppi->expand(m_model->index(g, 0));
            open += r.groupSize(g);
        }
    }
    // Each column as wide as what it shows in the groups open, within reason; the window
    // grows to show them all when the screen has room.
    // "N." holds a box and a line number; the groups' own lines span the row and say nothing
    // of its width.
    listdoppi->setColumnWidth(0, listdoppi->indentation() + style()->pixelMetric(QStyle::PM_IndicatorWidth)
                                     + fontMetrics().horizontalAdvance(QString::number(m_book.size()) + u' ') + 44);
    int width = listdoppi->columnWidth(0);
    for (int c = 1; c < DuplicateGroupsModel::ColumnCount; ++c) {
        listdoppi->resizeColumnToContents(c);
        listdoppi->setColumnWidth(c, std::min(listdoppi->columnWidth(c) + 12, 280));
        width += listdoppi->columnWidth(c);
    }
    if (!isVisible()) {
        resize(std::clamp(width + 60, 640, 1200), height());
        Desktop::fitToScreen(this, Desktop::Fit::Resizable);
    }
    Button1->setEnabled(r.groupCount() > 0);
    Button2->setEnabled(r.groupCount() > 0);
    if (r.groupCount() > 0)
        chooseGroup(0);
}

qsizetype TfrmDoppioni::groupCount() const
{
    return m_model ? m_model->result().groupCount() : 0;
}

int TfrmDoppioni::chosenGroup() const
{
    const QModelIndex i = listdoppi->currentIndex();
    if (!i.isValid() || !m_model)
        return -1;
    return i.internalId() == 0 ? i.row() : int(i.internalId() - 1);
}

void TfrmDoppioni::chooseGroup(int group)
{
    if (!m_model || group < 0 || group >= groupCount())
        return;
    listdoppi->setCurrentIndex(m_model->index(group, 0));
}

void TfrmDoppioni::setTicked(int group, int position, bool ticked)
{
    if (m_model && group >= 0 && group < groupCount() && position >= 0 && position < m_model->result().groupSize(group))
        m_model->setTicked(group, position, ticked);
}

QList<quint32> TfrmDoppioni::chosenMembers() const
{
    QList<quint32> members;
    const int g = chosenGroup();
    if (g < 0)
        return members;
    // The ticked contacts when two or more are: a group may hold two people of one name, and
    // the user merges only those that are one person. Otherwise the whole group.
    const Duplicates::Result &r = m_model->result();
    for (int k = 0; k < r.groupSize(g); ++k) {
        if (m_model->ticked(g, k))
            members.append(r.group(g)[k]);
    }
    if (members.size() < 2) {
        members.clear();
        for (qsizetype k = 0; k < r.groupSize(g); ++k)
            members.append(r.group(g)[k]);
    }
    return members;
}

void TfrmDoppioni::Button1Click()
{
    const QList<quint32> members = chosenMembers();
    if (members.size() < 2)
        return;
    // Side by side, more contacts than this no longer fit a screen or a mind.
    constexpr int kMostMerged = 20;
    if (members.size() > kMostMerged) {
        ShowError(QStringLiteral("Il gruppo ha %1 contatti, troppi da unire in una volta: spunta quelli da unire "
                                 "(al più %2).")
                      .arg(members.size())
                      .arg(kMostMerged));
        return;
    }
    QByteArrayList lines;
    QList<int> numbers;
    for (quint32 m : members) {
        lines.append(m_book[m].toByteArray());
        numbers.append(int(m) + 1);
    }
    QByteArray merged;
    {
        TfrmUnisci window(this, lines, numbers);
        if (window.exec() != QDialog::Accepted)
            return;
        merged = window.mergedLine(DateText::now());
    }

    // The merged contact takes the first line's place and the others' lines go, in one save.
    // The book is written from the lines the window shows, so the file must still hold
    // exactly them; otherwise nothing is written and everything is read again.
    WaitCursor wait;
    std::vector<bool> gone(size_t(m_book.size()), false);
    for (qsizetype k = 1; k < members.size(); ++k)
        gone[members[k]] = true;
    BookEdit edit;
    edit.dropped = &gone;
    edit.replaced = members.first();
    edit.line = merged;
    if (!saveEdit(edit))
        return;
    // No line before the first is left out: the merged contact keeps the first one's number.
    m_mergedLine = int(members.first()) + 1;
    reloadAndRegroup();
}

bool TfrmDoppioni::saveEdit(const BookEdit &edit)
{
    try {
        m_book.save(AddressBook::contactFile(), edit);
    } catch (const BookChanged &changed) {
        // Another program changed the book: nothing was written; show the book as it is now.
        reloadAndRegroup();
        ShowError(changed.message());
        return false;
    }
    m_changed = true;
    return true;
}

void TfrmDoppioni::Button2Click()
{
    const int g = chosenGroup();
    if (g < 0)
        return;
    const Duplicates::Result &r = m_model->result();
    std::vector<bool> gone(size_t(m_book.size()), false);
    int count = 0;
    for (int k = 0; k < r.groupSize(g); ++k) {
        if (m_model->ticked(g, k)) {
            gone[r.group(g)[k]] = true;
            ++count;
        }
    }
    if (count == 0) {
        ShowError(QStringLiteral("Spunta nel gruppo i contatti da eliminare."));
        return;
    }
    if (!Messages::destructiveQuestion(QStringLiteral("Cancella Contatto"),
                                       QStringLiteral("Sei sicuro di voler eliminare per sempre i contatti dalla rubrica?")))
        return;
    WaitCursor wait;
    BookEdit edit;
    edit.dropped = &gone;
    if (!saveEdit(edit))
        return;
    // A merged contact's number moves up by the lines removed before it.
    if (m_mergedLine > 0) {
        if (gone[size_t(m_mergedLine - 1)])
            m_mergedLine = 0;
        else
            m_mergedLine -= int(std::count(gone.begin(), gone.begin() + (m_mergedLine - 1), true));
    }
    reloadAndRegroup();
}

void TfrmDoppioni::reloadAndRegroup()
{
    // The old book goes before the new one is read, as in every reload.
    listdoppi->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    m_book = BookLines();
    if (TfrmMain *main = TfrmMain::instance())
        main->Reload();
    try {
        regroup();
    } catch (const Cancelled &) {
        // Stopped while the groups were being found again: the window has none to show.
        reject();
    }
}

// The side-by-side view of a merge.

TfrmUnisci::TfrmUnisci(QWidget *owner, const QByteArrayList &lines, const QList<int> &numbers) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmUnisci"));
    setWindowTitle(QStringLiteral("Unisci contatti"));
    setSizeGripEnabled(true);
    const int n = int(lines.size());
    for (const QByteArray &line : lines) {
        QByteArrayList f;
        for (QByteArrayView v : TCSVStringInfo::fieldViews(line))
            f.append(v.toByteArray());
        f.resize(TContatto::FieldCount);
        m_fields.append(f);
    }

    // The most recent contact by its date; a date that does not read counts as the oldest,
    // and of equal dates the later line, which was written last.
    m_proposed = n - 1;
    QDateTime newest;
    for (int c = 0; c < n; ++c) {
        const auto when = DateText::parse(TextCodec::fromAnsi(m_fields[c][TContatto::datainserimento]));
        if (when && when->isValid() && (!newest.isValid() || *when >= newest)) {
            m_proposed = c;
            newest = *when;
        }
    }

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(6);
    auto *Label1 = new QLabel(QStringLiteral("Dove i contatti hanno valori diversi, spunta quello da tenere (è proposto "
                                             "quello del contatto più recente). Il contatto unito prende il posto del "
                                             "primo; gli altri vengono tolti dalla rubrica."),
                              this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    outer->addWidget(Label1);

    listcampi = new QTableWidget(TContatto::FieldCount, n + 2, this);
    listcampi->setObjectName(QStringLiteral("listcampi"));
    listcampi->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listcampi->setSelectionMode(QAbstractItemView::NoSelection);
    listcampi->verticalHeader()->hide();
    listcampi->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    listcampi->setFocusPolicy(Qt::NoFocus);
    listcampi->setWordWrap(false);
    QStringList header{QStringLiteral("Campo")};
    for (int c = 0; c < n; ++c) {
        header << QStringLiteral("N. %1%2").arg(numbers.value(c)).arg(c == m_proposed ? QStringLiteral(" (più recente)")
                                                                                        : QString());
    }
    header << QStringLiteral("Risultato");
    listcampi->setHorizontalHeaderLabels(header);

    const QStringList captions = contactColumnCaptions();
    QFont bold = font();
    bold.setBold(true);
    const QColor differ(255, 244, 204);
    for (int f = 0; f < TContatto::FieldCount; ++f) {
        auto *caption = new QTableWidgetItem(captions.value(f + 1));
        caption->setFlags(Qt::ItemIsEnabled);
        caption->setFont(bold);
        listcampi->setItem(f, 0, caption);
        // The values that are set, each once.
        QByteArrayList distinct;
        for (int c = 0; c < n; ++c) {
            if (!isEmptyValue(m_fields[c][f]) && !distinct.contains(m_fields[c][f]))
                distinct.append(m_fields[c][f]);
        }
        const bool choice = distinct.size() > 1 && f != TContatto::datainserimento;
        int chosen = -1;
        if (!distinct.isEmpty()) {
            chosen = isEmptyValue(m_fields[m_proposed][f]) ? -1 : m_proposed;
            for (int c = n - 1; chosen < 0 && c >= 0; --c) {
                if (!isEmptyValue(m_fields[c][f]))
                    chosen = c;
            }
        }
        m_chosen[size_t(f)] = chosen;
        for (int c = 0; c < n; ++c) {
            auto *item = new QTableWidgetItem(shown(m_fields[c][f]));
            item->setToolTip(item->text());
            item->setFlags(Qt::ItemIsEnabled);
            if (choice) {
                item->setBackground(differ);
                if (!isEmptyValue(m_fields[c][f])) {
                    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
                    item->setCheckState(c == chosen ? Qt::Checked : Qt::Unchecked);
                }
            }
            listcampi->setItem(f, c + 1, item);
        }
        auto *result = new QTableWidgetItem;
        result->setFlags(Qt::ItemIsEnabled);
        result->setFont(bold);
        listcampi->setItem(f, n + 1, result);
    }
    // The date says when the contact was last saved: the merge saves it now.
    listcampi->item(TContatto::datainserimento, n + 1)->setText(QStringLiteral("data e ora dell'unione"));
    for (int f = 0; f < TContatto::datainserimento; ++f)
        fieldChanged(f, -1);
    listcampi->resizeColumnsToContents();
    for (int c = 1; c <= n + 1; ++c)
        listcampi->setColumnWidth(c, std::clamp(listcampi->columnWidth(c), 90, 260));
    connect(listcampi, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem *item) { fieldChanged(item->row(), item->column()); });
    outer->addWidget(listcampi, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Unisci"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    auto *BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Annulla"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    for (QPushButton *b : {BitBtn1, BitBtn2}) {
        b->setMinimumWidth(100);
        buttons->addWidget(b);
    }
    outer->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    const int wanted = listcampi->horizontalHeader()->length() + 2 * listcampi->frameWidth() + 40;
    const int tall = listcampi->verticalHeader()->length() + listcampi->horizontalHeader()->height()
        + 2 * listcampi->frameWidth() + Label1->sizeHint().height() + BitBtn1->sizeHint().height() + 24;
    resize(std::clamp(wanted, 560, 1100), std::clamp(tall, 400, 760));
    Desktop::fitToScreen(this, Desktop::Fit::Resizable);
}

void TfrmUnisci::fieldChanged(int row, int column)
{
    if (m_updating || row < 0 || row >= TContatto::datainserimento)
        return;
    const int n = int(m_fields.size());
    if (column >= 1 && column <= n) {
        QTableWidgetItem *item = listcampi->item(row, column);
        if (!(item->flags() & Qt::ItemIsUserCheckable))
            return;
        // One value for each field: ticking one unticks the others; the ticked one stays.
        if (item->checkState() == Qt::Checked)
            m_chosen[size_t(row)] = column - 1;
    }
    const QScopedValueRollback updating(m_updating, true);
    for (int c = 0; c < n; ++c) {
        QTableWidgetItem *item = listcampi->item(row, c + 1);
        if (item->flags() & Qt::ItemIsUserCheckable)
            item->setCheckState(c == m_chosen[size_t(row)] ? Qt::Checked : Qt::Unchecked);
    }
    const int chosen = m_chosen[size_t(row)];
    listcampi->item(row, n + 1)->setText(chosen < 0 ? QStringLiteral("-") : shown(m_fields[chosen][row]));
}

void TfrmUnisci::choose(int field, int column)
{
    if (field < 0 || field >= TContatto::datainserimento || column < 0 || column >= m_fields.size())
        return;
    if (QTableWidgetItem *item = listcampi->item(field, column + 1); item && (item->flags() & Qt::ItemIsUserCheckable))
        item->setCheckState(Qt::Checked);
}

QByteArray TfrmUnisci::mergedLine(const QByteArray &date) const
{
    TContatto c;
    for (int f = 0; f < TContatto::datainserimento; ++f) {
        const int chosen = m_chosen[size_t(f)];
        c.fields[size_t(f)] = chosen < 0 ? QByteArray("-") : m_fields[chosen][f];
    }
    c.fields[TContatto::datainserimento] = date;
    return c.toLine();
}
