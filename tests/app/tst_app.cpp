#include "support/TestSupport.h"

#include "app/ContactListView.h"
#include "app/Messages.h"
#include "app/FileDialogs.h"
#include "app/ShellOpen.h"
#include "app/frmDoppioniUnit.h"
#include "app/frmMainUnit.h"
#include "app/frmSplashUnit.h"
#include "editor/frmAggiungiUnit.h"
#include "export/frmEsportaUnit.h"
#include "import/frmImportaUnit.h"
#include "notes/frmPromemoriaUnit.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "store/DateText.h"
#include "store/TextCodec.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMimeData>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QScopeGuard>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

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

// Closes the modal window that opens next and records its title; stops looking when the
// test is over.
struct ModalCloser
{
    QString title;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    ModalCloser() { poll(); }
    ~ModalCloser() { *alive = false; }
    void poll()
    {
        QTimer::singleShot(10, [this, alive = alive] {
            if (!*alive)
                return;
            if (QWidget *w = QApplication::activeModalWidget()) {
                title = w->windowTitle();
                if (auto *d = qobject_cast<QDialog *>(w))
                    d->reject();
                return;
            }
            poll();
        });
    }
};

// Runs `fn` on the modal window that the next action opens, once it is open; does nothing
// when none opens.
class OnModal
{
public:
    explicit OnModal(std::function<void(QWidget *)> fn) : m_fn(std::move(fn)) { poll(); }
    ~OnModal() { *m_alive = false; }
    bool ran() const { return m_ran; }

private:
    void poll()
    {
        QTimer::singleShot(1, [this, alive = m_alive] {
            if (!*alive)
                return;
            if (QWidget *w = QApplication::activeModalWidget()) {
                m_ran = true;
                m_fn(w);
                return;
            }
            poll();
        });
    }
    std::function<void(QWidget *)> m_fn;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    bool m_ran = false;
};

void setBox(QWidget *w, const char *name, const QString &value)
{
    w->findChild<QLineEdit *>(QLatin1String(name))->setText(value);
}

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

// An address-book line with the given fields and "-" in all others.
QByteArray line(std::initializer_list<std::pair<int, QByteArray>> fields)
{
    QByteArrayList f(18, "-");
    f[17] = "03/03/2008 09:05:07";
    for (const auto &[k, v] : fields)
        f[k] = v;
    return f.join(',');
}

QByteArray lines(const QByteArrayList &l)
{
    return AddressBook::joinLines(l);
}

// A double-click as the mouse makes it: a click, then the second press.
void doubleClick(TfrmMain &w, QPoint at)
{
    QTest::mouseClick(w.lista->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w.lista->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(w.lista->viewport(), Qt::LeftButton, {}, at);
}

// A click on the header of `column`, scrolled into view first.
void clickHeader(TfrmMain &w, int column)
{
    w.lista->scrollTo(w.listModel()->index(0, column));
    QHeaderView *header = w.lista->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

QList<int> listedNumbers(TfrmMain &w)
{
    QList<int> n;
    for (int r = 0; r < w.listModel()->rowCount(); ++r)
        n.append(w.listModel()->lineNumber(r));
    return n;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartInEmptyFolder();
    void reminderAtStartup_data();
    void reminderAtStartup();
    void rowsCarryLineNumbers();
    void reloadAfterFileVanished_data();
    void reloadAfterFileVanished();
    void selectionFillsCard();
    void hintListsRememberedRow();
    void searchFromEnter();
    void layoutKeepsItsSizes();
    void unreadableBookIsReported();
    void addFromMainWindow();
    void modifyFromDoubleClick_data();
    void modifyFromDoubleClick();
    void modifyOfVanishedLine_data();
    void modifyOfVanishedLine();
    void cancelledModifyReloads();
    void nothingChosenNothingDone();
    void search_data();
    void search();
    void sortByHeader_data();
    void sortByHeader();
    void deleteSelectedRows_data();
    void deleteSelectedRows();
    void deleteFromSearchResult();
    void duplicatesWindow_data();
    void duplicatesWindow();
    void failedDeleteKeepsList();
    void copyChosenContacts_data();
    void copyChosenContacts();
    void cardLinks_data();
    void cardLinks();
    void helpOpensFileBesideProgram();
    void shellOpenTellsWhenNothingOpens_data();
    void shellOpenTellsWhenNothingOpens();
    void tabOrder_data();
    void tabOrder();
    void tabLeavesEveryList_data();
    void tabLeavesEveryList();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
    void qtTextsInItalian();
    void openDialogReturnsEveryTypedName();
    void listColumnsFitTheirText_data();
    void listColumnsFitTheirText();
    void codesAndLongValuesAsTheyRead();
    void windowsFitTheScreen_data();
    void windowsFitTheScreen();

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
    // The splash's picture reached the screen before the start-up work went on.
    QVERIFY(w.findChild<TfrmSplash *>()->painted());
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
    // The empty list says how to begin, until the book holds a contact.
    QVERIFY(w.lista->emptyText().startsWith(QStringLiteral("La rubrica è vuota: premi «Aggiungi ...»")));
    folder.write(QStringLiteral("data/contact.csv"), book(1));
    button(&w, "BitBtn3")->click();
    QVERIFY(w.lista->emptyText().isEmpty());
}

void TestMainWindow::reminderAtStartup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("unreadableBook"); // a folder in place of contact.csv
    QTest::newRow("AutoLoad") << QByteArray("# AutoLoad\r\n# 03/03/2008 09:05:07\r\nnota\r\n") << true << false;
    QTest::newRow("AutoLoad alone, LF") << QByteArray("# AutoLoad") << true << false;
    QTest::newRow("other case") << QByteArray("# autoload\r\n") << false << false;
    QTest::newRow("trailing blank") << QByteArray("# AutoLoad \r\n") << false << false;
    QTest::newRow("NoLoad") << QByteArray("# NoLoad\r\n") << false << false;
    QTest::newRow("empty file") << QByteArray() << false << false;
    // The rest of the start-up runs after a book that cannot be read.
    QTest::newRow("AutoLoad, unreadable book") << QByteArray("# AutoLoad\r\n") << true << true;
}

void TestMainWindow::reminderAtStartup()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, opens);
    QFETCH(bool, unreadableBook);
    TestFolder folder;
    folder.write(QStringLiteral("data/promemoria.txt"), file);
    if (unreadableBook)
        QVERIFY(QDir(folder.path(QStringLiteral("data"))).mkdir(QStringLiteral("contact.csv")));
    ModalCloser closer;
    TfrmMain w;
    w.show();
    QCOMPARE(closer.title == QStringLiteral("Promemoria"), opens);
    QCOMPARE(Messages::takeShown().size(), unreadableBook ? 1 : 0);
    QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->count(), 18);
    QVERIFY(!w.findChild<QWidget *>(QStringLiteral("frmSplash")));
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

void TestMainWindow::reloadAfterFileVanished_data()
{
    QTest::addColumn<bool>("folderInstead"); // a folder takes the file's place: the reload fails
    QTest::newRow("file deleted") << false;
    QTest::newRow("folder in place of the file") << true;
}

