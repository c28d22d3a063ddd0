#include "support/TestSupport.h"

#include "app/ContactListView.h"
#include "app/FileDialogs.h"
#include "app/frmAvanzamentoUnit.h"
#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "export/ExportFormats.h"
#include "export/frmEsportaUnit.h"
#include "import/Importers.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "vcard/Msvcard.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using ExportFormats::Format;

namespace {

// A complete contact with a comma, markup and a "www." site; one with every optional field
// empty; one with accents, a "+" in its address and a city of two words.
const QByteArray kMario = "Mario,Rossi,Direttore,Acme &#44; Spa,Via Roma 1,Milano,20100,Italia,+39 333 1,"
                          "+39 02 2,02 3,02 4,02 5,mario.icq,mario@example.org,www.acme.example,"
                          "Cliente <b>storico</b>,03/03/2008 09:05:07";
const QByteArray kLucia = "Lucia,Bianchi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,04/03/2008 10:00:00";
// A field that other software stored quoted, with a comma inside.
const QByteArray kQuoted = "Gino,Verdi,-,\"Rossi, Verdi & C.\",-,-,-,-,-,-,-,-,-,-,-,-,-,06/03/2008 12:00:00";
const QByteArray kNicolo = "Nicol\xF2,D'\xC0mico,-,-, Corso,Citt\xE0 di Castello,06012,Italia,-,-,-,-,-,-,"
                           "nicolo+rubrica@example.org,-,-,05/03/2008 11:00:00";

QByteArray book(const QByteArrayList &lines)
{
    return AddressBook::joinLines(lines);
}

QByteArray contact(int n)
{
    const QByteArray s = QByteArray::number(n);
    return "Nome" + s + ",Cognome" + s + ",pos,org,Via " + s + ",Roma,00100,Italia,-,-,-,-,-,-,n" + s
        + "@example.org,-,-,03/03/2008 09:05:07";
}

// A click on the radio button's indicator, which is always inside its clickable part.
void clickRadio(QRadioButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

QByteArray fixedDate()
{
    return "01/02/2009 10:11:12";
}

// The page with its three date texts replaced by the fixed one.
QByteArray normalised(const QByteArray &page)
{
    QString text = QString::fromLatin1(page);
    text.replace(QRegularExpression(QStringLiteral("generata il [^<\r]*</title>")),
                 QStringLiteral("generata il %1</title>").arg(QLatin1String(fixedDate())));
    text.replace(QRegularExpression(QStringLiteral("Pagina creata il [^\r]*? con ")),
                 QStringLiteral("Pagina creata il %1 con ").arg(QLatin1String(fixedDate())));
    return text.toLatin1();
}

QByteArray pageHead()
{
    return "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
           "  \"http://www.w3.org/TR/html4/loose.dtd\">\r\n"
           "<html>\r\n"
           " <head>\r\n"
           " <meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
           " <meta name=\"generator\" content=\"Rubrino 1.1\">\r\n"
           " <title>Elenco contatti in rubrica - generata il 01/02/2009 10:11:12</title>\r\n"
           " <style type=\"text/css\">\r\n"
           "  h1 { font-family: Verdana, Arial, Helvetica; color: red; font-weight: bold; font-size: 14px; }\r\n"
           "  h2 { font-family: Verdana, Arial, Helvetica; color: black; font-weight: normal; font-size: 12px; }\r\n"
           "  th { font-family: Verdana, Arial, Helvetica; color: black; font-size: 12px; }\r\n"
           "  .copy { font-family: Verdana, Arial, Helvetica; color: black; font-weight: normal; font-size: 10px; }\r\n"
           " </style>\r\n"
           " </head>\r\n"
           "<!-- Pagina creata il 01/02/2009 10:11:12 con Rubrino 1.1\r\n"
           "     http://www.rubrino.example/ -->\r\n"
           " <body>\r\n"
           " <h1>Elenco contatti:</h1>\r\n"
           " <hr noshade>\r\n"
           "  <table bgcolor=\"black\" width=\"100%\" cellspacing=\"1\" cellpadding=\"1\" border=\"0\">\r\n"
           "  <tr>\r\n"
           "  <th bgcolor=\"#ffffcc\">N.</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Nome</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Cognome</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Posizione</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Organizzazione</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Indirizzo</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Citt\xE0</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">CAP</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Nazione</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Cell. privato</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Cell. Lavoro</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Tel. casa</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Tel. lavoro</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Fax</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Istant messenger</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Email</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Sito</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Note</th>\r\n"
           "  <th bgcolor=\"#ffffcc\">Data inserimento</th>\r\n"
           "  </tr>\r\n";
}

QByteArray pageFoot()
{
    return "  </table>\r\n"
           " <hr noshade>\r\n"
           " <div align=\"center\" class=\"copy\">Pagina creata il 01/02/2009 10:11:12 con <a href=\"http://www.rubrino.example/\" "
           "target=\"_new\" title=\"Pagina programma\"><b>Rubrino 1.1</b></a> .<br>\r\n"
           " Visita il sito web <a href=\"http://www.rubrino.example/squadra/\" target=\"_new\" "
           "title=\"Sito ufficiale\">www.rubrino.example</a> .</div>\r\n"
           " </body>\r\n"
           "</html>\r\n";
}

QByteArray td(const QByteArray &content)
{
    return "  <td bgcolor=\"white\"><h2>" + content + "</h2></td>\r\n";
}

// The two contacts Mario and Lucia as rows 1 and 2 of the page.
QByteArray marioAndLuciaRows()
{
    return "  <tr>\r\n" + td("1") + td("Mario") + td("Rossi") + td("Direttore") + td("Acme , Spa") + td("Via Roma 1")
        + td("Milano") + td("20100") + td("Italia") + td("<a href=\"callto:+39 333 1\">+39 333 1</a>")
        + td("<a href=\"callto:+39 02 2\">+39 02 2</a>") + td("<a href=\"callto:02 3\">02 3</a>")
        + td("<a href=\"callto:02 4\">02 4</a>") + td("02 5") + td("mario.icq")
        + td("<a href=\"mailto:mario@example.org\">mario@example.org</a>")
        + td("<a href=\"http://www.acme.example\" target=\"_new\" title=\"Nuova finestra\">www.acme.example</a>")
        + td("Cliente &lt;b&gt;storico&lt;/b&gt;") + td("03/03/2008 09:05:07") + "  </tr>\r\n"
        + "  <tr>\r\n" + td("2") + td("Lucia") + td("Bianchi") + td("-").repeated(15) + td("04/03/2008 10:00:00")
        + "  </tr>\r\n";
}

const QByteArray kMarioLdif =
    "dn: cn=Mario Rossi,mail=mario@example.org\r\n"
    "objectclass: top\r\n"
    "objectclass: person\r\n"
    "objectclass: organizationalPerson\r\n"
    "objectclass: inetOrgPerson\r\n"
    "objectclass: mozillaAbPersonAlpha\r\n"
    "givenName: Mario\r\n"
    "sn: Rossi\r\n"
    "cn: Mario Rossi\r\n"
    "mail: mario@example.org\r\n"
    "nsAIMid: mario.icq\r\n"
    "modifytimestamp: 0Z\r\n"
    "telephoneNumber: 02 4\r\n"
    "homePhone: 02 3\r\n"
    "fax: 02 5\r\n"
    "mobile: +39 333 1\r\n"
    "homeStreet: Via Roma 1\r\n"
    "mozillaHomeLocalityName: Milano\r\n"
    "mozillaHomePostalCode: 20100\r\n"
    "mozillaHomeCountryName: Italia\r\n"
    "title: Direttore\r\n"
    "company: Acme , Spa\r\n"
    "mozillaWorkUrl: www.acme.example\r\n"
    "mozillaHomeUrl: www.acme.example\r\n"
    "description: Cliente <b>storico</b>\r\n"
    "\r\n";

const QByteArray kObjectClasses = "objectclass: top\r\n"
                                  "objectclass: person\r\n"
                                  "objectclass: organizationalPerson\r\n"
                                  "objectclass: inetOrgPerson\r\n"
                                  "objectclass: mozillaAbPersonAlpha\r\n";

const QByteArray kLuciaLdif = "dn: cn=Lucia Bianchi\r\n" + kObjectClasses
    + "givenName: Lucia\r\n"
      "sn: Bianchi\r\n"
      "cn: Lucia Bianchi\r\n"
      "modifytimestamp: 0Z\r\n"
      "\r\n";

const QByteArray kNicoloLdif =
    "dn:: Y249Tmljb2zDsiBEJ8OAbWljbyxtYWlsPW5pY29sb1wrcnVicmljYUBleGFtcGxlLm9yZw==\r\n" + kObjectClasses
    + "givenName:: Tmljb2zDsg==\r\n"
      "sn:: RCfDgG1pY28=\r\n"
      "cn:: Tmljb2zDsiBEJ8OAbWljbw==\r\n"
      "mail: nicolo+rubrica@example.org\r\n"
      "modifytimestamp: 0Z\r\n"
      "homeStreet:: IENvcnNv\r\n"
      "mozillaHomeLocalityName:: Q2l0dMOgIGRpIENhc3RlbGxv\r\n"
      "mozillaHomePostalCode: 06012\r\n"
      "mozillaHomeCountryName: Italia\r\n"
      "\r\n";

const QByteArray kMarioCard = "BEGIN:VCARD\r\n"
                              "VERSION:1.2\r\n"
                              "N:Rossi;Mario;;;\r\n"
                              "ADR:;;Via Roma 1;Milano;;20100;Italia\r\n"
                              "TEL;HOME;CELL:+39 333 1\r\n"
                              "TEL;WORK;CELL:+39 02 2\r\n"
                              "TEL;HOME;FAX:02 5\r\n"
                              "EMAIL;:mario@example.org\r\n"
                              "ORG:Acme , Spa;\r\n"
                              "ROLE:Direttore\r\n"
                              "NOTE:Cliente <b>storico</b>\r\n"
                              "URL:www.acme.example\r\n"
                              "END:VCARD\r\n";
// Written right after Mario's card: nothing of his may survive into it.
const QByteArray kLuciaCard = "BEGIN:VCARD\r\nVERSION:1.2\r\nN:Bianchi;Lucia;;;\r\nEND:VCARD\r\n";
const QByteArray kNicoloCard = "BEGIN:VCARD\r\n"
                               "VERSION:1.2\r\n"
                               "N:D'\xC0mico;Nicol\xF2;;;\r\n"
                               "ADR:;; Corso;Citt\xE0 di Castello;;06012;Italia\r\n"
                               "EMAIL;:nicolo+rubrica@example.org\r\n"
                               "END:VCARD\r\n";

// The lines of one contact's entry.
QByteArrayList ldifEntry(const QByteArray &line)
{
    return AddressBook::splitLines(ExportFormats::ldif({line}));
}

// The value of the first attribute `name` of an LDIF text, base64 decoded when needed, as UTF-8.
QByteArray ldifValue(const QByteArray &ldif, const QByteArray &name)
{
    for (const QByteArray &line : AddressBook::splitLines(ldif)) {
        if (line.startsWith(name + ":: "))
            return QByteArray::fromBase64(line.mid(name.size() + 3));
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2);
    }
    return "<absent>";
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The fields (0-based) that the import brings back from an export of `c`.
QList<int> broughtBack(Format format, const TContatto &c)
{
    QList<int> lost{TContatto::datainserimento}; // the import stamps the moment of the import
    auto has = [&c](int k) { return c.fields[k] != "-"; };
    switch (format) {
    case Format::VCard: {
        // No slot for the messenger. Three telephone slots: the two landlines fill those
        // whose own field (the mobiles, the fax) is empty.
        lost << TContatto::messenger;
        int free = !has(TContatto::cellprivato) + !has(TContatto::celllavoro) + !has(TContatto::fax);
        for (const int landline : {TContatto::telcasa, TContatto::telufficio}) {
            if (has(landline) && free-- <= 0)
                lost << landline;
        }
        break;
    }
    case Format::Ldif:
        // One work number: the office telephone, or else the work mobile, which then comes
        // back as the office telephone.
        lost << TContatto::celllavoro;
        if (!has(TContatto::telufficio) && has(TContatto::celllavoro))
            lost << TContatto::telufficio;
        break;
    default:
        // The phone book has a place for every field but the date.
        break;
    }
    QList<int> kept;
    for (int k = 0; k < TContatto::FieldCount; ++k) {
        if (!lost.contains(k))
            kept << k;
    }
    return kept;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    // Line work.
    void formatOf_data();
    void formatOf();
    void wholePage();
    void pageCells_data();
    void pageCells();
    void wholeLdif();
    void ldifValues_data();
    void ldifValues();
    void roundTrips_data();
    void roundTrips();
    void dnEscape_data();
    void dnEscape();
    void wholeCards();
    void cardPhones_data();
    void cardPhones();
    void wholePhoneBook();

    // The window.
    void windowControls();
    void selectionFollowsMainList();
    void refusals_data();
    void refusals();
    void htmlFromWholeBook_data();
    void htmlFromWholeBook();
    void htmlWriteFailure_data();
    void htmlWriteFailure();
    void ldifFromSelection_data();
    void ldifFromSelection();
    void unreadableBook();
    void vcardExport_data();
    void vcardExport();
    void vcardWriteFailure_data();
    void vcardWriteFailure();
    void phoneBookExport_data();
    void phoneBookExport();
    void mainButtonOpensWindow();
    void progressWindow_data();
    void progressWindow();

private:
    static void selectRows(TfrmMain &w, const QList<int> &rows);
    static void choose(TfrmEsporta &window, const QString &file, const QString &filter = QString());
    static void search(TfrmMain &w, int field, const QString &key);
};

void TestExport::init()
{
    installTestSeams();
    Messages::takeShown();
    takeShellOpened();
}

void TestExport::selectRows(TfrmMain &w, const QList<int> &rows)
{
    w.lista->clearSelection();
    for (const int row : rows) {
        const QRect rect = w.lista->visualRect(w.listModel()->index(row, 1));
        QTest::mouseClick(w.lista->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    }
}

void TestExport::choose(TfrmEsporta &window, const QString &file, const QString &filter)
{
    FileDialogs::setNextSaveFileName(file, filter);
    window.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
}

void TestExport::search(TfrmMain &w, int field, const QString &key)
{
    w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(field);
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(key);
    w.findChild<QPushButton *>(QStringLiteral("Button4"))->click();
}

void TestExport::formatOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<Format>("chosen"); // the type chosen in the save dialog
    QTest::newRow("vcf") << "/d/rubrica.vcf" << Format::VCard << "/d/RBN_rubrica" << Format::Unknown;
    QTest::newRow("vcard") << "/d/rubrica.vcard" << Format::VCard << "/d/RBN_rubrica" << Format::Unknown;
    QTest::newRow("upper-case VCF") << "/d/R.VCF" << Format::VCard << "/d/RBN_R" << Format::Unknown;
    QTest::newRow("several dots") << "/d/a.b.vcf" << Format::VCard << "/d/RBN_a" << Format::Unknown;
    QTest::newRow("dot in the folder only") << "/d.vcf/rubrica" << Format::Unknown << "/d.vcf/RBN_rubrica" << Format::Unknown;
    QTest::newRow("htm") << "/d/p.htm" << Format::Html << "/d/RBN_p" << Format::Unknown;
    QTest::newRow("Html") << "/d/p.Html" << Format::Html << "/d/RBN_p" << Format::Unknown;
    QTest::newRow("LDIF") << "/d/r.LDIF" << Format::Ldif << "/d/RBN_r" << Format::Unknown;
    QTest::newRow("ldif.bak") << "/d/r.ldif.bak" << Format::Unknown << "/d/RBN_r" << Format::Unknown;
    QTest::newRow("vcfx") << "/d/r.vcfx" << Format::Unknown << "/d/RBN_r" << Format::Unknown;
    QTest::newRow("no extension") << "/d/rubrica" << Format::Unknown << "/d/RBN_rubrica" << Format::Unknown;
    // The chosen type wins over the extension.
    QTest::newRow("vcf, phone-book type") << "/d/tel.vcf" << Format::PhoneBook << "/d/RBN_tel" << Format::PhoneBook;
    QTest::newRow("vcard, phone-book type") << "/d/t.vcard" << Format::PhoneBook << "/d/RBN_t" << Format::PhoneBook;
    QTest::newRow("htm, card type") << "/d/t.htm" << Format::VCard << "/d/RBN_t" << Format::VCard;
    QTest::newRow("no extension, LDIF type") << "/d/t" << Format::Ldif << "/d/RBN_t" << Format::Ldif;
}

void TestExport::formatOf()
{
    QFETCH(QString, path);
    QFETCH(Format, format);
    QFETCH(QString, folder);
    QFETCH(Format, chosen);
    QCOMPARE(ExportFormats::formatOf(path, chosen), format);
    QCOMPARE(ExportFormats::vcardFolder(path), folder);
}

void TestExport::wholePage()
{
    int calls = 0;
    auto date = [&calls] {
        ++calls;
        return fixedDate();
    };
    QCOMPARE(ExportFormats::htmlPage({kMario, kLucia}, contactColumnCaptions(), date),
             pageHead() + marioAndLuciaRows() + pageFoot());
    QCOMPARE(calls, 3);
    // No contacts: the header row alone.
    QCOMPARE(ExportFormats::htmlPage({}, contactColumnCaptions(), date), pageHead() + pageFoot());
}

void TestExport::pageCells_data()
{
    QTest::addColumn<int>("field"); // 0-based
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("cell");
    const int sito = TContatto::sito, email = TContatto::email, note = TContatto::note;
    QTest::newRow("script in a note") << note << QByteArray("<script>alert(1)</script>")
                                      << td("&lt;script&gt;alert(1)&lt;/script&gt;");
    QTest::newRow("ampersand and quotes") << note << QByteArray("a & b \"c\" &amp;") << td("a &amp; b &quot;c&quot; &amp;amp;");
    QTest::newRow("stored comma") << note << QByteArray("uno&#44;due") << td("uno,due");
    QTest::newRow("stored leading quote") << note << QByteArray("&#34;citato\"") << td("&quot;citato&quot;");
    QTest::newRow("quote breaking out of mailto") << email << QByteArray("x\"><script>@y")
        << td("<a href=\"mailto:x&quot;&gt;&lt;script&gt;@y\">x&quot;&gt;&lt;script&gt;@y</a>");
    QTest::newRow("e-mail with a query") << email << QByteArray("a@x.example?subject=Ciao&body=x")
        << td("<a href=\"mailto:a@x.example\">a@x.example?subject=Ciao&amp;body=x</a>");
    QTest::newRow("note longer than a block") << note << QByteArray("x<").repeated(600000)
                                              << td(QByteArray("x&lt;").repeated(600000));
    QTest::newRow("empty e-mail of a short line") << email << QByteArray() << td("<a href=\"mailto:\"></a>");
    QTest::newRow("javascript site") << sito << QByteArray("javascript:alert(1)") << td("javascript:alert(1)");
    QTest::newRow("file site") << sito << QByteArray("file:///etc/passwd") << td("file:///etc/passwd");
    QTest::newRow("local path site") << sito << QByteArray("C:\\dati\\a.htm") << td("C:\\dati\\a.htm");
    QTest::newRow("bare word site") << sito << QByteArray("acme") << td("acme");
    QTest::newRow("www site") << sito << QByteArray("www.a.example/?x=1&y=2")
        << td("<a href=\"http://www.a.example/?x=1&amp;y=2\" target=\"_new\" title=\"Nuova finestra\">www.a.example/?x=1&amp;y=2</a>");
    QTest::newRow("upper-case https site") << sito << QByteArray("HTTPS://a.example")
        << td("<a href=\"HTTPS://a.example\" target=\"_new\" title=\"Nuova finestra\">HTTPS://a.example</a>");
    QTest::newRow("site with quote") << sito << QByteArray("http://a.example/\" onclick=\"x")
        << td("<a href=\"http://a.example/&quot; onclick=&quot;x\" target=\"_new\" title=\"Nuova finestra\">"
              "http://a.example/&quot; onclick=&quot;x</a>");
    QTest::newRow("marker site") << sito << QByteArray("-") << td("-");
    QTest::newRow("fax is text") << int(TContatto::fax) << QByteArray("02 5") << td("02 5");
    QTest::newRow("office phone") << int(TContatto::telufficio) << QByteArray("02<4")
                                  << td("<a href=\"callto:02&lt;4\">02&lt;4</a>");
}

void TestExport::pageCells()
{
    QFETCH(int, field);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, cell);
    TContatto c = TContatto::fromLine(kLucia);
    c.fields[field] = value;
    QByteArrayList fields(c.fields.begin(), c.fields.end());
    const QByteArrayList page = AddressBook::splitLines(
        ExportFormats::htmlPage({fields.join(',')}, contactColumnCaptions(), fixedDate));
    // 21 lines of head, 19 header cells, "</tr>", "<tr>", the number cell, then the fields.
    QCOMPARE(page.size(), 28 + 19 + 21);
    QCOMPARE(page[43 + field] + "\r\n", cell);
}

void TestExport::wholeLdif()
{
    QCOMPARE(ExportFormats::ldif({kMario, kLucia, kNicolo}), kMarioLdif + kLuciaLdif + kNicoloLdif);
    QCOMPARE(ExportFormats::ldif({}), QByteArray());
    // Without a name or an address the dn keeps the part it has: an empty value is no
    // valid part of a name.
    QCOMPARE(ldifEntry("-,-,-,-,-,-,-,-,-,-,-,-,-,-,a@x.example").first(), "dn: mail=a@x.example");
    QCOMPARE(ldifEntry("Anna,-").first(), "dn: cn=Anna");
    // Without either, the entry is named by its position: no two entries share a dn.
    QByteArrayList dns;
    for (const QByteArray &l : AddressBook::splitLines(ExportFormats::ldif({"-,-", "Anna,-", "-,-"})))
        if (l.startsWith("dn: "))
            dns << l;
    QCOMPARE(dns, QByteArrayList({"dn: cn=Contatto1", "dn: cn=Anna", "dn: cn=Contatto3"}));
    // A short line: the fields it lacks are left out like empty ones.
    QCOMPARE(ExportFormats::ldif({"solo,nome"}), "dn: cn=solo nome\r\n" + kObjectClasses
                 + "givenName: solo\r\nsn: nome\r\ncn: solo nome\r\nmodifytimestamp: 0Z\r\n\r\n");
}

void TestExport::ldifValues_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("value"); // Windows-1252, as stored
    QTest::addColumn<QByteArray>("attribute");
    QTest::addColumn<QByteArray>("line");    // the attribute's line as written
    QTest::addColumn<QByteArray>("decoded"); // its value read back, UTF-8
    const int nome = TContatto::nome, email = TContatto::email, note = TContatto::note;
    QTest::newRow("accented given name") << nome << QByteArray("Jos\xE9") << QByteArray("givenName")
                                         << QByteArray("givenName:: Sm9zw6k=") << QByteArray("Jos\xC3\xA9");
    QTest::newRow("euro sign") << note << QByteArray("costo 5 \x80") << QByteArray("description")
                               << QByteArray("description:: Y29zdG8gNSDigqw=") << QByteArray("costo 5 \xE2\x82\xAC");
    QTest::newRow("leading colon") << note << QByteArray(":)") << QByteArray("description")
                                   << QByteArray("description:: Oik=") << QByteArray(":)");
    QTest::newRow("leading less-than") << note << QByteArray("<b>") << QByteArray("description")
                                       << QByteArray("description:: PGI+") << QByteArray("<b>");
    QTest::newRow("trailing blank") << note << QByteArray("fine ") << QByteArray("description")
                                    << QByteArray("description:: ZmluZSA=") << QByteArray("fine ");
    QTest::newRow("NUL byte") << note << QByteArray("a\0b", 3) << QByteArray("description")
                              << QByteArray("description:: YQBi") << QByteArray("a\0b", 3);
    QTest::newRow("inner colon and less-than stay plain") << note << QByteArray("a:<b") << QByteArray("description")
                                                          << QByteArray("description: a:<b") << QByteArray("a:<b");
    QTest::newRow("stored comma") << note << QByteArray("a&#44;b&#44;") << QByteArray("description")
                                  << QByteArray("description: a,b,") << QByteArray("a,b,");
    QTest::newRow("stored leading quote") << note << QByteArray("&#34;a\" &#34;") << QByteArray("description")
                                          << QByteArray("description: \"a\" &#34;") << QByteArray("\"a\" &#34;");
    QTest::newRow("work mobile without office telephone") << int(TContatto::celllavoro) << QByteArray("335 2")
                                                          << QByteArray("telephoneNumber")
                                                          << QByteArray("telephoneNumber: 335 2") << QByteArray("335 2");
    const QByteArray longUtf8 = QByteArray("\xC3\xA8").repeated(5000);
    QTest::newRow("long accented note") << note << QByteArray("\xE8").repeated(5000) << QByteArray("description")
                                        << "description:: " + longUtf8.toBase64() << longUtf8;
    QTest::newRow("plus in e-mail, dn") << email << QByteArray("a+b@x.example") << QByteArray("dn")
                                        << QByteArray("dn: cn=Lucia Bianchi,mail=a\\+b@x.example")
                                        << QByteArray("cn=Lucia Bianchi,mail=a\\+b@x.example");
    QTest::newRow("stored comma in dn") << nome << QByteArray("a&#44;b") << QByteArray("dn")
                                        << QByteArray("dn: cn=a\\,b Bianchi")
                                        << QByteArray("cn=a\\,b Bianchi");
    QTest::newRow("accent in dn after escaping") << nome << QByteArray("\xC0+") << QByteArray("dn")
                                                 << QByteArray("dn:: Y249w4BcKyBCaWFuY2hp")
                                                 << QByteArray("cn=\xC3\x80\\+ Bianchi");
    QTest::newRow("leading blank name in dn") << nome << QByteArray(" x") << QByteArray("dn")
                                              << QByteArray("dn: cn=\\ x Bianchi")
                                              << QByteArray("cn=\\ x Bianchi");
}

