#include "support/TestSupport.h"

#include "app/Messages.h"
#include "app/StartUp.h"
#include "store/AddressBook.h"
#include "store/AppError.h"
#include "store/BookLines.h"
#include "store/LineSet.h"
#include "store/CSVStringInfo.h"
#include "store/Collation.h"
#include "store/ContactListModel.h"
#include "store/DataFolderLock.h"
#include "store/DateText.h"
#include "store/Duplicates.h"
#include "store/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTest>

#include <stdexcept>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define RUBRINO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RUBRINO_ASAN 1
#endif
#endif

class TestStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split();
    void splitClearsPreviousLine();
    void readLines_data();
    void readLines();
    void writeLinesEndsEveryLineWithCrLf();
    void readLinesAcrossPieces_data();
    void readLinesAcrossPieces();
    void rewriteLines_data();
    void rewriteLines();
    void lineSet_data();
    void lineSet();
    void saveBook_data();
    void saveBook();
    void bookOutlivesItsFile_data();
    void bookOutlivesItsFile();
    void bookOfOneHugeLine();
    void unreadableBook_data();
    void unreadableBook();
    void fieldValue_data();
    void fieldValue();
    void contactFromShortLine();
    void codecKeepsEveryByte();
    void codecMapsWindows1252();
    void dateText_data();
    void dateText();
    void dateTextAtMidnightHasNoTime();
    void failedSaveLeavesOldFile();
    void saveIntoMissingFolderFails();
    void oneProgramPerDataFolder_data();
    void oneProgramPerDataFolder();
    void lockInTheWay_data();
    void lockInTheWay();
    void shownHostName_data();
    void shownHostName();
    void searchFoldsOnlyAsciiLetters_data();
    void searchFoldsOnlyAsciiLetters();
    void duplicates_data();
    void duplicates();
    void collation_data();
    void collation();
};

void TestStore::split_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArrayList>("fields");
    QTest::addColumn<bool>("error");
    QTest::newRow("empty line") << QByteArray() << QByteArrayList{} << true;
    QTest::newRow("plain") << QByteArray("a,b,c") << QByteArrayList{"a", "b", "c"} << false;
    QTest::newRow("empty last field dropped") << QByteArray("a,b,") << QByteArrayList{"a", "b"} << false;
    QTest::newRow("one comma") << QByteArray(",") << QByteArrayList{""} << false;
    QTest::newRow("two commas") << QByteArray(",,") << QByteArrayList{"", ""} << false;
    QTest::newRow("empty middle") << QByteArray("a,,b") << QByteArrayList{"a", "", "b"} << false;
    QTest::newRow("quoted with comma") << QByteArray("\"x,y\",z") << QByteArrayList{"x,y", "z"} << false;
    QTest::newRow("quoted last") << QByteArray("\"x\"") << QByteArrayList{"x"} << false;
    QTest::newRow("empty quoted") << QByteArray("\"\",z") << QByteArrayList{"", "z"} << false;
    QTest::newRow("quote inside plain") << QByteArray("ab\"c,d") << QByteArrayList{"ab\"c", "d"} << false;
    QTest::newRow("unclosed quoted takes rest") << QByteArray("\"ab\"c,d") << QByteArrayList{"ab\"c,d"} << false;
    QTest::newRow("doubled quotes kept") << QByteArray("\"a\"\"b\",c") << QByteArrayList{"a\"\"b", "c"} << false;
    QTest::newRow("doubled quote before comma") << QByteArray("\"a\"\",b\"") << QByteArrayList{"a\"", "b\""} << false;
    QTest::newRow("blank before quote") << QByteArray(" \"a,b\"") << QByteArrayList{" \"a", "b\""} << false;
    QTest::newRow("lone quote") << QByteArray("\"") << QByteArrayList{""} << false;
    QTest::newRow("entity kept") << QByteArray("a&#44;b,c") << QByteArrayList{"a&#44;b", "c"} << false;
    QByteArray eighteen = "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18";
    QTest::newRow("18 fields") << eighteen << eighteen.split(',') << false;
}

void TestStore::split()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArrayList, fields);
    QFETCH(bool, error);
    TCSVStringInfo csv;
    QVERIFY(csv.Error());
    csv.setSourceString(line);
    QCOMPARE(csv.FieldList(), fields);
    QCOMPARE(csv.Error(), error);
    QCOMPARE(csv.SourceString(), line);
    QCOMPARE(TCSVStringInfo::fieldViews(line).size(), fields.size());
}

void TestStore::splitClearsPreviousLine()
{
    TCSVStringInfo csv;
    csv.setSourceString("a,b,c");
    csv.setSourceString(QByteArray());
    QVERIFY(csv.FieldList().isEmpty());
    QVERIFY(csv.Error());
}

void TestStore::readLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::newRow("zero bytes") << QByteArray() << QByteArrayList{};
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a", "b"};
    QTest::newRow("lf") << QByteArray("a\nb\n") << QByteArrayList{"a", "b"};
    QTest::newRow("cr") << QByteArray("a\rb\r") << QByteArrayList{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\r\nb\rc\nd") << QByteArrayList{"a", "b", "c", "d"};
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << QByteArrayList{"a", "b"};
    QTest::newRow("empty lines kept") << QByteArray("\r\n\n\r") << QByteArrayList{"", "", ""};
    QTest::newRow("lf cr is two ends") << QByteArray("a\n\rb") << QByteArrayList{"a", "", "b"};
    QTest::newRow("8-bit bytes") << QByteArray("\x80\xe8\xff\r\n") << QByteArrayList{"\x80\xe8\xff"};
    QTest::newRow("long lines, one kind of end each")
        << (QByteArray(300, 'a') + '\r' + QByteArray(600, 'b') + "\r" + QByteArray(300, 'c') + '\n' + QByteArray(700, 'd'))
        << QByteArrayList{QByteArray(300, 'a'), QByteArray(600, 'b'), QByteArray(300, 'c'), QByteArray(700, 'd')};
}

