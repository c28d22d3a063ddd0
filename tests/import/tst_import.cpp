#include "support/TestSupport.h"

#include "app/ContactListView.h"
#include "app/FileDialogs.h"
#include "app/Messages.h"
#include "app/frmAvanzamentoUnit.h"
#include "app/frmMainUnit.h"
#include "export/ExportFormats.h"
#include "import/Importers.h"
#include "import/frmImportaUnit.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "store/CSVStringInfo.h"
#include "vcard/Msvcard.h"

#include <QDir>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

using Importers::Kind;
using Fields = QList<std::pair<TContatto::Field, QByteArray>>;

namespace {

const QByteArray kDate = "07/05/2024 10:11:12";

// The expected candidate: "-" in every field not given, kDate as date of insertion. Values
// are written as they must appear in the line (already with "&#44;").
QByteArray expected(const Fields &given)
{
    QByteArrayList f(TContatto::FieldCount, "-");
    f[TContatto::datainserimento] = kDate;
    for (const auto &[field, value] : given)
        f[field] = value;
    return f.join(',');
}

QByteArray contact(int n)
{
    const QByteArray s = QByteArray::number(n);
    return "Nome" + s + ",Cognome" + s + ",pos,org,Via Roma " + s + ",Milano,20100,Italia,+39 333 " + s
        + ",-,-,-,-,-,nome" + s + "@example.org,-,nota " + s + ",03/03/2008 09:05:07";
}

QString text(QWidget *w, const char *name)
{
    if (auto *l = w->findChild<QLabel *>(QLatin1String(name)))
        return l->text();
    return QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

void press(QWidget *w, const char *name)
{
    auto *b = w->findChild<QAbstractButton *>(QLatin1String(name));
    QVERIFY2(b, name);
    b->click();
}

void clickRow(TfrmImporta &w, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QRect rect = w.listim->visualRect(w.listModel()->index(row, 1));
    QTest::mouseClick(w.listim->viewport(), Qt::LeftButton, modifiers, rect.center());
}

// Waits for each selection window as the import command opens it, records what it shows
// and what the main list held meanwhile, then closes it with the next action ("Annulla"
// when no action is left).
struct ImportWindows
{
    struct Seen
    {
        QString group;
        QString file;
        QString caption;
        int rows = 0;
        QString selected;
        int mainRows = 0;
        QString changed; // the count of changed letters, when shown
    };
    QList<Seen> seen;
    QList<std::function<void(TfrmImporta &)>> actions;
    QPointer<TfrmImporta> last;
    bool stop = false;

    explicit ImportWindows(QList<std::function<void(TfrmImporta &)>> a = {}) : actions(std::move(a))
    {
        QTimer::singleShot(0, [this] { poll(); });
    }
    ~ImportWindows() { stop = true; QTest::qWait(20); }

    void poll()
    {
        if (stop)
            return;
        auto *w = qobject_cast<TfrmImporta *>(QApplication::activeModalWidget());
        if (w && w != last) {
            last = w;
            seen.append({w->gb->title(), w->lfile->text(), w->windowTitle(), w->listModel()->rowCount(),
                         text(w, "lsel"), TfrmMain::instance()->listModel()->rowCount(),
                         w->findChild<QLabel *>("lcambiati")->isVisible() ? text(w, "lcambiati") : QString()});
            if (actions.isEmpty())
                press(w, "BitBtn2");
            else
                actions.takeFirst()(*w);
        }
        QTimer::singleShot(5, [this] { poll(); });
    }
};

void importAll(TfrmImporta &w) { press(&w, "BitBtn1"); }
void cancel(TfrmImporta &w) { press(&w, "BitBtn2"); }

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kindOf_data();
    void kindOf();
    void ldif_data();
    void ldif();
    void ldifRoundTrip();
    void previousVersion_data();
    void previousVersion();
    void splitVCards_data();
    void splitVCards();
    void vcard_data();
    void vcard();
    void vcardRoundTrip();

    void importCommandThreeFiles();
    void fileImportedTwiceShowsItsDuplicates();
    void cancelledDialogChangesNothing();
    void unreadableFileStopsTheCommand_data();
    void unreadableFileStopsTheCommand();
    void unknownFormatIsReported();
    void shortLinesAreCounted();
    void cardsWithoutNames();
    void selectedRowsInDisplayOrder();
    void nothingSelected();
    void annullaLeavesTheFile();
    void missingBookIsCreated();
    void failedWriteIsReported();
    void hundredThousandCandidates();
    void progressWindow_data();
    void progressWindow();
};

void TestImport::kindOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");
    QTest::newRow("contact.csv") << "/a/b/contact.csv" << Kind::PreviousVersion;
    QTest::newRow("Contact.CSV") << "/a/Contact.CSV" << Kind::PreviousVersion;
    QTest::newRow("other csv") << "/a/contatti.csv" << Kind::Unknown;
    QTest::newRow("ldif") << "/a/rubrica.ldif" << Kind::Ldif;
    QTest::newRow("LDIF") << "/a/Rubrica.LDIF" << Kind::Ldif;
    QTest::newRow("vcf") << "/a/x.vcf" << Kind::VCard;
    QTest::newRow("VCF") << "/a/x.VCF" << Kind::VCard;
    QTest::newRow("vCard") << "/a/x.vCard" << Kind::VCard;
    QTest::newRow("last dot counts") << "/a/x.vcf.txt" << Kind::Unknown;
    QTest::newRow("dotted folder") << "/a.ldif/x" << Kind::Unknown;
    QTest::newRow("no extension") << "/a/ldif" << Kind::Unknown;
}

void TestImport::kindOf()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    QCOMPARE(Importers::kindOf(path), kind);
}

