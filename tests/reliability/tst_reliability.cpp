#include "support/TestSupport.h"

#include "CrashContents.h"
#include "app/Messages.h"
#include "app/ContactListView.h"
#include "app/StartUp.h"
#include "app/frmMainUnit.h"
#include "editor/frmAggiungiUnit.h"
#include "import/frmImportaUnit.h"
#include "notes/ReminderFile.h"
#include "notes/frmPromemoriaUnit.h"
#include "store/AddressBook.h"
#include "store/AppError.h"
#include "store/CSVStringInfo.h"
#include "store/ContactListModel.h"
#include "store/DataFolderLock.h"
#include "store/DateText.h"
#include "vcard/Msvcard.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/stat.h>
#endif
#include <stdexcept>

namespace {

QByteArray hostile(const char *name)
{
    QFile f(QStringLiteral(RUBRINO_HOSTILE_DATA "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing hostile file %s", name);
    return f.readAll();
}

// Everything in data/, hidden files included, by name.
QStringList dataEntries(const TestFolder &folder)
{
    return QDir(folder.path(QStringLiteral("data")))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QPushButton *button(QWidget *w, const char *name)
{
    auto *b = w->findChild<QPushButton *>(QLatin1String(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

QLineEdit *box(QWidget *w, const char *name)
{
    auto *b = w->findChild<QLineEdit *>(QLatin1String(name));
    if (!b)
        qFatal("no box %s", name);
    return b;
}

// In a child process a failed expectation ends the child with code 2 and says why.
void expect(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "child: %s\n", what);
        throw std::runtime_error(what);
    }
}

const QByteArray kContact = "Anna,Rossi,-,-,Via Roma 1,Milano,20100,Italia,-,-,-,-,-,-,-,-,nota,01/01/2020 10:00:00";

// An address book of `n` contacts, each line about a hundred bytes.
QByteArray book(int n)
{
    QByteArrayList lines;
    for (int i = 1; i <= n; ++i)
        lines.append("Nome" + QByteArray::number(i) + ",Cognome,-,-,Via Roma " + QByteArray::number(i)
                     + ",Milano,20100,Italia,-,-,-,-,-,-,-,-,nota,01/01/2020 10:00:00");
    return AddressBook::joinLines(lines);
}

// The date line of a note saved on 3 March 2008 at 09:05:07, in today's regional format.
QByteArray savedOn()
{
    return "# " + DateText::format(QDateTime(QDate(2008, 3, 3), QTime(9, 5, 7))).toLatin1();
}

// A reminder file with a note of `n` lines.
QByteArray reminder(bool autoLoad, int n)
{
    QStringList note;
    for (int i = 1; i <= n; ++i)
        note.append(QStringLiteral("riga %1 del promemoria").arg(i));
    return AddressBook::joinLines(ReminderFile::compose(autoLoad, "03/03/2008 09:05:07", note));
}

// Lines that break every rule of the address book in turn: too few fields, unclosed and
// doubled quotes, only separators, 8-bit and control bytes, many fields.
QByteArray malformedLines(int n)
{
    static const QByteArray kinds[] = {
        "a,b", "\"unclosed,quote,runs,to,the,end", "\"\"\"", "\",\",\",\"", ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,",
        "\"a\"\"b\"\",c", "-", "\x80\x81\x8d\x8f\x90\x9d\xff", "\t\x01\x02\x1b", QByteArray(40, '"'),
        "a,\"b", " \"x\",y", "\"x\"z,w\"", "&#44;&#34;,&#44;",
    };
    QByteArrayList lines;
    for (int i = 0; i < n; ++i)
        lines.append(kinds[i % std::size(kinds)] + QByteArray::number(i));
    return AddressBook::joinLines(lines);
}

// Starts `program`'s copy of the real executable in `folder`, offscreen.
struct RealProgram
{
    QProcess process;
    explicit RealProgram(const QString &program)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, {});
    }
    ~RealProgram()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
};

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Messages::takeShown(); }

    void killedSaves_data();
    void killedSaves();
    void leftoverTemporaryFiles_data();
    void leftoverTemporaryFiles();
    void failingDisk_data();
    void failingDisk();
    void hostileAddressBook_data();
    void hostileAddressBook();
    void hostileLines_data();
    void hostileLines();
    void hostileVCard_data();
    void hostileVCard();
    void hostileImport_data();
    void hostileImport();
    void hostileReminder_data();
    void hostileReminder();
    void reminderNeverSavedTooLarge();
    void secondCopyRefused();
};

// ---------------------------------------------------------------------------------------
// Crash safety: a save killed at any moment leaves the old file or the new one, whole.

void TestReliability::killedSaves_data()
{
    QTest::addColumn<bool>("isBook");
    QTest::newRow("address book, the editor's save") << true;
    QTest::newRow("reminder, the note's save") << false;
}

