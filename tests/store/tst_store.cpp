#include "support/TestSupport.h"

#include "store/AddressBook.h"
#include "store/AppError.h"
#include "store/CSVStringInfo.h"
#include "store/DataFolderLock.h"
#include "store/DateText.h"
#include "store/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

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
    void oneProgramPerDataFolder();
    void searchFoldsOnlyAsciiLetters_data();
    void searchFoldsOnlyAsciiLetters();
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
}

void TestStore::readLinesAcrossPieces()
{
    QFETCH(QByteArray, tail);
    QFETCH(QByteArrayList, lines);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), QByteArray((4 << 20) - 1, 'x') + tail);
    QCOMPARE(AddressBook::readLines(AddressBook::contactFile()), lines);
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

void TestStore::fieldValue_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("plain") << QByteArray("Mario") << QByteArray("Mario");
    QTest::newRow("commas") << QByteArray("a, b,c") << QByteArray("a&#44; b&#44;c");
    QTest::newRow("leading quote") << QByteArray("\"x\" y") << QByteArray("&#34;x\" y");
    QTest::newRow("inner quote") << QByteArray("a\"b") << QByteArray("a\"b");
    QTest::newRow("line breaks and nul") << QByteArray("a\r\nb\0c", 6) << QByteArray("a  b c");
    QTest::newRow("blanks kept") << QByteArray("  x ") << QByteArray("  x ");
    QTest::newRow("long value, controls kept") << QByteArray("abcdefghij,klmnopqrstuv\tw\x80\x0bx\nyz0123456789,")
                                              << QByteArray("abcdefghij&#44;klmnopqrstuv\tw\x80\x0bx yz0123456789&#44;");
}

void TestStore::fieldValue()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, stored);
    QCOMPARE(AddressBook::fieldValue(value), stored);
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
    QTest::newRow("it_IT") << QLocale(QLocale::Italian, QLocale::Italy);
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("C") << QLocale::c();
}

void TestStore::dateText()
{
    QFETCH(QLocale, locale);
    const QDateTime moment(QDate(2008, 3, 3), QTime(9, 5, 7));
    const QString text = DateText::format(moment, locale);
    QVERIFY2(text.contains(QStringLiteral("2008")), qPrintable(text));
    QVERIFY2(!text.endsWith(u' '), qPrintable(text));
    const auto back = DateText::parse(text, locale);
    QVERIFY2(back.has_value(), qPrintable(text));
    QCOMPARE(*back, moment);
    // Leading blanks are skipped, as the reminder's "# " line needs.
    QCOMPARE(*DateText::parse(QStringLiteral("  ") + text, locale), moment);
    QVERIFY(!DateText::parse(u"not a date", locale).has_value());
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
    const int code = runWithFileSizeLimit(4096, [&] { AddressBook::writeLines(AddressBook::contactFile(), big); });
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

void TestStore::oneProgramPerDataFolder()
{
    TestFolder folder;
    const QString data = folder.path(QStringLiteral("data"));
    {
        DataFolderLock first(data);
        QCOMPARE(first.acquire(), DataFolderLock::Locked);
        DataFolderLock second(data);
        QCOMPARE(second.acquire(), DataFolderLock::AlreadyOpen);
    }
    // A lock left by a copy that crashed (its process is gone) is taken over.
    folder.write(QStringLiteral("data/rubrino.lock"), "999999\nrubrino\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    DataFolderLock next(data);
    QCOMPARE(next.acquire(), DataFolderLock::Locked);
    // No folder to lock in: the program still starts.
    DataFolderLock nowhere(folder.path(QStringLiteral("missing/data")));
    QCOMPARE(nowhere.acquire(), DataFolderLock::Unavailable);
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

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
