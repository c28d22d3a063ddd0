#include "frmAggiungiUnit.h"

#include "ContactEditing.h"
#include "app/Desktop.h"
#include "app/Messages.h"
#include "app/ShellOpen.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "store/DateText.h"
#include "store/TextCodec.h"

#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

enum class Look { Normal, Phone, Black, Link };

struct Box
{
    const char *name;
    const char *caption;
    int maxLength;
    Look look;
    const char *hint;
};

const char *const kCall = "Doppio click per effettuare la telefonata";

// Tab order, which is also the order of fields 1 to 17 of the contact.
const Box kBoxes[ContactEditing::BoxCount] = {
    {"txtnome", "Nome:", 100, Look::Normal, nullptr},
    {"txtcognome", "Cognome:", 100, Look::Normal, nullptr},
    {"txtpos", "Posizione:", 100, Look::Normal, nullptr},
    {"txtorg", "Organizzazione:", 100, Look::Normal, nullptr},
    {"txtindirizzo", "Indirizzo:", 255, Look::Normal, nullptr},
    {"txtcitta", "Città", 100, Look::Normal, nullptr},
    {"txtcap", "C.A.P.", 15, Look::Normal, nullptr},
    {"txtnazione", "Nazione:", 100, Look::Normal, nullptr},
    {"txtcellprivato", "Cellulare [privato]:", 100, Look::Phone, kCall},
    {"txtlavoro", "Cellulare [lavoro]:", 100, Look::Phone, kCall},
    {"txttelcasa", "Telefono [casa] :", 100, Look::Phone, kCall},
    {"txtteluff", "Telefono [lavoro]:", 100, Look::Phone, kCall},
    {"txtfax", "Fax:", 100, Look::Black, nullptr},
    {"txtmessenger", "Istant messenger", 100, Look::Black, nullptr},
    {"txtmail", "E-mail:", 100, Look::Link, "Doppio click per mandare una email"},
    {"txtweb", "Sito:", 255, Look::Link, "Doppio click per visitare il sito"},
    {"txtnote", "Note:", 255, Look::Normal, nullptr},
};

// The first eight boxes are the general information, the other nine the ways to reach
// the contact.
constexpr int kGeneralBoxes = 8;

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.25);
    f.setItalic(true);
    f.setUnderline(true);
    l->setFont(f);
    return l;
}

} // namespace

TfrmAggiungi::TfrmAggiungi(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAggiungi"));
    buildWindow();
}