void TestReliability::killedSaves()
{
    QFETCH(bool, isBook);
    constexpr int kKills = 200;
    TestFolder folder;
    const QString file = isBook ? AddressBook::contactFile() : AddressBook::reminderFile();
    const QString fileName = QFileInfo(file).fileName();
    if (isBook)
        AddressBook::writeLines(file, CrashContents::book(true));
    else
        ReminderFile::saveNote(file, true, CrashContents::note(true));
    const QByteArray bookA = AddressBook::joinLines(CrashContents::book(true));
    const QByteArray bookB = AddressBook::joinLines(CrashContents::book(false));

    const QStringList arguments{folder.path(), isBook ? "book" : "reminder"};
    // Waits until the saver has finished `saves` saves; what it said is added to `said`.
    auto waitForSaves = [](QProcess &saver, QByteArray &said, int saves) {
        while (said.count('e') < saves) {
            if (!saver.waitForReadyRead(10000))
                return false;
            said += saver.readAllStandardOutput();
        }
        return true;
    };
    // How long one save takes on this machine (a sanitizer build is several times slower),
    // so that the kills spread over whole saves.
    qint64 saveUs = 0;
    {
        QProcess saver;
        saver.start(QStringLiteral(RUBRINO_SAVER), arguments);
        QByteArray said;
        QVERIFY(waitForSaves(saver, said, 1));
        QElapsedTimer t;
        t.start();
        QVERIFY(waitForSaves(saver, said, 11));
        saveUs = qMax<qint64>(t.nsecsElapsed() / 10000, 100);
        saver.kill();
        saver.waitForFinished();
        // Back to content A, as the kills start from it.
        if (isBook)
            AddressBook::writeLines(file, CrashContents::book(true));
        else
            ReminderFile::saveNote(file, true, CrashContents::note(true));
    }

    // Random moments, but a failure can be repeated: the seed is in the output.
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int duringSave = 0;
    int seenA = 0;
    int seenB = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int kill = 1; kill <= kKills; ++kill) {
        QProcess saver;
        saver.start(QStringLiteral(RUBRINO_SAVER), arguments);
        QVERIFY(saver.waitForStarted(10000));
        // Once it has finished a save it saves without pause: a kill within the next two
        // saves' time lands anywhere in a save. One save done leaves B, two leave A.
        QByteArray said;
        QVERIFY2(waitForSaves(saver, said, 1 + int(random.bounded(2))), qPrintable(saver.readAllStandardError()));
        QThread::usleep(unsigned(random.bounded(2 * saveUs)));
#ifdef Q_OS_WIN
        saver.kill(); // TerminateProcess: no last word either
#else
        ::kill(pid_t(saver.processId()), SIGKILL);
#endif
        QVERIFY(saver.waitForFinished(10000));
        QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
        said += saver.readAllStandardOutput();
        if (said.endsWith('b'))
            ++duringSave;

        const QByteArray bytes = folder.read(QStringLiteral("data/") + fileName);
        const QString where = QStringLiteral("kill %1, seed %2").arg(kill).arg(seed);
        bool a = false;
        if (isBook) {
            QVERIFY2(bytes == bookA || bytes == bookB, qPrintable(where));
            a = bytes == bookA;
        } else {
            const ReminderFile::Content c = ReminderFile::parse(AddressBook::splitLines(bytes));
            a = c.autoLoad;
            QVERIFY2(c.note == CrashContents::note(a), qPrintable(where));
            QVERIFY2(c.savedAt.has_value(), qPrintable(where));
            QCOMPARE(ReminderFile::opensAtStartup(file), a);
        }
        (a ? seenA : seenB)++;

        // Whatever a killed save left beside it, the next start reads the file itself.
        for (const QString &entry : dataEntries(folder))
            QVERIFY2(entry == fileName || entry.startsWith(fileName + u'.') || entry == u"versioni", qPrintable(entry));
        if (kill % 40 == 0) {
            if (isBook) {
                TfrmMain w;
                w.show();
                QCOMPARE(w.listModel()->rowCount(), CrashContents::BookLines);
                QCOMPARE(w.listModel()->field(0, 0), a ? QByteArray("Anna") : QByteArray("Bruno"));
            } else {
                TfrmPromemoria w;
                QCOMPARE(w.findChild<QCheckBox *>(QStringLiteral("cbman"))->isChecked(), a);
                QCOMPARE(w.editorLines(), CrashContents::note(a));
            }
            QCOMPARE(Messages::takeShown().size(), 0);
        }
    }
    const QStringList left = dataEntries(folder);
    const qsizetype leftovers = std::count_if(left.cbegin(), left.cend(), [&](const QString &e) { return e.startsWith(fileName + u'.'); });
    qInfo("%d kills in %lld ms (a save takes %lld us), %d of them in the middle of a save; content A %d times, "
          "B %d times; %lld temporary files left",
          kKills, elapsed.elapsed(), saveUs, duringSave, seenA, seenB, qlonglong(leftovers));
    // Nearly every kill comes during a save, since the saver does nothing else.
    QVERIFY(duringSave > kKills / 2);
    QVERIFY(seenA > 0 && seenB > 0);
}

void TestReliability::leftoverTemporaryFiles_data()
{
    QTest::addColumn<bool>("startUp");
    QTest::newRow("the window alone reads past them") << false;
    QTest::newRow("the start holding the lock clears them away") << true;
}