void TestImport::ldif_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("candidates");
    QTest::addColumn<int>("approximated");
    using C = TContatto;

    // An address book as a mail program writes it: a version line, base64 for accented
    // values and for the multi-line note, folded at 76 columns, a second e-mail address,
    // attributes the address book has no field for, and no empty line after the last entry.
    QTest::newRow("mail program's address book")
        << QByteArray("version: 1\r\n"
                      "\r\n"
                      "dn:: Y249w4lsb2RpZSBSb3NzaSxtYWlsPWVsb2RpZUBleGFtcGxlLm9yZw==\r\n"
                      "objectclass: top\r\n"
                      "objectclass: person\r\n"
                      "objectclass: organizationalPerson\r\n"
                      "objectclass: inetOrgPerson\r\n"
                      "objectclass: mozillaAbPersonAlpha\r\n"
                      "givenName:: w4lsb2RpZQ==\r\n"
                      "sn: Rossi\r\n"
                      "cn:: w4lsb2RpZSBSb3NzaQ==\r\n"
                      "mail: elodie.mozilla@example.org\r\n"
                      "mozillaSecondEmail: altra@example.org\r\n"
                      "nsAIMid: elodie_aim\r\n"
                      "modifytimestamp: 1700000000\r\n"
                      "telephoneNumber: 02 1234\r\n"
                      "homePhone: 02 5678\r\n"
                      "fax: 02 9999\r\n"
                      "pager: 111\r\n"
                      "mobile: 333 1234567\r\n"
                      "homeStreet: Via Roma 1\r\n"
                      "mozillaHomeLocalityName: Milano\r\n"
                      "mozillaHomePostalCode: 20100\r\n"
                      "mozillaHomeCountryName: Italia\r\n"
                      "company: ACME, S.p.A.\r\n"
                      "title: Direttrice\r\n"
                      "mozillaWorkUrl: http://www.example.org\r\n"
                      "mozillaHomeUrl: http://home.example.org\r\n"
                      "description:: UHJpbWEgcmlnYSwgY29uIHZpcmdvbGENClNlY29uZGEgcmlnYTogw6ggcGnDuS\r\n"
                      " BsdW5nYSBkZWwgc29saXRvLCBjb3PDrCBsYSByaWdhIExESUYgdmEgcGllZ2F0YSBpbiBkdWU=\r\n"
                      "\r\n"
                      "\r\n"
                      "dn: cn=Mario Bianchi,mail=mario@example.org\r\n"
                      "objectclass: top\r\n"
                      "givenname: Mario\r\n"
                      "SN: Bianchi\r\n"
                      "mail: mario@example.org\r\n"
                      "description: chiamare al fax: 123 o mail: x@y\r\n"
                      "title:   \"Capo\" reparto  \r\n"
                      "modifytimestamp: 0Z")
        << QByteArrayList{
               expected({{C::nome, "\xC9lodie"}, {C::cognome, "Rossi"}, {C::posizione, "Direttrice"},
                         {C::organizzazione, "ACME&#44; S.p.A."}, {C::indirizzo, "Via Roma 1"},
                         {C::citta, "Milano"}, {C::cap, "20100"}, {C::nazione, "Italia"},
                         {C::cellprivato, "333 1234567"}, {C::telcasa, "02 5678"}, {C::telufficio, "02 1234"},
                         {C::fax, "02 9999"}, {C::messenger, "elodie_aim"}, {C::email, "elodie.mozilla@example.org"},
                         {C::sito, "http://www.example.org"},
                         {C::note, "Prima riga&#44; con virgola Seconda riga: \xE8 pi\xF9 lunga del solito&#44; "
                                   "cos\xEC la riga LDIF va piegata in due"}}),
               expected({{C::nome, "Mario"}, {C::cognome, "Bianchi"}, {C::posizione, "&#34;Capo\" reparto  "},
                         {C::email, "mario@example.org"}, {C::note, "chiamare al fax: 123 o mail: x@y"}}),
           } << 0;

    QTest::newRow("one entry")
        << QByteArray("givenName: Nome1\nsn: Cognome1\nmail: nome1.cognome1\n\n")
        << QByteArrayList{expected({{C::nome, "Nome1"}, {C::cognome, "Cognome1"}, {C::email, "nome1.cognome1"}})} << 0;
    QTest::newRow("comma in description")
        << QByteArray("description: a, b\r\n\r\n") << QByteArrayList{expected({{C::note, "a&#44; b"}})} << 0;
    QTest::newRow("CR line ends, blank-only line continues")
        << QByteArray("givenName: A\r   \rsn: B\r\r")
        << QByteArrayList{expected({{C::nome, "A  "}, {C::cognome, "B"}})} << 0;
    QTest::newRow("plain UTF-8 and plain 8-bit values")
        << QByteArray("sn: Ross\xC3\xAC\ngivenName: Andr\xE9\n")
        << QByteArrayList{expected({{C::nome, "Andr\xE9"}, {C::cognome, "Ross\xEC"}})} << 0;
    QTest::newRow("base64 not UTF-8, character outside the code page")
        << QByteArray("givenName:: yWxvZGll\nsn::xYF1a2Fzeg==\ndescription: Dvo\xC5\x99\xC3\xA1k\nmail: \xD0\x96\n")
        << QByteArrayList{expected({{C::cognome, "Lukasz"}, {C::nome, "\xC9lodie"}, {C::note, "Dvor\xE1k"}, {C::email, "?"}})}
        << 3;
    // One whole address: the home one when the entry has any part of it, else the work one.
    QTest::newRow("home and work address")
        << QByteArray("mozillaHomeStreet: Via Roma 1\nmozillaHomeStreet2: scala B\nmozillaHomeLocalityName: Milano\n"
                      "mozillaHomePostalCode: 20100\nmozillaHomeCountryName: Italia\nstreet: Corso Francia 2\n"
                      "mozillaWorkStreet2: piano 3\nl: Torino\npostalCode: 10100\nc: IT\n\n"
                      "street: Corso Francia 2\nmozillaWorkStreet2: piano 3\nl: Torino\npostalCode: 10100\nc: IT\n\n"
                      "mozillaHomeLocalityName: Milano\nstreet: Corso Francia 2\npostalCode: 10100\n")
        << QByteArrayList{expected({{C::indirizzo, "Via Roma 1 scala B"}, {C::citta, "Milano"}, {C::cap, "20100"},
                                    {C::nazione, "Italia"}}),
                          expected({{C::indirizzo, "Corso Francia 2 piano 3"}, {C::citta, "Torino"}, {C::cap, "10100"},
                                    {C::nazione, "IT"}}),
                          expected({{C::citta, "Milano"}})}
        << 0;
    QTest::newRow("home street only as homePostalAddress")
        << QByteArray("sn: Rossi\nhomePostalAddress: Via Verdi 3\npostalCode: 00100\n\nhomePostalAddress: Via Po 1$int. 4\n")
        << QByteArrayList{expected({{C::cognome, "Rossi"}, {C::indirizzo, "Via Verdi 3"}}),
                          expected({{C::indirizzo, "Via Po 1&#44; int. 4"}})}
        << 0;
    QTest::newRow("options, empty value, value by address")
        << QByteArray("description;lang-it: ciao\ngivenName:\nsn:< file:///tmp/x\n")
        << QByteArrayList{expected({{C::nome, "-"}, {C::note, "ciao"}})} << 0;
    QTest::newRow("folded values")
        << QByteArray("sn: Ros\n si\ngivenName: An\n na\ncn: x\n\ndescription: a\n  b\n")
        << QByteArrayList{expected({{C::nome, "Anna"}, {C::cognome, "Rossi"}}), expected({{C::note, "a b"}})} << 0;
    QTest::newRow("later value replaces earlier")
        << QByteArray("mail: a@x\nmail: b@x\n") << QByteArrayList{expected({{C::email, "b@x"}})} << 0;
    QTest::newRow("byte-order mark, CR CR LF line ends")
        << QByteArray("\xEF\xBB\xBFgivenName: A\r\r\nsn: B\r\r\n\r\r\ngivenName: C\r\r\n")
        << QByteArrayList{expected({{C::nome, "A"}, {C::cognome, "B"}}), expected({{C::nome, "C"}})} << 0;
    // A directory server's entries: the person named only in cn, standard attribute names.
    QTest::newRow("cn only, standard names")
        << QByteArray("dn: cn=Anna Maria Rossi,o=ACME\n"
                      "cn:: QW5uYSBNYXJpYSBSb3Nzw6wg\n"
                      "facsimileTelephoneNumber: 1\ncellPhone: 2\nORGANIZATIONNAME: ACME\nl: Lecco\nlocalityName: Como\n"
                      "street: Via Po 3\npostalCode: 23900\nc: IT\nworkurl: http://w\nhomeurl: http://h\n\n"
                      "cn: Madonna\nco: Italia\n")
        << QByteArrayList{expected({{C::nome, "Anna Maria"}, {C::cognome, "Ross\xEC"}, {C::organizzazione, "ACME"},
                                    {C::indirizzo, "Via Po 3"}, {C::citta, "Lecco"}, {C::cap, "23900"},
                                    {C::nazione, "IT"}, {C::cellprivato, "2"}, {C::fax, "1"}, {C::sito, "http://w"}}),
                          expected({{C::cognome, "Madonna"}, {C::nazione, "Italia"}})} << 0;
    QTest::newRow("the mail program's own names win")
        << QByteArray("cn: Mario Rossi\nsn: Bianchi\nfacsimileTelephoneNumber: 1\nfax: 2\no: Altra\ncompany: ACME\n")
        << QByteArrayList{expected({{C::cognome, "Bianchi"}, {C::organizzazione, "ACME"}, {C::fax, "2"}})} << 0;
    QByteArray many;
    QByteArrayList manyCandidates;
    for (int i = 0; i < 100000; ++i) {
        const QByteArray n = QByteArray::number(i);
        many += "dn: cn=x\r\r\nsn: Cognome" + n + "\r\r\ngivenName: Nome" + n + "\r\r\n\r\r\n";
        manyCandidates.append(expected({{C::nome, "Nome" + n}, {C::cognome, "Cognome" + n}}));
    }
    QTest::newRow("100,000 entries") << many << manyCandidates << 0;
    QTest::newRow("nothing recognised") << QByteArray("version: 1\n\n\ndn: cn=x\n\n# comment\n") << QByteArrayList{} << 0;
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{} << 0;
}

