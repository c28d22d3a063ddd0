// Times one operation of the program through its real code and prints one table row:
//   | operation | N | median wall time | peak resident memory |
//
//   rubrino_bench OPERATION GENERATED_FOLDER [RUNS]
//
// GENERATED_FOLDER is what rubrino_generate wrote. Each operation runs in a program folder of
// its own (a temporary folder holding data/contact.csv), with message boxes answered Yes.

#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "app/ContactListView.h"
#include "editor/frmAggiungiUnit.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

struct Bench
{
    QString generated;
    QTemporaryDir dir;
    int contacts = 0;

    void resetBook()
    {
        QFile::remove(dir.path() + QStringLiteral("/data/contact.csv"));
        QFile::copy(generated + QStringLiteral("/contact.csv"), dir.path() + QStringLiteral("/data/contact.csv"));
    }
};

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
    const QString op = QString::fromLocal8Bit(argv[1]);
    Bench b;
    b.generated = QString::fromLocal8Bit(argv[2]);
    const int runs = argc > 3 ? QByteArray(argv[3]).toInt() : 5;
    QDir(b.dir.path()).mkdir(QStringLiteral("data"));
    AddressBook::setProgramFolder(b.dir.path());
    Messages::setTestMode(true);
    b.resetBook();
    b.contacts = int(AddressBook::readLines(AddressBook::contactFile()).size());

    double seconds = -1;
    if (op == u"reload") {
        TfrmMain w;
        seconds = timeRuns(runs, [] {}, [&] { w.Reload(); });
    } else if (op == u"search") {
        TfrmMain w;
        w.FormShow();
        w.findChild<QComboBox *>(QStringLiteral("cbcerca"))->setCurrentIndex(1);
        w.findChild<QLineEdit *>(QStringLiteral("txtsearch"))->setText(QStringLiteral("Benedetti"));
        seconds = timeRuns(runs, [] {}, [&] { w.Button4Click(); });
        std::fprintf(stderr, "search found %d rows\n", w.listModel()->rowCount());
    } else if (op == u"start") {
        seconds = timeRuns(runs, [] {}, [&] {
            TfrmMain w;
            w.show();
            while (w.listModel()->rowCount() < b.contacts)
                QApplication::processEvents();
            QApplication::processEvents();
        });
    } else if (op == u"delete10") {
        std::unique_ptr<TfrmMain> w;
        seconds = timeRuns(runs,
                           [&] {
                               w.reset();
                               b.resetBook();
                               w = std::make_unique<TfrmMain>();
                               w->Reload();
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
                               w->Button3Click();
                           });
    } else if (op == u"add") {
        // The editor's save path: read the file, append, save atomically, and the reload
        // that follows every add.
        TfrmMain w;
        w.Reload();
        seconds = timeRuns(runs, [&] { b.resetBook(); }, [&] {
            TfrmAggiungi editor(&w);
            editor.findChild<QLineEdit *>(QStringLiteral("txtnome"))->setText(QStringLiteral("Zoë"));
            editor.findChild<QLineEdit *>(QStringLiteral("txtcognome"))->setText(QStringLiteral("Nuovo"));
            editor.buttClick();
            w.Reload();
        });
    } else {
        std::fprintf(stderr, "unknown operation %s\n", argv[1]);
        return 2;
    }
    std::printf("| %s | %d | %.3f s | %.0f MiB |\n", argv[1], b.contacts, seconds, peakMiB());
    return 0;
}