void TestReliability::leftoverTemporaryFiles()
{
    // What a save killed after writing its temporary file and before putting it in place
    // leaves behind: the next start reads the real files only, and saves go on as usual.
    QFETCH(bool, startUp);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), kContact + "\r\n");
    folder.write(QStringLiteral("data/contact.csv.Ab12Cd"), "Bruno,Bianchi,-,-\r\nCarla,Verdi");
    folder.write(QStringLiteral("data/promemoria.txt"), reminder(false, 2));
    folder.write(QStringLiteral("data/promemoria.txt.Xy34Zw"), reminder(true, 3));
    // Names no save of the program makes: these stay whatever happens.
    folder.write(QStringLiteral("data/contact.csv.Ab12C"), "x");
    folder.write(QStringLiteral("data/rubrica.csv.Ab12Cd"), "x");
    folder.write(QStringLiteral("fuori.txt"), "x");
    QVERIFY(QFile::link(folder.path(QStringLiteral("fuori.txt")), folder.path(QStringLiteral("data/contact.csv.Ln12Kk"))));
    QVERIFY(QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("promemoria.txt.Qq11Ww")));
    QStringList entries = dataEntries(folder);
    std::unique_ptr<DataFolderLock> lock;
    if (startUp) {
        lock = StartUp::takeDataFolder();
        QVERIFY(lock);
        entries.removeOne(QStringLiteral("contact.csv.Ab12Cd"));
        entries.removeOne(QStringLiteral("promemoria.txt.Xy34Zw"));
#ifdef Q_OS_WIN
        // There QFile::link makes a shortcut, an ordinary file that points nowhere for the
        // file system: of a leftover's name, it goes as one, and what it names stays.
        entries.removeOne(QStringLiteral("contact.csv.Ln12Kk"));
#endif
        entries.append(QStringLiteral("rubrino.lock"));
        entries.sort();
        QCOMPARE(dataEntries(folder), entries);
        QCOMPARE(folder.read(QStringLiteral("fuori.txt")), QByteArray("x"));
    }
    TfrmMain w;
    w.show();
    QCOMPARE(w.listModel()->rowCount(), 1);
    QCOMPARE(w.listModel()->field(0, 0), QByteArray("Anna"));
    // The leftover reminder asks to open at start-up; the real one does not.
    QCOMPARE(Messages::takeShown().size(), 0);
    QVERIFY(!QApplication::activeModalWidget());

    TfrmAggiungi editor;
    box(&editor, "txtnome")->setText(QStringLiteral("Dario"));
    box(&editor, "txtcognome")->setText(QStringLiteral("Neri"));
    button(&editor, "butt")->click();
    QCOMPARE(Messages::takeShown().size(), 0);
    const QByteArrayList lines = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], kContact);
    QVERIFY(lines[1].startsWith("Dario,Neri,"));
    // The book it replaced is kept among the versions.
    entries.append(QStringLiteral("versioni"));
    entries.sort();
    QCOMPARE(dataEntries(folder), entries);
    if (!startUp)
        QCOMPARE(folder.read(QStringLiteral("data/contact.csv.Ab12Cd")), QByteArray("Bruno,Bianchi,-,-\r\nCarla,Verdi"));
}

// ---------------------------------------------------------------------------------------
// A full disk, for real: the saving child may not write files larger than 1 KiB. The save
// fails, the user is told, the window stays open, and the old file is intact.

void TestReliability::failingDisk_data()
{
    QTest::addColumn<QString>("action");
    // The editor's add and the delete are tried the same way in the editor's and the main
    // window's own tests.
    QTest::newRow("editor, modify") << "modify";
    QTest::newRow("import") << "import";
    QTest::newRow("reminder, changed note") << "note";
    QTest::newRow("reminder, start-up box only") << "marker";
}

void TestReliability::failingDisk()
{
    QFETCH(QString, action);
    TestFolder folder;
    const QByteArray oldBook = book(40);
    const QByteArray oldNote = reminder(false, 100);
    folder.write(QStringLiteral("data/contact.csv"), oldBook);
    folder.write(QStringLiteral("data/promemoria.txt"), oldNote);
    QByteArray ldif;
    for (int i = 1; i <= 20; ++i)
        ldif += "givenName: Nome" + QByteArray::number(i) + "\r\nsn: Nuovo\r\nmail: nuovo@example.org\r\n\r\n";
    folder.write(QStringLiteral("nuovi.ldif"), ldif);
    const QStringList entries = dataEntries(folder);

    POSIX_ONLY(NO_FILE_SIZE_LIMIT_ON_WINDOWS);
    const int code = runWithFileSizeLimit(1024, [&] {
        QString expectedFile = QStringLiteral("promemoria.txt");
        int boxes = 1;
        std::unique_ptr<QWidget> window;
        if (action == u"import") {
            // The main window stays behind: the selection window lists its candidates.
            static TfrmMain *main = new TfrmMain;
            main->ImportLdif(folder.path(QStringLiteral("nuovi.ldif")));
            expect(main->importLines.size() == 20, "the LDIF file gave no candidates");
            auto import = std::make_unique<TfrmImporta>(main);
            import->show();
            button(import.get(), "BitBtn1")->click();
            expectedFile = QStringLiteral("contact.csv");
            // "Importa" closes the window whatever became of the file.
            const QList<Messages::Shown> shown = Messages::takeShown();
            expect(shown.size() == 1 && shown[0].icon == QMessageBox::Critical, "no error box");
            expect(shown[0].text.contains(expectedFile), "the error does not name the file");
            return;
        }
        if (action == u"modify") {
            auto editor = std::make_unique<TfrmAggiungi>();
            expect(editor->Inizializza(QStringLiteral("2")), "contact 2 not loaded");
            editor->show();
            box(editor.get(), "txtnome")->setText(QStringLiteral("Nuovo nome"));
            button(editor.get(), "butt")->click();
            expectedFile = QStringLiteral("contact.csv");
            window = std::move(editor);
        } else {
            auto note = std::make_unique<TfrmPromemoria>();
            note->show();
            if (action == u"note") {
                QTest::keyClicks(note->findChild<QPlainTextEdit *>(QStringLiteral("mem")), QStringLiteral("altro"));
                Messages::setNextAnswer(QMessageBox::Yes);
                boxes = 2;
            } else {
                note->findChild<QCheckBox *>(QStringLiteral("cbman"))->click();
            }
            button(note.get(), "Button1")->click();
            window = std::move(note);
        }
        const QList<Messages::Shown> shown = Messages::takeShown();
        expect(shown.size() == boxes, "not the expected message boxes");
        expect(shown.last().icon == QMessageBox::Critical, "no error box");
        expect(shown.last().text.contains(expectedFile), "the error does not name the file");
        expect(window->isVisible(), "the window closed");
    });
    QCOMPARE(code, 0);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), oldBook);
    QCOMPARE(folder.read(QStringLiteral("data/promemoria.txt")), oldNote);
    QCOMPARE(dataEntries(folder), entries);
}