void TestImport::ldif()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, candidates);
    QFETCH(int, approximated);
    int changed = -1;
    const QByteArrayList got = Importers::ldifCandidates(file, kDate, nullptr, &changed);
    QCOMPARE(got, candidates);
    QCOMPARE(changed, approximated);
    for (const QByteArray &line : got)
        QCOMPARE(TCSVStringInfo::fieldViews(line).size(), TContatto::FieldCount);
}

// The program's own LDIF export read back. The file is written by hand in the export's
// format: accented values and a value with a trailing blank in base64, fields holding "-"
// left out, the city on its own line, the work mobile as telephoneNumber, "&#44;" as stored.
void TestImport::ldifRoundTrip()
{
    const QByteArrayList book = {
        "\xC9lodie,Rossi,Direttrice,ACME&#44; S.p.A.,Via Roma 1,Cittadella \xE8 bella,20100,Italia,333 1,334 2,"
        "02 5678,02 1234,02 9999,elodie_aim,elodie@example.org,http://www.example.org,nota: lunga,03/03/2008 09:05:07",
        "Mario,Bianchi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,nota finale ,04/04/2009",
    };
    const QByteArray exported =
        "dn:: Y249w4lsb2RpZSBSb3NzaSxtYWlsPWVsb2RpZUBleGFtcGxlLm9yZw==\r\n"
        "objectclass: top\r\n"
        "objectclass: person\r\n"
        "objectclass: organizationalPerson\r\n"
        "objectclass: inetOrgPerson\r\n"
        "objectclass: mozillaAbPersonAlpha\r\n"
        "givenName:: w4lsb2RpZQ==\r\n"
        "sn: Rossi\r\n"
        "cn:: w4lsb2RpZSBSb3NzaQ==\r\n"
        "mail: elodie@example.org\r\n"
        "modifytimestamp: 0Z\r\n"
        "telephoneNumber: 334 2\r\n"
        "homePhone: 02 5678\r\n"
        "fax: 02 9999\r\n"
        "mobile: 333 1\r\n"
        "homeStreet: Via Roma 1\r\n"
        "mozillaHomeLocalityName:: Q2l0dGFkZWxsYSDDqCBiZWxsYQ==\r\n"
        "mozillaHomePostalCode: 20100\r\n"
        "mozillaHomeCountryName: Italia\r\n"
        "title: Direttrice\r\n"
        "company: ACME&#44; S.p.A.\r\n"
        "mozillaWorkUrl: http://www.example.org\r\n"
        "mozillaHomeUrl: http://www.example.org\r\n"
        "description: nota: lunga\r\n"
        "\r\n"
        "dn: cn=Mario Bianchi,mail=\r\n"
        "objectclass: top\r\n"
        "objectclass: person\r\n"
        "objectclass: organizationalPerson\r\n"
        "objectclass: inetOrgPerson\r\n"
        "objectclass: mozillaAbPersonAlpha\r\n"
        "givenName: Mario\r\n"
        "sn: Bianchi\r\n"
        "cn: Mario Bianchi\r\n"
        "modifytimestamp: 0Z\r\n"
        "description:: bm90YSBmaW5hbGUg\r\n"
        "\r\n";
    const QByteArrayList got = Importers::ldifCandidates(exported, kDate);
    QCOMPARE(got.size(), book.size());
    for (int i = 0; i < book.size(); ++i) {
        // Every exported field comes back; the work mobile returns as office telephone.
        TContatto want = TContatto::fromLine(book[i]);
        want[TContatto::telufficio] = want[TContatto::celllavoro];
        want[TContatto::celllavoro] = "-";
        want[TContatto::messenger] = "-";
        want[TContatto::datainserimento] = kDate;
        QCOMPARE(got[i], want.toLine());
    }
}

void TestImport::previousVersion_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("candidates");
    QTest::addColumn<int>("skipped");

    const QByteArray old1 = "Nome1,Cognome1,pos,Via Roma 1,Milano,20100,nota 1,333 1,334 1,02 1,02 2,n1@x.org,www.x.org,03/03/2004";
    const QByteArray new1 = "Nome1,Cognome1,pos,-,Via Roma 1,Milano,20100,-,333 1,334 1,02 1,02 2,-,-,n1@x.org,www.x.org,nota 1,03/03/2004";
    const QByteArray old2 = "Nome2,Cognome2,-,-,-,-,-,-,-,-,-,-,-,04/04/2004 10:00:00";
    const QByteArray new2 = "Nome2,Cognome2,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,04/04/2004 10:00:00";
    const QByteArray old3 = "Nome3,Cognome3,\"Capo, reparto\",-,-,-,-,-,-,-,-,-,-,05/05/2005,extra";
    // Contact 2 without its names.
    const QByteArray tail2 = contact(2).mid(qsizetype(strlen("Nome2,Cognome2,")));
    const QByteArray new3 = "Nome3,Cognome3,Capo&#44; reparto,-,-,-,-,-,-,-,-,-,-,-,-,-,-,05/05/2005";

    QTest::newRow("version 1.0")
        << (old1 + "\r\n" + old2 + "\r\n" + old3 + "\r\n") << QByteArrayList{new1, new2, new3} << 0;
    QTest::newRow("version 1.0, short third line")
        << (old1 + "\r\n" + old2 + "\r\nNome9,Cognome9,a,b,c,d,e,f,g,h\r\n" + old3) << QByteArrayList{new1, new2, new3} << 1;
    QTest::newRow("present layout, kept byte for byte")
        << (contact(1) + "\n" + contact(2) + "\n") << QByteArrayList{contact(1), contact(2)} << 0;
    QTest::newRow("present layout, rebuilt from 18 fields")
        << (contact(1) + ",in più\r\n\r\n\"a,b\",\"\"c\"," + tail2 + "\r\n" + old1 + "\r\n")
        << QByteArrayList{contact(1), "a&#44;b,&#34;c," + tail2} << 1;
    QTest::newRow("empty lines first") << ("\r\n\r\n" + old2) << QByteArrayList{new2} << 0;
    QTest::newRow("byte-order mark") << ("\xEF\xBB\xBF" + old2 + "\r\n" + old2) << QByteArrayList{new2, new2} << 0;
    QTest::newRow("15 fields: version 1.0") << (old1 + ",x\r\n" + old2) << QByteArrayList{new1, new2} << 0;
    QTest::newRow("first line short, empty fields")
        << ("solo,tre,campi\r\n" + old1 + "\r\nNome2,Cognome2,,,,,,,,,,,,04/04/2004 10:00:00\r\n")
        << QByteArrayList{new1, new2} << 1;
    QTest::newRow("present layout, empty last field")
        << (contact(1).first(contact(1).lastIndexOf(',') + 1) + "\r\n")
        << QByteArrayList{contact(1).first(contact(1).lastIndexOf(',') + 1) + "-"} << 0;
    QTest::newRow("no line of 14 fields") << QByteArray("a,b\r\n\r\nc\r\n") << QByteArrayList{} << 2;
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{} << 0;
}