void TestExport::ldifValues()
{
    QFETCH(int, field);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, attribute);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, decoded);
    TContatto c = TContatto::fromLine(kLucia);
    c.fields[field] = value;
    const QByteArrayList entry = ldifEntry(QByteArrayList(c.fields.begin(), c.fields.end()).join(','));
    const auto it = std::find_if(entry.begin(), entry.end(), [&](const QByteArray &l) {
        return l.startsWith(attribute + ":");
    });
    QVERIFY(it != entry.end());
    QCOMPARE(*it, line);
    QCOMPARE(ldifValue(AddressBook::joinLines(entry), attribute), decoded);
}

void TestExport::roundTrips_data()
{
    QTest::addColumn<QByteArray>("line");
    // Per format, the fields (0-based) that come back unchanged; the others are not compared.
    QTest::addColumn<QList<int>>("vcard12");
    QTest::addColumn<QList<int>>("ldif");
    QTest::addColumn<QList<int>>("phoneBook");
    auto row = [](const char *name, const QByteArray &line) {
        const TContatto c = TContatto::fromLine(line);
        QTest::newRow(name) << line << broughtBack(Format::VCard, c) << broughtBack(Format::Ldif, c)
                            << broughtBack(Format::PhoneBook, c);
    };
    row("full contact", kMario);
    row("empty fields", kLucia);
    row("accents", kNicolo);
    row("commas", "Anna,Verdi&#44; Neri,Capo&#44; ufficio,Acme&#44; S.p.A.,Via Roma&#44; 1,Forl\xEC,47121,Italia,"
                  "-,-,-,-,-,anna&#44;im,anna@example.org,http://a.example/?a=1&#44;2,uno&#44; due&#44; tre,D");
    row("leading quotes", "&#34;Gigi\",Bianchi,&#34;Capo\" reparto,&#34;Ditta\",-,-,-,-,-,-,-,-,-,-,-,-,"
                          "&#34;citato\" e basta,D");
    row("Windows-1252 only", "Zo\xEB,D\x92" "Angelo,-,Caff\xE8 \x80uro,-,-,-,-,-,-,-,-,-,-,-,-,"
                             "prezzo 5 \x80 \x96 sconto \x93speciale\x94,D");
    // Every combination of the five telephones.
    for (int mask = 0; mask < 32; ++mask) {
        TContatto c = TContatto::fromLine(kLucia);
        for (int t = 0; t < 5; ++t)
            c.fields[TContatto::cellprivato + t] = (mask >> t) & 1 ? "+39 3" + QByteArray::number(t) : "-";
        QStringList present;
        for (int t = 0; t < 5; ++t) {
            if ((mask >> t) & 1)
                present << contactColumnCaptions()[TContatto::cellprivato + t + 1];
        }
        row(qPrintable(QStringLiteral("telephones: ") + (mask ? present.join(u'+') : QStringLiteral("none"))),
            c.toLine());
    }
}

