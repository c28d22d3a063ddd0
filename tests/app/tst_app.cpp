#include "support/TestSupport.h"

#include "app/ContactListView.h"
#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QByteArray contact(int n)
{
    const QByteArray s = QByteArray::number(n);
    return "Nome" + s + ",Cognome" + s + ",pos,org,Via Roma " + s + ",Milano,20100,Italia,+39 333 " + s
        + ",-,-,-,-,-,nome" + s + "@example.org,-,nota " + s + ",03/03/2008 09:05:07";
}

QByteArray book(int count)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += contact(i) + "\r\n";
    return bytes;
}

QString text(QWidget *w, const char *name)
{
    if (auto *l = w->findChild<QLabel *>(QLatin1String(name)))
        return l->text();
    return QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

// Closes the modal window that opens next and records its title.
struct ModalCloser
{
    QString title;
    ModalCloser()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }
    void poll()
    {
        if (QWidget *w = QApplication::activeModalWidget()) {
            title = w->windowTitle();
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
            return;
        }
        QTimer::singleShot(10, [this] { poll(); });
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartInEmptyFolder();
    void reminderAtStartup_data();
    void reminderAtStartup();
    void rowsCarryLineNumbers();
    void reloadAfterFileVanished();
    void selectionFillsCard();
    void hintListsRememberedRow();
    void searchFromEnter();
    void layoutKeepsItsSizes();
    void unreadableBookIsReported();

private:
    void select(TfrmMain &w, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
};

void TestMainWindow::select(TfrmMain &w, int row, Qt::KeyboardModifiers modifiers)
{
    const QRect rect = w.lista->visualRect(w.listModel()->index(row, 1));
    QTest::mouseClick(w.lista->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void TestMainWindow::firstStartInEmptyFolder()
{
    TestFolder folder;
    QDir(folder.path()).rmdir(QStringLiteral("data"));
    TfrmMain w;
    w.show();
    QVERIFY(QFileInfo(folder.path(QStringLiteral("data"))).isDir());
    QVERIFY(QDir(folder.path(QStringLiteral("data"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(w.listModel()->rowCount(), 0);
    QCOMPARE(text(&w, "lcont"), QStringLiteral("0"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Rubrino 1.1"));
    auto *cb = w.findChild<QComboBox *>(QStringLiteral("cbcerca"));
    QCOMPARE(cb->count(), 18);
    QCOMPARE(cb->currentText(), QStringLiteral("Nome"));
    QCOMPARE(cb->itemText(17), QStringLiteral("Data inserimento"));
    QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("gb"))->title(), QStringLiteral("Scheda contatto:"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("-"));
    QVERIFY(!w.findChild<QWidget *>(QStringLiteral("frmSplash")));
}

void TestMainWindow::reminderAtStartup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("opens");
    QTest::newRow("AutoLoad") << QByteArray("# AutoLoad\r\n# 03/03/2008 09:05:07\r\nnota\r\n") << true;
    QTest::newRow("AutoLoad alone, LF") << QByteArray("# AutoLoad") << true;
    QTest::newRow("other case") << QByteArray("# autoload\r\n") << false;
    QTest::newRow("trailing blank") << QByteArray("# AutoLoad \r\n") << false;
    QTest::newRow("NoLoad") << QByteArray("# NoLoad\r\n") << false;
    QTest::newRow("empty file") << QByteArray() << false;
}

void TestMainWindow::reminderAtStartup()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, opens);
    TestFolder folder;
    folder.write(QStringLiteral("data/promemoria.txt"), file);
    ModalCloser closer;
    TfrmMain w;
    w.show();
    QCOMPARE(closer.title == QStringLiteral("Promemoria"), opens);
    // Starting never writes the note.
    QCOMPARE(folder.read(QStringLiteral("data/promemoria.txt")), file);
    QTest::qWait(20);
}

void TestMainWindow::rowsCarryLineNumbers()
{
    TestFolder folder;
    // Line 3 is empty and line 4 short: the empty line is not listed and leaves a gap in
    // the numbering; the short line is listed with its missing fields empty.
    folder.write(QStringLiteral("data/contact.csv"), contact(1) + "\r\n" + contact(2) + "\n\r\nsolo,nome\r" + contact(5));
    TfrmMain w;
    w.show();
    ContactListModel *m = w.listModel();
    QCOMPARE(m->rowCount(), 4);
    QCOMPARE(text(&w, "lcont"), QStringLiteral("4"));
    QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("1"));
    QCOMPARE(m->data(m->index(2, 0)).toString(), QStringLiteral("4"));
    QCOMPARE(m->data(m->index(3, 0)).toString(), QStringLiteral("5"));
    QCOMPARE(m->data(m->index(2, 2)).toString(), QStringLiteral("nome"));
    QCOMPARE(m->data(m->index(2, 18)).toString(), QString());
    QCOMPARE(m->data(m->index(3, 16)).toString(), QStringLiteral("-"));
    QCOMPARE(w.contactLines.size(), 5);
    select(w, 2);
    QCOMPARE(w.selectedNumber, QStringLiteral("4"));
    QCOMPARE(text(&w, "ldata"), QString());
}

void TestMainWindow::reloadAfterFileVanished()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    select(w, 1);
    QCOMPARE(w.selectedNumber, QStringLiteral("2"));
    QFile::remove(folder.contactFile());
    w.findChild<QPushButton *>(QStringLiteral("BitBtn3"))->click();
    QCOMPARE(w.listModel()->rowCount(), 0);
    QCOMPARE(text(&w, "lcont"), QStringLiteral("0"));
    QVERIFY(w.selectedNumber.isEmpty());
    QCOMPARE(text(&w, "lnome"), QStringLiteral("-"));
    QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("gb"))->title(), QStringLiteral("Scheda contatto:"));
    // The selection counter keeps its value until the next selection change.
    QCOMPARE(text(&w, "lsel"), QStringLiteral("1"));
}

void TestMainWindow::selectionFillsCard()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(5));
    TfrmMain w;
    w.show();
    select(w, 2);
    QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("gb"))->title(), QStringLiteral("Scheda contatto n. 3 :"));
    QCOMPARE(text(&w, "lsel"), QStringLiteral("1"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Nome3"));
    QCOMPARE(text(&w, "lcitta"), QStringLiteral("Milano"));
    QCOMPARE(text(&w, "lcelllavoro"), QStringLiteral("-"));
    QCOMPARE(text(&w, "lemail"), QStringLiteral("nome3@example.org"));
    QCOMPARE(text(&w, "ldata"), QStringLiteral("03/03/2008 09:05:07"));
    QCOMPARE(w.findChild<QPlainTextEdit *>(QStringLiteral("mnote"))->toPlainText(), QStringLiteral("nota 3"));
    select(w, 4, Qt::ControlModifier);
    QCOMPARE(text(&w, "lsel"), QStringLiteral("2"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Nome5"));
    // Unselecting row 5 still shows contact 5: the card follows the latest change.
    select(w, 4, Qt::ControlModifier);
    QCOMPARE(text(&w, "lsel"), QStringLiteral("1"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Nome5"));
    QCOMPARE(w.selectedNumber, QStringLiteral("5"));
    QCOMPARE(w.selectedRows(), QList<int>{2});
}

void TestMainWindow::hintListsRememberedRow()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    // A press before any row was chosen leaves the hint empty.
    QTest::mousePress(w.lista->viewport(), Qt::RightButton, {}, QPoint(5, 200));
    QVERIFY(w.lista->hint().isEmpty());
    select(w, 1);
    const QString hint = w.lista->hint();
    QCOMPARE(hint.count(u'\r'), 18);
    QVERIFY(hint.endsWith(u'\r'));
    const QStringList lines = hint.split(u'\r', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("Nome: Nome2"));
    QCOMPARE(lines.last(), QStringLiteral("Data inserimento: 03/03/2008 09:05:07"));
    QCOMPARE(lines.at(9), QStringLiteral("Cell. Lavoro: -"));
    QVERIFY(!hint.contains(u'\n'));
}

void TestMainWindow::searchFromEnter()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(5));
    TfrmMain w;
    w.show();
    auto *key = w.findChild<QLineEdit *>(QStringLiteral("txtsearch"));
    auto *cb = w.findChild<QComboBox *>(QStringLiteral("cbcerca"));
    cb->setCurrentIndex(1); // Cognome
    QTest::keyClicks(key, QStringLiteral("COGNOME5"));
    QTest::keyClick(key, Qt::Key_Return);
    QCOMPARE(w.listModel()->rowCount(), 1);
    QCOMPARE(w.listModel()->lineNumber(0), 5);
    QCOMPARE(text(&w, "lsear"), QStringLiteral("1"));
    QCOMPARE(text(&w, "lcont"), QStringLiteral("5"));
    // Enter in the chooser searches too; an empty key is refused with a message.
    key->clear();
    QTest::keyClick(cb, Qt::Key_Return);
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, QStringLiteral("Specifica una chiave di ricerca valida."));
    QCOMPARE(shown.first().title, QStringLiteral("Error"));
    QCOMPARE(w.listModel()->rowCount(), 1);
}

void TestMainWindow::layoutKeepsItsSizes()
{
    TestFolder folder;
    TfrmMain w;
    w.show();
    QCOMPARE(w.size(), QSize(798, 594));
    QCOMPARE(w.minimumSize(), QSize(790, 532));
    auto *gb = w.findChild<QGroupBox *>(QStringLiteral("gb"));
    const int listWidth = w.lista->width();
    const int cardWidth = gb->width();
    const int cardHeight = gb->height();
    w.resize(1000, 700);
    QTest::qWait(10);
    QCOMPARE(w.lista->width(), listWidth + 202);
    QCOMPARE(gb->width(), cardWidth);
    QVERIFY(gb->height() > cardHeight);
    QCOMPARE(w.lista->model()->headerData(18, Qt::Horizontal).toString(), QStringLiteral("Data inserimento"));
    QCOMPARE(w.lista->columnWidth(5), 150);
}

void TestMainWindow::unreadableBookIsReported()
{
    TestFolder folder;
    QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("contact.csv"));
    TfrmMain w;
    w.show();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("Rubrino"));
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QVERIFY(shown.first().text.contains(QStringLiteral("contact.csv")));
    QCOMPARE(w.listModel()->rowCount(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_app.moc"