void TestImport::previousVersion()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, candidates);
    QFETCH(int, skipped);
    const Importers::PreviousVersionResult got = Importers::previousVersionCandidates(file);
    QCOMPARE(got.candidates, candidates);
    QCOMPARE(got.skipped, skipped);
    for (const QByteArray &line : got.candidates)
        QCOMPARE(TCSVStringInfo::fieldViews(line).size(), TContatto::FieldCount);
}

void TestImport::splitVCards_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("cards");
    QTest::newRow("no frame lines: one card") << QByteArray("N:A;B\nTEL:1\n") << QByteArrayList{"N:A;B\nTEL:1\n"};
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{QByteArray()};
    QTest::newRow("two cards, text around")
        << QByteArray("intestazione\r\nBEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\nin mezzo\r\n"
                      "  begin:vcard \nN:C;D\n\tEnd:VCard\nfine")
        << QByteArrayList{"BEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\n", "  begin:vcard \r\nN:C;D\r\n\tEnd:VCard\r\n"};
    QTest::newRow("card without END")
        << QByteArray("BEGIN:VCARD\nN:A;B\nBEGIN:VCARD\nN:C;D\n")
        << QByteArrayList{"BEGIN:VCARD\r\nN:A;B\r\n", "BEGIN:VCARD\r\nN:C;D\r\n"};
    QTest::newRow("END without BEGIN is outside")
        << QByteArray("END:VCARD\nBEGIN:VCARD\nN:A;B\nEND:VCARD\nEND:VCARD\n")
        << QByteArrayList{"BEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\n"};
    QTest::newRow("marker inside a value is no marker")
        << QByteArray("BEGIN:VCARD\nNOTE:BEGIN:VCARD\nEND:VCARD\n")
        << QByteArrayList{"BEGIN:VCARD\r\nNOTE:BEGIN:VCARD\r\nEND:VCARD\r\n"};
}

void TestImport::splitVCards()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, cards);
    QCOMPARE(Importers::splitVCards(file), cards);
}