void TestMainWindow::reloadAfterFileVanished()
{
    QFETCH(bool, folderInstead);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    select(w, 1);
    QCOMPARE(w.selectedNumber, QStringLiteral("2"));
    QFile::remove(folder.contactFile());
    if (folderInstead)
        QVERIFY(QDir().mkdir(folder.contactFile()));
    w.findChild<QPushButton *>(QStringLiteral("BitBtn3"))->click();
    // A failed reload is reported, and the counter, the list and the card agree all the same.
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), folderInstead ? 1 : 0);
    QCOMPARE(w.listModel()->rowCount(), 0);
    QCOMPARE(text(&w, "lcont"), QStringLiteral("0"));
    QVERIFY(w.selectedNumber.isEmpty());
    QCOMPARE(text(&w, "lnome"), QStringLiteral("-"));
    QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("gb"))->title(), QStringLiteral("Scheda contatto:"));
    // The selection counter counts the rows selected now: none.
    QCOMPARE(text(&w, "lsel"), QStringLiteral("0"));
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
    // The card is the row clicked last: a plain click inside a range keeps that row and
    // drops the others; Ctrl+A leaves the card where it is, and a click then moves it.
    select(w, 0);
    select(w, 4, Qt::ShiftModifier);
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Nome5"));
    select(w, 2);
    QCOMPARE(text(&w, "lsel"), QStringLiteral("1"));
    QCOMPARE(w.selectedNumber, QStringLiteral("3"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Nome3"));
    QApplication::setActiveWindow(&w);
    w.lista->setFocus();
    QTest::keyClick(w.lista, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(text(&w, "lsel"), QStringLiteral("5"));
    QCOMPARE(w.selectedNumber, QStringLiteral("3"));
    select(w, 0);
    QCOMPARE(text(&w, "lsel"), QStringLiteral("1"));
    QCOMPARE(w.selectedNumber, QStringLiteral("1"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Nome1"));
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
    // One failure, one message: the editor tells it, and the reload after it does not again.
    OnModal add([&](QWidget *editor) {
        setBox(editor, "txtnome", QStringLiteral("Zeno"));
        setBox(editor, "txtcognome", QStringLiteral("Ultimo"));
        button(editor, "butt")->click();
        button(editor, "BitBtn2")->click();
    });
    button(&w, "Button1")->click();
    QVERIFY(add.ran());
    QCOMPARE(Messages::takeShown().size(), 1);
    // The window is ready all the same: once the book is repaired and reloaded, search works.
    QVERIFY(!w.findChild<QWidget *>(QStringLiteral("frmSplash")));
    QVERIFY(QDir(folder.path(QStringLiteral("data"))).rmdir(QStringLiteral("contact.csv")));
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    button(&w, "BitBtn3")->click();
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("Nome2"));
    button(&w, "Button4")->click();
    QCOMPARE(listedNumbers(w), QList<int>{2});
    QCOMPARE(Messages::takeShown().size(), 0);
}

void TestMainWindow::addFromMainWindow()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("nome2"));
    button(&w, "Button4")->click();
    QCOMPARE(w.listModel()->rowCount(), 1);
    QString title;
    OnModal fill([&](QWidget *editor) {
        title = editor->windowTitle();
        setBox(editor, "txtnome", QStringLiteral("Zeno"));
        setBox(editor, "txtcognome", QStringLiteral("Ultimo"));
        button(editor, "butt")->click();
    });
    button(&w, "Button1")->click();
    QVERIFY(fill.ran());
    QCOMPARE(title, QStringLiteral("Aggiungi contatto"));
    // The search is undone: all contacts, the new one last, numbered by its line.
    QCOMPARE(listedNumbers(w), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(w.listModel()->field(3, 0), QByteArray("Zeno"));
    QCOMPARE(text(&w, "lcont"), QStringLiteral("4"));
    QVERIFY(folder.read(QStringLiteral("data/contact.csv")).startsWith(book(3) + "Zeno,Ultimo,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,"));
    // The new contact is chosen, on the card and in view.
    QCOMPARE(w.selectedRows(), QList<int>{3});
    QCOMPARE(w.selectedNumber, QStringLiteral("4"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("Zeno"));
    QVERIFY(w.lista->viewport()->rect().intersects(w.lista->visualRect(w.listModel()->index(3, 1))));
}

void TestMainWindow::modifyFromDoubleClick_data()
{
    QTest::addColumn<QList<int>>("headerClicks");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("lineNumber"); // of the contact on that row
    QTest::addColumn<bool>("f2");        // chosen with a click and opened with F2
    QTest::newRow("file order") << QList<int>{} << 1 << 2 << false;
    QTest::newRow("sorted by Cognome, descending") << QList<int>{2, 2} << 0 << 3 << false;
    QTest::newRow("F2") << QList<int>{} << 2 << 3 << true;
}

void TestMainWindow::modifyFromDoubleClick()
{
    QFETCH(QList<int>, headerClicks);
    QFETCH(int, row);
    QFETCH(int, lineNumber);
    QFETCH(bool, f2);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    QApplication::setActiveWindow(&w);
    for (int column : headerClicks)
        clickHeader(w, column);
    QString title;
    QString loaded;
    OnModal change([&](QWidget *editor) {
        title = editor->windowTitle();
        loaded = editor->findChild<QLineEdit *>(QStringLiteral("txtnome"))->text();
        setBox(editor, "txtcitta", QStringLiteral("Roma"));
        button(editor, "butt")->click();
    });
    if (f2) {
        select(w, row);
        QTest::keyClick(w.lista, Qt::Key_F2);
    } else {
        doubleClick(w, w.lista->visualRect(w.listModel()->index(row, 2)).center());
    }
    QVERIFY(change.ran());
    QCOMPARE(title, QStringLiteral("Modifica contatto"));
    QCOMPARE(loaded, QStringLiteral("Nome%1").arg(lineNumber));
    const QByteArrayList saved = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
    QCOMPARE(saved.size(), 3);
    for (int k = 1; k <= 3; ++k) {
        if (k != lineNumber)
            QCOMPARE(saved[k - 1], contact(k));
    }
    QByteArray expected = contact(lineNumber);
    expected.replace("Milano", "Roma");
    expected.chop(QByteArray("03/03/2008 09:05:07").size());
    QVERIFY2(saved[lineNumber - 1].startsWith(expected), saved[lineNumber - 1].constData());
    QVERIFY(!saved[lineNumber - 1].endsWith("03/03/2008 09:05:07"));
    // Reloaded in the same order, the changed contact chosen and on the card.
    QCOMPARE(w.listModel()->field(row, 5), QByteArray("Roma"));
    QCOMPARE(w.selectedRows(), QList<int>{row});
    QCOMPARE(w.selectedNumber, QString::number(lineNumber));
    QCOMPARE(text(&w, "lcitta"), QStringLiteral("Roma"));
}

void TestMainWindow::modifyOfVanishedLine_data()
{
    // What another program writes while contact 3 is on the card, and the line of the
    // contact the editor then opens (0: none).
    QTest::addColumn<QByteArray>("meanwhile");
    QTest::addColumn<int>("opened");
    QTest::newRow("its line gone") << book(2) << 0;
    QTest::newRow("another contact at its number") << lines({contact(1), contact(2), contact(4)}) << 0;
    QTest::newRow("a line before it removed") << lines({contact(2), contact(3)}) << 2;
}

void TestMainWindow::modifyOfVanishedLine()
{
    QFETCH(QByteArray, meanwhile);
    QFETCH(int, opened);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    select(w, 2);
    folder.write(QStringLiteral("data/contact.csv"), meanwhile);
    QString loaded;
    OnModal edit([&](QWidget *editor) {
        loaded = editor->findChild<QLineEdit *>(QStringLiteral("txtnome"))->text();
        setBox(editor, "txtcitta", QStringLiteral("Roma"));
        button(editor, "butt")->click();
    });
    button(&w, "Button2")->click();
    QCOMPARE(edit.ran(), opened > 0);
    const auto shown = Messages::takeShown();
    const QByteArrayList now = AddressBook::splitLines(folder.read(QStringLiteral("data/contact.csv")));
    QCOMPARE(w.listModel()->rowCount(), now.size());
    if (opened == 0) {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("Error"));
        QVERIFY(shown.first().text.startsWith(QStringLiteral("Il contatto n. 3 non è più nella rubrica")));
        QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), meanwhile);
        QCOMPARE(text(&w, "lcont"), QString::number(now.size()));
        return;
    }
    // The contact of the card, found on its new line, and changed there.
    QVERIFY(shown.isEmpty());
    QCOMPARE(loaded, QStringLiteral("Nome3"));
    QCOMPARE(now.size(), 2);
    QCOMPARE(now[0], contact(2));
    QVERIFY2(now[1].startsWith("Nome3,Cognome3,pos,org,Via Roma 3,Roma,"), now[1].constData());
}

