#include "support/TestSupport.h"

#include "app/Messages.h"
#include "editor/ContactEditing.h"
#include "editor/frmAggiungiUnit.h"
#include "store/AddressBook.h"
#include "store/AppError.h"
#include "store/CSVStringInfo.h"
#include "store/DateText.h"
#include "store/TextCodec.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

namespace {

const char *const kBoxNames[] = {"txtnome", "txtcognome", "txtpos", "txtorg", "txtindirizzo", "txtcitta",
                                 "txtcap", "txtnazione", "txtcellprivato", "txtlavoro", "txttelcasa",
                                 "txtteluff", "txtfax", "txtmessenger", "txtmail", "txtweb", "txtnote"};

QLineEdit *box(QWidget *w, const QString &name)
{
    auto *b = w->findChild<QLineEdit *>(name);
    if (!b)
        qFatal("no box %s", qPrintable(name));
    return b;
}

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

QStringList shownTexts()
{
    QStringList texts;
    for (const Messages::Shown &s : Messages::takeShown())
        texts.append(s.text);
    return texts;
}

const QString kComma = QStringLiteral("Non puoi inserire la virgola nei campi.");
const QString kChar = QStringLiteral("Non puoi inserire questo carattere nei campi.");

// The fields of the file's line `k` (0-based).
QByteArrayList fieldsOf(const QByteArray &file, int k)
{
    TCSVStringInfo csv;
    csv.setSourceString(AddressBook::splitLines(file).value(k));
    return csv.FieldList();
}

const QByteArray kStored = "Anna,Rossi,-,ACME &#44; Spa,Via Po 1,Torino,10100,-,+39 333 1,-,-,-,-,-,"
                           "anna@example.org,www.example.org,nota,03/03/2008 09:05:07";

} // namespace

class TestEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void composeLine_data();
    void composeLine();
    void fieldRule_data();
    void fieldRule();
    void addAppendsLine_data();
    void addAppendsLine();
    void mandatoryFields_data();
    void mandatoryFields();
    void modifyKeepsPlaceAndRestampsDate_data();
    void modifyKeepsPlaceAndRestampsDate();
    void modifyRoundTripKeepsFields();
    void loadingRemovesCommasOfQuotedFields();
    void modifyRefused_data();
    void modifyRefused();
    void unreadableFileEndsModify();
    void closingWritesNothing_data();
    void closingWritesNothing();
    void failedSaveKeepsEditorOpen();
    void doubleClicks_data();
    void doubleClicks();
};

void TestEditor::composeLine_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QByteArray>("line");
    QStringList only = {QStringLiteral("Anna"), QStringLiteral("Rossi")};
    while (only.size() < 17)
        only.append(QString());
    QTest::newRow("only name and surname") << only << QByteArray("Anna,Rossi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,D");
    QStringList quoted = only;
    quoted[0] = QStringLiteral("\"Gigi\"");
    quoted[16] = QStringLiteral("\"nota\" e \"altro\"");
    quoted[5] = QStringLiteral("San \"Marco\"");
    QTest::newRow("leading quotes as entity, other quotes kept")
        << quoted << QByteArray("&#34;Gigi\",Rossi,-,-,-,San \"Marco\",-,-,-,-,-,-,-,-,-,-,&#34;nota\" e \"altro\",D");
    QStringList marks = only;
    marks[2] = QStringLiteral("-");
    marks[3] = QStringLiteral("A&#44;B");
    marks[4] = QStringLiteral("x,y");
    marks[6] = QStringLiteral(" ");
    QTest::newRow("dash, entity, comma, blank")
        << marks << QByteArray("Anna,Rossi,-,A&#44;B,x&#44;y,-, ,-,-,-,-,-,-,-,-,-,-,D");
    QStringList ansi = only;
    ansi[5] = QStringLiteral("Forlì");
    ansi[16] = QStringLiteral("5 €");
    QTest::newRow("Windows-1252 bytes") << ansi << QByteArray("Anna,Rossi,-,-,-,Forl\xEC,-,-,-,-,-,-,-,-,-,-,5 \x80,D");
}

void TestEditor::composeLine()
{
    QFETCH(QStringList, boxes);
    QFETCH(QByteArray, line);
    const QByteArray composed = ContactEditing::composeLine(boxes, "D");
    QCOMPARE(composed, line);
    QCOMPARE(TCSVStringInfo::fieldViews(composed).size(), 18);
}

