#include "frmEsportaUnit.h"

#include "ExportFormats.h"
#include "app/ContactListView.h"
#include "app/Desktop.h"
#include "app/FileDialogs.h"
#include "app/Messages.h"
#include "app/ShellOpen.h"
#include "app/WaitCursor.h"
#include "app/frmAvanzamentoUnit.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "store/DateText.h"
#include "store/Progress.h"
#include "vcard/Msvcard.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString kExportTitle = QStringLiteral("Esportazione contatti");
const QString kPhoneBookFilter = QStringLiteral("Rubrica per telefoni (vCard 3.0, un solo file) (*.vcf)");

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

// The row's contact as a line of the address book, made again from its fields by the book's
// own rule: a field that was stored quoted, with its commas, cannot shift the fields after it.
QByteArray rebuiltLine(const ContactListModel &model, int row)
{
    TContatto contact;
    const QByteArrayList fields = model.fields(row);
    std::copy_n(fields.begin(), TContatto::FieldCount, contact.fields.begin());
    return contact.toLine();
}

// Words an export's counts: "Contatti scritti: 12.345 di 100.000".
TfrmAvanzamento::Describe written(const QString &what)
{
    return [what](qint64 done, qint64 total, qint64) {
        return what + TfrmAvanzamento::number(done) + QStringLiteral(" di ") + TfrmAvanzamento::number(total);
    };
}

// Streams an export of `count` contacts into `fileName` under the wait cursor and, when that
// takes long, in the progress window. "Annulla" there ends it with Cancelled before the file
// is put in place: an earlier file of that name stays as it was.
void saveWithProgress(QWidget *owner, const QString &fileName, qsizetype count,
                      const std::function<void(const ExportFormats::Sink &, Progress *)> &produce)
{
    WaitCursor wait;
    TfrmAvanzamento window(owner, kExportTitle, QStringLiteral("File: ") + QDir::toNativeSeparators(fileName));
    Progress progress(count, 256, window.hook(written(QStringLiteral("Contatti scritti: "))));
    ExportFormats::save(fileName, [&](const ExportFormats::Sink &sink) { produce(sink, &progress); });
}

} // namespace

TfrmEsporta::TfrmEsporta(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEsporta"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_model = new ContactListModel(this);
    buildWindow();
}

TfrmEsporta::~TfrmEsporta() = default;