void TestMainWindow::cancelledModifyReloads()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(5));
    TfrmMain w;
    w.show();
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("NOME4"));
    button(&w, "Button4")->click();
    select(w, 0);
    OnModal cancel([](QWidget *editor) {
        setBox(editor, "txtnome", QStringLiteral("Altro"));
        button(editor, "BitBtn2")->click();
    });
    button(&w, "Button2")->click();
    QVERIFY(cancel.ran());
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book(5));
    QCOMPARE(w.listModel()->rowCount(), 5);
}

void TestMainWindow::nothingChosenNothingDone()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    OnModal never([](QWidget *editor) { editor->close(); });
    button(&w, "Button2")->click();
    // A double-click below the rows chooses none.
    doubleClick(w, QPoint(5, w.lista->viewport()->height() - 5));
    button(&w, "Button3")->click();
    QApplication::setActiveWindow(&w);
    w.lista->setFocus();
    QTest::keyClick(w.lista, Qt::Key_Delete);
    QVERIFY(!never.ran());
    QVERIFY(Messages::takeShown().isEmpty());
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book(3));
}

void TestMainWindow::search_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QList<int>>("found");
    QTest::newRow("capitals find lower case") << 1 << "ROSSI" << QList<int>{1, 4, 5};
    QTest::newRow("lower case finds capitals") << 1 << "rossini" << QList<int>{4};
    QTest::newRow("accented capital matches only itself") << 0 << QString::fromUtf8("ÈRICA") << QList<int>{2};
    QTest::newRow("accented small misses the capital") << 0 << QString::fromUtf8("èrica") << QList<int>{};
    QTest::newRow("plain letters miss accented ones") << 0 << "ERICA" << QList<int>{3};
    QTest::newRow("dash: empty fields and hyphens") << 5 << "-" << QList<int>{3, 4, 5};
    QTest::newRow("one blank") << 1 << " " << QList<int>{5};
    QTest::newRow("stored date text") << 17 << "2008" << QList<int>{1, 2};
    QTest::newRow("entity as five characters") << 16 << "&#44;" << QList<int>{4};
    // The list shows the codes as the comma and the double quote they stand for.
    QTest::newRow("a comma finds its code") << 16 << "A,B" << QList<int>{4};
    QTest::newRow("a leading double quote finds its code") << 16 << "\"ciao" << QList<int>{2};
    QTest::newRow("beyond Windows-1252") << 0 << QString::fromUtf8("Ω") << QList<int>{};
}

void TestMainWindow::search()
{
    QFETCH(int, field);
    QFETCH(QString, key);
    QFETCH(QList<int>, found);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), lines({
        line({{0, "Mario"}, {1, "rossi"}, {5, "Milano"}, {16, "nota breve"}, {17, "01/02/2008 10:00:00"}}),
        line({{0, "\xC8rica"}, {1, "Bianchi"}, {5, "Forl\xEC"}, {16, "&#34;Ciao&#34;"}}),
        line({{0, "erica"}, {1, "Verdi"}, {17, "01/02/2009"}}),
        line({{0, "Luca"}, {1, "ROSSINI"}, {5, "Reggio-Emilia"}, {16, "a&#44;b"}, {17, "05/05/2010 11:00:00"}}),
        line({{0, "Anna"}, {1, "De Rossi"}, {17, "06/06/2011"}}),
    }));
    TfrmMain w;
    w.show();
    select(w, 0);
    w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(field);
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(key);
    button(&w, "Button4")->click();
    QCOMPARE(listedNumbers(w), found);
    QCOMPARE(text(&w, "lsear"), QString::number(found.size()));
    QCOMPARE(text(&w, "lcont"), QStringLiteral("5"));
    QCOMPARE(text(&w, "lsel"), QStringLiteral("0"));
    QVERIFY(w.selectedNumber.isEmpty());
    QCOMPARE(text(&w, "lnome"), QStringLiteral("-"));
    QCOMPARE(w.searchValues.size(), 5);
    if (!found.isEmpty()) {
        // A found row behaves like a row of the full list.
        select(w, int(found.size()) - 1);
        QCOMPARE(w.selectedNumber, QString::number(found.last()));
        QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("gb"))->title(),
                 QStringLiteral("Scheda contatto n. %1 :").arg(found.last()));
    }
}

void TestMainWindow::sortByHeader_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QList<int>>("order"); // line numbers as listed
    // Accents and case count only where the letters are equal; blanks are passed over.
    QTest::newRow("Cognome") << 2 << 1 << QList<int>{2, 3, 5, 4, 1};
    QTest::newRow("Cognome, again: reversed") << 2 << 2 << QList<int>{1, 4, 5, 3, 2};
    // The organisations first, either way; "&#44;" counts as the comma it shows.
    QTest::newRow("Organizzazione, empty last") << 4 << 1 << QList<int>{5, 4, 2, 1, 3};
    QTest::newRow("Organizzazione reversed, empty last") << 4 << 2 << QList<int>{2, 4, 5, 1, 3};
    QTest::newRow("CAP, numbers as numbers") << 7 << 1 << QList<int>{2, 3, 5, 1, 4};
    // By date and time, both stored forms; a text that is no date after the dates.
    QTest::newRow("Data inserimento") << 18 << 1 << QList<int>{4, 2, 3, 1, 5};
}