void TestEditor::fieldRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");   // typed key by key
    QTest::addColumn<QString>("pasted");  // pasted in one go at the end
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("messages");
    // Typed on at typing speed, into what has the focus, after the message came up; the
    // message is then a real box, answered by Enter once the typing is done.
    QTest::addColumn<QString>("typedOn");
    QTest::newRow("comma typed between letters") << "txtcitta" << "" << "ab,c" << "" << "abc" << QStringList{kComma} << "";
    QTest::newRow("pasted commas, one message") << "txtnote" << "" << "x" << "a,b,,c" << "xabc" << QStringList{kComma} << "";
    QTest::newRow("pasted line break") << "txtindirizzo" << "" << "" << "Via Roma 1\r\n20100 Milano" << "Via Roma 120100 Milano" << QStringList{kChar} << "";
    QTest::newRow("pasted tab") << "txtnome" << "" << "" << "Anna\tMaria" << "AnnaMaria" << QStringList{kChar} << "";
    QTest::newRow("comma and line break") << "txtorg" << "" << "" << "a,\nb" << "ab" << QStringList{kComma} << "";
    QTest::newRow("emoji") << "txtmessenger" << "" << "" << QString::fromUtf8("ciao \xF0\x9F\x98\x80!") << "ciao !" << QStringList{kChar} << "";
    QTest::newRow("Greek letter") << "txtcognome" << "" << "" << QString::fromUtf8("\xCE\xA9mega") << "mega" << QStringList{kChar} << "";
    QTest::newRow("Windows-1252 letters stay") << "txtcitta" << "" << "" << QString::fromUtf8("Forlì € “ok”") << QString::fromUtf8("Forlì € “ok”") << QStringList{} << "";
    QTest::newRow("phone keeps +39") << "txtcellprivato" << "+39" << " 333," << "" << "+39 333" << QStringList{kComma} << "";
    // The blank after the comma must not press the box's OK: the box stays until answered.
    QTest::newRow("typing on after the message") << "txtcognome" << "" << "Rossi," << "" << "Rossi" << QStringList{kComma} << " B";
}

void TestEditor::fieldRule()
{
    QFETCH(QString, name);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    QFETCH(QStringList, messages);
    QFETCH(QString, typedOn);
    TestFolder folder;
    TfrmAggiungi editor;
    editor.show();
    QLineEdit *b = box(&editor, name);
    QCOMPARE(b->text(), before);
    b->setFocus();
    b->end(false);

    // One key every 80 ms, the way a person types on without looking up.
    QTimer typist;
    QElapsedTimer boxUp;
    qsizetype next = 0;
    Messages::setShowForReal(!typedOn.isEmpty());
    const auto realBoxesOff = qScopeGuard([] { Messages::setShowForReal(false); });
    connect(&typist, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && !boxUp.isValid())
            boxUp.start();
        if (!boxUp.isValid())
            return;
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : b;
        if (next < typedOn.size()) {
            QTest::keyClick(target, typedOn[next++].toLatin1());
        } else if (modal && boxUp.elapsed() < 600) {
            return;
        } else {
            if (modal)
                QTest::keyClick(target, Qt::Key_Return);
            typist.stop();
        }
    });
    if (!typedOn.isEmpty())
        typist.start(80);
    QTest::keyClicks(b, typed);
    QTRY_VERIFY(!typist.isActive());
    if (!pasted.isEmpty()) {
        QApplication::clipboard()->setText(pasted);
        b->paste();
    }
    QCOMPARE(b->text(), after);
    QCOMPARE(shownTexts(), messages);
}