void TestExport::roundTrips()
{
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, vcard12);
    QFETCH(QList<int>, ldif);
    QFETCH(QList<int>, phoneBook);
    const TContatto before = TContatto::fromLine(line);
    TmsVCard card;
    QTemporaryDir dir;
    QVERIFY(ExportFormats::writeCards(card, {line}, dir.path() + u'/'));
    const QByteArray cardFile = readAll(dir.path() + QStringLiteral("/1.vcf"));

    const struct
    {
        const char *format;
        QByteArrayList back;
        QList<int> compared;
    } trips[] = {
        {"vCard 1.2", Importers::vcardCandidates(cardFile, card, "D").candidates, vcard12},
        {"LDIF", Importers::ldifCandidates(ExportFormats::ldif({line}), "D"), ldif},
        {"vCard 3.0", Importers::vcardCandidates(ExportFormats::phoneBook({line}), card, "D").candidates, phoneBook},
    };
    for (const auto &trip : trips) {
        QCOMPARE(trip.back.size(), 1);
        const TContatto after = TContatto::fromLine(trip.back.first());
        QByteArrayList expected, actual; // "format field: value", so that a failure names both
        for (const int k : trip.compared) {
            const QByteArray field = trip.format + QByteArray(" ") + contactColumnCaptions()[k + 1].toUtf8() + ": ";
            expected << field + before.fields[k];
            actual << field + after.fields[k];
        }
        QCOMPARE(actual, expected);
    }
}