void TestMainWindow::sortByHeader()
{
    QFETCH(int, column);
    QFETCH(int, clicks);
    QFETCH(QList<int>, order);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), lines({
        line({{0, "N1"}, {1, "Rossi"}, {6, "20100"}, {17, "05/05/2010 11:00:00"}}),
        line({{0, "N2"}, {1, "de Luca"}, {3, "Beta"}, {6, "9"}, {17, "01/02/2009"}}),
        line({{0, "N3"}, {1, "\xC8rcoli"}, {6, "10"}, {17, DateText::stored(QDateTime(QDate(2010, 5, 5), QTime(9, 30)))}}),
        line({{0, "N4"}, {1, "rossi"}, {3, "alfa&#44; beta"}, {17, "28/12/2008 23:58:58"}}),
        line({{0, "N5"}, {1, "Esposito"}, {3, "Alfa"}, {6, "00010"}, {17, "ieri"}}),
    }));
    TfrmMain w;
    w.show();
    select(w, 2);
    select(w, 4, Qt::ControlModifier);
    for (int i = 0; i < clicks; ++i)
        clickHeader(w, column);
    QCOMPARE(listedNumbers(w), order);
    const QHeaderView *header = w.lista->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), clicks == 2 ? Qt::DescendingOrder : Qt::AscendingOrder);

    // The same contacts stay chosen and on the card, on their new rows.
    QList<int> chosen;
    for (int row : w.selectedRows())
        chosen.append(w.listModel()->lineNumber(row));
    QList<int> shownChosen = order;
    shownChosen.removeIf([](int n) { return n != 3 && n != 5; });
    QCOMPARE(chosen, shownChosen);
    QCOMPARE(w.selectedNumber, QStringLiteral("5"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("N5"));
    QCOMPARE(text(&w, "lsel"), QStringLiteral("2"));
    w.listaMouseDown();
    QVERIFY(w.lista->hint().startsWith(QStringLiteral("Nome: N5\r")));
    // The export window lists them as shown.
    {
        TfrmEsporta exportWindow(&w);
        exportWindow.LoadSelected();
        const auto *exported = exportWindow.findChild<ContactListView *>(QStringLiteral("lista"));
        QList<int> names;
        for (int row = 0; row < exported->model()->rowCount(); ++row)
            names.append(exported->model()->index(row, 1).data().toString().mid(1).toInt());
        QCOMPARE(names, shownChosen);
    }

    // A search shows its rows in the same order, and so does a reload.
    w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(0);
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("n"));
    QList<int> found = order;
    found.removeIf([](int n) { return n == 1; });
    folder.write(QStringLiteral("data/contact.csv"), folder.read(QStringLiteral("data/contact.csv")).replace("N1,", "X1,"));
    button(&w, "BitBtn3")->click();
    button(&w, "Button4")->click();
    QCOMPARE(listedNumbers(w), found);
    button(&w, "BitBtn3")->click();
    QCOMPARE(listedNumbers(w), order);
    QCOMPARE(header->sortIndicatorSection(), column);

    // "N." is the file's order again, without an arrow.
    clickHeader(w, 0);
    QCOMPARE(listedNumbers(w), (QList<int>{1, 2, 3, 4, 5}));
    QCOMPARE(header->sortIndicatorSection(), -1);

    // Another program rewrites the book shorter in place: until the next reload the list
    // sorts, searches and exports the contacts it read, every row whole.
    folder.write(QStringLiteral("data/contact.csv"), "N9,corto\r\n");
    for (int i = 0; i < clicks; ++i)
        clickHeader(w, column);
    QCOMPARE(listedNumbers(w), order);
    button(&w, "Button4")->click();
    QCOMPARE(listedNumbers(w), found);
    w.lista->selectAll();
    TfrmEsporta exportWindow(&w);
    exportWindow.LoadSelected();
    const QAbstractItemModel *exported = exportWindow.findChild<ContactListView *>(QStringLiteral("lista"))->model();
    QCOMPARE(exported->rowCount(), found.size());
    for (int row = 0; row < exported->rowCount(); ++row)
        QCOMPARE(exported->index(row, 1).data().toString(), QStringLiteral("N%1").arg(found[row]));
}

void TestMainWindow::deleteSelectedRows_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<int>>("clicks"); // a click on the first row, control-clicks on the others
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QByteArray>("meanwhile"); // written by another program once the list is shown
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QList<int>>("headerClicks"); // before the rows are chosen
    QTest::newRow("three of five") << book(5) << QList<int>{0, 2, 4} << true << QByteArray() << lines({contact(2), contact(4)})
                                   << QList<int>{};
    QTest::newRow("answer No") << book(3) << QList<int>{1} << false << QByteArray() << book(3) << QList<int>{};
    QTest::newRow("only the chosen of two lines differing in case")
        << lines({contact(1), contact(1).toUpper(), contact(2)}) << QList<int>{1} << true << QByteArray()
        << lines({contact(1), contact(2)}) << QList<int>{};
    QTest::newRow("quoted field, trailing comma, 19 fields")
        << lines({"\"Anna, Maria\"," + contact(1).mid(6), contact(2) + ",", contact(3) + ",in piu", contact(4)})
        << QList<int>{0, 1, 2} << true << QByteArray() << lines({contact(4)}) << QList<int>{};
    QTest::newRow("chosen then unselected: same lines, CR LF")
        << QByteArray(contact(1) + "\n" + contact(2) + "\n") << QList<int>{1, 1} << true << QByteArray()
        << lines({contact(1), contact(2)}) << QList<int>{};
    // The list no longer shows the file: nothing is written over what the other program
    // wrote, the list shows it and the user is told.
    QTest::newRow("file changed since it was listed") << book(3) << QList<int>{1} << true << book(4) << book(4) << QList<int>{};
    // Rows 1 and 3 as shown are lines 5 and 3.
    QTest::newRow("sorted by Cognome, descending") << book(5) << QList<int>{0, 2} << true << QByteArray()
                                                   << lines({contact(1), contact(2), contact(4)}) << QList<int>{2, 2};
}

void TestMainWindow::deleteSelectedRows()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<int>, clicks);
    QFETCH(bool, yes);
    QFETCH(QByteArray, meanwhile);
    QFETCH(QByteArray, after);
    QFETCH(QList<int>, headerClicks);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), file);
    TfrmMain w;
    w.show();
    for (int column : headerClicks)
        clickHeader(w, column);
    for (int i = 0; i < clicks.size(); ++i)
        select(w, clicks[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    if (!meanwhile.isEmpty())
        folder.write(QStringLiteral("data/contact.csv"), meanwhile);
    Messages::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    button(&w, "Button3")->click();
    const auto shown = Messages::takeShown();
    QCOMPARE(shown.size(), meanwhile.isEmpty() ? 1 : 2);
    QCOMPARE(shown.first().title, QStringLiteral("Cancella Contatto"));
    // Enter keeps the contacts.
    QCOMPARE(shown.first().defaultButton, QMessageBox::No);
    QCOMPARE(shown.first().text, QStringLiteral("Sei sicuro di voler eliminare per sempre i contatti dalla rubrica?"));
    QCOMPARE(shown.first().icon, QMessageBox::NoIcon);
    if (!meanwhile.isEmpty())
        QCOMPARE(shown.last().text, QStringLiteral("La rubrica è stata modificata: l'elenco è stato ricaricato. Ripeti l'operazione."));
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), after);
    if (yes) {
        QCOMPARE(w.listModel()->rowCount(), AddressBook::splitLines(after).size());
        QCOMPARE(text(&w, "lcont"), QString::number(AddressBook::splitLines(after).size()));
        QCOMPARE(text(&w, "lsel"), QStringLiteral("0"));
        QVERIFY(w.selectedNumber.isEmpty());
    }
}

