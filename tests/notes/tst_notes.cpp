#include "support/TestSupport.h"

#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "notes/ReminderFile.h"
#include "notes/frmPromemoriaUnit.h"
#include "store/AddressBook.h"
#include "store/DateText.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString kNote = QStringLiteral("data/promemoria.txt");

// A date line as the program writes it today, for 3 March 2008 at 09:05:07.
QByteArray savedOn()
{
    return "# " + DateText::format(QDateTime(QDate(2008, 3, 3), QTime(9, 5, 7))).toLatin1();
}

QPlainTextEdit *mem(TfrmPromemoria &w) { return w.findChild<QPlainTextEdit *>(QStringLiteral("mem")); }
QCheckBox *cbman(TfrmPromemoria &w) { return w.findChild<QCheckBox *>(QStringLiteral("cbman")); }
QString caption(TfrmPromemoria &w) { return w.findChild<QGroupBox *>(QStringLiteral("gbox"))->title(); }

// Types text as a keyboard does, one character per key press, also outside Latin-1.
void type(QWidget *w, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, text.mid(i, n), Qt::NoModifier);
        i += n - 1;
    }
}

void pressChiudi(TfrmPromemoria &w)
{
    QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
}

// The file's bytes with "<now>" standing for the date of a save made between `before` and
// `after`: a test that runs across a second boundary accepts both.
bool matchesWithNow(const QByteArray &actual, QByteArray expected, const QByteArray &before, const QByteArray &after)
{
    if (!expected.contains("<now>"))
        return actual == expected;
    return actual == QByteArray(expected).replace("<now>", before) || actual == expected.replace("<now>", after);
}

// Runs `fn` on the next modal window that opens.
struct OnModal
{
    std::function<void(QWidget *)> fn;
    bool ran = false;
    explicit OnModal(std::function<void(QWidget *)> f) : fn(std::move(f)) { QTimer::singleShot(0, [this] { poll(); }); }
    void poll()
    {
        if (QWidget *w = QApplication::activeModalWidget()) {
            ran = true;
            fn(w);
            return;
        }
        QTimer::singleShot(10, [this] { poll(); });
    }
};

} // namespace

class TestReminder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Back to the system's own locale, as the program runs, which the data rows were made
    // in: a date line written in one locale need not read back in another (on Windows the
    // system's is not C, but "M/d/yyyy h:mm:ss AP" under Wine).
    void cleanup() { QLocale::setDefault(QLocale::system()); }
    void readsTheFile_data();
    void readsTheFile();
    void captionShowsSaveDate_data();
    void captionShowsSaveDate();
    void chiudi_data();
    void chiudi();
    void newNoteSavedAndReopened();
    void closeBoxAndEscapeAsk_data();
    void closeBoxAndEscapeAsk();
    void failedWriteKeepsWindowOpen_data();
    void failedWriteKeepsWindowOpen();
    void refusesCharactersTheFileCannotHold_data();
    void refusesCharactersTheFileCannotHold();
    void mainWindowOpensTheNote();
};

void TestReminder::readsTheFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dated");
    QTest::newRow("AutoLoad, two lines") << "# AutoLoad\r\n" + savedOn() + "\r\nprima\r\nseconda\r\n" << true
                                         << QStringLiteral("prima\nseconda") << true;
    QTest::newRow("NoLoad, LF ends") << "# NoLoad\n" + savedOn() + "\nuna\n" << false << QStringLiteral("una") << true;
    QTest::newRow("other case") << "# autoload\r\n" + savedOn() + "\r\nx\r\n" << false << QStringLiteral("x") << true;
    QTest::newRow("Windows-1252") << "# NoLoad\r\n" + savedOn() + "\r\ncaff\xe8 5\x80 \x93ok\x94\r\n" << false
                                  << QStringLiteral("caffè 5€ “ok”") << true;
    QTest::newRow("empty lines kept") << "# NoLoad\r\n" + savedOn() + "\r\na\r\n\r\nb\r\n\r\n" << false
                                      << QStringLiteral("a\n\nb\n") << true;
    QTest::newRow("marker only") << QByteArray("# AutoLoad\r\n") << true << QString() << false;
    QTest::newRow("empty file") << QByteArray() << false << QString() << false;
    QTest::newRow("date of other settings") << QByteArray("# NoLoad\r\n# 2008.03.03 klo 9.05\r\nnota\r\n") << false
                                            << QStringLiteral("nota") << false;
    QTest::newRow("no blank after #") << "# NoLoad\r\n#" + savedOn().mid(2) + "\r\nnota\r\n" << false
                                      << QStringLiteral("nota") << true;
}