void TfrmEsporta::buildWindow()
{
    setWindowTitle(QStringLiteral("Esporta contatti"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(5, 5, 5, 5);
    outer->setSpacing(6);

    auto *GroupBox1 = new QGroupBox(QStringLiteral("Esporta nel seguente file:"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *fileRow = new QHBoxLayout(GroupBox1);
    txtfile = new QLineEdit(GroupBox1);
    txtfile->setObjectName(QStringLiteral("txtfile"));
    txtfile->setReadOnly(true);
    // Only "Sfoglia ..." fills it: it looks read-only, with the window's colour behind the text.
    QPalette readOnly = txtfile->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    txtfile->setPalette(readOnly);
    Button1 = button(GroupBox1, "Button1", QStringLiteral("Sfoglia ..."));
    fileRow->addWidget(txtfile, 1);
    fileRow->addWidget(Button1);
    outer->addWidget(GroupBox1);

    auto *GroupBox2 = new QGroupBox(QStringLiteral("Scegli cosa esportare:"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto *scope = new QVBoxLayout(GroupBox2);
    r1 = new QRadioButton(QStringLiteral("Tutta la rubrica"), GroupBox2);
    r1->setObjectName(QStringLiteral("r1"));
    r1->setChecked(true);
    r2 = new QRadioButton(QStringLiteral("Contatti selezionati nella schermata principale"), GroupBox2);
    r2->setObjectName(QStringLiteral("r2"));
    scope->addWidget(r1);
    scope->addWidget(r2);
    auto *countRow = new QHBoxLayout;
    Label1 = new QLabel(QStringLiteral("Numero contatti selezionati:"), GroupBox2);
    Label1->setObjectName(QStringLiteral("Label1"));
    lcontatti = new QLabel(QStringLiteral("0"), GroupBox2);
    lcontatti->setObjectName(QStringLiteral("lcontatti"));
    countRow->addWidget(Label1);
    countRow->addWidget(lcontatti);
    countRow->addStretch(1);
    scope->addLayout(countRow);
    lista = new ContactListView(GroupBox2);
    lista->setObjectName(QStringLiteral("lista"));
    lista->setModel(m_model);
    scope->addWidget(lista, 1);
    outer->addWidget(GroupBox2, 1);

    auto *buttons = new QHBoxLayout;
    BitBtn1 = button(this, "BitBtn1", QStringLiteral("Esporta"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    QFont bold = BitBtn1->font();
    bold.setBold(true);
    BitBtn1->setFont(bold);
    BitBtn1->setDefault(true);
    BitBtn2 = button(this, "BitBtn2", QStringLiteral("Annulla"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    outer->addLayout(buttons);

    // The selection list only matters for the second scope.
    Label1->setEnabled(false);
    lcontatti->setEnabled(false);
    lista->setEnabled(false);

    // "Sfoglia ..." comes first: the path box next to it can only be read.
    setTabOrder(Button1, txtfile);
    setTabOrder(txtfile, r1);
    setTabOrder(r1, r2);
    setTabOrder(r2, lista);
    setTabOrder(lista, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    Button1->setFocus();

    connect(r1, &QRadioButton::toggled, this, [this](bool on) { if (on) r1Click(); });
    connect(r2, &QRadioButton::toggled, this, [this](bool on) { if (on) r2Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button1Click(); }); });
    // "Esporta" closes the window whatever its export did.
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        Messages::guarded([this] { BitBtn1Click(); });
        accept();
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    setMinimumSize(500, 430);
    resize(500, 430);
    Desktop::fitToScreen(this, Desktop::Fit::Resizable);
}

void TfrmEsporta::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Messages::guarded([this] { LoadSelected(); });
    }
}

void TfrmEsporta::LoadSelected()
{
    const TfrmMain *main = TfrmMain::instance();
    if (!main)
        return;
    const ContactListModel *from = main->listModel();
    const QList<int> rows = main->selectedRows();
    QByteArrayList lines;
    QList<int> numbers;
    lines.reserve(rows.size());
    numbers.reserve(rows.size());
    for (const int row : rows) {
        lines.append(rebuiltLine(*from, row));
        numbers.append(row + 1); // the position in the main list, not the line number
    }
    m_model->setNumberedRows(lines, std::move(numbers));
    lista->copyColumnWidths(main->lista);
    lcontatti->setText(QString::number(m_model->rowCount()));
}

void TfrmEsporta::r1Click()
{
    lista->setEnabled(false);
    Label1->setEnabled(false);
    lcontatti->setEnabled(false);
}

void TfrmEsporta::r2Click()
{
    lista->setEnabled(true);
    Label1->setEnabled(true);
    lcontatti->setEnabled(true);
}

void TfrmEsporta::Button1Click()
{
    const QStringList filters = {
        QStringLiteral("Pagina web (*.htm *.html)"),
        QStringLiteral("Rubrica di Mozilla Thunderbird (*.ldif)"),
        QStringLiteral("Biglietto da visita (*.vcard)"),
        kPhoneBookFilter,
    };
    using ExportFormats::Format;
    const Format formats[] = {Format::Html, Format::Ldif, Format::VCard, Format::PhoneBook};
    QString filter;
    const QString file = FileDialogs::getSaveFileName(this, filters, QStringLiteral("htm"), &filter);
    if (!file.isEmpty()) {
        txtfile->setText(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()));
        // The type the user chose wins over the name's extension ("rubrica.vcard" chosen as a
        // phone book is a phone book); the extension decides only when no type is reported.
        const qsizetype chosen = filters.indexOf(filter);
        m_chosen = chosen >= 0 ? formats[chosen] : Format::Unknown;
    }
}

void TfrmEsporta::BitBtn1Click()
{
    const QString shown = txtfile->text();
    if (shown.isEmpty()) {
        ShowError(QStringLiteral("Non hai specificato alcun file."));
        return;
    }
    const QString path = QDir::fromNativeSeparators(shown);
    const ExportFormats::Format format = ExportFormats::formatOf(path, m_chosen);
    if (format == ExportFormats::Format::Unknown) {
        ShowError(QStringLiteral("Formato non riconosciuto: scegli un file .htm, .html, .ldif, .vcard o .vcf."));
        return;
    }

    const auto discard = qScopeGuard([this] { exportLines.clear(); });
    {
        WaitCursor wait;
        if (r1->isChecked()) {
            // A zero-length line is no contact: it is neither listed nor exported.
            exportLines = AddressBook::readLines(AddressBook::contactFile());
            exportLines.removeIf([](const QByteArray &line) { return line.isEmpty(); });
        } else {
            exportLines.reserve(m_model->rowCount());
            for (int row = 0; row < m_model->rowCount(); ++row)
                exportLines.append(rebuiltLine(*m_model, row));
        }
    }

    try {
        switch (format) {
        case ExportFormats::Format::VCard:
            exportCards(path);
            break;
        case ExportFormats::Format::Html:
            if (ExportHtml(path) && QFileInfo::exists(path)) {
                if (Messages::question(kExportTitle, QStringLiteral("Lista contatti esportata in ") + shown
                                                         + QStringLiteral(" . Vuoi visualizzare la pagina creata nel browser?")))
                    ShellOpen(shown);
            }
            break;
        case ExportFormats::Format::Ldif:
            if (ExportLdif(path))
                Messages::information(QStringLiteral("Rubrica correttamente esportata in ") + shown);
            break;
        case ExportFormats::Format::PhoneBook: {
            const qsizetype count = ExportPhoneBook(path);
            Messages::information(QStringLiteral("Rubrica per telefoni esportata in ") + shown
                                  + (count == 1 ? QStringLiteral(": il file contiene 1 contatto.")
                                                : QStringLiteral(": il file contiene %1 contatti.").arg(count)));
            break;
        }
        case ExportFormats::Format::Unknown:
            break;
        }
    } catch (const Cancelled &) {
        // Stopped by the user before the file was put in place: there is nothing to tell.
    }
}

void TfrmEsporta::exportCards(const QString &path)
{
    Messages::information(QStringLiteral(
        "Hai scelto di esportare in formato VCARD. Verrà creata una sottocartella con il nome del file "
        "scelto nella quale verranno esportati i biglietti da visita di ogni singolo contatto scelto."));
    const QString folder = ExportFormats::vcardFolder(path);
    const QString native = QDir::toNativeSeparators(folder);
    // An existing folder is used as it is; one that cannot be made shows up as the
    // write error of the first card.
    const bool made = QDir().mkdir(folder);
    bool exported = false;
    try {
        exported = ExportVCard(folder + u'/');
    } catch (const Cancelled &stopped) {
        // The cards written before the stop stay: the user is told how many.
        const qint64 n = stopped.contacts;
        if (n == 0) {
            if (made)
                QDir().rmdir(folder);
            Messages::information(QStringLiteral("Esportazione annullata: nessun biglietto da visita è stato scritto."));
        } else {
            Messages::information(QStringLiteral("Esportazione annullata: ")
                                  + (n == 1 ? QStringLiteral("1 biglietto da visita scritto")
                                            : TfrmAvanzamento::number(n) + QStringLiteral(" biglietti da visita scritti"))
                                  + QStringLiteral(" nella cartella ") + native + u'.');
        }
        return;
    }
    if (exported && Messages::question(kExportTitle, QStringLiteral("Biglietti da visita esportati nella cartella ") + native
                                                        + QStringLiteral(". Vuoi aprire la cartella ora?")))
        ShellOpen(native);
}

bool TfrmEsporta::ExportVCard(const QString &folder)
{
    WaitCursor wait;
    TfrmAvanzamento window(this, kExportTitle, QStringLiteral("Cartella: ") + QDir::toNativeSeparators(QDir::cleanPath(folder)));
    // A card is a file of its own, far slower than a line of a page: a report every few.
    Progress progress(exportLines.size(), 16, window.hook(written(QStringLiteral("Biglietti da visita scritti: "))));
    // The main window's card is filled one contact at a time; a card of our own stands in
    // only when there is no main window.
    TmsVCard own;
    TfrmMain *main = TfrmMain::instance();
    return ExportFormats::writeCards(main ? *main->vcard : own, exportLines, folder, &progress);
}

bool TfrmEsporta::ExportHtml(const QString &fileName)
{
    try {
        saveWithProgress(this, fileName, exportLines.size(), [this](const ExportFormats::Sink &sink, Progress *progress) {
            ExportFormats::htmlPage(exportLines, contactColumnCaptions(), DateText::now, sink, progress);
        });
        return true;
    } catch (const AppError &e) {
        ShowError(e.message());
        return false;
    }
}

bool TfrmEsporta::ExportLdif(const QString &fileName)
{
    saveWithProgress(this, fileName, exportLines.size(), [this](const ExportFormats::Sink &sink, Progress *progress) {
        ExportFormats::ldif(exportLines, sink, progress);
    });
    return QFileInfo::exists(fileName);
}

qsizetype TfrmEsporta::ExportPhoneBook(const QString &fileName)
{
    saveWithProgress(this, fileName, exportLines.size(), [this](const ExportFormats::Sink &sink, Progress *progress) {
        ExportFormats::phoneBook(exportLines, sink, progress);
    });
    return exportLines.size();
}