void TestMainWindow::deleteFromSearchResult()
{
    TestFolder folder;
    QByteArrayList l;
    for (int i = 1; i <= 5; ++i)
        l.append(i == 2 || i == 5 ? contact(i).replace("Milano", "Pavia") : contact(i));
    folder.write(QStringLiteral("data/contact.csv"), lines(l));
    TfrmMain w;
    w.show();
    w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(5);
    w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("PAVIA"));
    button(&w, "Button4")->click();
    QCOMPARE(listedNumbers(w), (QList<int>{2, 5}));
    QCOMPARE(text(&w, "lsear"), QStringLiteral("2"));
    select(w, 1);
    // The Delete key does what "Elimina ..." does.
    QApplication::setActiveWindow(&w);
    w.lista->setFocus();
    Messages::setNextAnswer(QMessageBox::Yes);
    QTest::keyClick(w.lista, Qt::Key_Delete);
    QCOMPARE(Messages::takeShown().size(), 1);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), lines(l.mid(0, 4)));
    QCOMPARE(listedNumbers(w), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(text(&w, "lcont"), QStringLiteral("4"));
}

void TestMainWindow::failedDeleteKeepsList()
{
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(40));
    TfrmMain w;
    w.show();
    select(w, 0);
    Messages::setNextAnswer(QMessageBox::Yes);
    // A full disk, for real: the new file may not grow beyond 1 KiB.
    POSIX_ONLY(NO_FILE_SIZE_LIMIT_ON_WINDOWS);
    const int code = runWithFileSizeLimit(1024, [&] {
        button(&w, "Button3")->click();
        const auto shown = Messages::takeShown();
        if (shown.size() != 2 || shown.last().icon != QMessageBox::Critical
            || !shown.last().text.contains(QStringLiteral("contact.csv")))
            throw std::runtime_error("no error report");
        // Not reloaded: the rows and the chosen contact are still there.
        if (w.listModel()->rowCount() != 40 || w.selectedNumber != QStringLiteral("1") || w.contactLines.size() != 40)
            throw std::runtime_error("list changed");
    });
    QCOMPARE(code, 0);
    QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book(40));
}

void TestMainWindow::copyChosenContacts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<int>>("rows"); // clicked in this order, all but the first with Ctrl
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArrayList>("names"); // the cards' full names
    QTest::newRow("one contact, empty fields left out")
        << lines({line({{0, "Anna"}, {1, "Rossi"}, {10, "02 5"}, {14, "anna@example.org"}})}) << QList<int>{0}
        << "Anna Rossi, 02 5, anna@example.org\n" << QByteArrayList{"Anna Rossi"};
    QTest::newRow("two contacts in list order, stored codes undone")
        << lines({contact(1), line({{0, "Bo"}, {1, "Via&#44; Sud"}, {8, "&#34;1"}}), contact(3)}) << QList<int>{2, 1}
        << "Bo Via, Sud, \"1\nNome3 Cognome3, +39 333 3, nome3@example.org\n"
        << QByteArrayList{"Bo Via\\, Sud", "Nome3 Cognome3"};
}

void TestMainWindow::copyChosenContacts()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<int>, rows);
    QFETCH(QString, text);
    QFETCH(QByteArrayList, names);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), file);
    TfrmMain w;
    w.show();
    for (int k = 0; k < rows.size(); ++k)
        select(w, rows[k], k == 0 ? Qt::NoModifier : Qt::ControlModifier);
    QApplication::clipboard()->clear();
    // "Copia" of the list's menu, chosen as the keyboard chooses it.
    QStringList entries;
    QTimer::singleShot(50, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *a : menu->actions()) {
            if (!a->isSeparator())
                entries.append(a->text());
            if (a->text() == QStringLiteral("Copia"))
                menu->setActiveAction(a);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    const QPoint at = w.lista->visualRect(w.listModel()->index(rows.last(), 1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, w.lista->viewport()->mapToGlobal(at));
    QApplication::sendEvent(w.lista->viewport(), &event);
    QCOMPARE(entries, (QStringList{QStringLiteral("Modifica ..."), QStringLiteral("Elimina ..."), QStringLiteral("Copia")}));
    const QMimeData *copied = QApplication::clipboard()->mimeData();
    QCOMPARE(copied->text(), text);
    const QByteArray cards = copied->data(QStringLiteral("text/vcard"));
    QVERIFY2(cards.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"), cards.constData());
    QCOMPARE(cards.count("BEGIN:VCARD"), names.size());
    for (const QByteArray &name : names)
        QVERIFY(cards.contains("\r\nFN:" + name + "\r\n"));
    QCOMPARE(Messages::takeShown().size(), 0);
}

void TestMainWindow::cardLinks_data()
{
    QTest::addColumn<QByteArray>("contactLine"); // empty: no contact chosen
    QTest::addColumn<QString>("link");
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("e-mail") << line({{14, "anna@example.org"}}) << "lemail" << QStringList{"mailto:anna@example.org"};
    QTest::newRow("empty e-mail") << line({}) << "lemail" << QStringList{};
    QTest::newRow("e-mail, headers left out") << line({{14, "anna@example.org?attach=C:\\x.txt&body=y"}}) << "lemail"
                                              << QStringList{"mailto:anna@example.org"};
    QTest::newRow("mobile with blanks") << line({{8, "+39 333 12 34"}}) << "lcellprivato" << QStringList{"callto://+39 333 12 34"};
    QTest::newRow("work mobile") << line({{9, "+39 347"}}) << "lcelllavoro" << QStringList{"callto://+39 347"};
    QTest::newRow("home, entity kept") << line({{10, "02&#44;1"}}) << "ltelcasa" << QStringList{"callto://02&#44;1"};
    QTest::newRow("office") << line({{11, "+39 02"}}) << "ltelufficio" << QStringList{"callto://+39 02"};
    QTest::newRow("site with scheme") << line({{15, "https://example.org/a"}}) << "lsito" << QStringList{"https://example.org/a"};
    QTest::newRow("site www") << line({{15, "WWW.example.org"}}) << "lsito" << QStringList{"http://WWW.example.org"};
    QTest::newRow("site that is a program") << line({{15, "C:\\Windows\\system32\\calc.exe"}}) << "lsito" << QStringList{};
    QTest::newRow("site with another scheme") << line({{15, "file:///etc/passwd"}}) << "lsito" << QStringList{};
    QTest::newRow("messenger opens the site") << line({{13, "anna.icq"}, {15, "http://example.org"}}) << "listantmessenger"
                                             << QStringList{"http://example.org"};
    QTest::newRow("messenger without site") << line({{13, "anna.icq"}}) << "listantmessenger" << QStringList{};
    QTest::newRow("empty messenger") << line({{15, "http://example.org"}}) << "listantmessenger" << QStringList{};
    QTest::newRow("plain label") << line({{0, "Anna"}}) << "lnome" << QStringList{};
    QTest::newRow("cleared card") << QByteArray() << "lemail" << QStringList{};
}

void TestMainWindow::cardLinks()
{
    QFETCH(QByteArray, contactLine);
    QFETCH(QString, link);
    QFETCH(QStringList, opened);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), lines({line({{14, "x@example.org"}}), contactLine}));
    TfrmMain w;
    w.show();
    if (!contactLine.isEmpty())
        select(w, 1);
    auto *label = w.findChild<QLabel *>(link);
    QTest::mouseClick(label, Qt::RightButton);
    QCOMPARE(takeShellOpened(), QStringList{});
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(takeShellOpened(), opened);
}