// The window shows what the file holds; a date line that cannot be read loses only the
// date, never the note, and shows no error.
void TestReminder::readsTheFile()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, ticked);
    QFETCH(QString, text);
    QFETCH(bool, dated);
    TestFolder folder;
    folder.write(kNote, file);
    TfrmPromemoria w;
    QCOMPARE(cbman(w)->isChecked(), ticked);
    QCOMPARE(mem(w)->toPlainText(), text);
    QCOMPARE(caption(w), dated ? QStringLiteral("Promemoria segnato il 3-3-2008 alle 9:5:7")
                               : QStringLiteral("Scrivi promemoria:"));
    w.CheckModified();
    QVERIFY(!w.isModified());
    QCOMPARE(Messages::takeShown().size(), 0);
}

void TestReminder::captionShowsSaveDate_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("expected");
    const QDateTime morning(QDate(2008, 3, 3), QTime(9, 5, 7));
    const QDateTime midnight(QDate(2031, 12, 24), QTime(0, 0));
    const QDateTime evening(QDate(1999, 11, 30), QTime(23, 59, 58));
    const QLocale locales[] = {QLocale(QLocale::Italian, QLocale::Italy), QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::German, QLocale::Germany), QLocale::c()};
    for (const QLocale &l : locales) {
        const QByteArray name = l.name().toLatin1();
        QTest::newRow(name + " morning") << l << morning << QStringLiteral("Promemoria segnato il 3-3-2008 alle 9:5:7");
        QTest::newRow(name + " midnight") << l << midnight << QStringLiteral("Promemoria segnato il 24-12-2031 alle 0:0:0");
        QTest::newRow(name + " 1999") << l << evening << QStringLiteral("Promemoria segnato il 30-11-1999 alle 23:59:58");
    }
}

// The date line is written and read back with the regional settings; the year keeps its
// century and a note saved at midnight (no time part) still shows its date.
void TestReminder::captionShowsSaveDate()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, moment);
    QFETCH(QString, expected);
    QLocale::setDefault(locale);
    TestFolder folder;
    folder.write(kNote, AddressBook::joinLines({"# NoLoad", "# " + DateText::format(moment).toLatin1(), "x"}));
    TfrmPromemoria w;
    QCOMPARE(caption(w), expected);
}