void TestImport::vcard_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("candidates");
    QTest::addColumn<int>("refused");
    QTest::addColumn<int>("approximated");
    using C = TContatto;

    // A phone's export: vCard 2.1, quoted-printable UTF-8 names and a note with a soft line
    // break, bare telephone types, and a card with no structured name.
    QTest::newRow("phone, vCard 2.1")
        << QByteArray("BEGIN:VCARD\r\n"
                      "VERSION:2.1\r\n"
                      "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Rossi;=C3=89lodie;;;\r\n"
                      "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=89lodie Rossi\r\n"
                      "TEL;CELL:+39 333 1234567\r\n"
                      "TEL;HOME:02 5678\r\n"
                      "TEL;WORK;FAX:02 9999\r\n"
                      "EMAIL;HOME:elodie@example.org\r\n"
                      "ADR;HOME:;;Via Roma 1;Milano;;20100;Italia\r\n"
                      "NOTE;ENCODING=QUOTED-PRINTABLE:Prima riga=0D=0ASeconda riga, lunga=\r\n"
                      " abbastanza\r\n"
                      "END:VCARD\r\n"
                      "BEGIN:VCARD\r\n"
                      "VERSION:2.1\r\n"
                      "N:Bianchi;Mario;;;\r\n"
                      "FN:Mario Bianchi\r\n"
                      "TEL;WORK;CELL:+39 334 7654321\r\n"
                      "TEL;WORK;VOICE:02 1234\r\n"
                      "TEL;HOME:\r\n"
                      "END:VCARD\r\n"
                      "BEGIN:VCARD\r\n"
                      "VERSION:2.1\r\n"
                      "FN:Solo Nome\r\n"
                      "TEL;CELL:111\r\n"
                      "END:VCARD\r\n")
        << QByteArrayList{
               expected({{C::nome, "\xC9lodie"}, {C::cognome, "Rossi"}, {C::indirizzo, "Via Roma 1"},
                         {C::citta, "Milano"}, {C::cap, "20100"}, {C::nazione, "Italia"},
                         {C::cellprivato, "+39 333 1234567"}, {C::telcasa, "02 5678"}, {C::fax, "02 9999"},
                         {C::email, "elodie@example.org"}, {C::note, "Prima riga Seconda riga&#44; lunga abbastanza"}}),
               expected({{C::nome, "Mario"}, {C::cognome, "Bianchi"}, {C::celllavoro, "+39 334 7654321"},
                         {C::telufficio, "02 1234"}}),
               // Named only by FN: the last word is the family name.
               expected({{C::nome, "Solo"}, {C::cognome, "Nome"}, {C::cellprivato, "111"}}),
           }
        << 0 << 0;

    // A mail program's export: vCard 3.0 in UTF-8, TYPE= parameters, item groups,
    // escaped commas and semicolons, a folded note with a line break.
    QTest::newRow("mail program, vCard 3.0")
        << QByteArray("BEGIN:VCARD\n"
                      "VERSION:3.0\n"
                      "PRODID:-//Example//Rubrica 1.0//IT\n"
                      "N:Verdi;Anna Maria;;Dott.;\n"
                      "FN:Dott. Anna Maria Verdi\n"
                      "ORG:Comune di Lecco\\, Ufficio Anagrafe;Servizi\n"
                      "TITLE:Responsabile\n"
                      "ROLE:Capo ufficio\n"
                      "item1.EMAIL;type=INTERNET;type=pref:anna.verdi@example.org\n"
                      "item1.X-ABLabel:_$!<Other>!$_\n"
                      "TEL;TYPE=CELL,VOICE,PREF:+39 333 1111111\n"
                      "TEL;type=HOME;type=VOICE:0341 222222\n"
                      "TEL;type=WORK;type=VOICE:0341 333333\n"
                      "item2.ADR;type=HOME;type=pref:;;Via Manzoni 3;Lecco;LC;23900;Italia\n"
                      "item3.URL;type=pref:https://www.example.org/anna\n"
                      "NOTE:Nota su due righe:\\nseconda con virgola\\, e punto e virgola\\; fi\n"
                      " ne\n"
                      "END:VCARD\n"
                      "BEGIN:VCARD\n"
                      "VERSION:3.0\n"
                      "N:Bianchi;Nicol\xC3\xB2;;;\n"
                      "FN:Nicol\xC3\xB2 Bianchi\n"
                      "EMAIL;TYPE=INTERNET:nicolo@example.org\n"
                      "END:VCARD\n")
        << QByteArrayList{
               expected({{C::nome, "Anna Maria"}, {C::cognome, "Verdi"}, {C::posizione, "Capo ufficio"},
                         {C::organizzazione, "Comune di Lecco&#44; Ufficio Anagrafe"}, {C::indirizzo, "Via Manzoni 3"},
                         {C::citta, "Lecco"}, {C::cap, "23900"}, {C::nazione, "Italia"},
                         {C::cellprivato, "+39 333 1111111"}, {C::telcasa, "0341 222222"},
                         {C::telufficio, "0341 333333"}, {C::email, "anna.verdi@example.org"},
                         {C::sito, "https://www.example.org/anna"},
                         {C::note, "Nota su due righe: seconda con virgola&#44; e punto e virgola; fine"}}),
               expected({{C::nome, "Nicol\xF2"}, {C::cognome, "Bianchi"}, {C::email, "nicolo@example.org"}}),
           }
        << 0 << 0;

    QTest::newRow("one card, no frame lines, title without role")
        << QByteArray("N:Cognome1;Nome1\r\nTEL;HOME;VOICE:0123 1\r\nTITLE:Capo\r\n")
        << QByteArrayList{expected({{C::nome, "Nome1"}, {C::cognome, "Cognome1"}, {C::posizione, "Capo"},
                                    {C::telcasa, "0123 1"}})} << 0 << 0;
    // Each number goes to the field its types choose while that field is free; the numbers
    // left over take the fields still free, in the order of the file. An empty number takes none.
    QTest::newRow("five telephones of mixed types")
        << QByteArray("BEGIN:VCARD\nN:A;B\nTEL;CELL:\nTEL;WORK:1\nTEL;WORK;HOME;VOICE:2\nTEL;PAGER:3\nTEL:4\n"
                      "TEL;HOME;FAX:5\nEND:VCARD\n")
        << QByteArrayList{expected({{C::nome, "B"}, {C::cognome, "A"}, {C::cellprivato, "2"}, {C::celllavoro, "4"},
                                    {C::telcasa, "3"}, {C::telufficio, "1"}, {C::fax, "5"}})} << 0 << 0;
    QTest::newRow("seven telephones: each type its own field first")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nN:A;B\nTEL;TYPE=CELL:1\nTEL;TYPE=CELL:2\nTEL;TYPE=WORK,CELL:3\n"
                      "TEL;TYPE=FAX:4\nTEL;TYPE=HOME:5\nTEL;TYPE=WORK:6\nTEL:7\nEND:VCARD\n")
        << QByteArrayList{expected({{C::nome, "B"}, {C::cognome, "A"}, {C::cellprivato, "1"}, {C::celllavoro, "3"},
                                    {C::telcasa, "5"}, {C::telufficio, "6"}, {C::fax, "4"}})} << 0 << 0;
    // Desktop contact programs write two home and two office numbers before the mobile.
    QTest::newRow("two numbers of each type before the mobile")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nN:A;B\nTEL;TYPE=HOME:1 casa\nTEL;TYPE=HOME:2 casa\n"
                      "TEL;TYPE=WORK:3 ufficio\nTEL;TYPE=WORK:4 ufficio\nTEL;TYPE=CELL:5 cellulare\nTEL;TYPE=FAX:6 fax\n"
                      "END:VCARD\n")
        << QByteArrayList{expected({{C::nome, "B"}, {C::cognome, "A"}, {C::cellprivato, "5 cellulare"},
                                    {C::celllavoro, "2 casa"}, {C::telcasa, "1 casa"}, {C::telufficio, "3 ufficio"},
                                    {C::fax, "6 fax"}})} << 0 << 0;
    QTest::newRow("ten telephones, the mobile ninth")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:A;B\nTEL;HOME:1\nTEL;HOME:2\nTEL;HOME:3\nTEL;HOME:4\nTEL;HOME:5\n"
                      "TEL;HOME:6\nTEL;WORK:7\nTEL;FAX:8\nTEL;CELL:9\nTEL;PAGER:10\nEND:VCARD\n")
        << QByteArrayList{expected({{C::nome, "B"}, {C::cognome, "A"}, {C::cellprivato, "9"}, {C::celllavoro, "2"},
                                    {C::telcasa, "1"}, {C::telufficio, "7"}, {C::fax, "8"}})} << 0 << 0;
    // Letters outside Windows-1252 become the nearest ones it holds, counted once for each
    // value kept (the formatted name is not kept beside N).
    QTest::newRow("letters outside Windows-1252")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nN:Dvo\xC5\x99\xC3\xA1k;\xC5\x81ukasz;;;\nFN:\xC5\x81ukasz Dvo\xC5\x99\xC3\xA1k\n"
                      "ADR;TYPE=HOME:;;ul. \xC5\x9Awi\xC4\x99tokrzyska 1;Krak\xC3\xB3w;;00-001;Polska\nEND:VCARD\n")
        << QByteArrayList{expected({{C::nome, "Lukasz"}, {C::cognome, "Dvor\xE1k"}, {C::indirizzo, "ul. Swietokrzyska 1"},
                                    {C::citta, "Krak\xF3w"}, {C::cap, "00-001"}, {C::nazione, "Polska"}})}
        << 0 << 3;
    QTest::newRow("byte-order mark, two cards")
        << QByteArray("\xEF\xBB\xBF" "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Uno;A\r\nEND:VCARD\r\n"
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Due;B\r\nEND:VCARD\r\n")
        << QByteArrayList{expected({{C::nome, "A"}, {C::cognome, "Uno"}}), expected({{C::nome, "B"}, {C::cognome, "Due"}})}
        << 0 << 0;
    QTest::newRow("stray soft break before END")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Rossi;Anna\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a fine riga=\r\n"
                      "end:vcard\r\n")
        << QByteArrayList{expected({{C::nome, "Anna"}, {C::cognome, "Rossi"}, {C::note, "a fine riga"}})} << 0 << 0;
    // A standard 3.0 card with every field the address book has: TYPE lists, the city in the
    // fourth place of the address, escapes, a folded note and the messenger.
    QTest::newRow("standard vCard 3.0, every field")
        << QByteArray("BEGIN:VCARD\r\n"
                      "VERSION:3.0\r\n"
                      "N:Rossi;\xC3\x89lodie;;;\r\n"
                      "FN:\xC3\x89lodie Rossi\r\n"
                      "ORG:ACME\\, S.p.A.\r\n"
                      "TITLE:Direttrice\r\n"
                      "ADR;TYPE=HOME:;;Via Roma 1;Milano;;20100;Italia\r\n"
                      "TEL;TYPE=CELL:333 1\r\n"
                      "TEL;TYPE=CELL,WORK:334 2\r\n"
                      "TEL;TYPE=HOME,VOICE:02 5678\r\n"
                      "TEL;TYPE=WORK,VOICE:02 1234\r\n"
                      "TEL;TYPE=FAX,WORK:02 9999\r\n"
                      "EMAIL;TYPE=INTERNET:elodie@example.org\r\n"
                      "URL:http://www.example.org\r\n"
                      "X-AIM:elodie_aim\r\n"
                      "NOTE:Prima riga\\nseconda\\, con virgola\\; e punto e virgola \\\\ fi\r\n"
                      " ne\r\n"
                      "END:VCARD\r\n")
        << QByteArrayList{expected({{C::nome, "\xC9lodie"}, {C::cognome, "Rossi"}, {C::posizione, "Direttrice"},
                                    {C::organizzazione, "ACME&#44; S.p.A."}, {C::indirizzo, "Via Roma 1"},
                                    {C::citta, "Milano"}, {C::cap, "20100"}, {C::nazione, "Italia"},
                                    {C::cellprivato, "333 1"}, {C::celllavoro, "334 2"}, {C::telcasa, "02 5678"},
                                    {C::telufficio, "02 1234"}, {C::fax, "02 9999"}, {C::messenger, "elodie_aim"},
                                    {C::email, "elodie@example.org"}, {C::sito, "http://www.example.org"},
                                    {C::note, "Prima riga seconda&#44; con virgola; e punto e virgola \\ fine"}})}
        << 0 << 0;
    // A file above a few megabytes is read in two halves at once: nothing is lost or doubled
    // where they meet.
    QByteArray many;
    QByteArrayList manyCandidates;
    for (int i = 0; i < 70000; ++i) {
        const QByteArray n = QByteArray::number(i);
        many += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Cognome" + n + ";Nome" + n + "\r\nTEL;TYPE=CELL:" + n + "\r\nEND:VCARD\r\n";
        manyCandidates.append(expected({{C::nome, "Nome" + n}, {C::cognome, "Cognome" + n}, {C::cellprivato, n}}));
    }
    QTest::newRow("70,000 cards") << many << manyCandidates << 0 << 0;
    // Nothing of one card reaches the next: neither the messenger nor a decoded note.
    QTest::newRow("second card without messenger or note")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Rossi;Anna\r\nX-AIM:anna_aim\r\n"
                      "NOTE;ENCODING=QUOTED-PRINTABLE:Citt=C3=A0\r\nEND:VCARD\r\n"
                      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Bianchi;Mario\r\nEND:VCARD\r\n")
        << QByteArrayList{expected({{C::nome, "Anna"}, {C::cognome, "Rossi"}, {C::messenger, "anna_aim"},
                                    {C::note, "Citt\xe0"}}),
                          expected({{C::nome, "Mario"}, {C::cognome, "Bianchi"}})}
        << 0 << 0;
    QTest::newRow("names missing: one message per file")
        << QByteArray("BEGIN:VCARD\nFN:Solo\nEND:VCARD\nBEGIN:VCARD\nN:Cognome;\nEND:VCARD\n"
                      "BEGIN:VCARD\nN:;Nome\nFN:Nome Cognome\nEND:VCARD\nBEGIN:VCARD\nN:;;;;\nFN: \nTEL:1\nEND:VCARD\n")
        << QByteArrayList{expected({{C::cognome, "Solo"}})} << 3 << 0;
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{} << 1 << 0;
}