void TestStore::readLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, lines);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), bytes);
    QCOMPARE(AddressBook::readLines(AddressBook::contactFile()), lines);
    // Line by line, without copies, the rule is the same.
    QByteArrayList viewed;
    qsizetype pos = 0;
    for (QByteArrayView line; AddressBook::nextLine(bytes, pos, line);)
        viewed.append(line.toByteArray());
    QCOMPARE(viewed, lines);
    // The book in one block finds the same lines, knows which of them hold a contact, and
    // whether its bytes are already what writing the lines gives.
    const BookLines book = BookLines::read(AddressBook::contactFile());
    QCOMPARE(book.size(), lines.size());
    for (qsizetype k = 0; k < lines.size(); ++k) {
        QCOMPARE(book[k], QByteArrayView(lines[k]));
        QCOMPARE(book.nonEmptyLines().contains(k), !lines[k].isEmpty());
    }
    QCOMPARE(book.endsEveryLineWithCrLf(), bytes == AddressBook::joinLines(lines));
    // Written back, every line ends with CR LF.
    AddressBook::writeLines(AddressBook::contactFile(), lines);
    QByteArray expected;
    for (const QByteArray &l : lines)
        expected += l + "\r\n";
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), expected);
}

void TestStore::writeLinesEndsEveryLineWithCrLf()
{
    TestFolder folder;
    AddressBook::writeLines(AddressBook::contactFile(), {});
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), QByteArray());
    AddressBook::writeLines(AddressBook::contactFile(), {"x", ""});
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), QByteArray("x\r\n\r\n"));
    QVERIFY(AddressBook::readLinesIfExists(folder.path(QStringLiteral("data/none.csv"))).isEmpty());
    QVERIFY_THROWS_EXCEPTION(AppError, AddressBook::readLines(folder.path(QStringLiteral("data/none.csv"))));
    // A folder where the file is expected is an error, not an empty book.
    QVERIFY_THROWS_EXCEPTION(AppError, AddressBook::readLines(folder.path(QStringLiteral("data"))));
}

void TestStore::readLinesAcrossPieces_data()
{
    // The file is read in pieces of 4 MiB: a line end that straddles two pieces is still one.
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QByteArrayList>("lines");
    const qsizetype piece = 4 << 20;
    QTest::newRow("CR LF split") << QByteArray("\r\nnext") << QByteArrayList{QByteArray(piece - 1, 'x'), "next"};
    QTest::newRow("lone CR at the edge") << QByteArray("\rnext\r") << QByteArrayList{QByteArray(piece - 1, 'x'), "next"};
    QTest::newRow("CR as last byte") << QByteArray("\r") << QByteArrayList{QByteArray(piece - 1, 'x')};
    QTest::newRow("line longer than a piece") << QByteArray(piece, 'y') + "\n"
                                              << QByteArrayList{QByteArray(piece - 1, 'x') + QByteArray(piece, 'y')};
    QTest::newRow("line over three pieces, CR LF split") << QByteArray(2 * piece, 'y') + "\r\nz"
                                                         << QByteArrayList{QByteArray(piece - 1, 'x') + QByteArray(2 * piece, 'y'), "z"};
}

void TestStore::readLinesAcrossPieces()
{
    QFETCH(QByteArray, tail);
    QFETCH(QByteArrayList, lines);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), QByteArray((4 << 20) - 1, 'x') + tail);
    QCOMPARE(AddressBook::readLines(AddressBook::contactFile()), lines);
    // The book in one block finds its lines as its pieces come in: the same ones.
    const BookLines book = BookLines::read(AddressBook::contactFile());
    QCOMPARE(book.size(), lines.size());
    for (qsizetype k = 0; k < lines.size(); ++k)
        QCOMPARE(book[k], QByteArrayView(lines[k]));
}

void TestStore::rewriteLines_data()
{
    QTest::addColumn<QByteArray>("before"); // "<none>": no file
    QTest::addColumn<int>("replace");       // 1-based line to replace, 0 for none
    QTest::addColumn<bool>("refuse");       // beforeCommit throws
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("append to no file") << QByteArray("<none>") << 0 << false << QByteArray("new\r\n");
    QTest::newRow("append after LF lines") << QByteArray("a\nb") << 0 << false << QByteArray("a\r\nb\r\nnew\r\n");
    QTest::newRow("replace middle") << QByteArray("a\r\nb\r\nc\r\n") << 2 << false << QByteArray("a\r\nnew\r\nc\r\n");
    QTest::newRow("refused keeps the file") << QByteArray("a\nb") << 1 << true << QByteArray("a\nb");
}

void TestStore::rewriteLines()
{
    QFETCH(QByteArray, before);
    QFETCH(int, replace);
    QFETCH(bool, refuse);
    QFETCH(QByteArray, after);
    TestFolder folder;
    if (before != "<none>")
        folder.write(QStringLiteral("data/contact.csv"), before);
    auto edit = [&](qsizetype index, QByteArray &line) {
        if (index == replace - 1)
            line = "new";
    };
    auto check = [&](qsizetype) {
        if (refuse)
            throw AppError(QStringLiteral("no"));
    };
    try {
        AddressBook::rewriteLines(AddressBook::contactFile(), edit, replace ? QByteArrayList{} : QByteArrayList{"new"}, check);
        QVERIFY(!refuse);
    } catch (const AppError &) {
        QVERIFY(refuse);
    }
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), after);
    QCOMPARE(QDir(folder.path(QStringLiteral("data"))).entryList(QDir::Files).size(), 1);
}

void TestStore::lineSet_data()
{
    // Members across the blocks of 512 lines that share a running count, at their edges too.
    QTest::addColumn<int>("lines");
    QTest::addColumn<QList<int>>("members"); // empty with `all`: every line
    QTest::addColumn<bool>("all");
    QList<int> everyThird;
    for (int k = 0; k < 2000; k += 3)
        everyThird.append(k);
    QTest::newRow("none") << 2000 << QList<int>{} << false;
    QTest::newRow("every third") << 2000 << everyThird << false;
    QTest::newRow("at block edges") << 2000 << QList<int>{0, 63, 64, 511, 512, 513, 1023, 1024, 1999} << false;
    QTest::newRow("one far in") << 5000 << QList<int>{4711} << false;
    QTest::newRow("all, odd length") << 1999 << QList<int>{} << true;
}

void TestStore::lineSet()
{
    QFETCH(int, lines);
    QFETCH(QList<int>, members);
    QFETCH(bool, all);
    LineSet set;
    if (all) {
        set = LineSet::all(lines);
        for (int k = 0; k < lines; ++k)
            members.append(k);
    } else {
        for (int k = 0; k < lines; ++k)
            set.append(members.contains(k));
        set.finish();
    }
    QCOMPARE(set.lineCount(), lines);
    QCOMPARE(set.count(), members.size());
    for (int n = 0; n < members.size(); ++n)
        QCOMPARE(set.nth(n), members[n]);
    QCOMPARE(set.nth(members.size()), -1);
    for (int k = 0; k < lines; ++k)
        QCOMPARE(set.contains(k), members.contains(k));
}