// ---------------------------------------------------------------------------------------
// Hostile files: each gives a clear message or the documented result, at once, and the
// address book changes only when the user changes it.

void TestReliability::hostileAddressBook_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "<folder>", "<pipe>", "<device>": that, named contact.csv
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("error");

    const QByteArray mega(10 << 20, 'x');
    QTest::newRow("zero bytes") << QByteArray() << 0 << QString();
    QTest::newRow("NUL bytes") << hostile("nul-bytes-contact.csv") << 5 << QString();
    QTest::newRow("invalid UTF-8") << hostile("invalid-utf8-contact.csv") << 7 << QString();
    const QByteArray random = hostile("random-contact.csv");
    int randomRows = 0;
    for (const QByteArray &line : AddressBook::splitLines(random))
        randomRows += line.isEmpty() ? 0 : 1;
    QTest::newRow("random bytes") << random << randomRows << QString();
    QTest::newRow("10 MB line") << QByteArray(kContact + "\r\n" + mega + "\r\n" + kContact) << 3 << QString();
    QTest::newRow("10 MB surname") << QByteArray("Anna," + mega + ",-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,x\r\n") << 1 << QString();
    QTest::newRow("10 MB note") << QByteArray("Anna,Rossi,-,-,-,-,-,-,-,-,-,-,-,-,-,-," + mega + ",x\r\n") << 1 << QString();
    QTest::newRow("100,000 commas") << QByteArray(100000, ',') << 1 << QString();
    QTest::newRow("10,000 malformed lines") << malformedLines(10000) << 10000 << QString();
    QTest::newRow("folder in place of the file") << QByteArray("<folder>") << 0 << QStringLiteral("contact.csv");
    QTest::newRow("named pipe in place of the file") << QByteArray("<pipe>") << 0 << QStringLiteral("dispositivo o una pipe");
    QTest::newRow("link to /dev/zero in place of the file") << QByteArray("<device>") << 0 << QStringLiteral("dispositivo o una pipe");
}

void TestReliability::hostileAddressBook()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QFETCH(QString, error);
    TestFolder folder;
    // Not a file at all: nothing to read, and it stays what it is.
    const bool notAFile = bytes.startsWith('<');
    if (bytes == "<pipe>" || bytes == "<device>")
        POSIX_ONLY(NO_FIFO_ON_WINDOWS);
    if (bytes == "<folder>")
        QVERIFY(QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("contact.csv")));
