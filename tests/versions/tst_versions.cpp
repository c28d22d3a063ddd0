#include "support/TestSupport.h"

#include "app/ContactListView.h"
#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "editor/ContactEditing.h"
#include "notes/ReminderFile.h"
#include "store/AddressBook.h"
#include "store/BookLines.h"
#include "store/BookVersions.h"
#include "store/ContactListModel.h"
#include "store/DateText.h"
#include "versions/frmVersioniUnit.h"

#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

QByteArray contact(const QByteArray &name, const QByteArray &note = "-")
{
    return name + ",Rossi,-,-,-,-,-,-,-,-,-,-,-,-,-,-," + note + ",01/02/2026 10:00:00";
}

QByteArray book(int count)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += contact("Nome" + QByteArray::number(i)) + "\r\n";
    return bytes;
}

QStringList versionNames(const TestFolder &folder)
{
    return QDir(folder.path(QStringLiteral("data/versioni"))).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestVersions : public QObject
{
    Q_OBJECT

private slots:
    void eachWriteKeepsOneVersion_data();
    void eachWriteKeepsOneVersion();
    void limits_data();
    void limits();
    void cannotKeep_data();
    void cannotKeep();
    void undoAndRestore_data();
    void undoAndRestore();
    void undoRefused_data();
    void undoRefused();
    void differences_data();
    void differences();
};

void TestVersions::eachWriteKeepsOneVersion_data()
{
    QTest::addColumn<QString>("write");
    QTest::addColumn<bool>("elsewhere"); // the versions on another file system: a copy
    for (const char *write : {"add", "modify", "delete", "import", "add to a changed book", "restore"})
        QTest::newRow(write) << QString::fromLatin1(write) << false;
    QTest::newRow("delete, copied to another disk") << "delete" << true;
    QTest::newRow("reminder: no version") << "reminder" << false;
}

void TestVersions::eachWriteKeepsOneVersion()
{
    QFETCH(QString, write);
    QFETCH(bool, elsewhere);
    TestFolder folder;
    QTemporaryDir shm(QStringLiteral("/dev/shm/rubrino-XXXXXX"));
    if (elsewhere) {
        POSIX_ONLY(NO_SECOND_DISK_ON_WINDOWS);
        if (!shm.isValid())
            QSKIP("no second file system at /dev/shm");
        QVERIFY(QFile::link(shm.path(), folder.path(QStringLiteral("data/versioni"))));
    }
    const QString path = folder.contactFile();
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    // Two versions already there, one of them from this very second.
    BookVersions::Keeping(path).saved();
    BookVersions::Keeping(path).saved();
    const QStringList before = versionNames(folder);
    QCOMPARE(before.size(), 2);
    // Replaced as every save replaces it: the versions keep the old file.
    AddressBook::saveFile(path, book(4));
    const BookLines loaded = BookLines::read(path);
    if (write == QLatin1String("add")) {
        ContactEditing::storeLine(path, 0, contact("Nuovo"), &loaded);
    } else if (write == QLatin1String("modify")) {
        ContactEditing::storeLine(path, 2, contact("Altro"), &loaded);
    } else if (write == QLatin1String("delete")) {
        std::vector<bool> gone{false, true};
        BookEdit edit;
        edit.dropped = &gone;
        loaded.save(path, edit);
    } else if (write == QLatin1String("import")) {
        BookEdit edit;
        edit.appended = {contact("Uno"), contact("Due")};
        saveBookEdit(path, &loaded, edit);
    } else if (write == QLatin1String("add to a changed book")) {
        ContactEditing::storeLine(path, 0, contact("Nuovo"), nullptr);
    } else if (write == QLatin1String("restore")) {
        BookVersions::restore(path, folder.path(QStringLiteral("data/versioni/")) + before.first());
        QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book(3));
    } else {
        ReminderFile::saveNote(AddressBook::reminderFile(), false, {QStringLiteral("nota")});
    }
    QStringList added = versionNames(folder);
    for (const QString &name : before)
        QVERIFY(added.removeOne(name));
    if (write == QLatin1String("reminder")) {
        QVERIFY(added.isEmpty());
        return;
    }
    QCOMPARE(added.size(), 1);
    QVERIFY(BookVersions::parseName(added.first()));
    QCOMPARE(folder.read(QStringLiteral("data/versioni/") + added.first()), book(4));
    QCOMPARE(BookVersions::list(path).first().path, folder.path(QStringLiteral("data/versioni/")) + added.first());
}

void TestVersions::limits_data()
{
    QTest::addColumn<int>("bookSize");
    QTest::addColumn<QList<int>>("sizes"); // of the versions, newest first
    QTest::addColumn<int>("kept");
    QTest::newRow("thirty at most") << 1000 << QList<int>(35, 10) << 30;
    QTest::newRow("five times the book") << 100 << QList<int>(10, 100) << 5;
    QTest::newRow("just within") << 100 << QList<int>{200, 200, 100, 1} << 3;
    QTest::newRow("the newest however large") << 10 << QList<int>{1000, 1} << 1;
    QTest::newRow("empty book") << 0 << QList<int>{5, 5} << 1;
}