void TestExport::dnEscape_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("reserved characters") << QByteArray("A,B+C\"D\\E<F>G;H=I") << QByteArray("A\\,B\\+C\\\"D\\\\E\\<F\\>G\\;H\\=I");
    QTest::newRow("leading hash and blank") << QByteArray("#a") << QByteArray("\\#a");
    QTest::newRow("inner hash and blanks") << QByteArray("a # b") << QByteArray("a # b");
    QTest::newRow("blanks at both ends") << QByteArray(" a ") << QByteArray("\\ a\\ ");
    QTest::newRow("one blank") << QByteArray(" ") << QByteArray("\\ ");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestExport::dnEscape()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, escaped);
    QCOMPARE(ExportFormats::dnEscape(value), escaped);
}

void TestExport::wholeCards()
{
    TestFolder folder;
    TmsVCard card;
    const QString dir = folder.path(QStringLiteral("RBN_x/"));
    QDir().mkdir(dir);
    QVERIFY(ExportFormats::writeCards(card, {kMario, kLucia, kNicolo}, dir));
    QCOMPARE(folder.read(QStringLiteral("RBN_x/1.vcf")), kMarioCard);
    QCOMPARE(folder.read(QStringLiteral("RBN_x/2.vcf")), kLuciaCard);
    QCOMPARE(folder.read(QStringLiteral("RBN_x/3.vcf")), kNicoloCard);

    // A second, shorter export replaces 1.vcf and 2.vcf and leaves 3.vcf alone; a short line
    // gives a card with the fields it has, a zero-length note no NOTE line.
    QVERIFY(ExportFormats::writeCards(card, {"solo,nome", kMario}, dir));
    QCOMPARE(folder.read(QStringLiteral("RBN_x/1.vcf")),
             QByteArray("BEGIN:VCARD\r\nVERSION:1.2\r\nN:nome;solo;;;\r\nEND:VCARD\r\n"));
    QCOMPARE(folder.read(QStringLiteral("RBN_x/2.vcf")), kMarioCard);
    QCOMPARE(folder.read(QStringLiteral("RBN_x/3.vcf")), kNicoloCard);

    QVERIFY(!ExportFormats::writeCards(card, {}, dir));
    QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 3);
}