void TestMainWindow::helpOpensFileBesideProgram()
{
    TestFolder folder;
    TfrmMain w;
    w.show();
    button(&w, "BitBtn2")->click();
    QCOMPARE(takeShellOpened(), QStringList{QDir::toNativeSeparators(folder.path(QStringLiteral("guida.htm")))});
}

void TestMainWindow::shellOpenTellsWhenNothingOpens_data()
{
    QTest::addColumn<int>("exitCode"); // of the stand-in xdg-open; -1: none on the system
    QTest::addColumn<bool>("slow");
    QTest::addColumn<QString>("message");
#ifdef Q_OS_WIN
    // The Windows shell answers at once, for a file that is not there and for one of a type
    // that no program is registered for.
    QTest::newRow("no such file") << 2 << false << QString();
    QTest::newRow("no program for it") << 3 << false << QString();
    return;
#endif
    const QString text = QStringLiteral("mailto:anna \"rossi\"@example.org");
    QTest::newRow("opened") << 0 << false << QString();
    QTest::newRow("no program for it") << 3 << false << Shell::noProgramMessage(text);
    QTest::newRow("program failed") << 4 << false << Shell::noProgramMessage(text);
    QTest::newRow("no such file") << 2 << false << Shell::missingFileMessage(text);
    QTest::newRow("slow refusal") << 3 << true << Shell::noProgramMessage(text);
    QTest::newRow("no opener installed") << -1 << false << Shell::noProgramMessage(text);
}

void TestMainWindow::shellOpenTellsWhenNothingOpens()
{
    QFETCH(int, exitCode);
    QFETCH(bool, slow);
    QFETCH(QString, message);
    TestFolder folder;
#ifdef Q_OS_WIN
    {
    Q_UNUSED(slow);
    Q_UNUSED(message);
    const QString file = QDir::toNativeSeparators(folder.path(QStringLiteral("lettera di Niccolò.rubrinotipo")));
    if (exitCode == 3)
        folder.write(QStringLiteral("lettera di Niccolò.rubrinotipo"), "x");
    Shell::setRecorder({});
    const auto restore = qScopeGuard([] { installTestSeams(); });
    ShellOpen(file);
    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, exitCode == 2 ? Shell::missingFileMessage(file) : Shell::noProgramMessage(file));
    return;
    }
#endif
    QDir(folder.path()).mkdir(QStringLiteral("bin"));
    const QString script = folder.path(QStringLiteral("bin/xdg-open"));
    if (exitCode >= 0) {
        folder.write(QStringLiteral("bin/xdg-open"), QByteArray("#!/bin/sh\n") + (slow ? "/bin/sleep 0.3\n" : "")
                                                         + "printf '%s|' \"$@\" > \"$0.args\"\nexit "
                                                         + QByteArray::number(exitCode) + '\n');
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", folder.path(QStringLiteral("bin")).toLocal8Bit());
    Shell::setRecorder({});
    const auto restore = qScopeGuard([&] {
        qputenv("PATH", path);
        installTestSeams();
    });
    const QString text = QStringLiteral("mailto:anna \"rossi\"@example.org");
    ShellOpen(text);
    // The window goes on working while the opener runs.
    if (slow)
        QVERIFY(Messages::takeShown().isEmpty());
    QStringList shown;
    auto boxes = [&shown] {
        for (const Messages::Shown &box : Messages::takeShown())
            shown.append(box.title + u'|' + box.text);
        return shown;
    };
    if (message.isEmpty()) {
        QTRY_VERIFY(QFileInfo::exists(script + QStringLiteral(".args")));
        QTest::qWait(200); // time for a message that must not come
    }
    QTRY_COMPARE_WITH_TIMEOUT(boxes(), message.isEmpty() ? QStringList() : QStringList{QStringLiteral("Error|") + message}, 10000);
    // The opener had the text as it was given, as one argument.
    if (exitCode >= 0)
        QCOMPARE(folder.read(QStringLiteral("bin/xdg-open.args")), text.toLocal8Bit() + '|');
}

namespace {

// Opens the window named by `kind` over the main window ("main" is the main window itself),
// active and with the keyboard focus as a user finds it.
QWidget *openActive(TfrmMain &w, const QString &kind, std::unique_ptr<QDialog> &dialog)
{
    if (kind == QStringLiteral("editor"))
        dialog = std::make_unique<TfrmAggiungi>(&w);
    else if (kind == QStringLiteral("import"))
        dialog = std::make_unique<TfrmImporta>(&w);
    else if (kind == QStringLiteral("export"))
        dialog = std::make_unique<TfrmEsporta>(&w);
    QWidget *shown = dialog ? static_cast<QWidget *>(dialog.get()) : &w;
    shown->show();
    QApplication::setActiveWindow(shown);
    if (!QTest::qWaitForWindowActive(shown))
        qWarning("window not active");
    return shown;
}

// Focus walks with Tab (or Shift+Tab) `steps` times from the current focus; the names of
// the controls it reached, in order.
QStringList walk(int steps, Qt::Key key)
{
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), key);
        names.append(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    return names;
}

} // namespace

void TestMainWindow::duplicatesWindow_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("merged"); // the first line of the book after, without its date
    QTest::addColumn<QString>("chosen");    // the contact on the card after the window
    QTest::addColumn<QString>("state");     // what the window says after the action
    // The newest contact's values are proposed where they differ; the name is taken from
    // the older one; a value only one contact has is kept.
    // Another Mario Rossi stays out of the merge: only the two ticked are one person.
    QTest::newRow("merge the ticked")
        << "merge" << QByteArray("Mario,Rossi,Ingegnere,-,-,-,-,-,+39 333 123 4567,-,06 555,-,-,-,mario@y.it,-,-,") << "1"
        << "Gruppi di contatti che sembrano la stessa persona: 1 (2 contatti)";
    QTest::newRow("merge refused, the file changed meanwhile")
        << "changed" << QByteArray() << "" << "Gruppi di contatti che sembrano la stessa persona: 1 (3 contatti)";
    QTest::newRow("delete the ticked") << "delete" << QByteArray() << ""
                                       << "Gruppi di contatti che sembrano la stessa persona: 1 (2 contatti)";
}