void TestReminder::chiudi_data()
{
    QTest::addColumn<QByteArray>("file"); // "<missing>": no file
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QByteArray>("expected"); // "<now>" is the date of the save

    const QByteArray saved = "# AutoLoad\r\n" + savedOn() + "\r\nnota\r\n";
    const QByteArray missing = "<missing>";
    QTest::newRow("no file, nothing done") << missing << false << QString() << false << true << false << missing;
    QTest::newRow("no file, only ticked") << missing << false << QString() << true << true << false << missing;
    QTest::newRow("no file, typed, Yes") << missing << false << QStringLiteral("uno") << true << true << true
                                         << QByteArray("# AutoLoad\r\n# <now>\r\nuno\r\n");
    QTest::newRow("saved, only unticked") << saved << false << QString() << true << true << false
                                          << "# NoLoad\r\n" + savedOn() + "\r\nnota\r\n";
    QTest::newRow("saved, nothing done") << saved << false << QString() << false << true << false << saved;
    QTest::newRow("LF file, only ticked") << "# NoLoad\n" + savedOn() + "\na\n\nb" << false << QString() << true << true
                                          << false << "# AutoLoad\r\n" + savedOn() + "\r\na\r\n\r\nb\r\n";
    QTest::newRow("saved, typed and unticked, No") << saved << false << QStringLiteral(" in più") << true << false
                                                   << true << saved;
    QTest::newRow("saved, typed, Yes") << saved << false << QStringLiteral(" in più\naltro") << false << true << true
                                       << QByteArray("# AutoLoad\r\n# <now>\r\nnota in pi\xf9\r\naltro\r\n");
    QTest::newRow("saved, all deleted, Yes") << saved << true << QString() << false << true << true
                                             << QByteArray("# AutoLoad\r\n# <now>\r\n");
    QTest::newRow("saved, all deleted, No") << saved << true << QString() << false << false << true << saved;
    QTest::newRow("empty file, nothing done") << QByteArray() << false << QString() << false << true << false
                                              << QByteArray("# NoLoad\r\n# <now>\r\n");
    QTest::newRow("empty file, ticked") << QByteArray() << false << QString() << true << true << false
                                        << QByteArray("# AutoLoad\r\n# <now>\r\n");
    QTest::newRow("trailing empty line unchanged") << "# NoLoad\r\n" + savedOn() + "\r\nx\r\n\r\n" << false << QString()
                                                   << false << true << false << "# NoLoad\r\n" + savedOn() + "\r\nx\r\n\r\n";
    QTest::newRow("one empty line unchanged") << "# NoLoad\r\n" + savedOn() + "\r\n\r\n" << false << QString() << false
                                              << true << false << "# NoLoad\r\n" + savedOn() + "\r\n\r\n";
    // The note survives a date line the regional settings cannot read: untouched, it is not
    // asked about, and only the marker changes.
    QTest::newRow("unreadable date, ticked") << QByteArray("# NoLoad\r\n# 2008-03-03 kello 9\r\nnota\r\n") << false
                                             << QString() << true << true << false
                                             << QByteArray("# AutoLoad\r\n# 2008-03-03 kello 9\r\nnota\r\n");
    QTest::newRow("no date line, typed, Yes") << QByteArray("# AutoLoad\r\n") << false << QStringLiteral("n") << false
                                              << true << true << QByteArray("# AutoLoad\r\n# <now>\r\nn\r\n");
}

void TestReminder::chiudi()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, clear);
    QFETCH(QString, typed);
    QFETCH(bool, toggle);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    QFETCH(QByteArray, expected);
    TestFolder folder;
    if (file != "<missing>")
        folder.write(kNote, file);

    TfrmPromemoria w;
    w.show();
    if (clear) {
        mem(w)->selectAll();
        QTest::keyClick(mem(w), Qt::Key_Delete);
    }
    if (!typed.isEmpty()) {
        mem(w)->moveCursor(QTextCursor::End);
        const QStringList lines = typed.split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(mem(w), Qt::Key_Return);
            type(mem(w), lines[i]);
        }
    }
    if (toggle)
        QTest::mouseClick(cbman(w), Qt::LeftButton, {}, QPoint(5, cbman(w)->height() / 2));
    // Only a box that will be shown gets an answer: a queued one would answer the next test.
    if (asked)
        Messages::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    const QByteArray before = DateText::now();
    pressChiudi(w);
    const QByteArray after = DateText::now();

    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(shown[0].title, QStringLiteral("Modifica promemoria"));
        QCOMPARE(shown[0].text, QStringLiteral("Salvare il promemoria modificato?"));
        QCOMPARE(shown[0].icon, QMessageBox::NoIcon);
        QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    }
    const QByteArray actual = folder.read(kNote);
    QVERIFY2(matchesWithNow(actual, expected, before, after), actual.constData());
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
}