void TestEditor::addAppendsLine_data()
{
    QTest::addColumn<QByteArray>("existing"); // "<missing>": no file
    QTest::addColumn<QString>("phones");      // "<as shown>": the boxes left as the editor fills them
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QByteArray>("expected"); // without the date
    QTest::newRow("phones untouched: no number") << QByteArray(kStored + "\r\n") << "<as shown>" << "Bruno" << ""
                                      << QByteArray("Bruno,Verdi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,");
    QTest::newRow("blanks around the prefix: no number") << QByteArray(kStored) << " +39  " << "Bruno" << ""
                                      << QByteArray("Bruno,Verdi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,");
    QTest::newRow("a number after the prefix") << QByteArray(kStored) << "+39 02 1" << "Bruno" << ""
                                      << QByteArray("Bruno,Verdi,-,-,-,-,-,-,+39 02 1,+39 02 1,+39 02 1,+39 02 1,-,-,-,-,-,");
    QTest::newRow("phones cleared, no file yet") << QByteArray("<missing>") << "" << "Bruno" << ""
                                                 << QByteArray("Bruno,Verdi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,");
    QTest::newRow("pasted line break, leading quote") << QByteArray(kStored) << "" << "\"Bruno\""
                                                      << "riga uno\nriga due"
                                                      << QByteArray("&#34;Bruno\",Verdi,-,-,-,-,-,-,-,-,-,-,-,-,-,-,riga unoriga due,");
}

void TestEditor::addAppendsLine()
{
    QFETCH(QByteArray, existing);
    QFETCH(QString, phones);
    QFETCH(QString, name);
    QFETCH(QString, note);
    QFETCH(QByteArray, expected);
    TestFolder folder;
    if (existing != "<missing>")
        folder.write(QStringLiteral("data/contact.csv"), existing);
    TfrmAggiungi editor;
    editor.show();
    QCOMPARE(editor.windowTitle(), QStringLiteral("Aggiungi contatto"));
    QCOMPARE(button(&editor, "butt")->text(), QStringLiteral("Aggiungi"));
    box(&editor, QStringLiteral("txtnome"))->setText(name);
    QTest::keyClicks(box(&editor, QStringLiteral("txtcognome")), QStringLiteral("Verdi"));
    if (phones != QStringLiteral("<as shown>")) {
        for (const char *phone : {"txtcellprivato", "txtlavoro", "txttelcasa", "txtteluff"})
            box(&editor, QLatin1String(phone))->setText(phones);
    }
    if (!note.isEmpty()) {
        QApplication::clipboard()->setText(note);
        box(&editor, QStringLiteral("txtnote"))->paste();
        QCOMPARE(shownTexts(), QStringList{kChar});
    }
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    // Enter in a box presses "Aggiungi".
    QTest::keyClick(box(&editor, QStringLiteral("txtnote")), Qt::Key_Return);
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(shownTexts(), QStringList{});
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    QVERIFY(!editor.isVisible());

    const QByteArray file = folder.read(QStringLiteral("data/contact.csv"));
    const QByteArrayList lines = AddressBook::splitLines(file);
    const QByteArrayList old = existing == "<missing>" ? QByteArrayList{} : AddressBook::splitLines(existing);
    QCOMPARE(lines.size(), old.size() + 1);
    QCOMPARE(lines.mid(0, old.size()), old);
    QVERIFY(file.endsWith("\r\n"));
    QVERIFY2(lines.last().startsWith(expected), lines.last().constData());
    const QByteArray date = lines.last().mid(expected.size());
    QVERIFY(!date.contains(','));
    const auto stamped = DateText::parse(TextCodec::fromAnsi(date));
    QVERIFY2(stamped, date.constData());
    QVERIFY(*stamped >= before && *stamped <= after);
}

void TestEditor::mandatoryFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("message"); // empty: saved
    QTest::newRow("no name") << "" << "Rossi" << "Devi specificare il nome della persona da aggiungere.";
    QTest::newRow("no surname") << "Anna" << "" << "Devi specificare il cognome della persona da aggiungere.";
    QTest::newRow("neither: the name first") << "" << "" << "Devi specificare il nome della persona da aggiungere.";
    QTest::newRow("blanks are content") << " " << " " << "";
}