void TestStore::saveBook_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QList<int>>("dropped");    // 0-based lines left out
    QTest::addColumn<int>("replaced");          // 0-based line replaced by "new", -1 for none
    QTest::addColumn<QByteArrayList>("appended");
    QTest::addColumn<QByteArray>("meanwhile");  // written over the file after it was read, its time kept
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("append to a CR LF book") << QByteArray("a\r\nb\r\n") << QList<int>{} << -1 << QByteArrayList{"c", "d"}
                                            << QByteArray() << QByteArray("a\r\nb\r\nc\r\nd\r\n");
    QTest::newRow("append after a line without end") << QByteArray("a\r\nb") << QList<int>{} << -1 << QByteArrayList{"c"}
                                                     << QByteArray() << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("append to an empty book") << QByteArray() << QList<int>{} << -1 << QByteArrayList{"c"} << QByteArray()
                                             << QByteArray("c\r\n");
    QTest::newRow("replace a line among LF ends") << QByteArray("a\nb\nc\n") << QList<int>{} << 1 << QByteArrayList{}
                                                  << QByteArray() << QByteArray("a\r\nnew\r\nc\r\n");
    QTest::newRow("leave lines out, empty lines kept") << QByteArray("a\r\n\r\nb\rc\r\nd") << QList<int>{0, 3}
                                                       << -1 << QByteArrayList{} << QByteArray() << QByteArray("\r\nb\r\nd\r\n");
    QByteArray longBook;
    QByteArray longAfter;
    for (int i = 0; i < 100; ++i) {
        const QByteArray line = "riga " + QByteArray::number(i);
        longBook += line + (i % 7 ? "\r\n" : "\n");
        if (i != 3 && i != 40 && i != 77)
            longAfter += line + "\r\n";
    }
    QTest::newRow("leave lines out of a longer book") << longBook << QList<int>{3, 40, 77} << -1 << QByteArrayList{}
                                                      << QByteArray() << longAfter;
    QTest::newRow("leave every line out") << QByteArray("a\r\nb\r\n") << QList<int>{0, 1} << -1 << QByteArrayList{}
                                          << QByteArray() << QByteArray();
    // Same size, same time of last change: only the content check sees it.
    QTest::newRow("changed meanwhile") << QByteArray("a\r\nb\r\n") << QList<int>{0} << -1 << QByteArrayList{}
                                       << QByteArray("a\r\nc\r\n") << QByteArray("a\r\nc\r\n");
}

void TestStore::saveBook()
{
    QFETCH(QByteArray, before);
    QFETCH(QList<int>, dropped);
    QFETCH(int, replaced);
    QFETCH(QByteArrayList, appended);
    QFETCH(QByteArray, meanwhile);
    QFETCH(QByteArray, after);
    TestFolder folder;
    const QString path = AddressBook::contactFile();
    folder.write(QStringLiteral("data/contact.csv"), before);
    const BookLines book = BookLines::read(path);
    if (!meanwhile.isEmpty()) {
        const QDateTime modified = QFileInfo(path).lastModified();
        folder.write(QStringLiteral("data/contact.csv"), meanwhile);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    std::vector<bool> gone(size_t(book.size()), false);
    for (int k : dropped)
        gone[size_t(k)] = true;
    BookEdit edit;
    edit.dropped = dropped.isEmpty() ? nullptr : &gone;
    edit.replaced = replaced;
    edit.line = "new";
    edit.appended = appended;
    QCOMPARE(book.stillIn(path), meanwhile.isEmpty());
    bool refused = false;
    try {
        book.save(path, edit);
    } catch (const BookChanged &) {
        refused = true;
    }
    QCOMPARE(refused, !meanwhile.isEmpty());
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), after);
    QCOMPARE(QDir(folder.path(QStringLiteral("data"))).entryList(QDir::Files).size(), 1);
    // Read back right after the save, through the index the save kept: the lines are those
    // of the file.
    const QByteArrayList lines = AddressBook::splitLines(after);
    const BookLines back = BookLines::read(path);
    QCOMPARE(back.size(), lines.size());
    for (qsizetype k = 0; k < lines.size(); ++k) {
        QCOMPARE(back[k], QByteArrayView(lines[k]));
        QCOMPARE(back.nonEmptyLines().contains(k), !lines[k].isEmpty());
    }
    QCOMPARE(back.nonEmptyLines().count(), std::count_if(lines.begin(), lines.end(), [](const QByteArray &l) { return !l.isEmpty(); }));
}

void TestStore::bookOutlivesItsFile_data()
{
    QTest::addColumn<bool>("cutInPlace");
    QTest::newRow("replaced by a save") << false;
    QTest::newRow("cut short in place by another program") << true;
}

void TestStore::bookOutlivesItsFile()
{
    QFETCH(bool, cutInPlace);
    TestFolder folder;
    const QString path = AddressBook::contactFile();
    // Long enough for its last lines to lie on memory pages of their own.
    QByteArrayList lines;
    for (int i = 0; i < 2000; ++i)
        lines.append("Nome" + QByteArray::number(i) + "," + QByteArray(100, 'x'));
    folder.write(QStringLiteral("data/contact.csv"), AddressBook::joinLines(lines));
    const BookLines held = BookLines::read(path);
    const QByteArrayView last = held[held.size() - 1];
    if (cutInPlace)
        QVERIFY(QFile::resize(path, 10));
    else
        AddressBook::writeLines(path, {"nuovo"});
    // The new book is the file as it is now; the one still held keeps the bytes it read, and
    // its rows, their order, a search and their text agree with each other.
    const BookLines now = BookLines::read(path);
    QCOMPARE(now[0], cutInPlace ? QByteArrayView("Nome0,xxxx") : QByteArrayView("nuovo"));
    QCOMPARE(last.toByteArray(), lines.last());
    QVERIFY(!held.stillIn(path));
    QVERIFY(now.stillIn(path));
    ContactListModel model;
    model.setRows(held, held.nonEmptyLines());
    model.sort(1, Qt::DescendingOrder);
    QCOMPARE(model.rowCount(), lines.size());
    for (int row = 0; row < model.rowCount(); ++row)
        QCOMPARE(model.joinedFields(row), lines[model.lineNumber(row) - 1] + QByteArray(16, ','));
    qsizetype found = 0;
    SearchValues(held, 0).forEach([&](qsizetype, QByteArrayView v) { found += v.startsWith("Nome"); });
    QCOMPARE(found, lines.size());
}