void TestExport::cardPhones_data()
{
    QTest::addColumn<QByteArrayList>("phones"); // private mobile, work mobile, home, office, fax
    QTest::addColumn<QByteArrayList>("lines");  // the card's TEL lines
    QTest::newRow("all five: no slot for the landlines")
        << QByteArrayList{"1", "2", "3", "4", "5"} << QByteArrayList{"TEL;HOME;CELL:1", "TEL;WORK;CELL:2", "TEL;HOME;FAX:5"};
    QTest::newRow("home and office") << QByteArrayList{"-", "-", "3", "4", "-"}
                                     << QByteArrayList{"TEL;HOME;VOICE:3", "TEL;WORK;VOICE:4"};
    QTest::newRow("office alone") << QByteArrayList{"-", "-", "-", "4", "-"} << QByteArrayList{"TEL;WORK;VOICE:4"};
    QTest::newRow("work mobile, home, office") << QByteArrayList{"-", "2", "3", "4", "-"}
        << QByteArrayList{"TEL;HOME;VOICE:3", "TEL;WORK;CELL:2", "TEL;WORK;VOICE:4"};
    QTest::newRow("private mobile, office, fax") << QByteArrayList{"1", "-", "-", "4", "5"}
        << QByteArrayList{"TEL;HOME;CELL:1", "TEL;WORK;VOICE:4", "TEL;HOME;FAX:5"};
}

void TestExport::cardPhones()
{
    QFETCH(QByteArrayList, phones);
    QFETCH(QByteArrayList, lines);
    TContatto c = TContatto::fromLine(kLucia);
    std::copy(phones.begin(), phones.end(), c.fields.begin() + TContatto::cellprivato);
    TmsVCard card;
    ExportFormats::fillCard(card, c.toLine());
    QByteArrayList tel;
    for (const QByteArray &line : AddressBook::splitLines(card.SaveToBytes())) {
        if (line.startsWith("TEL"))
            tel << line;
    }
    QCOMPARE(tel, lines);
}