void TestEditor::mandatoryFields()
{
    QFETCH(QString, name);
    QFETCH(QString, surname);
    QFETCH(QString, message);
    TestFolder folder;
    TfrmAggiungi editor;
    editor.show();
    // Each control has a name of its own; Label14 is the note about the bold fields.
    QStringList names;
    for (const QWidget *w : editor.findChildren<QWidget *>()) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(u"qt_"))
            names.append(w->objectName());
    }
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    QCOMPARE(editor.findChild<QLabel *>(QStringLiteral("Label14"))->text(),
             QStringLiteral("[ i campi in grassetto sono obbligatori ]"));
    box(&editor, QStringLiteral("txtnome"))->setText(name);
    box(&editor, QStringLiteral("txtcognome"))->setText(surname);
    box(&editor, QStringLiteral("txtnote"))->setText(QStringLiteral("kept"));
    button(&editor, "butt")->click();
    const auto shown = Messages::takeShown();
    if (message.isEmpty()) {
        QCOMPARE(shown.size(), 0);
        QVERIFY(folder.read(QStringLiteral("data/contact.csv")).startsWith(" , ,-,"));
        return;
    }
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, message);
    QCOMPARE(shown.first().title, QStringLiteral("Error"));
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QVERIFY(editor.isVisible());
    QCOMPARE(box(&editor, QStringLiteral("txtnote"))->text(), QStringLiteral("kept"));
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), QByteArray("<missing>"));
}

namespace {
const QByteArray kFirst = "Primo,Uno,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,01/01/2001 10:00:00";
const QByteArray kThird = "Terzo,Tre,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,01/01/2001 10:00:00";
} // namespace

void TestEditor::modifyKeepsPlaceAndRestampsDate_data()
{
    // What another program writes while the editor is open, and the line the change then
    // lands on (-1: nothing is written).
    QTest::addColumn<QByteArrayList>("meanwhile");
    QTest::addColumn<int>("changed");
    QTest::newRow("file unchanged") << QByteArrayList{} << 1;
    QTest::newRow("a line before it removed") << QByteArrayList{kStored, kThird} << 0;
    QTest::newRow("lines added before it") << QByteArrayList{kThird, kThird, kFirst, kStored} << 3;
    QTest::newRow("the contact itself changed") << QByteArrayList{kFirst, QByteArray(kStored).replace("Anna", "Ada"), kThird} << -1;
    QTest::newRow("the contact removed") << QByteArrayList{kFirst, kThird} << -1;
    QTest::newRow("the contact twice, elsewhere") << QByteArrayList{kStored, kThird, kStored} << -1;
}

void TestEditor::modifyKeepsPlaceAndRestampsDate()
{
    QFETCH(QByteArrayList, meanwhile);
    QFETCH(int, changed);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), kFirst + "\r\n" + kStored + "\n" + kThird);
    TfrmAggiungi editor;
    QVERIFY(editor.Inizializza(QStringLiteral("2")));
    QCOMPARE(shownTexts(), QStringList{});
    QCOMPARE(editor.lineNumber(), 2);
    QCOMPARE(button(&editor, "butt")->text(), QStringLiteral("Modifica"));
    // Shown as stored: the empty-field marker and the entity stay as they are.
    QCOMPARE(box(&editor, QStringLiteral("txtpos"))->text(), QStringLiteral("-"));
    QCOMPARE(box(&editor, QStringLiteral("txtorg"))->text(), QStringLiteral("ACME &#44; Spa"));
    QCOMPARE(box(&editor, QStringLiteral("txtcellprivato"))->text(), QStringLiteral("+39 333 1"));
    QCOMPARE(box(&editor, QStringLiteral("txtnote"))->text(), QStringLiteral("nota"));
    editor.show();
    box(&editor, QStringLiteral("txtcitta"))->setText(QStringLiteral("Aosta"));
    box(&editor, QStringLiteral("txtpos"))->clear();
    QByteArrayList before = {kFirst, kStored, kThird};
    if (!meanwhile.isEmpty()) {
        folder.write(QStringLiteral("data/contact.csv"), AddressBook::joinLines(meanwhile));
        before = meanwhile;
    }
    button(&editor, "butt")->click();
    const QByteArrayList lines = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
    if (changed < 0) {
        // Nothing written, the user told, and the editor open with what was typed.
        QCOMPARE(lines, before);
        QCOMPARE(shownTexts(), QStringList{QStringLiteral("Il contatto n. 2 è stato modificato o eliminato da un altro "
                                                          "programma: non è stato scritto nulla e l'elenco è stato ricaricato.")});
        QVERIFY(editor.isVisible());
        QCOMPARE(box(&editor, QStringLiteral("txtcitta"))->text(), QStringLiteral("Aosta"));
        return;
    }
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    QCOMPARE(lines.size(), before.size());
    for (int k = 0; k < lines.size(); ++k) {
        if (k != changed)
            QCOMPARE(lines[k], before[k]);
    }
    const QByteArray expected = "Anna,Rossi,-,ACME &#44; Spa,Via Po 1,Aosta,10100,-,+39 333 1,-,-,-,-,-,"
                                "anna@example.org,www.example.org,nota,";
    QVERIFY2(lines[changed].startsWith(expected), lines[changed].constData());
    const QByteArray date = lines[changed].mid(expected.size());
    QVERIFY(date != "03/03/2008 09:05:07");
    QVERIFY(DateText::parse(TextCodec::fromAnsi(date)).has_value());
}