void TestStore::bookOfOneHugeLine()
{
    // 300 MB without a line end is one line, found in one pass and held once.
    TestFolder folder;
    const qint64 size = 300 << 20;
    folder.write(QStringLiteral("data/contact.csv"), {});
    QVERIFY(QFile::resize(folder.contactFile(), size));
    const BookLines book = BookLines::read(AddressBook::contactFile());
    QCOMPARE(book.size(), 1);
    QCOMPARE(book[0].size(), size);
    QVERIFY(!book.endsEveryLineWithCrLf());
    QVERIFY(book.stillIn(AddressBook::contactFile()));
}

void TestStore::unreadableBook_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause");
    QTest::newRow("folder") << "folder" << QStringLiteral("è una cartella, non un file");
    QTest::newRow("named pipe") << "pipe" << QStringLiteral("non è un file ma un dispositivo o una pipe");
    QTest::newRow("link to /dev/zero") << "device" << QStringLiteral("non è un file ma un dispositivo o una pipe");
    QTest::newRow("too little memory") << "memory" << QStringLiteral("Memoria insufficiente per aprire il file");
    QTest::newRow("link to itself") << "loop" << QStringLiteral("è un collegamento che rimanda a sé stesso.");
    QTest::newRow("link to nothing") << "dangling" << QStringLiteral("è un collegamento a un file che non esiste.");
}

void TestStore::unreadableBook()
{
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    TestFolder folder;
    const QString path = AddressBook::contactFile();
    // Every reader of the book says why, at once: none waits on a pipe or reads a device
    // that never ends.
    auto expectCause = [&](const std::function<void()> &read) {
        try {
            read();
        } catch (const AppError &e) {
            if (!e.message().contains(cause) || !e.message().contains(QStringLiteral("contact.csv")))
                throw std::runtime_error(e.message().toStdString());
            return;
        }
        throw std::runtime_error("no error");
    };
    if (kind == u"memory") {
        POSIX_ONLY(NO_MEMORY_LIMIT_ON_WINDOWS);
#ifdef RUBRINO_ASAN
        QSKIP("the sanitizers reserve more address space than any limit leaves");
#endif
        folder.write(QStringLiteral("data/contact.csv"), {});
        QVERIFY(QFile::resize(path, 512 << 20));
        QCOMPARE(runWithMemoryLimit(128 << 20, [&] { expectCause([&] { BookLines::read(path); }); }), 0);
        return;
    }
    if (kind != u"folder")
        POSIX_ONLY(NO_FIFO_ON_WINDOWS);
    if (kind == u"folder")
        QVERIFY(QDir().mkdir(path));
#ifndef Q_OS_WIN
    else if (kind == u"pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"loop")
        QCOMPARE(::symlink("contact.csv", QFile::encodeName(path).constData()), 0);
    else if (kind == u"dangling")
        QVERIFY(QFile::link(folder.path(QStringLiteral("altrove.csv")), path));
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
#endif
    try {
        expectCause([&] { BookLines::read(path); });
        expectCause([&] { AddressBook::readFile(path); });
        expectCause([&] { AddressBook::readLines(path); });
    } catch (const std::runtime_error &e) {
        QFAIL(e.what());
    }
    QVERIFY(!BookLines().stillIn(path));
}

void TestStore::fieldValue_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("shown"); // what the list, the card and the hint show of it
    QTest::newRow("plain") << QByteArray("Mario") << QByteArray("Mario") << QByteArray("Mario");
    QTest::newRow("commas") << QByteArray("a, b,c") << QByteArray("a&#44; b&#44;c") << QByteArray("a, b,c");
    QTest::newRow("leading quote") << QByteArray("\"x\" y") << QByteArray("&#34;x\" y") << QByteArray("\"x\" y");
    QTest::newRow("inner quote") << QByteArray("a\"b") << QByteArray("a\"b") << QByteArray("a\"b");
    QTest::newRow("line breaks and nul") << QByteArray("a\r\nb\0c", 6) << QByteArray("a  b c") << QByteArray("a  b c");
    QTest::newRow("blanks kept") << QByteArray("  x ") << QByteArray("  x ") << QByteArray("  x ");
    QTest::newRow("quote code not at the start is text") << QByteArray("a&#34;") << QByteArray("a&#34;") << QByteArray("a&#34;");
    QTest::newRow("other codes and a cut one are text")
        << QByteArray("&amp;&#45;&#44") << QByteArray("&amp;&#45;&#44") << QByteArray("&amp;&#45;&#44");
    QTest::newRow("quote then commas") << QByteArray("\",,") << QByteArray("&#34;&#44;&#44;") << QByteArray("\",,");
    QTest::newRow("long value, controls kept") << QByteArray("abcdefghij,klmnopqrstuv\tw\x80\x0bx\nyz0123456789,")
                                              << QByteArray("abcdefghij&#44;klmnopqrstuv\tw\x80\x0bx yz0123456789&#44;")
                                              << QByteArray("abcdefghij,klmnopqrstuv\tw\x80\x0bx yz0123456789,");
}

void TestStore::fieldValue()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, shown);
    QCOMPARE(AddressBook::fieldValue(value), stored);
    QCOMPARE(AddressBook::shownValue(stored), shown);
}

void TestStore::contactFromShortLine()
{
    const TContatto c = TContatto::fromLine("Mario,Rossi,x");
    QCOMPARE(c[TContatto::cognome], QByteArray("Rossi"));
    QCOMPARE(c[TContatto::datainserimento], QByteArray());
    QCOMPARE(c.toLine(), QByteArray("Mario,Rossi,x,,,,,,,,,,,,,,,"));
    const TContatto long19 = TContatto::fromLine("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19");
    QCOMPARE(long19[TContatto::datainserimento], QByteArray("18"));
}

void TestStore::codecKeepsEveryByte()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString text = TextCodec::fromAnsi(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(TextCodec::toAnsi(text), all);
    for (QChar c : text)
        QVERIFY(TextCodec::isAnsi(c));
    QCOMPARE(TextCodec::ansiToUtf8(all).size() > 256, true);
    QCOMPARE(TextCodec::utf8ToAnsi(TextCodec::ansiToUtf8(all)), all);
}

void TestStore::codecMapsWindows1252()
{
    QCOMPARE(TextCodec::fromAnsi("\x80"), QString(QChar(0x20AC)));
    QCOMPARE(TextCodec::fromAnsi("\x93\x94\x96"), QStringLiteral("\u201c\u201d\u2013"));
    QCOMPARE(TextCodec::fromAnsi("Citt\xe0"), QStringLiteral("Città"));
    QCOMPARE(TextCodec::toAnsi(QStringLiteral("€ è ж 😀")), QByteArray("\x80 \xe8 ? ?"));
    QCOMPARE(TextCodec::keepAnsi(QStringLiteral("aжb€")), QStringLiteral("ab€"));
    QVERIFY(TextCodec::isNonAsciiUtf8("Citt\xc3\xa0"));
    QVERIFY(!TextCodec::isNonAsciiUtf8("Citt\xe0"));
    QVERIFY(!TextCodec::isNonAsciiUtf8("plain"));
    QCOMPARE(TextCodec::utf8ToAnsi("Citt\xc3\xa0 \xe2\x82\xac \xd0\xb6"), QByteArray("Citt\xe0 \x80 ?"));
}

