// Times one operation of the program through its real code and prints one table row:
//   | operation | N | median wall time | peak resident memory |
//
//   rubrino_bench OPERATION GENERATED_FOLDER [RUNS]
//
// GENERATED_FOLDER is what rubrino_generate wrote. Each operation runs in a program folder of
// its own (a temporary folder holding data/contact.csv), with message boxes answered Yes.
// The hostile-* operations make their own file there: hostile-vcard (a 50 MB line of ";"),
// hostile-vcard-note (the same as a note's value), hostile-old-short-lines (another
// installation's contact.csv of 100 MB of one-letter lines).

#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/BookVersions.h"
#include "store/ContactListModel.h"
#include "app/ContactListView.h"
#include "editor/frmAggiungiUnit.h"
#include "import/frmImportaUnit.h"
#include "export/ExportFormats.h"
#include "export/frmEsportaUnit.h"
#include "app/FileDialogs.h"
#include "store/DateText.h"
#include "store/Duplicates.h"
#include "vcard/Msvcard.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace {

struct Bench
{
    QString generated;
    QTemporaryDir dir;
    int contacts = 0;

    // A fresh copy of the generated book, for the operations that change it.
    void resetBook()
    {
        QFile::remove(dir.path() + QStringLiteral("/data/contact.csv"));
        QFile::copy(generated + QStringLiteral("/contact.csv"), dir.path() + QStringLiteral("/data/contact.csv"));
    }
    // A fresh copy of the book shown in a new main window; the old window goes first, so
    // that two books are never held at once.
    void freshWindow(std::unique_ptr<TfrmMain> &w)
    {
        w.reset();
        resetBook();
        // The book a save replaces was put on the disk by the save before it; the copy just
        // made must be too, or writing it out would be charged to the step.
        ::sync();
        w = std::make_unique<TfrmMain>();
        w->Reload();
    }
    // The generated book itself, for the operations that only read it.
    void linkBook()
    {
        QFile::remove(dir.path() + QStringLiteral("/data/contact.csv"));
        QFile::link(QFileInfo(generated + QStringLiteral("/contact.csv")).absoluteFilePath(),
                    dir.path() + QStringLiteral("/data/contact.csv"));
    }
};

// Counts the lines of a file without holding it, so that the count does not weigh on the
// peak memory reported.
int countLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    int n = 0;
    for (QByteArray piece; !(piece = f.read(4 << 20)).isEmpty();)
        n += int(piece.count('\n'));
    return n;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs `prepare` untimed and `step` timed, `runs` times.
double timeRuns(int runs, const std::function<void()> &prepare, const std::function<void()> &step)
{
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        prepare();
        QElapsedTimer t;
        t.start();
        step();
        seconds.push_back(t.nsecsElapsed() / 1e9);
    }
    return median(seconds);
}