void TestEditor::modifyRoundTripKeepsFields()
{
    // Every box goes back to its own field: load seventeen distinct values and save. A bare
    // "+39" that an older version stored stays as it is.
    TestFolder folder;
    QByteArray line;
    for (int k = 1; k <= 17; ++k)
        line += (k == 10 ? QByteArray("+39") : "v" + QByteArray::number(k) + (k == 6 ? " citt\xE0" : "")) + ",";
    line += "01/01/2001 10:00:00,extra";
    folder.write(QStringLiteral("data/contact.csv"), line + "\r\n");
    TfrmAggiungi editor;
    QVERIFY(editor.Inizializza(QStringLiteral("1")));
    for (int k = 0; k < 17; ++k) {
        if (k != 9)
            QCOMPARE(box(&editor, QLatin1String(kBoxNames[k]))->text().section(u' ', 0, 0), QStringLiteral("v%1").arg(k + 1));
    }
    editor.show();
    button(&editor, "butt")->click();
    const QByteArrayList saved = fieldsOf(folder.read(QStringLiteral("data/contact.csv")), 0);
    QCOMPARE(saved.size(), 18);
    QCOMPARE(saved.mid(0, 17), line.split(',').mid(0, 17));
}

void TestEditor::loadingRemovesCommasOfQuotedFields()
{
    TestFolder folder;
    // Written by other software: two quoted fields hold commas.
    folder.write(QStringLiteral("data/contact.csv"),
                 "Anna,Rossi,\"a,b\",-,\"Via Po, 1\",-,-,-,-,-,-,-,-,-,-,-,-,01/01/2001\r\n");
    TfrmAggiungi editor;
    QVERIFY(editor.Inizializza(QStringLiteral("1")));
    QCOMPARE(shownTexts(), (QStringList{kComma, kComma}));
    QCOMPARE(box(&editor, QStringLiteral("txtpos"))->text(), QStringLiteral("ab"));
    QCOMPARE(box(&editor, QStringLiteral("txtindirizzo"))->text(), QStringLiteral("Via Po 1"));
}

void TestEditor::modifyRefused_data()
{
    QTest::addColumn<QByteArray>("file"); // "<missing>": no file
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    const QString gone = QStringLiteral("Il contatto n. 3 non è più nella rubrica: il file è stato cambiato nel frattempo.");
    QTest::newRow("line gone") << QByteArray(kStored + "\r\n" + kStored + "\r\n") << "3" << gone;
    QTest::newRow("file gone") << QByteArray("<missing>") << "3" << gone;
    QTest::newRow("too few fields") << QByteArray("a\r\nb\r\nAnna,Rossi,-,-,-,-,-,-,-,-,-,-,-,-,-,-\r\n") << "3"
                                    << "Il contatto n. 3 non si può modificare: la sua riga nella rubrica è incompleta.";
}

void TestEditor::modifyRefused()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, line);
    QFETCH(QString, message);
    TestFolder folder;
    if (file != "<missing>")
        folder.write(QStringLiteral("data/contact.csv"), file);
    TfrmAggiungi editor;
    QVERIFY(!editor.Inizializza(line));
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Error"));
    QCOMPARE(shown.first().text, message);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), file);
}

void TestEditor::unreadableFileEndsModify()
{
    TestFolder folder;
    QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("contact.csv"));
    TfrmAggiungi editor;
    try {
        editor.Inizializza(QStringLiteral("1"));
        QFAIL("no error");
    } catch (const AppError &e) {
        QVERIFY(e.message().contains(QStringLiteral("contact.csv")));
    }
}

void TestEditor::closingWritesNothing_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Annulla") << 0;
    QTest::newRow("close box") << 1;
    QTest::newRow("Escape") << 2;
}