void TestMainWindow::duplicatesWindow()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, merged);
    QFETCH(QString, chosen);
    QFETCH(QString, state);
    const QByteArray mario = line({{0, "Mario"}, {1, "Rossi"}, {2, "Ingegnere"}, {8, "333 1234567"}, {14, "mario@x.it"},
                                   {17, "01/01/2020 10:00:00"}});
    const QByteArray zeno = line({{0, "Zeno"}, {1, "Riva"}});
    const QByteArray newer = line({{0, "MARIO"}, {1, "ROSSI"}, {8, "+39 333 123 4567"}, {10, "06 555"},
                                   {14, "mario@y.it"}, {17, "01/06/2024 10:00:00"}});
    const QByteArray ugo = line({{0, "Ugo"}, {1, "Sala"}, {10, "06 555"}}); // a home telephone is no match
    const QByteArray other = line({{0, "Mario"}, {1, "Rossi"}, {12, "02 1111"}, {17, "01/01/2025 10:00:00"}});
    const QByteArray before = lines({mario, zeno, newer, ugo, other});
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), before);
    const QByteArray changed = before + lines({line({{0, "Eva"}, {1, "Neri"}})});
    TfrmMain w;
    w.show();

    qsizetype groups = 0;
    int proposed = -1;
    QString said;
    OnModal doppioni([&](QWidget *modal) {
        auto *d = qobject_cast<TfrmDoppioni *>(modal);
        QVERIFY(d);
        groups = d->groupCount();
        if (action == QStringLiteral("delete")) {
            d->setTicked(0, 1, true);
            Messages::setNextAnswer(QMessageBox::Yes);
            d->Button2->click();
        } else {
            if (action == QStringLiteral("changed"))
                folder.write(QStringLiteral("data/contact.csv"), changed);
            d->setTicked(0, 0, true);
            d->setTicked(0, 1, true);
            OnModal unisci([&](QWidget *m) {
                auto *u = qobject_cast<TfrmUnisci *>(m);
                QVERIFY(u);
                proposed = u->proposed();
                u->choose(TContatto::nome, 0);
                u->choose(TContatto::cognome, 0);
                u->accept();
            });
            d->Button1->click();
            QVERIFY(unisci.ran());
        }
        said = d->lstato->text();
        d->accept();
    });
    button(&w, "Button10")->click();
    QVERIFY(doppioni.ran());
    QCOMPARE(groups, 1);
    QCOMPARE(said, state);
    QCOMPARE(w.selectedNumber, chosen);
    const QByteArray after = folder.read(QStringLiteral("data/contact.csv"));
    const QList<Messages::Shown> shown = Messages::takeShown();
    if (action == QStringLiteral("merge")) {
        QCOMPARE(proposed, 1);
        const QByteArrayList l = AddressBook::splitLines(after);
        QCOMPARE(l.size(), 4);
        QVERIFY2(l[0].startsWith(merged), l[0].constData());
        QVERIFY(DateText::parse(TextCodec::fromAnsi(l[0].mid(merged.size()))).has_value());
        QCOMPARE(after.mid(l[0].size() + 2), lines({zeno, ugo, other}));
        QCOMPARE(w.listModel()->rowCount(), 4);
        QVERIFY(shown.isEmpty());
    } else if (action == QStringLiteral("changed")) {
        QCOMPARE(after, changed);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, BookChanged().message());
        QCOMPARE(w.listModel()->rowCount(), 6);
    } else {
        QCOMPARE(after, lines({mario, zeno, ugo, other}));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].defaultButton, QMessageBox::No);
    }
}

void TestMainWindow::tabOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order"); // from the control with the first focus
    QTest::newRow("main window") << "main"
                                 << QStringList{"cbcerca", "txtsearch", "Button4", "lista", "mnote", "Button1", "Button2",
                                                "Button3", "Button6", "Button9", "Button5", "Button10", "Button11", "BitBtn3", "Button7",
                                                "BitBtn2", "BitBtn1"};
    QTest::newRow("editor") << "editor"
                            << QStringList{"txtnome", "txtcognome", "txtpos", "txtorg", "txtindirizzo", "txtcitta",
                                           "txtcap", "txtnazione", "txtcellprivato", "txtlavoro", "txttelcasa",
                                           "txtteluff", "txtfax", "txtmessenger", "txtmail", "txtweb", "txtnote",
                                           "BitBtn2", "butt"};
    QTest::newRow("export window") << "export" << QStringList{"Button1", "txtfile", "r1", "BitBtn1", "BitBtn2"};
}

void TestMainWindow::tabOrder()
{
    QFETCH(QString, window);
    QFETCH(QStringList, order);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(3));
    TfrmMain w;
    w.show();
    std::unique_ptr<QDialog> dialog;
    openActive(w, window, dialog);
    QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
    QCOMPARE(walk(int(order.size()), Qt::Key_Tab), order.mid(1) + order.mid(0, 1));
    QStringList back = order;
    std::reverse(back.begin(), back.end());
    QCOMPARE(walk(int(order.size()), Qt::Key_Backtab), back);
}

void TestMainWindow::tabLeavesEveryList_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("previous");
    QTest::newRow("main window") << "main" << "mnote" << "Button4";
    QTest::newRow("selection window") << "import" << "BitBtn1" << "BitBtn2";
    QTest::newRow("export window") << "export" << "BitBtn1" << "r2";
}

void TestMainWindow::tabLeavesEveryList()
{
    QFETCH(QString, window);
    QFETCH(QString, next);
    QFETCH(QString, previous);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(5));
    TfrmMain w;
    w.show();
    w.lista->selectAll();
    w.importLines = {contact(11), contact(12), contact(13), contact(14), contact(15)};
    std::unique_ptr<QDialog> dialog;
    QWidget *shown = openActive(w, window, dialog);
    if (auto *r2 = shown->findChild<QAbstractButton *>(QStringLiteral("r2")))
        r2->click();
    auto *list = shown->findChild<ContactListView *>(window == QStringLiteral("import") ? "listim" : "lista");
    list->selectAll();
    QCOMPARE(list->selectedRowCount(), 5);
    for (const auto &[key, expected] : {std::pair{Qt::Key_Tab, next}, std::pair{Qt::Key_Backtab, previous}}) {
        list->setFocus();
        QTest::keyClick(list, key);
        QCOMPARE(QApplication::focusWidget()->objectName(), expected);
        // All rows are still chosen: the export and the import take every one of them.
        QCOMPARE(list->selectedRowCount(), 5);
    }
    if (window != QStringLiteral("export"))
        QCOMPARE(text(shown, "lsel"), QStringLiteral("5"));
}

void TestMainWindow::enterPressesFocusedButton_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::newRow("help, Return") << "main" << "BitBtn2" << int(Qt::Key_Return);
    QTest::newRow("help, keypad Enter") << "main" << "BitBtn2" << int(Qt::Key_Enter);
    QTest::newRow("browse, not the default Esporta") << "export" << "Button1" << int(Qt::Key_Return);
    QTest::newRow("Annulla, not the default Importa") << "import" << "BitBtn2" << int(Qt::Key_Return);
}

void TestMainWindow::enterPressesFocusedButton()
{
    QFETCH(QString, window);
    QFETCH(QString, button);
    QFETCH(int, key);
    TestFolder folder;
    folder.write(QStringLiteral("data/contact.csv"), book(2));
    TfrmMain w;
    w.show();
    w.importLines = {contact(11)};
    std::unique_ptr<QDialog> dialog;
    QWidget *shown = openActive(w, window, dialog);
    if (window == QStringLiteral("export"))
        FileDialogs::setNextSaveFileName(folder.path(QStringLiteral("elenco.htm")));
    auto *pressed = shown->findChild<QPushButton *>(button);
    pressed->setFocus();
    QTest::keyClick(pressed, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    if (window == QStringLiteral("main")) {
        QCOMPARE(takeShellOpened(), QStringList{QDir::toNativeSeparators(folder.path(QStringLiteral("guida.htm")))});
    } else if (window == QStringLiteral("export")) {
        QCOMPARE(shown->findChild<QLineEdit *>(QStringLiteral("txtfile"))->text(),
                 QDir::toNativeSeparators(folder.path(QStringLiteral("elenco.htm"))));
        QVERIFY(dialog->isVisible());
        QVERIFY(Messages::takeShown().isEmpty());
    } else {
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(folder.read(QStringLiteral("data/contact.csv")), book(2));
    }
}

void TestMainWindow::qtTextsInItalian()
{
    TestFolder folder;
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annulla"));
    QLineEdit box;
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    QStringList entries;
    for (const QAction *a : menu->actions())
        entries.append(a->text().remove(u'&').section(u'\t', 0, 0));
    QVERIFY2(entries.contains(QStringLiteral("Seleziona tutto")), qPrintable(entries.join(u'/')));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("fileNameLabel"))->text(), QStringLiteral("&Nome del file:"));
}