// A note written, saved and opened again shows today's date with its full year.
void TestReminder::newNoteSavedAndReopened()
{
    TestFolder folder;
    QDate today;
    {
        TfrmPromemoria w;
        w.show();
        QCOMPARE(caption(w), QStringLiteral("Scrivi promemoria:"));
        QTest::keyClicks(mem(w), QStringLiteral("Chiamare Anna"));
        QTest::keyClick(mem(w), Qt::Key_Return);
        QTest::keyClicks(mem(w), QStringLiteral("Pagare l'affitto"));
        cbman(w)->setChecked(true);
        Messages::setNextAnswer(QMessageBox::Yes);
        today = QDate::currentDate();
        pressChiudi(w);
    }
    TfrmPromemoria w;
    const QString prefix = QStringLiteral("Promemoria segnato il %1-%2-%3 alle ").arg(today.day()).arg(today.month()).arg(today.year());
    const QDate tomorrow = today.addDays(1);
    const QString nextPrefix = QStringLiteral("Promemoria segnato il %1-%2-%3 alle ").arg(tomorrow.day()).arg(tomorrow.month()).arg(tomorrow.year());
    QVERIFY2(caption(w).startsWith(prefix) || caption(w).startsWith(nextPrefix), qPrintable(caption(w)));
    QCOMPARE(mem(w)->toPlainText(), QStringLiteral("Chiamare Anna\nPagare l'affitto"));
    QVERIFY(cbman(w)->isChecked());
    QVERIFY(ReminderFile::opensAtStartup(AddressBook::reminderFile()));
}

void TestReminder::closeBoxAndEscapeAsk_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: nothing is asked
    QTest::addColumn<QByteArray>("file"); // "<saved>": as it was
    QTest::newRow("close box, Yes") << false << QStringLiteral("altro ") << QMessageBox::Yes
                                    << QByteArray("# AutoLoad\r\n# <now>\r\naltro nota\r\n");
    QTest::newRow("Escape, No") << true << QStringLiteral("altro ") << QMessageBox::No << QByteArray("<saved>");
    // Unchanged text: nothing asked, and the box's change is not kept, as the close box always did.
    QTest::newRow("close box, only the box") << false << QString() << QMessageBox::NoButton << QByteArray("<saved>");
}

// Every way out of the window asks before a changed note is lost, as "Chiudi" does.
void TestReminder::closeBoxAndEscapeAsk()
{
    QFETCH(bool, escape);
    QFETCH(QString, typed);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QByteArray, file);
    TestFolder folder;
    const QByteArray saved = "# NoLoad\r\n" + savedOn() + "\r\nnota\r\n";
    folder.write(kNote, saved);
    TfrmPromemoria w;
    w.show();
    QTest::keyClicks(mem(w), typed);
    cbman(w)->setChecked(true);
    if (answer != QMessageBox::NoButton)
        Messages::setNextAnswer(answer);
    const QByteArray before = DateText::now();
    if (escape)
        QTest::keyClick(mem(w), Qt::Key_Escape);
    else
        w.close();
    const QByteArray after = DateText::now();
    QVERIFY(!w.isVisible());
    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), answer == QMessageBox::NoButton ? 0 : 1);
    if (!shown.isEmpty())
        QCOMPARE(shown[0].text, QStringLiteral("Salvare il promemoria modificato?"));
    QVERIFY2(matchesWithNow(folder.read(kNote), file == "<saved>" ? saved : file, before, after), folder.read(kNote).constData());
}

void TestReminder::failedWriteKeepsWindowOpen_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Chiudi") << false;
    QTest::newRow("close box") << true;
}

void TestReminder::failedWriteKeepsWindowOpen()
{
    QFETCH(bool, closeBox);
    TestFolder folder;
    TfrmPromemoria w;
    w.show();
    QTest::keyClicks(mem(w), QStringLiteral("nota"));
    QVERIFY(QDir(folder.path(QStringLiteral("data"))).removeRecursively());
    Messages::setNextAnswer(QMessageBox::Yes);
    if (closeBox)
        w.close();
    else
        pressChiudi(w);
    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].icon, QMessageBox::Critical);
    QVERIFY2(shown[1].text.contains(QStringLiteral("promemoria.txt")), qPrintable(shown[1].text));
    QVERIFY(w.isVisible());
    QCOMPARE(mem(w)->toPlainText(), QStringLiteral("nota"));
}