void TestStore::dateText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("stored"); // the bytes written for 3 March 2008, 09:05:07
    QTest::newRow("it_IT") << QLocale(QLocale::Italian, QLocale::Italy) << QByteArray("03/03/2008 09:05:07");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << QByteArray("3/3/2008 9:05:07 AM");
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QByteArray("03.03.2008 09:05:07");
    QTest::newRow("C") << QLocale::c() << QByteArray("3 Mar 2008 09:05:07");
    // The time zone goes with its brackets, "H:mm:ss (t)", or its comma, "HH:mm:ss, t".
    QTest::newRow("es_ES") << QLocale(QLocale::Spanish, QLocale::Spain) << QByteArray("3/3/2008 9:05:07");
    QTest::newRow("be_BY") << QLocale(QLocale::Belarusian, QLocale::Belarus) << QByteArray("3.03.2008 09:05:07");
    // Characters Windows-1252 cannot hold ("H時mm分ss秒"): the fixed form instead of "?".
    QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan) << QByteArray("03/03/2008 09:05:07");
    QTest::newRow("ar_EG, other digits") << QLocale(QLocale::Arabic, QLocale::Egypt) << QByteArray("03/03/2008 09:05:07");
}

void TestStore::dateText()
{
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, stored);
    const QDateTime moment(QDate(2008, 3, 3), QTime(9, 5, 7));
    QCOMPARE(DateText::stored(moment.addMSecs(678), locale), stored);
    const QString text = DateText::format(moment, locale);
    const auto back = DateText::parse(text, locale);
    QVERIFY2(back.has_value(), qPrintable(text));
    QCOMPARE(*back, moment);
    // Leading blanks are skipped, as the reminder's "# " line needs.
    QCOMPARE(*DateText::parse(QStringLiteral("  ") + text, locale), moment);
    QVERIFY(!DateText::parse(u"not a date", locale).has_value());
    // The evening too, where a 12-hour clock without its marker would read back as morning.
    const QDateTime evening(QDate(2008, 3, 3), QTime(21, 5, 7));
    QCOMPARE(DateText::parse(TextCodec::fromAnsi(DateText::stored(evening, locale)), locale), evening);

    // Sorting by date: both forms in time order, the same moment with the same key.
    DateSortKeys sortKeys(locale);
    std::string previous;
    for (const QDateTime &m : {QDateTime(QDate(2008, 3, 3), QTime(0, 0)), QDateTime(QDate(2008, 3, 3), QTime(0, 30, 5)),
                               moment, QDateTime(QDate(2008, 3, 3), QTime(12, 30)), evening,
                               QDateTime(QDate(2008, 3, 4), QTime(1, 0)), QDateTime(QDate(2008, 12, 28), QTime(23, 58, 58))}) {
        std::string key;
        QVERIFY(sortKeys.appendKey(key, DateText::stored(m, locale)));
        std::string fixed;
        const QString fixedForm = m.time() == QTime(0, 0) ? QStringLiteral("dd/MM/yyyy") : QStringLiteral("dd/MM/yyyy HH:mm:ss");
        QVERIFY(sortKeys.appendKey(fixed, QLocale::c().toString(m, fixedForm).toLatin1()));
        QVERIFY2(fixed == key, qPrintable(m.toString() + u' ' + TextCodec::fromAnsi(DateText::stored(m, locale))));
        QVERIFY2(previous < key, qPrintable(m.toString()));
        previous = key;
    }
    std::string none;
    QVERIFY(!sortKeys.appendKey(none, "not a date"));
    QVERIFY(!sortKeys.appendKey(none, "03/03/2008 25:00:00"));
    QVERIFY(none.empty());
}

void TestStore::dateTextAtMidnightHasNoTime()
{
    const QLocale it(QLocale::Italian, QLocale::Italy);
    const QDateTime midnight(QDate(1999, 12, 31), QTime(0, 0));
    const QString text = DateText::format(midnight, it);
    QCOMPARE(text, QStringLiteral("31/12/1999"));
    QCOMPARE(*DateText::parse(text, it), midnight);
    QCOMPARE(DateText::format(QDateTime(QDate(2026, 1, 2), QTime(0, 0, 1)), it), QStringLiteral("02/01/2026 00:00:01"));
}

void TestStore::failedSaveLeavesOldFile()
{
    TestFolder folder;
    const QByteArray old = "old,line\r\n";
    folder.write(QStringLiteral("data/contact.csv"), old);
    QByteArrayList big;
    for (int i = 0; i < 2000; ++i)
        big.append(QByteArray(100, 'x'));
    // The error says why, in words a user understands.
    POSIX_ONLY(NO_FILE_SIZE_LIMIT_ON_WINDOWS);
    const int code = runWithFileSizeLimit(4096, [&] {
        try {
            AddressBook::writeLines(AddressBook::contactFile(), big);
        } catch (const AppError &e) {
            if (!e.message().contains(QStringLiteral("troppo grande per questo disco")))
                throw std::runtime_error("no cause");
            throw;
        }
    });
    QCOMPARE(code, 1);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), old);
    // No temporary file is left beside it.
    QCOMPARE(QDir(folder.path(QStringLiteral("data"))).entryList(QDir::Files), QStringList{QStringLiteral("contact.csv")});
}

void TestStore::saveIntoMissingFolderFails()
{
    TestFolder folder;
    QDir(folder.path()).rmdir(QStringLiteral("data"));
    try {
        AddressBook::writeLines(AddressBook::contactFile(), {"a"});
        QFAIL("no error");
    } catch (const AppError &e) {
        QVERIFY(e.message().contains(QStringLiteral("contact.csv")));
    }
}