void TfrmAggiungi::buildWindow()
{
    setWindowTitle(QStringLiteral("Aggiungi contatto"));

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(5, 5, 5, 5);
    // A fixed-size dialog, as large as its contents.
    outer->setSizeConstraint(QLayout::SetFixedSize);

    auto *GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *grid = new QGridLayout(GroupBox1);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    grid->addWidget(heading(QStringLiteral("Informazioni generali:"), GroupBox1), 0, 0, 1, 2);
    grid->addWidget(heading(QStringLiteral("Contatti:"), GroupBox1), 0, 3, 1, 2);
    grid->setColumnMinimumWidth(2, 16);

    QFont bold = font();
    bold.setBold(true);
    for (int k = 0; k < ContactEditing::BoxCount; ++k) {
        const Box &b = kBoxes[k];
        auto *box = new QLineEdit(GroupBox1);
        box->setObjectName(QLatin1String(b.name));
        box->setMaxLength(b.maxLength);
        box->setMinimumWidth(230);
        if (b.look != Look::Normal) {
            QPalette p = box->palette();
            p.setColor(QPalette::Text, b.look == Look::Phone ? QColor(0, 128, 0)
                                      : b.look == Look::Link ? QColor(0, 0, 255)
                                                             : QColor(0, 0, 0));
            box->setPalette(p);
        }
        if (b.hint) {
            box->setCursor(Qt::PointingHandCursor);
            // Kept with the box but not shown on hover: the window leaves hints off.
            box->setWhatsThis(QString::fromUtf8(b.hint));
            box->installEventFilter(this);
        }
        if (b.look == Look::Phone)
            box->setText(QStringLiteral("+39"));

        auto *caption = new QLabel(QString::fromUtf8(b.caption), GroupBox1);
        // Label14 is the note below the boxes: the captions after the thirteenth skip it.
        caption->setObjectName(QStringLiteral("Label%1").arg(k + 1 < 14 ? k + 1 : k + 2));
        caption->setBuddy(box);
        if (k < 2)
            caption->setFont(bold);

        const int row = 1 + (k < kGeneralBoxes ? k : k - kGeneralBoxes);
        const int column = k < kGeneralBoxes ? 0 : 3;
        grid->addWidget(caption, row, column);
        grid->addWidget(box, row, column + 1);
        m_boxes.append(box);
    }
    grid->setRowStretch(ContactEditing::BoxCount - kGeneralBoxes + 1, 1);
    outer->addWidget(GroupBox1);

    txtnome = m_boxes[0];
    txtcognome = m_boxes[1];
    txtpos = m_boxes[2];
    txtorg = m_boxes[3];
    txtindirizzo = m_boxes[4];
    txtcitta = m_boxes[5];
    txtcap = m_boxes[6];
    txtnazione = m_boxes[7];
    txtcellprivato = m_boxes[8];
    txtlavoro = m_boxes[9];
    txttelcasa = m_boxes[10];
    txtteluff = m_boxes[11];
    txtfax = m_boxes[12];
    txtmessenger = m_boxes[13];
    txtmail = m_boxes[14];
    txtweb = m_boxes[15];
    txtnote = m_boxes[16];

    auto *bottom = new QHBoxLayout;
    auto *Label14 = new QLabel(QStringLiteral("[ i campi in grassetto sono obbligatori ]"), this);
    Label14->setObjectName(QStringLiteral("Label14"));
    bottom->addWidget(Label14);
    bottom->addStretch(1);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Annulla"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setMinimumWidth(100);
    butt = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Aggiungi"), this);
    butt->setObjectName(QStringLiteral("butt"));
    butt->setFont(bold);
    butt->setMinimumWidth(100);
    // Enter in any box presses it.
    butt->setDefault(true);
    bottom->addWidget(BitBtn2);
    bottom->addWidget(butt);
    outer->addLayout(bottom);

    for (int k = 0; k + 1 < m_boxes.size(); ++k)
        setTabOrder(m_boxes[k], m_boxes[k + 1]);
    setTabOrder(m_boxes.last(), BitBtn2);
    setTabOrder(BitBtn2, butt);
    Desktop::fitToScreen(this, Desktop::Fit::Fixed);

    using Handler = void (TfrmAggiungi::*)();
    const Handler changes[ContactEditing::BoxCount] = {
        &TfrmAggiungi::txtnomeChange, &TfrmAggiungi::txtcognomeChange, &TfrmAggiungi::txtposChange,
        &TfrmAggiungi::txtorgChange, &TfrmAggiungi::txtindirizzoChange, &TfrmAggiungi::txtcittaChange,
        &TfrmAggiungi::txtcapChange, &TfrmAggiungi::txtnazioneChange, &TfrmAggiungi::txtcellprivatoChange,
        &TfrmAggiungi::txtlavoroChange, &TfrmAggiungi::txttelcasaChange, &TfrmAggiungi::txtteluffChange,
        &TfrmAggiungi::txtfaxChange, &TfrmAggiungi::txtmessengerChange, &TfrmAggiungi::txtmailChange,
        &TfrmAggiungi::txtwebChange, &TfrmAggiungi::txtnoteChange,
    };
    for (int k = 0; k < ContactEditing::BoxCount; ++k) {
        const Handler fn = changes[k];
        connect(m_boxes[k], &QLineEdit::textChanged, this, [this, fn] { Messages::guarded([&] { (this->*fn)(); }); });
    }
    connect(butt, &QPushButton::clicked, this, [this] { Messages::guarded([this] { buttClick(); }); });
    // "Annulla" and the close box leave the file alone.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmAggiungi::Inizializza(const QString &line, const QByteArray &shown)
{
    butt->setText(QStringLiteral("Modifica"));
    bool ok = false;
    numriga = line.toInt(&ok);
    if (!ok || numriga < 1) {
        ShowError(ContactEditing::missingLineMessage(numriga));
        return false;
    }
    // The file as it is now: the list the line number came from may be out of date. The
    // main window's book is the file as long as the file still holds exactly it.
    const QString path = AddressBook::contactFile();
    const TfrmMain *main = TfrmMain::instance();
    const BookLines lines = main && main->contactLines.stillIn(path) ? main->contactLines : BookLines::read(path);
    if (!shown.isNull()) {
        // Never another contact that now happens to stand at that number.
        const int found = ContactEditing::findContact(lines, numriga, shown);
        if (found == 0) {
            ShowError(ContactEditing::missingLineMessage(numriga));
            return false;
        }
        numriga = found;
    }
    if (numriga > lines.size()) {
        ShowError(ContactEditing::missingLineMessage(numriga));
        return false;
    }
    m_original = lines[numriga - 1].toByteArray();
    TCSVStringInfo own;
    TCSVStringInfo *splitter = TfrmMain::instance() ? TfrmMain::instance()->csv : &own;
    splitter->setSourceString(lines[numriga - 1].toByteArray());
    const QByteArrayList fields = splitter->FieldList();
    if (fields.size() < ContactEditing::BoxCount) {
        ShowError(ContactEditing::shortLineMessage(numriga));
        return false;
    }
    for (int k = 0; k < ContactEditing::BoxCount; ++k) {
        if (fields[k].size() > ContactEditing::MaxFieldLength) {
            ShowError(ContactEditing::longFieldMessage(numriga));
            return false;
        }
    }
    // The fields go in as stored ("-" and "&#44;" included). Loading is a change like
    // typing, so a field written by other software loses its commas here, with a message.
    for (int k = 0; k < ContactEditing::BoxCount; ++k) {
        const QString text = TextCodec::fromAnsi(fields[k]);
        // A longer field from an imported file is kept whole rather than cut to the box.
        m_boxes[k]->setMaxLength(std::max(kBoxes[k].maxLength, int(text.size())));
        m_boxes[k]->setText(text);
    }
    return true;
}

void TfrmAggiungi::buttClick()
{
    // Blanks are content: nothing is trimmed.
    if (txtnome->text().isEmpty()) {
        ShowError(QStringLiteral("Devi specificare il nome della persona da aggiungere."));
        return;
    }
    if (txtcognome->text().isEmpty()) {
        ShowError(QStringLiteral("Devi specificare il cognome della persona da aggiungere."));
        return;
    }
    const bool modify = butt->text() == QStringLiteral("Modifica");
    QStringList boxes;
    for (int k = 0; k < ContactEditing::BoxCount; ++k) {
        const QString text = m_boxes[k]->text();
        // Only a new contact's telephone boxes start with "+39"; a contact being changed
        // keeps what its line holds, "+39" written by older versions included.
        const bool prefilled = !modify && kBoxes[k].look == Look::Phone;
        boxes.append(prefilled && ContactEditing::untouchedPrefix(text) ? QString() : text);
    }
    const QByteArray line = ContactEditing::composeLine(boxes, DateText::now());
    // On a failed write this throws: the window stays open with the user's text.
    TfrmMain *main = TfrmMain::instance();
    try {
        ContactEditing::storeLine(AddressBook::contactFile(), modify ? numriga : 0, line,
                                  main ? &main->contactLines : nullptr, modify ? m_original : QByteArray());
    } catch (const ContactEditing::ContactChanged &changed) {
        // The list shows the file as it is now; what the user typed stays here, to be
        // copied, or written again once the contact is there.
        if (main)
            main->Reload();
        ShowError(changed.message());
        return;
    }
    m_written = line;
    accept();
}

void TfrmAggiungi::boxChange(QLineEdit *box)
{
    const ContactEditing::Cleaned cleaned = ContactEditing::clean(box->text());
    if (!cleaned.removed)
        return;
    // Putting the text back changes it again; that second run finds nothing to remove,
    // so each offending change gives one message.
    box->setText(cleaned.text);
    ShowError(ContactEditing::refusalMessage(cleaned.comma));
}

void TfrmAggiungi::txtnomeChange() { boxChange(txtnome); }
void TfrmAggiungi::txtcognomeChange() { boxChange(txtcognome); }
void TfrmAggiungi::txtposChange() { boxChange(txtpos); }
void TfrmAggiungi::txtorgChange() { boxChange(txtorg); }
void TfrmAggiungi::txtindirizzoChange() { boxChange(txtindirizzo); }
void TfrmAggiungi::txtcittaChange() { boxChange(txtcitta); }
void TfrmAggiungi::txtcapChange() { boxChange(txtcap); }
void TfrmAggiungi::txtnazioneChange() { boxChange(txtnazione); }
void TfrmAggiungi::txtcellprivatoChange() { boxChange(txtcellprivato); }
void TfrmAggiungi::txtlavoroChange() { boxChange(txtlavoro); }
void TfrmAggiungi::txttelcasaChange() { boxChange(txttelcasa); }
void TfrmAggiungi::txtteluffChange() { boxChange(txtteluff); }
void TfrmAggiungi::txtfaxChange() { boxChange(txtfax); }
void TfrmAggiungi::txtmessengerChange() { boxChange(txtmessenger); }
void TfrmAggiungi::txtmailChange() { boxChange(txtmail); }
void TfrmAggiungi::txtwebChange() { boxChange(txtweb); }
void TfrmAggiungi::txtnoteChange() { boxChange(txtnote); }

void TfrmAggiungi::call(QLineEdit *box)
{
    ShellOpen(QStringLiteral("callto://") + box->text());
}

void TfrmAggiungi::txtcellprivatoDblClick() { call(txtcellprivato); }
void TfrmAggiungi::txtlavoroDblClick() { call(txtlavoro); }
void TfrmAggiungi::txttelcasaDblClick() { call(txttelcasa); }
void TfrmAggiungi::txtteluffDblClick() { call(txtteluff); }

void TfrmAggiungi::txtmailDblClick()
{
    ShellOpen(Shell::mailto(txtmail->text()));
}

void TfrmAggiungi::txtwebDblClick()
{
    ShellOpenWeb(txtweb->text());
}

bool TfrmAggiungi::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        using Handler = void (TfrmAggiungi::*)();
        const std::pair<QLineEdit *, Handler> actions[] = {
            {txtcellprivato, &TfrmAggiungi::txtcellprivatoDblClick},
            {txtlavoro, &TfrmAggiungi::txtlavoroDblClick},
            {txttelcasa, &TfrmAggiungi::txttelcasaDblClick},
            {txtteluff, &TfrmAggiungi::txtteluffDblClick},
            {txtmail, &TfrmAggiungi::txtmailDblClick},
            {txtweb, &TfrmAggiungi::txtwebDblClick},
        };
        for (const auto &[box, fn] : actions) {
            if (watched == box)
                Messages::guarded([&] { (this->*fn)(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}