void TestExport::wholePhoneBook()
{
    // Commas, semicolons and a backslash escaped; folds that fall inside a character of two
    // and of three bytes move before it.
    const QByteArray nicolo = "Nicol\xF2,D\x92\xC0mico,Capo; reparto,Acme&#44; S.p.A.,Via Roma&#44; 1,Citt\xE0 di Castello,"
                              "06012,Italia,+39 333 1,+39 335 2,075 3,075 4,075 5,nicolo.aim,nicolo@example.org,"
                              "http://a.example/?a=1&#44;2,&#34;Cliente\" storico; costo 5 \x80 per l'abbonamento "
                              "annuo\\mensile&#44; gi\xE0 pi\xF9 volte rinnovato: dal 2004 con lo sconto del 10% sul "
                              "totale annuo\x85 fine,01/02/2009 10:11:12";
    const QByteArray nicoloCard = "BEGIN:VCARD\r\n"
                                  "VERSION:3.0\r\n"
                                  "N:D’Àmico;Nicolò;;;\r\n"
                                  "FN:Nicolò D’Àmico\r\n"
                                  "ORG:Acme\\, S.p.A.\r\n"
                                  "TITLE:Capo\\; reparto\r\n"
                                  "ADR;TYPE=HOME:;;Via Roma\\, 1;Città di Castello;;06012;Italia\r\n"
                                  "TEL;TYPE=CELL:+39 333 1\r\n"
                                  "TEL;TYPE=CELL,WORK:+39 335 2\r\n"
                                  "TEL;TYPE=HOME,VOICE:075 3\r\n"
                                  "TEL;TYPE=WORK,VOICE:075 4\r\n"
                                  "TEL;TYPE=FAX:075 5\r\n"
                                  "EMAIL;TYPE=INTERNET:nicolo@example.org\r\n"
                                  "URL:http://a.example/?a=1\\,2\r\n"
                                  "NOTE:\"Cliente\" storico\\; costo 5 € per l'abbonamento annuo\\\\mensile\\, gi\r\n"
                                  " à più volte rinnovato: dal 2004 con lo sconto del 10% sul totale annuo\r\n"
                                  " … fine\r\n"
                                  "X-AIM:nicolo.aim\r\n"
                                  "END:VCARD\r\n";
    QCOMPARE(ExportFormats::phoneBook({nicolo}), nicoloCard);
    // Empty fields write no line; without names the organisation is the name shown.
    QCOMPARE(ExportFormats::phoneBook({kLucia, "-,-,-,Solo Ditta", "Solo,-"}),
             QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bianchi;Lucia;;;\r\nFN:Lucia Bianchi\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:Solo Ditta\r\nORG:Solo Ditta\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;Solo;;;\r\nFN:Solo\r\nEND:VCARD\r\n"));
    QCOMPARE(ExportFormats::phoneBook({}), QByteArray());
}

void TestExport::windowControls()
{
    TestFolder folder;
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Esporta contatti"));
    QCOMPARE(window.size(), QSize(500, 430));
    QCOMPARE(window.minimumSize(), QSize(500, 430));
    auto *r1 = window.findChild<QRadioButton *>(QStringLiteral("r1"));
    auto *r2 = window.findChild<QRadioButton *>(QStringLiteral("r2"));
    auto *lista = window.findChild<ContactListView *>(QStringLiteral("lista"));
    auto *lcontatti = window.findChild<QLabel *>(QStringLiteral("lcontatti"));
    auto *txtfile = window.findChild<QLineEdit *>(QStringLiteral("txtfile"));
    QVERIFY(r1->isChecked());
    QCOMPARE(r2->text(), QStringLiteral("Contatti selezionati nella schermata principale"));
    QVERIFY(!lista->isEnabled() && !lcontatti->isEnabled());
    QVERIFY(!window.findChild<QLabel *>(QStringLiteral("Label1"))->isEnabled());
    QCOMPARE(lcontatti->text(), QStringLiteral("0"));
    QCOMPARE(lista->model()->columnCount(), 19);
    QVERIFY(txtfile->isReadOnly() && txtfile->text().isEmpty());
    auto *BitBtn1 = window.findChild<QPushButton *>(QStringLiteral("BitBtn1"));
    QVERIFY(BitBtn1->isDefault() && BitBtn1->font().bold());

    clickRadio(r2);
    QVERIFY(lista->isEnabled() && lcontatti->isEnabled());
    clickRadio(r1);
    QVERIFY(!lista->isEnabled() && !lcontatti->isEnabled());

    choose(window, folder.path(QStringLiteral("uscita.htm")));
    QCOMPARE(FileDialogs::lastRequest().defaultSuffix, QStringLiteral("htm"));
    QCOMPARE(FileDialogs::lastRequest().filters,
             QStringList({QStringLiteral("Pagina web (*.htm *.html)"), QStringLiteral("Rubrica di Mozilla Thunderbird (*.ldif)"),
                          QStringLiteral("Biglietto da visita (*.vcard)"),
                          QStringLiteral("Rubrica per telefoni (vCard 3.0, un solo file) (*.vcf)")}));
    QCOMPARE(txtfile->text(), QDir::toNativeSeparators(folder.path(QStringLiteral("uscita.htm"))));
    // Cancelling the dialog keeps the file chosen before.
    choose(window, QString());
    QCOMPARE(txtfile->text(), QDir::toNativeSeparators(folder.path(QStringLiteral("uscita.htm"))));

    window.findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QVERIFY(!QFileInfo::exists(folder.path(QStringLiteral("uscita.htm"))));
}

void TestExport::selectionFollowsMainList()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario, kLucia, contact(3), contact(4), contact(5)}));
    TfrmMain w;
    w.show();
    selectRows(w, {3, 1});
    TfrmEsporta window(&w);
    window.show();
    auto *lista = window.findChild<ContactListView *>(QStringLiteral("lista"));
    QAbstractItemModel *m = lista->model();
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("2"));
    QCOMPARE(m->data(m->index(1, 0)).toString(), QStringLiteral("4"));
    QCOMPARE(m->data(m->index(1, 1)).toString(), QStringLiteral("Nome4"));
    QCOMPARE(lista->columnWidth(5), w.lista->columnWidth(5));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lcontatti"))->text(), QStringLiteral("2"));

    // After a search the list holds lines 3, 4 and 5: the numbers are positions in the
    // list, not line numbers, and the export follows the list's order.
    search(w, TContatto::posizione, QStringLiteral("pos"));
    QCOMPARE(w.listModel()->rowCount(), 3);
    selectRows(w, {2, 1});
    TfrmEsporta again(&w);
    again.show();
    m = again.findChild<ContactListView *>(QStringLiteral("lista"))->model();
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("2"));
    QCOMPARE(m->data(m->index(1, 0)).toString(), QStringLiteral("3"));
    clickRadio(again.findChild<QRadioButton *>(QStringLiteral("r2")));
    choose(again, folder.path(QStringLiteral("scelti.html")));
    again.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    QCOMPARE(normalised(folder.read(QStringLiteral("scelti.html"))),
             ExportFormats::htmlPage({contact(4), contact(5)}, contactColumnCaptions(), fixedDate));
}

void TestExport::refusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    const QString unknown = QStringLiteral("Formato non riconosciuto: scegli un file .htm, .html, .ldif, .vcard o .vcf.");
    QTest::newRow("no file") << QString() << QStringLiteral("Non hai specificato alcun file.");
    QTest::newRow("txt") << QStringLiteral("rubrica.txt") << unknown;
    QTest::newRow("no extension") << QStringLiteral("rubrica") << unknown;
    QTest::newRow("ldif then more") << QStringLiteral("rubrica.ldif.old") << unknown;
}

void TestExport::refusals()
{
    QFETCH(QString, file);
    QFETCH(QString, message);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario}));
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    if (!file.isEmpty())
        choose(window, folder.path(file));
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Error"));
    QCOMPARE(shown.first().text, message);
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(!window.isVisible());
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("data")});
}

void TestExport::htmlFromWholeBook_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("view");
    QTest::addColumn<QFile::Permissions>("mode"); // of the page replaced, which keeps it
    QTest::newRow("htm, viewed") << QStringLiteral("pagina.htm") << true << (QFile::ReadOwner | QFile::WriteOwner);
    QTest::newRow("HTML, not viewed") << QStringLiteral("pagina.HTML") << false
                                      << (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

void TestExport::htmlFromWholeBook()
{
    QFETCH(QString, name);
    QFETCH(bool, view);
    QFETCH(QFile::Permissions, mode);
    TestFolder folder;
    // A zero-length line is skipped; the short line is a contact with empty fields.
    folder.write(QStringLiteral("data/contact.csv"), kMario + "\r\n\r\nsolo,nome\r\n" + kLucia + "\r\n");
    folder.write(name, "vecchia pagina");
    QVERIFY(QFile::setPermissions(folder.path(name), mode));
    const QFile::Permissions before = QFile::permissions(folder.path(name));
    TfrmMain w;
    w.show();
    selectRows(w, {2});
    TfrmEsporta window(&w);
    window.show();
    choose(window, folder.path(name));
    Messages::setNextAnswer(view ? QMessageBox::Yes : QMessageBox::No);
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();

    const QByteArray expected = ExportFormats::htmlPage({kMario, "solo,nome", kLucia}, contactColumnCaptions(), fixedDate);
    QCOMPARE(normalised(folder.read(name)), expected);
    QVERIFY(expected.contains(td("2") + td("solo") + td("nome") + td("") + td("")));
    QCOMPARE(QFile::permissions(folder.path(name)), before);
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Esportazione contatti"));
    const QString native = QDir::toNativeSeparators(folder.path(name));
    QCOMPARE(shown.first().text,
             QStringLiteral("Lista contatti esportata in ") + native + QStringLiteral(" . Vuoi visualizzare la pagina creata nel browser?"));
    QCOMPARE(shown.first().icon, QMessageBox::NoIcon);
    QCOMPARE(takeShellOpened(), view ? QStringList{native} : QStringList());
    QCOMPARE(window.result(), int(QDialog::Accepted));
}

void TestExport::htmlWriteFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnly"); // a read-only file of that name; else a folder
    QTest::addColumn<QString>("filter"); // the type chosen in the save dialog
    QTest::newRow("folder in the way") << QStringLiteral("pagina.htm") << false << QString();
    QTest::newRow("read-only page") << QStringLiteral("pagina.htm") << true << QString();
    QTest::newRow("read-only LDIF") << QStringLiteral("rubrica.ldif") << true << QString();
    QTest::newRow("read-only phone book named .vcard") << QStringLiteral("telefoni.vcard") << true
                                                       << QStringLiteral("Rubrica per telefoni (vCard 3.0, un solo file) (*.vcf)");
}