void TestMainWindow::openDialogReturnsEveryTypedName()
{
    TestFolder folder;
    folder.write(QStringLiteral("a.vcf"), "BEGIN:VCARD\r\nEND:VCARD\r\n");
    folder.write(QStringLiteral("b.ldif"), "givenName: B\r\n");
    OnModal type([&](QWidget *dialog) {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->setText(QStringLiteral("\"%1\" \"%2\"").arg(folder.path(QStringLiteral("a.vcf")), folder.path(QStringLiteral("b.ldif"))));
        QTest::keyClick(name, Qt::Key_Return);
    });
    const QStringList chosen = FileDialogs::getOpenFileNames(nullptr, {QStringLiteral("Biglietto (*.vcf)")});
    QVERIFY(type.ran());
    QCOMPARE(chosen, (QStringList{folder.path(QStringLiteral("a.vcf")), folder.path(QStringLiteral("b.ldif"))}));
}

void TestMainWindow::listColumnsFitTheirText_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("8 point") << 8;
    QTest::newRow("11 point") << 11;
    QTest::newRow("16 point") << 16;
}

void TestMainWindow::listColumnsFitTheirText()
{
    QFETCH(int, pointSize);
    TestFolder folder;
    // The only contact is line 100000: the empty lines before it are not listed.
    const QByteArray date = TextCodec::toAnsi(DateText::format(QDateTime(QDate(2008, 12, 28), QTime(23, 58, 58))));
    folder.write(QStringLiteral("data/contact.csv"), QByteArray(99999 * 2, '\n').replace("\n\n", "\r\n") + line({{17, date}}));
    TfrmMain w;
    QFont font = w.lista->font();
    font.setPointSize(pointSize);
    w.lista->setFont(font);
    w.show();
    QCOMPARE(w.listModel()->lineNumber(0), 100000);
    // The whole of "100000" and of the date with its time, nothing cut.
    const QAbstractItemView *view = w.lista;
    QVERIFY(w.lista->columnWidth(0) >= view->sizeHintForColumn(0));
    QVERIFY(w.lista->columnWidth(18) >= view->sizeHintForColumn(18));
    // "Indirizzo" was drawn for 30 average characters, and holds them in any font.
    QVERIFY(w.lista->columnWidth(5) >= 30 * QFontMetrics(font).averageCharWidth() - 1);
}

void TestMainWindow::codesAndLongValuesAsTheyRead()
{
    TestFolder folder;
    const QString email = QStringLiteral("niccolo.dellacqua.con.un.indirizzo.molto.lungo@example-lunghissimo.org");
    folder.write(QStringLiteral("data/contact.csv"),
                 lines({line({{0, "&#34;Zio&#34; Tom"}, {3, "Rossi&#44; Bianchi & <b>C</b>"}, {14, email.toLatin1()},
                              {16, "nota&#44; breve"}})}));
    TfrmMain w;
    w.show();
    select(w, 0);
    // A comma and a leading double quote read as themselves; a code elsewhere is text.
    QCOMPARE(w.listModel()->data(w.listModel()->index(0, 1)).toString(), QStringLiteral("\"Zio&#34; Tom"));
    QCOMPARE(w.listModel()->data(w.listModel()->index(0, 4)).toString(), QStringLiteral("Rossi, Bianchi & <b>C</b>"));
    QCOMPARE(text(&w, "lnome"), QStringLiteral("\"Zio&#34; Tom"));
    QCOMPARE(text(&w, "lorganizzazione"), QStringLiteral("Rossi, Bianchi & <b>C</b>"));
    QCOMPARE(w.findChild<QPlainTextEdit *>(QStringLiteral("mnote"))->toPlainText(), QStringLiteral("nota, breve"));
    QTest::mousePress(w.lista->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(w.lista->hint().contains(QStringLiteral("\rOrganizzazione: Rossi, Bianchi & <b>C</b>\r")));
    // The whole value in the hint, after the link's own hint, and as text, never markup.
    auto *mail = w.findChild<QLabel *>(QStringLiteral("lemail"));
    QCOMPARE(mail->text(), email);
    QVERIFY(mail->toolTip().contains(QStringLiteral("Manda una email<br>") + email));
    QVERIFY(w.findChild<QLabel *>(QStringLiteral("lorganizzazione"))->toolTip().contains(QStringLiteral("&amp; &lt;b&gt;C")));
    // The card keeps its width, however long the value.
    QVERIFY(mail->width() < mail->fontMetrics().horizontalAdvance(email));
    // The file keeps the stored text.
    QVERIFY(folder.read(QStringLiteral("data/contact.csv")).startsWith("&#34;Zio&#34; Tom,-,-,Rossi&#44; Bianchi"));
}

QTEST_MAIN(TestMainWindow)
void TestMainWindow::windowsFitTheScreen_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("scrollsWhenSmall"); // its contents do not fit 683 x 384
    QTest::newRow("main window") << "main" << true;
    QTest::newRow("editor") << "editor" << true;
    QTest::newRow("export window") << "export" << false;
    QTest::newRow("reminder") << "reminder" << true;
}

// Run as it comes on the 800 x 600 screen, where every window fits and nothing scrolls, and
// as test_app_scaled at a scale factor of 2 on a 1366 x 768 screen.
void TestMainWindow::windowsFitTheScreen()
{
    QFETCH(QString, window);
    QFETCH(bool, scrollsWhenSmall);
    TestFolder folder;
    TfrmMain w;
    w.show();
    std::unique_ptr<QWidget> other(window == u"editor"   ? static_cast<QWidget *>(new TfrmAggiungi(&w))
                                   : window == u"export" ? static_cast<QWidget *>(new TfrmEsporta(&w))
                                   : window == u"reminder" ? new TfrmPromemoria(&w) : nullptr);
    QWidget *shown = other ? other.get() : &w;
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    const QRect room = shown->screen()->availableGeometry();
    const bool small = room.height() < 500;
    // On the small screen the title bar too; on the other one the main window stands a pixel
    // over its edge, as it always did.
    QVERIFY(small ? room.contains(shown->frameGeometry()) : room.size().expandedTo(shown->size()) == room.size());
    QCOMPARE(room.size().expandedTo(shown->minimumSize()), room.size());
    auto *area = shown->findChild<QScrollArea *>(QStringLiteral("screenFit"));
    // Where it fits nothing scrolls; where it cannot, it scrolls. The export window fits the
    // small screen in this font, but may scroll in a wider one (as Windows' own).
    const bool scrolls = area->horizontalScrollBar()->maximum() > 0 || area->verticalScrollBar()->maximum() > 0;
    QVERIFY(small ? scrolls || !scrollsWhenSmall : !scrolls);
    // Every button is reached by scrolling.
    for (QWidget *child : area->widget()->findChildren<QPushButton *>()) {
        area->ensureWidgetVisible(child);
        QVERIFY(area->viewport()->rect().contains(QRect(child->mapTo(area->viewport(), QPoint()), child->size())));
    }
}

#include "tst_app.moc"