void TestVersions::limits()
{
    QFETCH(int, bookSize);
    QFETCH(QList<int>, sizes);
    QFETCH(int, kept);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), QByteArray(bookSize, 'x'));
    QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("versioni"));
    QStringList names;
    const QDateTime start(QDate(2026, 12, 9), QTime(15, 4, 5));
    for (int i = 0; i < sizes.size(); ++i) {
        // Every other one shares its second with the one before it.
        const QDateTime moment = start.addSecs(-(i / 2));
        names.append(BookVersions::nameFor(moment.date(), moment.time(), i % 2 ? 1 : 2));
        folder.write(QStringLiteral("data/versioni/") + names.last(), QByteArray(sizes[i], 'v'));
    }
    // Names a person or another program may have put there, and a link to the book.
    const QStringList foreign = {"contact 2026-13-01 10.00.00.csv", "contact 2026-01-01 10.00.00 1.csv",
                                 "Contact 2020-01-01 10.00.00.csv", "contact 2020-01-01 10.00.00.csv.bak",
                                 "contact 2020-01-01 10.00.00 02.csv", "contact.csv", "leggimi.txt"};
    for (const QString &name : foreign)
        folder.write(QStringLiteral("data/versioni/") + name, "x");
#ifndef Q_OS_WIN
    // Windows gives a plain user no symbolic links: Qt makes a shortcut there, a file like any other.
    QVERIFY(QFile::link(folder.contactFile(), folder.path(QStringLiteral("data/versioni/contact 2019-01-01 10.00.00.csv"))));
#endif

    BookVersions::prune(folder.contactFile());
    QStringList left = QDir(folder.path(QStringLiteral("data/versioni"))).entryList(QDir::Files | QDir::System);
    for (const QString &name : foreign)
        QVERIFY2(left.removeOne(name), qPrintable(name));
#ifndef Q_OS_WIN
    QVERIFY(left.removeOne(QStringLiteral("contact 2019-01-01 10.00.00.csv")));
#endif
    left.sort();
    QStringList expected = names.mid(0, kept);
    expected.sort();
    QCOMPARE(left, expected);
}

void TestVersions::cannotKeep_data()
{
    QTest::addColumn<bool>("fullDisk"); // a copy to another disk that fills up; else a file in the way
    QTest::addColumn<bool>("saveAnyway");
    QTest::addColumn<QString>("reason");
    QTest::newRow("file in the way, No") << false << false << "la cartella che deve contenerlo non esiste";
    QTest::newRow("file in the way, Yes") << false << true << "la cartella che deve contenerlo non esiste";
    QTest::newRow("full disk, No") << true << false << "il file è troppo grande per questo disco";
}

void TestVersions::cannotKeep()
{
    QFETCH(bool, fullDisk);
    QFETCH(bool, saveAnyway);
    QFETCH(QString, reason);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(40));
    QTemporaryDir shm(QStringLiteral("/dev/shm/rubrino-XXXXXX"));
    if (fullDisk) {
        POSIX_ONLY(NO_FILE_SIZE_LIMIT_ON_WINDOWS);
        if (!shm.isValid())
            QSKIP("no second file system at /dev/shm");
        QVERIFY(QFile::link(shm.path(), folder.path(QStringLiteral("data/versioni"))));
    } else {
        folder.write(QStringLiteral("data/versioni"), "not a folder");
    }
    TfrmMain w;
    w.show();
    const QRect rect = w.lista->visualRect(w.listModel()->index(0, 1));
    QTest::mouseClick(w.lista->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    Messages::setNextAnswer(QMessageBox::Yes);
    Messages::setNextAnswer(saveAnyway ? QMessageBox::Yes : QMessageBox::No);
    // The book is larger than the child may write: neither the copy nor the book can be.
    const auto save = [&] {
        w.findChild<QPushButton *>(QStringLiteral("Button3"))->click();
        const auto shown = Messages::takeShown();
        if (shown.size() != 2
            || shown[1].text != "Impossibile conservare la versione precedente della rubrica (" + reason + "). Salvare comunque?"
            || shown[1].defaultButton != QMessageBox::No)
            throw std::runtime_error("no question");
        if (!saveAnyway && folder.read(QStringLiteral("data/contact.csv")) != book(40))
            throw std::runtime_error("written after No");
    };
    // A file in the way needs no full disk: that case runs here, on Windows too.
    int code = 0;
    if (fullDisk) {
        code = runWithFileSizeLimit(1024, save);
    } else {
        try {
            save();
        } catch (const std::exception &e) {
            QFAIL(e.what());
        }
    }
    QCOMPARE(code, 0);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), saveAnyway ? book(40).mid(contact("Nome1").size() + 2) : book(40));
    QCOMPARE(QDir(shm.path()).entryList(QDir::Files), QStringList());
}

void TestVersions::undoAndRestore_data()
{
    QTest::addColumn<bool>("window"); // "Ripristina" in the versions window; else Ctrl+Z
    QTest::newRow("Ctrl+Z") << false;
    QTest::newRow("Ripristina") << true;
}