#ifndef Q_OS_WIN
    else if (bytes == "<pipe>")
        QCOMPARE(::mkfifo(QFile::encodeName(folder.contactFile()).constData(), 0600), 0);
    else if (bytes == "<device>")
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder.contactFile()));
#endif
    else
        folder.write(QStringLiteral("data/contact.csv"), bytes);
    const QStringList entries = dataEntries(folder);
    QElapsedTimer elapsed;
    elapsed.start();

    TfrmMain w;
    w.show();
    // Painted for real: laying out what the list and the card show is where long text hurts.
    (void)w.grab();
    QCOMPARE(w.listModel()->rowCount(), rows);
    QList<Messages::Shown> shown = Messages::takeShown();
    if (error.isEmpty()) {
        QCOMPARE(shown.size(), 0);
    } else {
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(error), qPrintable(shown[0].text));
    }
    // Every kind of row on the card and in the hint, and in the editor for a modify.
    const QByteArrayList lines = AddressBook::splitLines(bytes);
    for (int row : {0, rows / 2, rows - 1}) {
        if (row < 0 || row >= rows)
            continue;
        w.lista->selectRow(row);
        QCOMPARE(w.selectedIndex, row);
        w.listaMouseDown();
        (void)w.grab();
        TfrmAggiungi editor;
        const QByteArrayList fields = TCSVStringInfo::fieldViews(lines[w.listModel()->lineNumber(row) - 1]).size() >= 17
            ? w.listModel()->fields(row) : QByteArrayList();
        const bool tooLong = std::any_of(fields.begin(), fields.begin() + qMin<qsizetype>(17, fields.size()),
                                         [](const QByteArray &f) { return f.size() > 32767; });
        const bool loaded = editor.Inizializza(w.selectedNumber);
        QCOMPARE(loaded, !fields.isEmpty() && !tooLong);
        shown = Messages::takeShown();
        if (tooLong)
            QVERIFY(shown.size() == 1 && shown[0].text.contains(QStringLiteral("troppo lungo")));
        if (loaded) {
            editor.show();
            (void)editor.grab();
        }
    }
    box(&w, "txtsearch")->setText(QStringLiteral("x"));
    button(&w, "Button4")->click();
    (void)w.grab();
    button(&w, "BitBtn3")->click();
    QCOMPARE(w.listModel()->rowCount(), rows);
    Messages::takeShown();
    if (notAFile)
        QVERIFY(!QFileInfo(folder.contactFile()).isFile() && QFileInfo(folder.contactFile()).isDir() == (bytes == "<folder>"));
    else
        QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), bytes);
    QCOMPARE(dataEntries(folder), entries);

    // A change the user makes keeps every line that was there, only with CR LF after it.
    TfrmAggiungi editor;
    box(&editor, "txtnome")->setText(QStringLiteral("Dario"));
    box(&editor, "txtcognome")->setText(QStringLiteral("Neri"));
    button(&editor, "butt")->click();
    shown = Messages::takeShown();
    if (notAFile) {
        QCOMPARE(shown.size(), 1);
        QVERIFY(!QFileInfo(folder.contactFile()).isFile() && QFileInfo(folder.contactFile()).isDir() == (bytes == "<folder>"));
    } else {
        QCOMPARE(shown.size(), 0);
        const QByteArrayList after = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
        QCOMPARE(after.size(), lines.size() + 1);
        QVERIFY(after.mid(0, lines.size()) == lines);
        QVERIFY(after.last().startsWith("Dario,Neri,"));
    }
    qInfo("%lld ms", elapsed.elapsed());
}

void TestReliability::hostileLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("fields");
    QTest::newRow("100,000 commas") << QByteArray(100000, ',') << 100000;
    QTest::newRow("10 MB field") << QByteArray(10 << 20, 'x') << 1;
    QTest::newRow("10 MB unclosed quote") << QByteArray("\"" + QByteArray(10 << 20, ',')) << 1;
    QTest::newRow("100,000 quoted fields") << QByteArray("\"\",").repeated(100000) << 100000;
    QTest::newRow("NUL bytes") << QByteArray("\0,\0\0,\"\0\",", 9) << 3;
}

void TestReliability::hostileLines()
{
    QFETCH(QByteArray, line);
    QFETCH(int, fields);
    TCSVStringInfo csv;
    csv.setSourceString(line);
    QCOMPARE(csv.FieldList().size(), fields);
    QVERIFY(!csv.Error());
    // A contact takes the first 18 and its line is 18 fields again.
    const QByteArray written = TContatto::fromLine(line).toLine();
    QVERIFY(TCSVStringInfo::fieldViews(written).size() <= TContatto::FieldCount);
}

void TestReliability::hostileVCard_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "<folder>": a folder named like the file
    QTest::addColumn<QByteArrayList>("names"); // family name, given name
    QTest::addColumn<int>("commentLines");

    QTest::newRow("zero bytes") << QByteArray() << QByteArrayList{"", ""} << 0;
    QTest::newRow("random bytes") << hostile("random.vcf") << QByteArrayList{"", ""} << 0;
    QTest::newRow("NUL bytes") << hostile("nul-bytes.vcf") << QByteArrayList{"Ros", ""} << 0;
    QTest::newRow("invalid UTF-8") << hostile("invalid-utf8.vcf") << QByteArrayList{"\x80\xc3(\xe2\x82\xc0\xaf", "Anna"} << 1;
    // A lone "=" at a line's end is a soft line break, at the file's end nothing; anywhere
    // else it is kept as it stands.
    QTest::newRow("quoted-printable ends in a lone =") << hostile("qp-lone-equals.vcf")
                                                       << QByteArrayList{"Rossi=", "Anna"} << 0;
    QTest::newRow("only a lone =") << hostile("qp-lone-equals-only.vcf") << QByteArrayList{"", ""} << 1;
    QTest::newRow("10 MB line") << QByteArray("N:Rossi;Anna\r\nNOTE:" + QByteArray(10 << 20, 'x') + "\r\n")
                                << QByteArrayList{"Rossi", "Anna"} << 1;
    // A note splits into seven comment lines at most, the last one keeping the rest.
    QTest::newRow("100,000 semicolons") << QByteArray("N:" + QByteArray(100000, ';') + "\r\nNOTE:" + QByteArray(100000, ';'))
                                        << QByteArrayList{"", ""} << 7;
    QTest::newRow("100,000 folded lines") << QByteArray("N:Rossi;Anna\r\nNOTE:a\r\n" + QByteArray(" b\r\n").repeated(100000))
                                          << QByteArrayList{"Rossi", "Anna"} << 1;
    QTest::newRow("100,000 empty quoted-printable lines")
        << QByteArray("VERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:Rossi;Anna=\r\n" + QByteArray("=\r\n").repeated(100000))
        << QByteArrayList{"Rossi", "Anna"} << 0;
    QTest::newRow("folder in place of the file") << QByteArray("<folder>") << QByteArrayList{"Old", "Card"} << 0;
}