void TestEditor::closingWritesNothing()
{
    QFETCH(int, how);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), kStored + "\n");
    TfrmAggiungi editor;
    QVERIFY(editor.Inizializza(QStringLiteral("1")));
    editor.show();
    box(&editor, QStringLiteral("txtnome"))->setText(QStringLiteral("Altro"));
    if (how == 0)
        button(&editor, "BitBtn2")->click();
    else if (how == 1)
        editor.close();
    else
        QTest::keyClick(box(&editor, QStringLiteral("txtnome")), Qt::Key_Escape);
    QVERIFY(!editor.isVisible());
    QCOMPARE(editor.result(), int(QDialog::Rejected));
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), kStored + "\n");
}

void TestEditor::failedSaveKeepsEditorOpen()
{
    TestFolder folder;
    QByteArray big;
    for (int i = 0; i < 40; ++i)
        big += kStored + "\r\n";
    folder.write(QStringLiteral("data/contact.csv"), big);
    TfrmAggiungi editor;
    editor.show();
    box(&editor, QStringLiteral("txtnome"))->setText(QStringLiteral("Anna"));
    box(&editor, QStringLiteral("txtcognome"))->setText(QStringLiteral("Bianchi"));
    // A full disk, for real: the new file may not grow beyond 1 KiB. The whole file is
    // smaller than a write buffer, so a buffered write would not notice.
    POSIX_ONLY(NO_FILE_SIZE_LIMIT_ON_WINDOWS);
    const int code = runWithFileSizeLimit(1024, [&] {
        button(&editor, "butt")->click();
        const auto shown = Messages::takeShown();
        if (shown.size() != 1 || shown.first().icon != QMessageBox::Critical
            || !shown.first().text.contains(QStringLiteral("contact.csv")))
            throw std::runtime_error("no error report");
        if (!editor.isVisible() || box(&editor, QStringLiteral("txtcognome"))->text() != QStringLiteral("Bianchi"))
            throw std::runtime_error("editor closed");
    });
    QCOMPARE(code, 0);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), big);
    QCOMPARE(QDir(folder.path(QStringLiteral("data"))).entryList(QDir::Files), QStringList{QStringLiteral("contact.csv")});
}

void TestEditor::doubleClicks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text"); // "<as is>": the box's initial text
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("untouched phone") << "txtcellprivato" << "<as is>" << QStringList{"callto://+39"};
    QTest::newRow("phone with blanks") << "txtteluff" << "+39 02 1234" << QStringList{"callto://+39 02 1234"};
    QTest::newRow("empty mail") << "txtmail" << "" << QStringList{"mailto:"};
    QTest::newRow("mail") << "txtmail" << "a@b.it" << QStringList{"mailto:a@b.it"};
    QTest::newRow("mail, headers left out") << "txtmail" << "a@b.it?attach=/etc/passwd" << QStringList{"mailto:a@b.it"};
    QTest::newRow("https any case") << "txtweb" << "HTTPS://example.org" << QStringList{"HTTPS://example.org"};
    QTest::newRow("ftp") << "txtweb" << "ftp://example.org/x" << QStringList{"ftp://example.org/x"};
    QTest::newRow("www gets http") << "txtweb" << "www.example.org" << QStringList{"http://www.example.org"};
    QTest::newRow("bare name not opened") << "txtweb" << "example.org" << QStringList{};
    QTest::newRow("program not opened") << "txtweb" << "C:\\Windows\\notepad.exe" << QStringList{};
    QTest::newRow("file scheme not opened") << "txtweb" << "file:///etc/passwd" << QStringList{};
    QTest::newRow("javascript not opened") << "txtweb" << "javascript:alert(1)" << QStringList{};
    QTest::newRow("empty site") << "txtweb" << "" << QStringList{};
    QTest::newRow("no action on fax") << "txtfax" << "0212" << QStringList{};
}

void TestEditor::doubleClicks()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QStringList, opened);
    TestFolder folder;
    TfrmAggiungi editor;
    editor.show();
    QLineEdit *b = box(&editor, name);
    if (text != QStringLiteral("<as is>"))
        b->setText(text);
    QTest::mouseDClick(b, Qt::LeftButton);
    QCOMPARE(takeShellOpened(), opened);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), QByteArray("<missing>"));
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