void TestStore::oneProgramPerDataFolder_data()
{
    QTest::addColumn<QByteArray>("lockFile"); // "<held>": held by a running copy; "<no folder>": nowhere to lock
    QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: nothing is asked
    QTest::addColumn<bool>("starts");

    const QByteArray host = DataFolderLock::thisComputer().toUtf8();
    const QByteArray id = QSysInfo::machineUniqueId();
    const auto none = QMessageBox::NoButton;
    QTest::newRow("held by a running copy") << QByteArray("<held>") << none << false;
    // Its process is gone: a crash, taken over without a word.
    QTest::newRow("left by a crash here") << QByteArray("999999\nrubrino\n" + host + "\n" + id + "\n") << none << true;
    // A crash while the lock file was written.
    QTest::newRow("empty lock file") << QByteArray() << none << true;
    QTest::newRow("unreadable lock file") << QByteArray("\0\0\0\0\0\0", 6) << none << true;
    // As QLockFile writes it on another computer: process, program, computer, machine, boot.
    const QByteArray elsewhere = "4242\nrubrino\naltro-pc\n0123456789abcdef0123456789abcdef\nboot\n";
    QTest::newRow("another computer, No") << elsewhere << QMessageBox::No << false;
    QTest::newRow("another computer, Yes") << elsewhere << QMessageBox::Yes << true;
    // A name read from the file is anybody's text: shown without direction tricks, and cut.
    QTest::newRow("another computer, crafted name, No")
        << QByteArray("4242\nrubrino\npc\xe2\x80\xae" "exe.txt\x01" + QByteArray(100, 'n') + "\nid\nboot\n") << QMessageBox::No << false;
    QTest::newRow("another computer of the same name, Yes")
        << QByteArray("4242\nrubrino\n" + host + "\n0123456789abcdef0123456789abcdef\nboot\n") << QMessageBox::Yes << true;
    QTest::newRow("no folder to lock in") << QByteArray("<no folder>") << none << true;
}

void TestStore::oneProgramPerDataFolder()
{
    QFETCH(QByteArray, lockFile);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, starts);
    TestFolder folder;
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    const auto cLocale = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    const QString lockPath = folder.path(QStringLiteral("data/rubrino.lock"));
    DataFolderLock running(folder.path(QStringLiteral("data")));
    if (lockFile == "<held>") {
        QCOMPARE(running.acquire(), DataFolderLock::Locked);
    } else if (lockFile == "<no folder>") {
        // A file where the folder should be: the lock cannot be made, the program still starts.
        QVERIFY(QDir(folder.path()).rmdir(QStringLiteral("data")));
        folder.write(QStringLiteral("data"), "x");
    } else {
        folder.write(QStringLiteral("data/rubrino.lock"), lockFile);
        QFile f(lockPath);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)), QFileDevice::FileModificationTime));
    }
    const QByteArray before = folder.read(QStringLiteral("data/rubrino.lock"));
    if (answer != QMessageBox::NoButton)
        Messages::setNextAnswer(answer);

    const std::unique_ptr<DataFolderLock> lock = StartUp::takeDataFolder();
    QCOMPARE(bool(lock), starts);
    const QList<Messages::Shown> shown = Messages::takeShown();
    if (answer != QMessageBox::NoButton) {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("La rubrica risulta aperta sul computer «%1» dal 06/05/2024 07:08:09. Se "
                                               "Rubrino non è più aperto su quel computer, vuoi aprirla comunque?")
                                    .arg(DataFolderLock::shownHostName(QString::fromUtf8(lockFile.split('\n').at(2)))));
        QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(shown[0].defaultButton, QMessageBox::No);
    } else if (!starts) {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Rubrino è già aperto su questa rubrica."));
    } else {
        QCOMPARE(shown.size(), 0);
    }
    // Refused, nothing is touched; started, the lock is this copy's own.
    if (!starts)
        QCOMPARE(folder.read(QStringLiteral("data/rubrino.lock")), before);
    else if (lockFile != "<no folder>")
        QVERIFY(folder.read(QStringLiteral("data/rubrino.lock")).startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));
}

void TestStore::lockInTheWay_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause"); // empty: the lock is removed and the program starts
    QTest::newRow("dangling link") << "dangling" << QString();
    QTest::newRow("link to itself") << "loop" << QString();
    QTest::newRow("folder") << "folder" << QStringLiteral("è una cartella, non un file.");
    // Owned by another user and read-only: its process is gone, so its name is removed.
    QTest::newRow("crash, cannot be opened for writing") << "read-only" << QString();
    // Who holds it cannot even be read.
    QTest::newRow("no permissions") << "no permissions" << QStringLiteral("non hai i permessi per leggerlo.");
}

// What stands where the lock goes is removed when nothing can hold it, and named when it
// cannot be removed: never "already open".
void TestStore::lockInTheWay()
{
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    POSIX_ONLY(NO_OTHER_USER_ON_WINDOWS);
#ifndef Q_OS_WIN
    TestFolder folder;
    const QString lockPath = folder.path(QStringLiteral("data/rubrino.lock"));
    const QByteArray path = QFile::encodeName(lockPath);
    if (kind == u"dangling")
        QCOMPARE(::symlink("altrove.lock", path.constData()), 0);
    else if (kind == u"loop")
        QCOMPARE(::symlink("rubrino.lock", path.constData()), 0);
    else if (kind == u"folder")
        QVERIFY(QDir().mkpath(lockPath + QStringLiteral("/dentro")));
    else
        folder.write(QStringLiteral("data/rubrino.lock"), "999999\nrubrino\n" + DataFolderLock::thisComputer().toUtf8() + "\n");
    if (kind == u"read-only" || kind == u"no permissions")
        QCOMPARE(::chmod(path.constData(), kind == u"read-only" ? 0444 : 0), 0);
    // The child may run as another user: it must be able to reach and change data/.
    QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder.path(QStringLiteral("data"))).constData(), 0777), 0);
    const QString report = folder.path(QStringLiteral("report.txt"));
    folder.write(QStringLiteral("report.txt"), {});
    QFile::setPermissions(report, QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // Started, or the one message shown.
    const int code = runAsPlainUser([&] {
        const std::unique_ptr<DataFolderLock> lock = StartUp::takeDataFolder();
        const QList<Messages::Shown> shown = Messages::takeShown();
        QFile out(report);
        if (!out.open(QIODevice::WriteOnly))
            throw std::runtime_error("no report");
        out.write(lock ? "<started>" : shown.value(0).text.toUtf8());
    });
    if (code == 3)
        QSKIP("this system does not let the tests run as another user");
    QCOMPARE(code, 0);
    const QString shown = QString::fromUtf8(folder.read(QStringLiteral("report.txt")));
    if (cause.isEmpty()) {
        QCOMPARE(shown, QStringLiteral("<started>"));
    } else {
        QCOMPARE(shown, QStringLiteral("Il file \"%1\" impedisce di aprire la rubrica: %2").arg(QDir::toNativeSeparators(lockPath), cause));
        QVERIFY(QFileInfo(lockPath).isDir() || QFileInfo(lockPath).isFile());
    }
#endif
}