void TestReliability::hostileVCard()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, names);
    QFETCH(int, commentLines);
    TestFolder folder;
    const QString path = folder.path(QStringLiteral("carta.vcf"));
    TmsVCard card;
    card.Identification().Name().setFamilyName("Old");
    card.Identification().Name().setGivenName("Card");
    if (bytes == "<folder>") {
        QVERIFY(QDir().mkdir(path));
        QVERIFY_THROWS_EXCEPTION(AppError, card.LoadFromFile(path));
    } else {
        folder.write(QStringLiteral("carta.vcf"), bytes);
        card.LoadFromFile(path);
    }
    QCOMPARE(card.Identification().Name().FamilyName(), names[0]);
    QCOMPARE(card.Identification().Name().GivenName(), names[1]);
    QCOMPARE(card.ExplanatoryInfo().Comment().size(), commentLines);
    // What was read can be written as a card again.
    QVERIFY(card.SaveToBytes().startsWith("BEGIN:VCARD\r\n"));
}

void TestReliability::hostileImport_data()
{
    QTest::addColumn<QString>("name"); // the chosen file, beside the program folder
    QTest::addColumn<QByteArray>("bytes"); // "<folder>": a folder of that name
    QTest::addColumn<int>("candidates"); // -1: any number
    QTest::addColumn<QString>("message"); // what the user is told, if anything

    const QString refused = QStringLiteral("File VCARD errato (nessun nome/cognome specificato)");
    const QString unreadable = QStringLiteral("Impossibile aprire il file");
    const QByteArray mega(10 << 20, 'x');
    const QByteArray commas(100000, ',');

    QTest::newRow("LDIF, zero bytes") << "a.ldif" << QByteArray() << 0 << QString();
    QTest::newRow("LDIF, random bytes") << "a.ldif" << hostile("random.ldif") << -1 << QString();
    QTest::newRow("LDIF, NUL bytes") << "a.ldif" << QByteArray("givenName: An\0na\nsn: Ro\0ssi\n\n\0\n", 30) << 1 << QString();
    QTest::newRow("LDIF, invalid UTF-8") << "a.ldif" << QByteArray("givenName: \xc3\x28\xff\nsn:: w4\n") << 1 << QString();
    QTest::newRow("LDIF, broken base64") << "a.ldif" << hostile("broken-base64.ldif") << 2 << QString();
    QTest::newRow("LDIF, 10 MB line") << "a.ldif" << QByteArray("givenName: A\nsn: B\ndescription: " + mega + "\n") << 1 << QString();
    QTest::newRow("LDIF, 100,000 commas") << "a.ldif" << QByteArray("sn: " + commas + "\n") << 1 << QString();
    QTest::newRow("LDIF, 10,000 malformed lines") << "a.ldif" << malformedLines(10000) << 0 << QString();
    QTest::newRow("LDIF, folder") << "a.ldif" << QByteArray("<folder>") << 0 << unreadable;
    QTest::newRow("vCard, zero bytes") << "a.vcf" << QByteArray() << 0 << refused;
    QTest::newRow("vCard, random bytes") << "a.vcf" << hostile("random.vcf") << 0 << refused;
    QTest::newRow("vCard, NUL bytes") << "a.vcf" << hostile("nul-bytes.vcf") << 0 << refused;
    QTest::newRow("vCard, invalid UTF-8") << "a.vcf" << hostile("invalid-utf8.vcf") << 1 << QString();
    QTest::newRow("vCard, lone = in quoted-printable") << "a.vcf" << hostile("qp-lone-equals.vcf") << 1 << QString();
    QTest::newRow("vCard, 10 MB line") << "a.vcard" << QByteArray("N:Rossi;Anna\r\nNOTE:" + mega + "\r\n") << 1 << QString();
    QTest::newRow("vCard, 100,000 semicolons") << "a.vcf" << QByteArray("N:R;A\r\nNOTE:" + QByteArray(100000, ';')) << 1 << QString();
    QTest::newRow("vCard, 10,000 cards") << "a.vcf" << QByteArray("BEGIN:VCARD\r\nN:R;A\r\nTEL:1\r\nEND:VCARD\r\n").repeated(10000)
                                         << 10000 << QString();
    QTest::newRow("vCard, folder") << "a.vcf" << QByteArray("<folder>") << 0 << unreadable;
    QTest::newRow("contact.csv, zero bytes") << "old/contact.csv" << QByteArray() << 0 << QString();
    QTest::newRow("contact.csv, random bytes") << "old/contact.csv" << hostile("random-contact.csv") << -1 << QString();
    QTest::newRow("contact.csv, NUL bytes") << "old/contact.csv" << hostile("nul-bytes-contact.csv") << -1 << QString();
    QTest::newRow("contact.csv, 10 MB line") << "old/contact.csv" << QByteArray(kContact + "\r\n" + mega + "," + kContact) << 2 << QString();
    QTest::newRow("contact.csv, 100,000 commas") << "old/contact.csv" << commas << 1 << QString();
    // Only its lines of 35 empty fields are whole contacts; the others are counted.
    QTest::newRow("contact.csv, 10,000 malformed lines") << "old/contact.csv" << malformedLines(10000) << 714
                                                         << QStringLiteral("Alcune righe non sono state importate: 9286");
    QTest::newRow("contact.csv, folder") << "old/contact.csv" << QByteArray("<folder>") << 0 << unreadable;
}