// The process's resident memory now, and the most it held since resetPeak(), in MiB (Linux).
double statusMiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(strlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: rubrino_bench OPERATION GENERATED_FOLDER [RUNS]\n");
        return 2;
    }
    QString op = QString::fromLocal8Bit(argv[1]);
    Bench b;
    b.generated = QString::fromLocal8Bit(argv[2]);
    const int runs = argc > 3 ? QByteArray(argv[3]).toInt() : 5;
    QDir(b.dir.path()).mkdir(QStringLiteral("data"));
    AddressBook::setProgramFolder(b.dir.path());
    Messages::setTestMode(true);
    b.linkBook();
    // "delete10-noversion", "add-noversion": the same with no version kept (a file where the
    // folder of the versions goes, and the save made all the same), to weigh what keeping
    // one costs.
    const bool noVersion = op.endsWith(u"-noversion");
    if (noVersion) {
        op.chop(10);
        QFile versions(b.dir.path() + QStringLiteral("/data/versioni"));
        versions.open(QIODevice::WriteOnly);
    }
    auto answerVersionQuestion = [&] {
        if (noVersion)
            Messages::setNextAnswer(QMessageBox::Yes);
    };

    double seconds = -1;
    if (op == u"reload") {
        TfrmMain w;
        seconds = timeRuns(runs, [] {}, [&] { w.Reload(); });
        b.contacts = w.listModel()->rowCount();
    } else if (op == u"duplicates") {
        // The whole book grouped into likely duplicates, as "Doppioni ..." does once the book is
        // loaded; also the memory the grouping takes beyond the loaded book, against the file.
        const BookLines book = BookLines::read(AddressBook::contactFile());
        b.contacts = int(book.nonEmptyLines().count());
        double extra = 0;
        qsizetype groups = 0;
        // The processor time too: on a machine shared with other work the wall time says
        // more of the others than of the grouping.
        std::vector<double> cpu;
        seconds = timeRuns(runs, [] { resetPeak(); }, [&] {
            const double before = statusMiB("VmRSS:");
            timespec t0{}, t1{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
            const Duplicates::Result r = Duplicates::find(book);
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
            cpu.push_back(double(t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9);
            extra = std::max(extra, statusMiB("VmHWM:") - before);
            groups = r.groupCount();
        });
        const double file = QFileInfo(AddressBook::contactFile()).size() / 1048576.0;
        std::printf("| duplicates: processor time, extra memory | %d | %.3f s, %.0f MiB = %.2f x the file (%.0f MiB), "
                    "%lld groups | |\n",
                    b.contacts, median(cpu), extra, extra / file, file, static_cast<long long>(groups));
    } else if (op == u"search") {
        TfrmMain w;
        w.FormShow();
        w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(1);
        w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("Benedetti"));
        seconds = timeRuns(runs, [] {}, [&] { w.Button4Click(); });
        std::fprintf(stderr, "search found %d rows\n", w.listModel()->rowCount());
    } else if (op == u"sort" || op == u"sort-note" || op == u"sort-date") {
        // A click on "Cognome" ("Note", whose values begin alike for their first twenty
        // letters, or "Data inserimento") with the whole book listed in file order and one
        // contact chosen: the rows sorted, the choice found again, the view ready.
        TfrmMain w;
        w.Reload();
        const int column = op == u"sort" ? 2 : (op == u"sort-note" ? 17 : 18);
        seconds = timeRuns(runs,
                           [&] {
                               w.sortList(-1, Qt::AscendingOrder);
                               w.lista->selectRow(w.listModel()->rowCount() / 2);
                           },
                           [&] { w.listaColumnClick(column); });
        b.contacts = w.listModel()->rowCount();
    } else if (op == u"load-search") {
        // What a terminal address book does for one query: load the book, search it once.
        seconds = timeRuns(1, [] {}, [&] {
            TfrmMain w;
            w.Reload();
            w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->addItems(contactColumnCaptions().mid(1));
            w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(1);
            w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("Benedetti"));
            w.Button4Click();
            b.contacts = int(w.contactLines.size());
        });
    } else if (op == u"start") {
        b.contacts = countLines(AddressBook::contactFile());
        seconds = timeRuns(runs, [] {}, [&] {
            TfrmMain w;
            w.show();
            while (w.listModel()->rowCount() < b.contacts)
                QApplication::processEvents();
            QApplication::processEvents();
        });
    } else if (op == u"delete10") {
        b.contacts = countLines(AddressBook::contactFile());
        std::unique_ptr<TfrmMain> w;
        seconds = timeRuns(runs,
                           [&] {
                               b.freshWindow(w);
                               // Select all, then keep every tenth row selected.
                               QItemSelectionModel *sel = w->lista->selectionModel();
                               QItemSelection pick;
                               ContactListModel *m = w->listModel();
                               for (int r = 0; r < m->rowCount(); r += 10)
                                   pick.select(m->index(r, 0), m->index(r, m->columnCount() - 1));
                               sel->select(pick, QItemSelectionModel::ClearAndSelect);
                               w->listaSelectItem(0);
                           },
                           [&] {
                               Messages::setNextAnswer(QMessageBox::Yes);
                               answerVersionQuestion();
                               w->Button3Click();
                           });
    } else if (op == u"add") {
        // The editor's save path with the main window showing the book, as a user adds a
        // contact: the new book written, and the reload that follows every add.
        b.contacts = countLines(AddressBook::contactFile());
        std::unique_ptr<TfrmMain> w;
        seconds = timeRuns(runs, [&] { b.freshWindow(w); }, [&] {
            TfrmAggiungi editor(w.get());
            editor.findChild<QLineEdit *>(QStringLiteral("txtnome"))->setText(QStringLiteral("Zoë"));
            editor.findChild<QLineEdit *>(QStringLiteral("txtcognome"))->setText(QStringLiteral("Nuovo"));
            answerVersionQuestion();
            editor.buttClick();
            w->Reload();
        });
    } else if (op == u"keep-version") {
        // What a save adds to keep the book it replaces: the hard link made before, and after
        // it the stamp of what was written and the look for versions beyond the limits.
        b.resetBook();
        ::sync();
        seconds = timeRuns(runs, [] {}, [&] {
            BookVersions::Keeping version(AddressBook::contactFile());
            version.saved();
        });
    } else if (op == u"compare-version") {
        // One row of the versions window: a version read and compared with the book now
        // (the book's own numbers made once, untimed, as the window makes them once).
        const QByteArray book = AddressBook::readFile(AddressBook::contactFile());
        const BookVersions::Comparison now(book);
        BookVersions::Difference d;
        seconds = timeRuns(runs, [] {}, [&] { d = now.with(AddressBook::readFile(AddressBook::contactFile())); });
        b.contacts = int(d.contacts);
    } else if (op == u"import-ldif" || op == u"import-vcard") {
        // The importer fills the candidates, then the selection window opens showing them.
        const bool ldif = op == u"import-ldif";
        const QString file = b.generated + (ldif ? QStringLiteral("/book.ldif") : QStringLiteral("/book.vcf"));
        TfrmMain w;
        seconds = timeRuns(runs, [] {}, [&] {
            if (ldif)
                w.ImportLdif(file);
            else
                w.ImportVCard(file);
            TfrmImporta window(&w);
            window.show();
            QApplication::processEvents();
        });
        b.contacts = int(w.importLines.size());
    } else if (op == u"hostile-vcard" || op == u"hostile-vcard-note" || op == u"hostile-old-short-lines") {
        // Hostile files made here, never kept: a card holding a line of 50 MB of ";" (bare, or
        // as a note's value), and an address book of another installation made of 100 MB of
        // one-letter lines. Each is imported and its selection window opened, as the import
        // command does. N is the file's size in MB.
        const bool old = op == u"hostile-old-short-lines";
        const QString file = b.dir.path() + (old ? QStringLiteral("/old/contact.csv") : QStringLiteral("/hostile.vcf"));
        QDir(b.dir.path()).mkdir(QStringLiteral("old"));
        {
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly))
                return 1;
            if (old) {
                const QByteArray lines = QByteArray("a\r\n").repeated(1 << 20);
                while (f.size() < 100 * 1000 * 1000)
                    f.write(lines);
            } else {
                f.write(op == u"hostile-vcard" ? "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Rossi;Anna\r\n"
                                               : "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Rossi;Anna\r\nNOTE:");
                f.write(QByteArray(50 * 1000 * 1000, ';'));
                f.write("\r\nEND:VCARD\r\n");
            }
            b.contacts = int(f.size() / 1000000);
        }
        TfrmMain w;
        seconds = timeRuns(runs, [] {}, [&] {
            if (old)
                w.ImportOLDRBN(file);
            else
                w.ImportVCard(file);
            TfrmImporta window(&w);
            window.show();
            QApplication::processEvents();
        });
        Messages::takeShown();
    } else if (op == u"export-html" || op == u"export-ldif" || op == u"export-phonebook") {
        // The whole address book through the export window's own "Esporta": the book read and
        // streamed into the file, with the progress window when that takes long.
        const bool phoneBook = op == u"export-phonebook";
        const QString target = b.dir.path() + QStringLiteral("/out.") + (phoneBook ? QStringLiteral("vcf") : op.mid(7));
        TfrmMain w;
        seconds = timeRuns(runs, [] {}, [&] {
            TfrmEsporta window(&w);
            FileDialogs::setNextSaveFileName(
                target, phoneBook ? QStringLiteral("Rubrica per telefoni (vCard 3.0, un solo file) (*.vcf)") : QString());
            window.Button1Click();
            window.BitBtn1Click();
        });
        Messages::takeShown();
    } else if (op == u"export-vcard" || op == u"export-vcard-new") {
        // One card file per contact for the first 10,000 contacts: export-vcard writes into the
        // same folder every run, so from the second run on it replaces 10,000 cards, as a
        // second export to the same name does; export-vcard-new writes into a new folder.
        TmsVCard card;
        QByteArrayList lines = AddressBook::readLines(AddressBook::contactFile());
        lines = lines.mid(0, 10000);
        b.contacts = int(lines.size());
        const bool replace = op == u"export-vcard";
        int run = 0;
        QString folder;
        seconds = timeRuns(runs,
                           [&] {
                               folder = b.dir.path() + QStringLiteral("/RBN_out")
                                   + (replace ? QString() : QString::number(++run)) + u'/';
                               QDir().mkdir(folder);
                               // The export ends with one flush of the whole file system, so
                               // whatever an earlier run or process left unwritten (or freed, on a
                               // disk mounted with discard) would be charged to this run.
                               ::sync();
                           },
                           [&] { ExportFormats::writeCards(card, lines, folder); });
    } else {
        std::fprintf(stderr, "unknown operation %s\n", argv[1]);
        return 2;
    }
    if (b.contacts == 0)
        b.contacts = int(AddressBook::readLines(AddressBook::contactFile()).size());
    std::printf("| %s | %d | %.3f s | %.0f MiB |\n", argv[1], b.contacts, seconds, peakMiB());
    return 0;
}