void TestExport::htmlWriteFailure()
{
    QFETCH(QString, name);
    QFETCH(bool, readOnly);
    QFETCH(QString, filter);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario}));
    const QString path = folder.path(name);
    // The target's name is taken by a folder, or by a file the user may not write: the
    // export never replaces it, and says why.
    if (readOnly) {
        folder.write(name, "vecchio");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else {
        QDir(folder.path()).mkdir(name);
    }
    const QFile::Permissions before = QFile::permissions(path);
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    choose(window, path, filter);
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QVERIFY(shown.first().text.contains(name));
    if (readOnly) {
        QVERIFY2(shown.first().text.endsWith(QStringLiteral(" è di sola lettura.")), qPrintable(shown.first().text));
        QCOMPARE(folder.read(name), QByteArray("vecchio"));
        QCOMPARE(QFile::permissions(path), before);
    }
    // Nothing else was written beside it, not even a temporary file.
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({QStringLiteral("data"), name}));
    QVERIFY(takeShellOpened().isEmpty());
}

void TestExport::ldifFromSelection_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("none selected") << QList<int>() << QByteArray();
    QTest::newRow("in list order") << QList<int>{2, 0} << QByteArray(kMarioLdif + kNicoloLdif);
    // A field stored quoted, with a comma, as other programs write it: the same entry as
    // from the whole book, nothing shifted.
    QTest::newRow("quoted field") << QList<int>{3} << ExportFormats::ldif({kQuoted});
}

void TestExport::ldifFromSelection()
{
    QFETCH(QList<int>, rows);
    QFETCH(QByteArray, expected);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario, kLucia, kNicolo, kQuoted}));
    TfrmMain w;
    w.show();
    selectRows(w, rows);
    TfrmEsporta window(&w);
    window.show();
    clickRadio(window.findChild<QRadioButton *>(QStringLiteral("r2")));
    choose(window, folder.path(QStringLiteral("rubrica.LDIF")));
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    QCOMPARE(folder.read(QStringLiteral("rubrica.LDIF")), expected);
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Rubrino"));
    QCOMPARE(shown.first().icon, QMessageBox::NoIcon);
    QCOMPARE(shown.first().text, QStringLiteral("Rubrica correttamente esportata in ")
                                     + QDir::toNativeSeparators(folder.path(QStringLiteral("rubrica.LDIF"))));
    // The address book is never changed by an export.
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book({kMario, kLucia, kNicolo, kQuoted}));
}

void TestExport::unreadableBook()
{
    TestFolder folder;
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    choose(window, folder.path(QStringLiteral("rubrica.ldif")));
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QVERIFY(shown.first().text.contains(QStringLiteral("contact.csv")));
    QVERIFY(!QFileInfo::exists(folder.path(QStringLiteral("rubrica.ldif"))));
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(!QApplication::overrideCursor());
}

void TestExport::vcardExport_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("selected"); // the scope: selected contacts (none) or the whole book
    QTest::addColumn<bool>("open");
    QTest::newRow("a.b.vcf, opened") << QStringLiteral("a.b.vcf") << false << true;
    QTest::newRow("VCARD, not opened") << QStringLiteral("Biglietti.VCARD") << false << false;
    QTest::newRow("nothing selected") << QStringLiteral("vuoto.vcf") << true << true;
}

void TestExport::vcardExport()
{
    QFETCH(QString, name);
    QFETCH(bool, selected);
    QFETCH(bool, open);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario, kLucia}));
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    if (selected)
        clickRadio(window.findChild<QRadioButton *>(QStringLiteral("r2")));
    choose(window, folder.path(name));
    Messages::setNextAnswer(QMessageBox::Ok);
    Messages::setNextAnswer(open ? QMessageBox::Yes : QMessageBox::No);
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();

    const QString base = name.left(name.indexOf(u'.'));
    const QString dir = QStringLiteral("RBN_") + base;
    const QString native = QDir::toNativeSeparators(folder.path(dir));
    QVERIFY(QFileInfo(folder.path(dir)).isDir());
    QVERIFY(!QFileInfo::exists(folder.path(name)));
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), selected ? 1 : 2);
    QCOMPARE(shown[0].title, QStringLiteral("Rubrino"));
    QCOMPARE(shown[0].text, QStringLiteral("Hai scelto di esportare in formato VCARD. Verrà creata una sottocartella con il "
                                           "nome del file scelto nella quale verranno esportati i biglietti da visita di ogni "
                                           "singolo contatto scelto."));
    if (selected) {
        QVERIFY(QDir(folder.path(dir)).isEmpty());
        QVERIFY(takeShellOpened().isEmpty());
        return;
    }
    QCOMPARE(folder.read(dir + QStringLiteral("/1.vcf")), kMarioCard);
    QCOMPARE(folder.read(dir + QStringLiteral("/2.vcf")), kLuciaCard);
    QCOMPARE(shown[1].title, QStringLiteral("Esportazione contatti"));
    QCOMPARE(shown[1].text, QStringLiteral("Biglietti da visita esportati nella cartella ") + native
                                + QStringLiteral(". Vuoi aprire la cartella ora?"));
    QCOMPARE(takeShellOpened(), open ? QStringList{native} : QStringList());
}

void TestExport::vcardWriteFailure_data()
{
    QTest::addColumn<int>("blocker"); // 0: a file holds the folder's name; 1: a folder holds 2.vcf's; 2: 3.vcf is read-only
    QTest::addColumn<QString>("failed");
    QTest::addColumn<QStringList>("left"); // what the folder holds afterwards
    QTest::newRow("folder's name taken") << 0 << QStringLiteral("1.vcf") << QStringList();
    QTest::newRow("second card's name taken") << 1 << QStringLiteral("2.vcf")
                                              << QStringList{QStringLiteral("1.vcf"), QStringLiteral("2.vcf")};
    // A protected card stops the export before any card is written.
    QTest::newRow("third card read-only") << 2 << QStringLiteral("3.vcf\": il file è di sola lettura.")
                                          << QStringList{QStringLiteral("3.vcf")};
}