void TestReliability::hostileImport()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, candidates);
    QFETCH(QString, message);
    TestFolder folder;
    const QByteArray old = book(3);
    folder.write(QStringLiteral("data/contact.csv"), old);
    QDir(folder.path()).mkdir(QStringLiteral("old"));
    const QString path = folder.path(name);
    if (bytes == "<folder>")
        QVERIFY(QDir().mkdir(path));
    else
        folder.write(name, bytes);
    QElapsedTimer elapsed;
    elapsed.start();

    TfrmMain w;
    w.show();
    // As the import command calls them, an error ending the command in the standard box.
    Messages::guarded([&] {
        if (name.endsWith(u".ldif"))
            w.ImportLdif(path);
        else if (name.endsWith(u".csv"))
            w.ImportOLDRBN(path);
        else
            w.ImportVCard(path);
    });
    const QList<Messages::Shown> shown = Messages::takeShown();
    if (!message.isEmpty()) {
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(message), qPrintable(shown[0].text));
    } else if (candidates >= 0) {
        QCOMPARE(shown.size(), 0);
    }
    if (candidates >= 0)
        QCOMPARE(w.importLines.size(), candidates);
    if (QTest::currentDataTag() == QByteArray("LDIF, broken base64")) {
        // Text that is not base64 leaves its field empty, never made-up bytes.
        QCOMPARE(TContatto::fromLine(w.importLines[0])[TContatto::nome], QByteArray("Ann"));
        QCOMPARE(TContatto::fromLine(w.importLines[0])[TContatto::cognome], QByteArray("-"));
        QCOMPARE(TContatto::fromLine(w.importLines[1])[TContatto::note], QByteArray("-"));
    }
    for (const QByteArray &line : std::as_const(w.importLines)) {
        QVERIFY(!line.contains('\r') && !line.contains('\n'));
        QVERIFY(TCSVStringInfo::fieldViews(line).size() <= TContatto::FieldCount);
    }
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), old);

    // The selection window shows them at once; "Importa" appends them, and only them.
    const QByteArrayList chosen = w.importLines;
    TfrmImporta window(&w);
    window.show();
    (void)window.grab();
    button(&window, "BitBtn1")->click();
    const QList<Messages::Shown> afterImport = Messages::takeShown();
    if (chosen.isEmpty()) {
        QCOMPARE(afterImport.size(), 1);
        QCOMPARE(afterImport[0].text, QStringLiteral("Non c'è nulla da importare"));
        QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), old);
    } else {
        QCOMPARE(afterImport.size(), 0);
        const QByteArrayList after = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
        QCOMPARE(after.size(), 3 + chosen.size());
        QVERIFY(after.mid(0, 3) == AddressBook::splitLines(old));
        for (qsizetype i = 0; i < chosen.size(); ++i)
            QCOMPARE(TContatto::fromLine(after[3 + i]).fields, TContatto::fromLine(chosen[i]).fields);
    }
    qInfo("%lld ms", elapsed.elapsed());
}

void TestReliability::hostileReminder_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "<folder>": a folder named promemoria.txt
    QTest::addColumn<bool>("opensAtStart");
    QTest::addColumn<int>("noteLines");
    QTest::addColumn<QString>("caption"); // empty: the note is refused with an error

    const QByteArray head = "# AutoLoad\r\n" + savedOn() + "\r\n";
    QTest::newRow("zero bytes") << QByteArray() << false << 0 << QStringLiteral("Scrivi promemoria:");
    QTest::newRow("NUL bytes") << hostile("nul-bytes-promemoria.txt") << false << 2 << QStringLiteral("Scrivi promemoria:");
    const QByteArray random = hostile("random-promemoria.txt");
    QTest::newRow("random bytes") << random << false << int(AddressBook::splitLines(random).size() - 2)
                                  << QStringLiteral("Scrivi promemoria:");
    QTest::newRow("64 KB line without a blank") << QByteArray(head + QByteArray(64 * 1024 - head.size(), 'x')) << true << 1
                                                << QStringLiteral("Promemoria segnato il 3-3-2008 alle 9:5:7");
    QTest::newRow("one byte more") << QByteArray(head + QByteArray(64 * 1024 - head.size() + 1, 'x')) << true << 0 << QString();
    QTest::newRow("10 MB line") << QByteArray(head + QByteArray(10 << 20, 'x')) << true << 0 << QString();
    QTest::newRow("10 MB date line") << QByteArray("# AutoLoad\n# " + QByteArray(10 << 20, '1')) << true << 0 << QString();
    QTest::newRow("folder in place of the file") << QByteArray("<folder>") << false << 0 << QString();
}