void TestVersions::undoAndRestore()
{
    QFETCH(bool, window);
    TestFolder folder;
    const QByteArray original = book(5) + "\n" + contact("Senza fine");
    folder.write(QStringLiteral("data/contact.csv"), original);
    TfrmMain w;
    w.show();
    QApplication::setActiveWindow(&w);
    const QRect rect = w.lista->visualRect(w.listModel()->index(1, 1));
    QTest::mouseClick(w.lista->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    Messages::setNextAnswer(QMessageBox::Yes);
    w.findChild<QPushButton *>(QStringLiteral("Button3"))->click();
    const QByteArray changed = folder.read(QStringLiteral("data/contact.csv"));
    QVERIFY(changed != original);
    Messages::takeShown();

    auto undo = [&] {
        Messages::setNextAnswer(QMessageBox::Yes);
        if (window) {
            TfrmVersioni versions(&w);
            versions.fillDifferences();
            const QTreeWidgetItem *newest = versions.listver->topLevelItem(0);
            QVERIFY(newest);
            QVERIFY(newest->text(0).startsWith(DateText::format(BookVersions::list(folder.contactFile()).first().moment())));
            versions.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
            QVERIFY(versions.restored());
            QCOMPARE(Messages::takeShown().size(), 1);
        } else {
            w.lista->setFocus();
            const QString moment = DateText::format(BookVersions::list(folder.contactFile()).first().moment());
            QTest::keyClick(w.lista, Qt::Key_Z, Qt::ControlModifier);
            const auto shown = Messages::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].text, "Annullare l'ultima modifica della rubrica (del " + moment + ")?");
            QCOMPARE(shown[0].defaultButton, QMessageBox::No);
        }
    };
    undo();
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), original);
    undo();
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), changed);
    QCOMPARE(BookVersions::list(folder.contactFile()).size(), 3);
}

void TestVersions::undoRefused_data()
{
    QTest::addColumn<QByteArray>("otherProgram"); // what another program writes; empty: nothing
    QTest::addColumn<bool>("written");            // Rubrino wrote the book since it started
    QTest::newRow("another program changed it") << QByteArray(book(2)) << true;
    QTest::newRow("another program, same size") << QByteArray(book(3)).replace("Nome2", "Nome9") << true;
    QTest::newRow("nothing written yet") << QByteArray() << false;
}

void TestVersions::undoRefused()
{
    QFETCH(QByteArray, otherProgram);
    QFETCH(bool, written);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("versioni"));
    if (written)
        ContactEditing::storeLine(folder.contactFile(), 0, contact("Nuovo"));
    else // a version from an earlier run
        folder.write(QStringLiteral("data/versioni/contact 2026-01-01 10.00.00.csv"), book(1));
    if (!otherProgram.isEmpty())
        folder.write(QStringLiteral("data/contact.csv"), otherProgram);
    const QByteArray before = folder.read(QStringLiteral("data/contact.csv"));
    TfrmMain w;
    w.show();
    Messages::setNextAnswer(QMessageBox::Yes);
    w.undoLastChange();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), before);
}

void TestVersions::differences_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("now");
    QTest::addColumn<qint64>("contacts");
    QTest::addColumn<QString>("text");
    const QByteArray a = contact("Anna"), b = contact("Bruno"), c = contact("Carla"), d = contact("Dario");
    QTest::newRow("same, other line ends and blank lines")
        << QByteArray(a + "\n\n" + b) << QByteArray(b + "\r\n" + a + "\r\n") << qint64(2) << "uguale alla rubrica attuale";
    QTest::newRow("more") << QByteArray(a + "\n" + b + "\n" + c + "\n" + d) << QByteArray(a) << qint64(4) << "+3 contatti";
    QTest::newRow("fewer") << QByteArray(a) << QByteArray(a + "\n" + b) << qint64(1) << "−1 contatto";
    QTest::newRow("a twin fewer") << QByteArray(a) << QByteArray(a + "\n" + a) << qint64(1) << "−1 contatto";
    QTest::newRow("changed") << contact("Anna", "vecchia") << contact("Anna", "nuova") << qint64(1) << "1 contatto modificato";
    QTest::newRow("all three")
        << QByteArray(a + "\n" + contact("Bruno", "x") + "\n" + contact("Carla", "x") + "\n" + d + "\n" + contact("Ezio") + "\n" + contact("Fabio"))
        << QByteArray(a + "\n" + b + "\n" + c + "\n" + contact("Gino")) << qint64(6) << "+3 contatti, −1, 2 modificati";
}

void TestVersions::differences()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, now);
    QFETCH(qint64, contacts);
    QFETCH(QString, text);
    const BookVersions::Difference d = BookVersions::Comparison(now).with(version);
    QCOMPARE(d.contacts, contacts);
    QCOMPARE(BookVersions::describe(d), text);
}

QTEST_MAIN(TestVersions)
#include "tst_versions.moc"