void TestReminder::refusesCharactersTheFileCannotHold_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("messages");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("Windows-1252 letters") << QStringLiteral("Perché 10€ – “sì”") << false
                                          << QStringLiteral("Perché 10€ – “sì”") << 0 << QByteArray("Perch\xe9 10\x80 \x96 \x93s\xec\x94");
    QTest::newRow("typed Greek letter") << QStringLiteral("aΩb") << false << QStringLiteral("ab") << 1 << QByteArray("ab");
    QTest::newRow("pasted, three refused") << QStringLiteral("x😀y→zα") << true << QStringLiteral("xyz") << 1 << QByteArray("xyz");
    QTest::newRow("pasted, line breaks kept") << QStringLiteral("a\nb\u2028c✓") << true << QStringLiteral("a\nb\u2028c") << 1
                                              << QByteArray("a");
}

// The note is stored in Windows-1252: what it cannot hold is taken out at once, with one
// message per change, and never saved as "?".
void TestReminder::refusesCharactersTheFileCannotHold()
{
    QFETCH(QString, typed);
    QFETCH(bool, paste);
    QFETCH(QString, kept);
    QFETCH(int, messages);
    QFETCH(QByteArray, line);
    TestFolder folder;
    TfrmPromemoria w;
    w.show();
    if (paste)
        mem(w)->insertPlainText(typed);
    else
        type(mem(w), typed);
    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), messages);
    for (const Messages::Shown &s : shown) {
        QCOMPARE(s.text, QStringLiteral("Non puoi inserire questo carattere nei campi."));
        QCOMPARE(s.title, QStringLiteral("Error"));
    }
    QCOMPARE(mem(w)->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), kept);
    Messages::setNextAnswer(QMessageBox::Yes);
    pressChiudi(w);
    const QByteArrayList lines = AddressBook::splitLines(folder.read(kNote));
    QVERIFY(lines.size() >= 3);
    QCOMPARE(lines[2], line);
    QVERIFY(!folder.read(kNote).contains('?'));
}

// The main window's button and the start-up marker open the real reminder window.
void TestReminder::mainWindowOpensTheNote()
{
    TestFolder folder;
    folder.write(kNote, "# AutoLoad\r\n" + savedOn() + "\r\nda fare\r\n");
    QString seen;
    OnModal atStart([&](QWidget *m) {
        auto *w = qobject_cast<TfrmPromemoria *>(m);
        QVERIFY(w);
        seen = w->windowTitle() + u'|' + mem(*w)->toPlainText() + u'|' + caption(*w);
        // Unticking is kept at "Chiudi": the next start opens nothing.
        cbman(*w)->setChecked(false);
        pressChiudi(*w);
    });
    TfrmMain main;
    main.show();
    QVERIFY(atStart.ran);
    QCOMPARE(seen, QStringLiteral("Promemoria|da fare|Promemoria segnato il 3-3-2008 alle 9:5:7"));
    QCOMPARE(folder.read(kNote), "# NoLoad\r\n" + savedOn() + "\r\nda fare\r\n");
    QVERIFY(!ReminderFile::opensAtStartup(AddressBook::reminderFile()));

    OnModal fromButton([&](QWidget *m) {
        auto *w = qobject_cast<TfrmPromemoria *>(m);
        QVERIFY(w);
        QVERIFY(!cbman(*w)->isChecked());
        w->close();
    });
    main.findChild<QPushButton *>(QStringLiteral("Button6"))->click();
    QVERIFY(fromButton.ran);
    QVERIFY(main.findChildren<TfrmPromemoria *>().isEmpty());
    QCOMPARE(Messages::takeShown().size(), 0);
}

QTEST_MAIN(TestReminder)
#include "tst_notes.moc"