void TestExport::vcardWriteFailure()
{
    QFETCH(int, blocker);
    QFETCH(QString, failed);
    QFETCH(QStringList, left);
    const bool folderTaken = blocker == 0;
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario, kLucia, kNicolo}));
    if (folderTaken) {
        folder.write(QStringLiteral("RBN_carte"), "occupato");
    } else if (blocker == 1) {
        QDir().mkpath(folder.path(QStringLiteral("RBN_carte/2.vcf")));
    } else {
        QDir().mkpath(folder.path(QStringLiteral("RBN_carte")));
        folder.write(QStringLiteral("RBN_carte/3.vcf"), "vecchio");
        QVERIFY(QFile::setPermissions(folder.path(QStringLiteral("RBN_carte/3.vcf")), QFile::ReadOwner));
    }
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    choose(window, folder.path(QStringLiteral("carte.vcf")));
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].icon, QMessageBox::Critical);
    QVERIFY2(shown[1].text.contains(failed), qPrintable(shown[1].text));
    // The export stops at the failed card; the cards before it stay, no temporary file does.
    if (folderTaken)
        QCOMPARE(folder.read(QStringLiteral("RBN_carte")), QByteArray("occupato"));
    else
        QCOMPARE(QDir(folder.path(QStringLiteral("RBN_carte"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), left);
    QVERIFY(!QApplication::overrideCursor());
}

void TestExport::phoneBookExport_data()
{
    QTest::addColumn<QList<int>>("selected"); // rows of the main list; empty: the whole book
    QTest::addColumn<QByteArrayList>("contacts");
    QTest::addColumn<QString>("count");
    QTest::newRow("whole book") << QList<int>() << QByteArrayList{kMario, kLucia} << QStringLiteral("2 contatti");
    QTest::newRow("one selected") << QList<int>{1} << QByteArrayList{kLucia} << QStringLiteral("1 contatto");
}

void TestExport::phoneBookExport()
{
    QFETCH(QList<int>, selected);
    QFETCH(QByteArrayList, contacts);
    QFETCH(QString, count);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario, kLucia}));
    folder.write(QStringLiteral("telefono.vcf"), "vecchio");
    TfrmMain w;
    w.show();
    selectRows(w, selected);
    TfrmEsporta window(&w);
    window.show();
    if (!selected.isEmpty())
        clickRadio(window.findChild<QRadioButton *>(QStringLiteral("r2")));
    choose(window, folder.path(QStringLiteral("telefono.vcf")),
           QStringLiteral("Rubrica per telefoni (vCard 3.0, un solo file) (*.vcf)"));
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();

    QCOMPARE(folder.read(QStringLiteral("telefono.vcf")), ExportFormats::phoneBook(contacts));
    QVERIFY(!QFileInfo::exists(folder.path(QStringLiteral("RBN_telefono"))));
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Rubrino"));
    QCOMPARE(shown.first().text, QStringLiteral("Rubrica per telefoni esportata in ")
                                     + QDir::toNativeSeparators(folder.path(QStringLiteral("telefono.vcf")))
                                     + QStringLiteral(": il file contiene ") + count + u'.');
}

void TestExport::mainButtonOpensWindow()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book({kMario, kLucia}));
    TfrmMain w;
    w.show();
    selectRows(w, {1});
    QString title, count;
    QTimer::singleShot(0, [&] {
        auto *window = qobject_cast<TfrmEsporta *>(QApplication::activeModalWidget());
        QVERIFY(window);
        title = window->windowTitle();
        count = window->findChild<QLabel *>(QStringLiteral("lcontatti"))->text();
        window->findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
    });
    w.findChild<QPushButton *>(QStringLiteral("Button5"))->click();
    QCOMPARE(title, QStringLiteral("Esporta contatti"));
    QCOMPARE(count, QStringLiteral("1"));
    QVERIFY(!w.findChild<TfrmEsporta *>());
}

void TestExport::progressWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("stopAt"); // the report at which "Annulla" is pressed; 0: never
    QTest::addColumn<QString>("told"); // the last message; "%1": the target, "%2": the cards in its folder
    const QString phoneBook = QStringLiteral("Rubrica per telefoni (vCard 3.0, un solo file) (*.vcf)");
    QTest::newRow("short work, no window") << "rubrica.ldif" << QString() << 0
                                           << QStringLiteral("Rubrica correttamente esportata in %1");
    // A stopped export leaves no file, or the earlier one as it was, and says nothing.
    QTest::newRow("page over an earlier one") << "pagina.htm" << QString() << 2 << QString();
    QTest::newRow("LDIF") << "rubrica.ldif" << QString() << 3 << QString();
    QTest::newRow("phone book over an earlier one") << "telefono.vcf" << phoneBook << 2 << QString();
    // Cards written before the stop stay, and the user hears how many.
    QTest::newRow("cards, stopped after some") << "carte.vcf" << QString() << 3
                                               << QStringLiteral("Esportazione annullata: %2 biglietti da visita scritti nella cartella %1.");
    QTest::newRow("cards, stopped at once") << "carte.vcf" << QString() << 1
                                            << QStringLiteral("Esportazione annullata: nessun biglietto da visita è stato scritto.");
}

void TestExport::progressWindow()
{
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(int, stopAt);
    QFETCH(QString, told);
    TestFolder folder;
    QByteArrayList lines;
    for (int i = 1; i <= 1000; ++i)
        lines << contact(i);
    folder.write(QStringLiteral("data/contact.csv"), book(lines));
    folder.write(QStringLiteral("pagina.htm"), "vecchia pagina");
    folder.write(QStringLiteral("telefono.vcf"), "vecchia rubrica");
    const QStringList before = QDir(folder.path()).entryList(QDir::Files);
    TfrmMain w;
    w.show();
    TfrmEsporta window(&w);
    window.show();
    choose(window, folder.path(name), filter);

    ProgressWindowSeam progress(stopAt, [&](TfrmAvanzamento &p) {
        QCOMPARE(p.windowTitle(), QStringLiteral("Esportazione contatti"));
        QCOMPARE(p.parentWidget(), &window);
        QCOMPARE(QApplication::activeModalWidget(), &p);
    });
    window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();

    QVERIFY(progress.reports >= std::max(stopAt, 1));
    QCOMPARE(progress.shown, stopAt > 0);
    QVERIFY(!window.findChild<TfrmAvanzamento *>());
    const bool cards = name == u"carte.vcf" && filter.isEmpty();
    const QStringList written = QDir(folder.path(QStringLiteral("RBN_carte"))).entryList(QDir::Files);
    auto shownTexts = Messages::takeShown();
    if (cards)
        shownTexts.removeFirst(); // the notice before the cards
    QCOMPARE(shownTexts.size(), told.isEmpty() ? 0 : 1);
    const QString target = QDir::toNativeSeparators(folder.path(cards ? QStringLiteral("RBN_carte") : name));
    if (!told.isEmpty())
        QCOMPARE(shownTexts.first().text, told.arg(target, QString::number(written.size())));
    if (stopAt == 0)
        return;
    // No file of the export, not even a temporary one, beside the earlier files; of the
    // cards, 1.vcf to N.vcf and nothing else, and no folder for none.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), before);
    QCOMPARE(folder.read(QStringLiteral("pagina.htm")), QByteArray("vecchia pagina"));
    QCOMPARE(folder.read(QStringLiteral("telefono.vcf")), QByteArray("vecchia rubrica"));
    QCOMPARE(written.isEmpty(), !(cards && stopAt > 1));
    QVERIFY(written.size() < lines.size());
    QCOMPARE(QFileInfo::exists(folder.path(QStringLiteral("RBN_carte"))), !written.isEmpty());
    for (int n = 1; n <= written.size(); ++n)
        QVERIFY(written.contains(QString::number(n) + QStringLiteral(".vcf")));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