void TestImport::vcard()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, candidates);
    QFETCH(int, refused);
    QFETCH(int, approximated);
    TmsVCard card;
    const Importers::VCardResult got = Importers::vcardCandidates(file, card, kDate);
    QCOMPARE(got.candidates, candidates);
    QCOMPARE(got.refused, refused);
    QCOMPARE(got.approximated, approximated);
    for (const QByteArray &line : got.candidates)
        QCOMPARE(TCSVStringInfo::fieldViews(line).size(), TContatto::FieldCount);
    // Nothing of the last card stays behind in the card.
    QCOMPARE(card.SaveToBytes(), TmsVCard().SaveToBytes());
}

// The program's own vCard export read back. The cards are written by hand in the export's
// form: version 1.2, 8-bit text as stored, fields holding "-" left out, the city in the
// address. Every exported field comes back but for the trailing blank of the note. Last,
// values with semicolons and backslashes go through the export's own card writer and come
// back whole.
void TestImport::vcardRoundTrip()
{
    const QByteArrayList book = {
        "\xC9lodie,Rossi,Direttrice,ACME S.p.A.,Via Roma 1,Milano,20100,Italia,333 1,334 2,"
        "02 5678,02 1234,02 9999,elodie_aim,elodie@example.org,http://www.example.org,nota: lunga,03/03/2008 09:05:07",
        "Mario,Bianchi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,nota finale ,04/04/2009",
    };
    const QByteArrayList cards = {
        "BEGIN:VCARD\r\n"
        "VERSION:1.2\r\n"
        "N:Rossi;\xC9lodie;;;\r\n"
        "ADR:;;Via Roma 1;Milano;;20100;Italia\r\n"
        "TEL;HOME;CELL:333 1\r\n"
        "TEL;WORK;CELL:334 2\r\n"
        "TEL;HOME;FAX:02 9999\r\n"
        "EMAIL;:elodie@example.org\r\n"
        "ORG:ACME S.p.A.;\r\n"
        "ROLE:Direttrice\r\n"
        "NOTE:nota: lunga\r\n"
        "URL:http://www.example.org\r\n"
        "END:VCARD\r\n",
        "BEGIN:VCARD\r\n"
        "VERSION:1.2\r\n"
        "N:Bianchi;Mario;;;\r\n"
        "NOTE:nota finale \r\n"
        "END:VCARD\r\n",
    };
    TmsVCard card;
    for (int i = 0; i < book.size(); ++i) {
        const Importers::VCardResult got = Importers::vcardCandidates(cards[i], card, kDate);
        QCOMPARE(got.refused, 0);
        QCOMPARE(got.candidates.size(), 1);
        TContatto want = TContatto::fromLine(book[i]);
        // Neither the two land lines, the messenger nor the date travel in a card.
        for (TContatto::Field f : {TContatto::telcasa, TContatto::telufficio, TContatto::messenger})
            want[f] = "-";
        want[TContatto::note] = want[TContatto::note].trimmed();
        want[TContatto::datainserimento] = kDate;
        QCOMPARE(got.candidates[0], want.toLine());
    }
    const QByteArray line = "Anna;Maria,Bianchi;Verdi,Capo\\reparto,ACME&#44; Srl;,Corso Italia 5; scala B,Roma,00100,"
                            "Italia,-,-,06 1,-,-,-,a;b@x.it,http://x.it/a;b\\,nota; con \\; e \\\\,05/05/2010";
    ExportFormats::fillCard(card, line);
    const QByteArray written = card.SaveToBytes();
    card.Clear();
    const Importers::VCardResult got = Importers::vcardCandidates(written, card, kDate);
    QCOMPARE(got.candidates, QByteArrayList{line.first(line.lastIndexOf(',') + 1) + kDate});
}

// Three files, three windows in turn, each with its own candidates; the list is reloaded
// once, after the last one.
void TestImport::fileImportedTwiceShowsItsDuplicates()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\nUgo,Sala,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,01/01/2020\r\n");
    folder.write(QStringLiteral("amici.ldif"), "givenName: Anna\nsn: Neri\nmail: anna@x.it\n\n"
                                               "givenName: Ugo\nsn: Sala\n\n"
                                               "givenName: Piero\nsn: Riva\nmail: ANNA@x.it \n\n");
    TfrmMain w;
    w.show();
    const QString file = folder.path(QStringLiteral("amici.ldif"));
    FileDialogs::setNextOpenFileNames({file, file});
    // The column after the contact columns, for each window; then what "Deseleziona doppioni"
    // left selected in the second.
    QList<QStringList> columns;
    QString selected;
    const auto look = [&](TfrmImporta &d) {
        ContactListModel *m = d.listModel();
        QCOMPARE(m->headerData(19, Qt::Horizontal).toString(), QStringLiteral("Già in rubrica"));
        QStringList column;
        for (int r = 0; r < m->rowCount(); ++r)
            column << m->data(m->index(r, 19)).toString();
        columns << column;
    };
    ImportWindows windows({[&](TfrmImporta &d) {
                               look(d);
                               importAll(d);
                           },
                           [&](TfrmImporta &d) {
                               look(d);
                               press(&d, "SpeedButton3");
                               selected = text(&d, "lsel");
                               cancel(d);
                           }});
    press(&w, "Button9");
    QCOMPARE(windows.seen.size(), 2);
    QCOMPARE(windows.seen[0].selected, QStringLiteral("3"));
    QCOMPARE(columns.value(0), (QStringList{"", "2", "nel file"}));
    // The first window's contacts are lines 3 to 5 of the book now.
    QCOMPARE(columns.value(1), (QStringList{"3", "2", "3"}));
    QCOMPARE(selected, QStringLiteral("0"));
}