void TestStore::shownHostName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("ufficio-pc.local") << QStringLiteral("ufficio-pc.local");
    QTest::newRow("right-to-left override") << QStringLiteral("pc\u202Etxt.exe") << QStringLiteral("pctxt.exe");
    QTest::newRow("other direction marks") << QStringLiteral("\u2066a\u200Fb\u061C\u2069") << QStringLiteral("ab");
    QTest::newRow("C0 and C1 controls") << QStringLiteral("a\tb\nc\u0085d\u009Be\x7f") << QStringLiteral("abcde");
    QTest::newRow("fake closing quote") << QStringLiteral("pc» dal 1/1/2000. Vuoi") << QStringLiteral("pc dal 1/1/2000. Vuoi");
    QTest::newRow("65 letters") << QString(65, u'x') << QString(64, u'x') + u'…';
    QTest::newRow("letters outside the first plane") << QString(70, QChar(u'a')).replace(0, 1, QStringLiteral("\U0001F600"))
                                                     << QStringLiteral("\U0001F600") + QString(63, u'a') + u'…';
}

void TestStore::shownHostName()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(DataFolderLock::shownHostName(name), shown);
}

void TestStore::searchFoldsOnlyAsciiLetters_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("found");
    QTest::newRow("capitals") << QByteArray("rossi") << QByteArray("OSS") << true;
    QTest::newRow("accented capital") << QByteArray("citt\xe0") << QByteArray("CITT\xc0") << false;
    QTest::newRow("accented same") << QByteArray("CITT\xe0") << QByteArray("citt\xe0") << true;
    QTest::newRow("marker") << QByteArray("-") << QByteArray("-") << true;
    QTest::newRow("blank") << QByteArray("Via Roma") << QByteArray(" ") << true;
    QTest::newRow("no blank") << QByteArray("Roma") << QByteArray(" ") << false;
    QTest::newRow("entity") << QByteArray("a&#44;b") << QByteArray("&#44;") << true;
    QTest::newRow("longer key") << QByteArray("ab") << QByteArray("abc") << false;
}

void TestStore::searchFoldsOnlyAsciiLetters()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(bool, found);
    QCOMPARE(AddressBook::containsIgnoringAsciiCase(text, key), found);
}

namespace {

// A contact line with the fields the matching reads; the rest as the editor leaves them.
QByteArray person(const char *given, const char *family, const char *mobile = "-", const char *email = "-",
                  const char *home = "-", const char *workMobile = "-")
{
    QByteArrayList f(18, "-");
    f[TContatto::nome] = given;
    f[TContatto::cognome] = family;
    f[TContatto::cellprivato] = mobile;
    f[TContatto::celllavoro] = workMobile;
    f[TContatto::telcasa] = home;
    f[TContatto::email] = email;
    f[TContatto::datainserimento] = "01/02/2026 10:00:00";
    return f.join(',');
}

} // namespace

void TestStore::duplicates_data()
{
    QTest::addColumn<QByteArrayList>("book");
    QTest::addColumn<QByteArrayList>("extra");
    // The groups, largest first: 1-based contacts joined by ",", groups by "|".
    QTest::addColumn<QString>("groups");
    QTest::addColumn<QString>("firstReasons"); // of the first group's first contact
    QTest::addColumn<QString>("firstMatches"); // of every contact, "-" for none

    QTest::newRow("accents, case and order of the name")
        << QByteArrayList{person("Niccol\xF2", "D'Amico"), person("damico", "NICCOLO"), person("Nicola", "Damico")}
        << QByteArrayList{} << "1,2" << "stesso nome" << "-,1,-";
    QTest::newRow("blanks inside the name")
        << QByteArrayList{person("Anna Maria", "De Luca"), person("Annamaria", "Deluca")} << QByteArrayList{}
        << "1,2" << "stesso nome" << "-,1";
    QTest::newRow("the name needs both parts")
        << QByteArrayList{person("Mario", "-"), person("Mario", "-"), person("-", "Rossi"), person("-", "Rossi")}
        << QByteArrayList{} << "" << "" << "-,-,-,-";
    QTest::newRow("e-mail without case and blanks")
        << QByteArrayList{person("Anna", "Neri", "-", "Anna.Neri@Posta.IT"), person("A.", "N.", "-", " anna.neri@posta.it ")}
        << QByteArrayList{} << "1,2" << "stessa e-mail" << "-,1";
    QTest::newRow("mobile with +39 and blanks")
        << QByteArrayList{person("Anna", "Neri", "+39 333 123 4567"), person("Nina", "Bruni", "3331234567")}
        << QByteArrayList{} << "1,2" << "stesso cellulare" << "-,1";
    QTest::newRow("mobile with 0039, private against work")
        << QByteArrayList{person("Anna", "Neri", "0039-333-1234567"), person("Nina", "Bruni", "-", "-", "-", "333/1234567")}
        << QByteArrayList{} << "1,2" << "stesso cellulare" << "-,1";
    QTest::newRow("another country's prefix stays")
        << QByteArrayList{person("Anna", "Neri", "+41 79 123 45 67"), person("Nina", "Bruni", "0041791234567"),
                          person("Ugo", "Sala", "791234567")}
        << QByteArrayList{} << "1,2" << "stesso cellulare" << "-,1,-";
    QTest::newRow("a shared home telephone alone is no match")
        << QByteArrayList{person("Anna", "Neri", "-", "-", "06 1234567"), person("Ugo", "Neri", "-", "-", "06 1234567")}
        << QByteArrayList{} << "" << "" << "-,-";
    QTest::newRow("empty fields never match")
        << QByteArrayList{person("Anna", "Neri"), person("Ugo", "Sala"), person("-", "-"), person("-", "-")}
        << QByteArrayList{} << "" << "" << "-,-,-,-";
    QTest::newRow("short numbers do not count")
        << QByteArrayList{person("Anna", "Neri", "12345"), person("Ugo", "Sala", "+39 12345")} << QByteArrayList{}
        << "" << "" << "-,-";
    QTest::newRow("a chain of three is one group")
        << QByteArrayList{person("Anna", "Neri", "333 1111111"), person("Ugo", "Sala", "-", "ugo@x.it"),
                          person("Zeno", "Riva"), person("Anna", "Neri", "-", "UGO@x.it")}
        << QByteArrayList{} << "1,2,4" << "stesso nome" << "-,-,-,1";
    QTest::newRow("largest group first, several reasons")
        << QByteArrayList{person("Ugo", "Sala"), person("Anna", "Neri", "3331234567", "a@x.it"), person("Sala", "Ugo"),
                          person("Anna", "Neri", "+393331234567", "a@x.it"), person("Neri", "Anna")}
        << QByteArrayList{} << "2,4,5|1,3" << "stesso nome, stessa e-mail, stesso cellulare" << "-,-,1,2,2";
    QTest::newRow("candidates against the book and each other")
        << QByteArrayList{person("Anna", "Neri"), "", person("Ugo", "Sala")}
        << QByteArrayList{person("Piero", "Riva"), person("Ugo", "Sala"), person("Riva", "Piero")}
        << "3,5|4,6" << "" << "-,-,-,-,3,4";
}