void TestReliability::hostileReminder()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, opensAtStart);
    QFETCH(int, noteLines);
    QFETCH(QString, caption);
    TestFolder folder;
    const QString file = AddressBook::reminderFile();
    const bool isFolder = bytes == "<folder>";
    if (isFolder)
        QVERIFY(QDir().mkdir(file));
    else
        folder.write(QStringLiteral("data/promemoria.txt"), bytes);

    if (caption.isEmpty()) {
        // Refused with a message, at start-up when the note asks to be opened then, and at
        // the button; the program goes on and the file stays as it was.
        TfrmMain w;
        w.show();
        QCOMPARE(Messages::takeShown().size(), opensAtStart || isFolder ? 1 : 0);
        button(&w, "Button6")->click();
        const QList<Messages::Shown> shown = Messages::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, QMessageBox::Critical);
        QVERIFY2(shown[0].text.contains(QStringLiteral("promemoria.txt")), qPrintable(shown[0].text));
        if (isFolder)
            QVERIFY(QFileInfo(file).isDir());
        else
            QCOMPARE(folder.read(QStringLiteral("data/promemoria.txt")), bytes);
        return;
    }
    QCOMPARE(ReminderFile::opensAtStartup(file), opensAtStart);
    TfrmPromemoria w;
    w.show();
    (void)w.grab();
    QCOMPARE(w.editorLines().size(), noteLines);
    QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("gbox"))->title(), caption);
    // Nothing was typed: "Chiudi" asks nothing; it stores the box's state only.
    w.CheckModified();
    QVERIFY(!w.isModified());
    button(&w, "Button1")->click();
    QCOMPARE(Messages::takeShown().size(), 0);
    const QByteArrayList before = AddressBook::splitLines(bytes);
    const QByteArrayList after = AddressBook::splitLines(folder.read(QStringLiteral("data/promemoria.txt")));
    QCOMPARE(after.size(), qMax<qsizetype>(before.size(), 2));
    if (before.size() >= 2)
        QVERIFY(after.mid(1) == before.mid(1));
}

void TestReliability::reminderNeverSavedTooLarge()
{
    // A note the window could not open again is not saved: the user is told, the window
    // stays open with the text, and the file keeps the old note.
    TestFolder folder;
    const QByteArray old = reminder(false, 3);
    folder.write(QStringLiteral("data/promemoria.txt"), old);
    TfrmPromemoria w;
    w.show();
    auto *mem = w.findChild<QPlainTextEdit *>(QStringLiteral("mem"));
    mem->setPlainText(QString(64 * 1024, u'a'));
    Messages::setNextAnswer(QMessageBox::Yes);
    button(&w, "Button1")->click();
    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].icon, QMessageBox::Critical);
    QVERIFY2(shown[1].text.contains(QStringLiteral("troppo lungo")), qPrintable(shown[1].text));
    QVERIFY(w.isVisible());
    QCOMPARE(folder.read(QStringLiteral("data/promemoria.txt")), old);
    // Shortened, it is saved.
    mem->setPlainText(QString(60 * 1024, u'a'));
    Messages::setNextAnswer(QMessageBox::Yes);
    button(&w, "Button1")->click();
    QCOMPARE(Messages::takeShown().size(), 1);
    QVERIFY(!w.isVisible());
    QCOMPARE(ReminderFile::load(AddressBook::reminderFile()).note, QStringList{QString(60 * 1024, u'a')});
}

// ---------------------------------------------------------------------------------------
// One program per data folder, with the real program running.

void TestReliability::secondCopyRefused()
{
    TestFolder folder;
    QVERIFY(QDir(folder.path()).rmdir(QStringLiteral("data")));
    const QString program = folder.path(QStringLiteral("rubrino"));
    QVERIFY(QFile::copy(QStringLiteral(RUBRINO_EXECUTABLE), program));
    {
        RealProgram first(program);
        QVERIFY(first.process.waitForStarted(10000));
        const QString lockFile = folder.path(QStringLiteral("data/rubrino.lock"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lockFile), 20000);
        // The lock is the one file a first start makes: no address book, no reminder.
        QCOMPARE(dataEntries(folder), QStringList{QStringLiteral("rubrino.lock")});

        // A second copy on the same folder is told and takes nothing.
        QVERIFY(!StartUp::takeDataFolder());
        const QList<Messages::Shown> shown = Messages::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Rubrino è già aperto su questa rubrica."));
        QCOMPARE(shown[0].icon, QMessageBox::Critical);
        QCOMPARE(dataEntries(folder), QStringList{QStringLiteral("rubrino.lock")});
        QCOMPARE(first.process.state(), QProcess::Running);

        // The first copy crashes: its lock stays behind and must not block the next start.
        first.process.kill();
        QVERIFY(first.process.waitForFinished(10000));
        QVERIFY(QFileInfo::exists(lockFile));
    }
    auto lock = StartUp::takeDataFolder();
    QVERIFY(lock);
    QCOMPARE(Messages::takeShown().size(), 0);

    // A lock whose process number now belongs to another program is stale too.
    lock.reset();
    // The other program: the saver, which runs until it is stopped (Windows has no sleep),
    // on an address book of its own.
    QTemporaryDir otherFolder;
    QVERIFY(QDir(otherFolder.path()).mkdir(QStringLiteral("data")));
    AddressBook::writeLines(otherFolder.filePath(QStringLiteral("data/contact.csv")), CrashContents::book(true));
    QProcess other;
    other.start(QStringLiteral(RUBRINO_SAVER), {otherFolder.path(), QStringLiteral("book")});
    const auto stopOther = qScopeGuard([&] {
        other.kill();
        other.waitForFinished();
    });
    // Under way, not just created: a process that has not loaded its program yet has no name
    // to tell, and would pass for the holder.
    QVERIFY(other.waitForReadyRead(10000));
    folder.write(QStringLiteral("data/rubrino.lock"),
                 QByteArray::number(other.processId()) + "\nrubrino\n" + DataFolderLock::thisComputer().toUtf8() + "\n");
    QVERIFY(StartUp::takeDataFolder());
    QCOMPARE(Messages::takeShown().size(), 0);
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