void TestImport::importCommandThreeFiles()
{
    TestFolder folder;
    const QByteArray book = contact(1) + "\r\n";
    folder.write(QStringLiteral("data/contact.csv"), book);
    QDir(folder.path()).mkdir(QStringLiteral("old"));
    folder.write(QStringLiteral("old/Contact.csv"),
                 "A,B,-,-,-,-,-,-,-,-,-,-,-,01/01/2004\r\nC,D,-,-,-,-,-,-,-,-,-,-,-,02/01/2004\r\n");
    folder.write(QStringLiteral("uno.LDIF"), "givenName: E\nsn: F\n");
    folder.write(QStringLiteral("tre.ldif"), "givenName: G\n\ngivenName: H\n\ngivenName: I\n");
    TfrmMain w;
    w.show();
    QCOMPARE(w.listModel()->rowCount(), 1);

    const QStringList files = {folder.path(QStringLiteral("old/Contact.csv")), folder.path(QStringLiteral("uno.LDIF")),
                               folder.path(QStringLiteral("tre.ldif"))};
    FileDialogs::setNextOpenFileNames(files);
    ImportWindows windows({importAll, cancel, [](TfrmImporta &d) {
                               press(&d, "SpeedButton2");
                               clickRow(d, 2);
                               clickRow(d, 0, Qt::ControlModifier);
                               press(&d, "BitBtn1");
                           }});
    press(&w, "Button9");

    const QStringList filters = FileDialogs::lastRequest().filters;
    QCOMPARE(filters.size(), 4);
    QCOMPARE(filters[0], QStringLiteral("Biglietto da visita elettronico (*.vcard *.vcf)"));
    QCOMPARE(filters[1], QStringLiteral("Contatti Rubrino 1.0 (contact.csv)"));
    QCOMPARE(filters[2], QStringLiteral("Rubrica di Mozilla Thunderbird (*.ldif)"));
    QCOMPARE(filters[3], QStringLiteral("Tutti i formati supportati (*.vcf *.vcard *.ldif contact.csv)"));

    QCOMPARE(windows.seen.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const auto &s = windows.seen[i];
        QCOMPARE(s.caption, QStringLiteral("Importa contatti"));
        QCOMPARE(s.group, QStringLiteral("Elenco contatti importati: [File %1/3]").arg(i + 1));
        QCOMPARE(s.file, QStringLiteral("File: ") + QDir::toNativeSeparators(files[i]));
        QCOMPARE(s.selected, QString::number(s.rows));
        // The main list is not reloaded between files.
        QCOMPARE(s.mainRows, 1);
    }
    QCOMPARE(windows.seen[0].rows, 2);
    QCOMPARE(windows.seen[1].rows, 1);
    QCOMPARE(windows.seen[2].rows, 3);
    QVERIFY(Messages::takeShown().isEmpty());

    const QByteArrayList lines = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], contact(1));
    QVERIFY(lines[1].startsWith("A,B,"));
    QVERIFY(lines[2].startsWith("C,D,"));
    QVERIFY(lines[3].startsWith("G,-,"));
    QVERIFY(lines[4].startsWith("I,-,"));
    QCOMPARE(w.listModel()->rowCount(), 5);
    QCOMPARE(text(&w, "lcont"), QStringLiteral("5"));
    // The imported contacts of every file are chosen, the first of them on the card.
    QCOMPARE(w.selectedRows(), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(w.selectedNumber, QStringLiteral("2"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("A"));
}

void TestImport::cancelledDialogChangesNothing()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n");
    TfrmMain w;
    w.show();
    // Changed behind the program's back: only a reload would show it.
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n" + contact(2) + "\r\n");
    FileDialogs::setNextOpenFileNames({});
    ImportWindows windows;
    press(&w, "Button9");
    QVERIFY(windows.seen.isEmpty());
    QCOMPARE(w.listModel()->rowCount(), 1);
    QVERIFY(Messages::takeShown().isEmpty());
}

void TestImport::unreadableFileStopsTheCommand_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("afterAnImport"); // a file imported fine comes first
    QTest::newRow("LDIF") << QStringLiteral("manca.ldif") << false;
    QTest::newRow("previous version") << QStringLiteral("manca/contact.csv") << false;
    QTest::newRow("vCard") << QStringLiteral("manca.vcf") << false;
    QTest::newRow("vCard after an imported file") << QStringLiteral("manca.vcf") << true;
}

// A file that cannot be read ends the command there, before its window and before the next
// file. The list is not reloaded when nothing was imported; after an import it is, so that
// the next delete, which rewrites the file from the list, keeps the imported contacts.
void TestImport::unreadableFileStopsTheCommand()
{
    QFETCH(QString, missing);
    QFETCH(bool, afterAnImport);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n");
    folder.write(QStringLiteral("buono.ldif"), "givenName: A\nsn: B\n");
    TfrmMain w;
    w.show();
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n" + contact(2) + "\r\n");
    QStringList files = {folder.path(missing), folder.path(QStringLiteral("buono.ldif"))};
    if (afterAnImport)
        std::swap(files[0], files[1]);
    FileDialogs::setNextOpenFileNames(files);
    {
        ImportWindows windows({importAll});
        press(&w, "Button9");
        QCOMPARE(windows.seen.size(), afterAnImport ? 1 : 0);
    }
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Rubrino"));
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QVERIFY2(shown[0].text.contains(QDir::toNativeSeparators(folder.path(missing))), qPrintable(shown[0].text));
    QCOMPARE(w.listModel()->rowCount(), afterAnImport ? 3 : 1);
    if (!afterAnImport)
        return;
    w.lista->selectRow(0);
    Messages::setNextAnswer(QMessageBox::Yes);
    press(&w, "Button3");
    const QByteArrayList lines = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], contact(2));
    QVERIFY(lines[1].startsWith("A,B,"));
}

void TestImport::unknownFormatIsReported()
{
    TestFolder folder;
    folder.write(QStringLiteral("note.txt"), "givenName: A\n");
    folder.write(QStringLiteral("b.ldif"), "givenName: B\n");
    TfrmMain w;
    w.show();
    FileDialogs::setNextOpenFileNames({folder.path(QStringLiteral("note.txt")), folder.path(QStringLiteral("b.ldif"))});
    ImportWindows windows({importAll});
    press(&w, "Button9");
    QCOMPARE(windows.seen.size(), 1);
    QCOMPARE(windows.seen[0].group, QStringLiteral("Elenco contatti importati: [File 2/2]"));
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Error"));
    QCOMPARE(shown[0].text, QStringLiteral("Formato non riconosciuto: note.txt"));
    QCOMPARE(w.listModel()->rowCount(), 1);
}

void TestImport::shortLinesAreCounted()
{
    TestFolder folder;
    QDir(folder.path()).mkdir(QStringLiteral("vecchio"));
    folder.write(QStringLiteral("vecchio/contact.csv"),
                 contact(1) + "\r\nsolo,tre,campi\r\n\r\n" + contact(2) + "\r\nancora,corta\r\n");
    TfrmMain w;
    w.show();
    FileDialogs::setNextOpenFileNames({folder.path(QStringLiteral("vecchio/contact.csv"))});
    ImportWindows windows;
    press(&w, "Button9");
    QCOMPARE(windows.seen.size(), 1);
    QCOMPARE(windows.seen[0].rows, 2);
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Error"));
    QCOMPARE(shown[0].text, QStringLiteral("Alcune righe non sono state importate: 2"));
}

void TestImport::cardsWithoutNames()
{
    TestFolder folder;
    folder.write(QStringLiteral("Telefono.VCF"),
                 "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Rossi;Anna\r\nEND:VCARD\r\n"
                 "BEGIN:VCARD\r\nVERSION:2.1\r\nTEL:111\r\nEND:VCARD\r\n"
                 "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Bianchi\r\nEND:VCARD\r\n"
                 "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Neri;Luca\r\nTEL;CELL:333\r\nEND:VCARD\r\n"
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Dvo\xC5\x99\xC3\xA1k;\xC5\x81ukasz\r\nEND:VCARD\r\n");
    TfrmMain w;
    w.show();
    FileDialogs::setNextOpenFileNames({folder.path(QStringLiteral("Telefono.VCF"))});
    ImportWindows windows({importAll});
    press(&w, "Button9");
    QCOMPARE(windows.seen.size(), 1);
    QCOMPARE(windows.seen[0].rows, 3);
    QVERIFY2(windows.seen[0].changed.startsWith(QStringLiteral("2 valori contenevano lettere")), qPrintable(windows.seen[0].changed));
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Error"));
    QCOMPARE(shown[0].text, QStringLiteral("File VCARD errato (nessun nome/cognome specificato): Telefono.VCF"));
    QCOMPARE(w.listModel()->rowCount(), 3);
    QCOMPARE(w.listModel()->field(2, TContatto::cognome), QByteArray("Dvor\xE1k"));
    QCOMPARE(w.listModel()->field(1, TContatto::cellprivato), QByteArray("333"));
    QCOMPARE(w.vcard->SaveToBytes(), TmsVCard().SaveToBytes());
}

void TestImport::selectedRowsInDisplayOrder()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n" + contact(1) + "\r\n");
    TfrmMain w;
    w.importLines = {contact(11), contact(12), contact(13), contact(14)};
    TfrmImporta d(&w);
    d.show();
    QCOMPARE(text(&d, "lcontatti"), QStringLiteral("4"));
    QCOMPARE(text(&d, "lsel"), QStringLiteral("4"));
    QCOMPARE(d.listModel()->data(d.listModel()->index(3, 0)).toString(), QStringLiteral("4"));
    QCOMPARE(d.listModel()->headerData(18, Qt::Horizontal).toString(), QStringLiteral("Data inserimento"));
    QCOMPARE(d.listim->columnWidth(5), w.lista->columnWidth(5));
    press(&d, "SpeedButton2");
    QCOMPARE(text(&d, "lsel"), QStringLiteral("0"));
    clickRow(d, 2);
    clickRow(d, 0, Qt::ControlModifier);
    QCOMPARE(text(&d, "lsel"), QStringLiteral("2"));
    press(&d, "BitBtn1");
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    // A candidate already in the book is added again.
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")),
             contact(1) + "\r\n" + contact(1) + "\r\n" + contact(11) + "\r\n" + contact(13) + "\r\n");
}