void TestStore::duplicates()
{
    QFETCH(QByteArrayList, book);
    QFETCH(QByteArrayList, extra);
    QFETCH(QString, groups);
    QFETCH(QString, firstReasons);
    QFETCH(QString, firstMatches);
    const Duplicates::Result r = Duplicates::find(BookLines::fromBytes(AddressBook::joinLines(book)), extra);
    QStringList found;
    for (qsizetype g = 0; g < r.groupCount(); ++g) {
        QStringList members;
        for (qsizetype i = 0; i < r.groupSize(g); ++i)
            members << QString::number(r.group(g)[i] + 1);
        found << members.join(u',');
    }
    QCOMPARE(found.join(u'|'), groups);
    if (!firstReasons.isEmpty())
        QCOMPARE(Duplicates::reasonText(r.reasons[r.group(0)[0]]), firstReasons);
    QStringList matches;
    for (quint32 m : r.firstMatch)
        matches << (m == Duplicates::kNone ? QStringLiteral("-") : QString::number(m + 1));
    QCOMPARE(matches.join(u','), firstMatches);
}

void TestStore::collation_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<int>("order"); // of a against b
    // Accents count only where the letters are equal: then plain before acute before grave.
    QTest::newRow("accent ignored first") << QByteArray("\xE8" "a") << QByteArray("eb") << -1;
    QTest::newRow("accented capital ignored first") << QByteArray("\xC8rica") << QByteArray("Ettore") << -1;
    QTest::newRow("plain before accented") << QByteArray("perche") << QByteArray("perch\xE8") << -1;
    QTest::newRow("acute before grave") << QByteArray("perch\xE9") << QByteArray("perch\xE8") << -1;
    QTest::newRow("accent before case") << QByteArray("Erica") << QByteArray("\xE8rica") << -1;
    QTest::newRow("diaeresis as a") << QByteArray("\xC4" "b") << QByteArray("ac") << -1;
    QTest::newRow("y diaeresis, s and z caron") << QByteArray("\x9F\x8A\x9E") << QByteArray("ysz") << 1;
    QTest::newRow("s caron before t") << QByteArray("\x8Akoda") << QByteArray("Sl") << -1;
    // Expansions and letters of other alphabets.
    QTest::newRow("sharp s as ss") << QByteArray("Stra\xDF" "e") << QByteArray("Strasse") << 1;
    QTest::newRow("sharp s before st") << QByteArray("Stra\xDF" "e") << QByteArray("Strast") << -1;
    QTest::newRow("oe ligature as oe") << QByteArray("\x9Cuvre") << QByteArray("oeuvre") << 1;
    QTest::newRow("OE ligature before of") << QByteArray("\x8Cuvre") << QByteArray("of") << -1;
    QTest::newRow("ae ligature as ae") << QByteArray("\xC6gir") << QByteArray("aegir") << 1;
    QTest::newRow("ligatures only") << QByteArray(60, '\xE6') << QByteArray("ae").repeated(60) << 1;
    QTest::newRow("eth after d") << QByteArray("\xF0" "a") << QByteArray("dz") << 1;
    QTest::newRow("eth before e") << QByteArray("\xD0" "z") << QByteArray("ea") << -1;
    QTest::newRow("ordinal a between a and A") << QByteArray("\xAA") << QByteArray("A") << -1;
    // Numbers in numeric order.
    QTest::newRow("2 before 10") << QByteArray("Via Roma 2") << QByteArray("Via Roma 10") << -1;
    QTest::newRow("leading zeros after") << QByteArray("7") << QByteArray("007") << -1;
    QTest::newRow("leading zeros, smaller number") << QByteArray("007") << QByteArray("8") << -1;
    QTest::newRow("zero before one") << QByteArray("00") << QByteArray("1") << -1;
    QTest::newRow("superscript as a digit") << QByteArray("m\xB2") << QByteArray("m3") << -1;
    QTest::newRow("long numbers") << QByteArray("2" + QByteArray(299, '0')) << QByteArray("1" + QByteArray(300, '0')) << -1;
    QTest::newRow("digits before letters") << QByteArray("9") << QByteArray("a") << -1;
    QTest::newRow("symbols before digits") << QByteArray("\x80 5") << QByteArray("0") << -1;
    // Blanks and punctuation are passed over, then a text without them comes first.
    QTest::newRow("apostrophe passed over") << QByteArray("D'Amico") << QByteArray("Damiani") << 1;
    QTest::newRow("blank passed over") << QByteArray("Del Monte") << QByteArray("De Luca") << -1;
    QTest::newRow("without blank first") << QByteArray("deluca") << QByteArray("de luca") << -1;
    QTest::newRow("non-breaking blank as blank") << QByteArray("de\xA0luca") << QByteArray("de luca") << 0;
    QTest::newRow("only punctuation first") << QByteArray("...") << QByteArray("a") << -1;
    QTest::newRow("empty first") << QByteArray() << QByteArray("-") << -1;
    // Case comes last of the letters: small first.
    QTest::newRow("small before capital") << QByteArray("rossi") << QByteArray("Rossi") << -1;
    QTest::newRow("case after length") << QByteArray("Rossi") << QByteArray("rossini") << -1;
    QTest::newRow("same text") << QByteArray("Rossi") << QByteArray("Rossi") << 0;
    QTest::newRow("controls and soft hyphen count nowhere") << QByteArray("Ros\x01s\xADi") << QByteArray("Rossi") << 0;
}

void TestStore::collation()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(int, order);
    QCOMPARE(Collation::compare(a, b), order);
    QCOMPARE(Collation::compare(b, a), -order);
    // The keys sort as the texts do, byte by byte.
    const int bytes = Collation::key(a).compare(Collation::key(b));
    QCOMPARE(bytes < 0 ? -1 : (bytes > 0 ? 1 : 0), order);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