void TestImport::nothingSelected()
{
    TestFolder folder;
    const QByteArray book = contact(1) + "\n";
    folder.write(QStringLiteral("data/contact.csv"), book);
    TfrmMain w;
    w.importLines = {contact(11)};
    TfrmImporta d(&w);
    d.show();
    press(&d, "SpeedButton2");
    press(&d, "BitBtn1");
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("Non c'è nulla da importare"));
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QVERIFY(!d.isVisible());
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book);
}

void TestImport::annullaLeavesTheFile()
{
    TestFolder folder;
    // Line ends of every kind and no final one: a rewrite would show.
    const QByteArray book = contact(1) + "\n" + contact(2) + "\r" + contact(3);
    folder.write(QStringLiteral("data/contact.csv"), book);
    folder.write(QStringLiteral("a.ldif"), "givenName: A\n");
    folder.write(QStringLiteral("b.ldif"), "givenName: B\n");
    TfrmMain w;
    w.show();
    FileDialogs::setNextOpenFileNames({folder.path(QStringLiteral("a.ldif")), folder.path(QStringLiteral("b.ldif"))});
    ImportWindows windows({cancel, cancel});
    press(&w, "Button9");
    QCOMPARE(windows.seen.size(), 2);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book);
    QCOMPARE(w.listModel()->rowCount(), 3);
}

void TestImport::missingBookIsCreated()
{
    TestFolder folder;
    TfrmMain w;
    w.show();
    w.importLines = Importers::ldifCandidates("givenName: A\nsn: B, C\n", kDate);
    TfrmImporta d(&w);
    press(&d, "BitBtn1");
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), "A,B&#44; C,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-," + kDate + "\r\n");
}

void TestImport::failedWriteIsReported()
{
    TestFolder folder;
    TfrmMain w;
    w.show();
    // No data folder to write into.
    QDir(folder.path(QStringLiteral("data"))).removeRecursively();
    w.importLines = {contact(1)};
    TfrmImporta d(&w);
    d.show();
    press(&d, "BitBtn1");
    QVERIFY(!d.isVisible());
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Rubrino"));
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QVERIFY2(shown[0].text.contains(QStringLiteral("contact.csv")), qPrintable(shown[0].text));
    QVERIFY(!QFileInfo::exists(folder.contactFile()));
}

void TestImport::hundredThousandCandidates()
{
    TestFolder folder;
    TfrmMain w;
    QByteArrayList lines;
    for (int i = 0; i < 100000; ++i)
        lines.append(contact(i));
    w.importLines = lines;
    TfrmImporta d(&w);
    d.show();
    QCOMPARE(text(&d, "lcontatti"), QStringLiteral("100000"));
    QCOMPARE(text(&d, "lsel"), QStringLiteral("100000"));
    QCOMPARE(d.listim->selectionModel()->selection().size(), 1);
    press(&d, "SpeedButton2");
    QCOMPARE(text(&d, "lsel"), QStringLiteral("0"));
    press(&d, "SpeedButton1");
    QCOMPARE(text(&d, "lsel"), QStringLiteral("100000"));
    press(&d, "BitBtn1");
    QCOMPARE(AddressBook::readLines(folder.contactFile()), lines);
}

void TestImport::progressWindow_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("stopAt");  // the report at which "Annulla" is pressed; 0: never
    QTest::addColumn<int>("windows"); // selection windows that come up, each imports all
    QTest::addColumn<int>("rows");    // in the main list afterwards
    // Short work keeps the wait cursor alone; the window would come up only after half a second.
    QTest::newRow("short work, no window") << QStringList{"uno.ldif"} << 0 << 1 << 3;
    // Stopped while the file is read in one piece, and in two halves on two threads.
    QTest::newRow("LDIF stopped, next file not read") << QStringList{"grande.ldif", "uno.ldif"} << 2 << 0 << 1;
    QTest::newRow("vCard in two halves stopped") << QStringList{"grande.vcf"} << 5 << 0 << 1;
    QTest::newRow("stopped while read from the disk") << QStringList{"grande.vcf"} << 1 << 0 << 1;
    // What an earlier file of the command added shows: the next delete must keep it.
    QTest::newRow("stopped after an imported file") << QStringList{"uno.ldif", "grande.ldif"} << 3 << 1 << 3;
}

void TestImport::progressWindow()
{
    QFETCH(QStringList, files);
    QFETCH(int, stopAt);
    QFETCH(int, windows);
    QFETCH(int, rows);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n");
    folder.write(QStringLiteral("uno.ldif"), "givenName: A\nsn: B\n");
    // About 2 MB of entries, and 8 MB of cards, read in two halves at once.
    QByteArray ldif, cards;
    for (int i = 0; i < 3000; ++i)
        ldif += "givenName: N" + QByteArray::number(i) + "\nsn: C\ndescription: " + QByteArray(600, 'x') + "\n\n";
    for (int i = 0; i < 12000; ++i)
        cards += "BEGIN:VCARD\r\nN:C;N" + QByteArray::number(i) + "\r\nNOTE:" + QByteArray(600, 'x') + "\r\nEND:VCARD\r\n";
    folder.write(QStringLiteral("grande.ldif"), ldif);
    folder.write(QStringLiteral("grande.vcf"), cards);
    TfrmMain w;
    w.show();
    // Changed behind the program's back: only a reload shows the second contact.
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n" + contact(2) + "\r\n");

    ProgressWindowSeam progress(stopAt, [&](TfrmAvanzamento &p) {
        QVERIFY(p.isVisible());
        QCOMPARE(p.windowTitle(), QStringLiteral("Importazione contatti"));
        QCOMPARE(p.windowModality(), Qt::ApplicationModal);
        QCOMPARE(p.parentWidget(), &w);
        QCOMPARE(QApplication::activeModalWidget(), &p);
    });
    QStringList paths;
    for (const QString &f : files)
        paths << folder.path(f);
    FileDialogs::setNextOpenFileNames(paths);
    ImportWindows seen(QList<std::function<void(TfrmImporta &)>>(windows, importAll));
    press(&w, "Button9");

    QCOMPARE(seen.seen.size(), windows);
    QVERIFY(progress.reports >= std::max(stopAt, 1));
    QCOMPARE(progress.shown, stopAt > 0);
    QVERIFY(Messages::takeShown().isEmpty());
    QCOMPARE(w.listModel()->rowCount(), rows);
    QCOMPARE(w.vcard->Identification().Name().FamilyName(), QByteArray());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!w.findChild<TfrmAvanzamento *>());
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"
