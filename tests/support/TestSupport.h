#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>

// A program folder of its own for one test: a temporary folder with data/ inside, set as
// the program's folder; message boxes are answered by the test, the shell is recorded.
class TestFolder
{
public:
    TestFolder();
    ~TestFolder();

    QString path(const QString &relative = QString()) const;
    QString contactFile() const;
    void write(const QString &relative, const QByteArray &bytes) const;
    QByteArray read(const QString &relative) const;

private:
    QTemporaryDir m_dir;
};

// Everything the shell was asked to open since the last call.
QStringList takeShellOpened();

// What the Windows suite cannot test, and why, said once here; a test that needs it skips,
// by name and with the reason, on Windows only.
#define NO_FILE_SIZE_LIMIT_ON_WINDOWS \
    "Linux only: Windows has no per-process limit on file size, and Wine no small disk to fill; the full-disk cases run in the Linux suite"
#define NO_MEMORY_LIMIT_ON_WINDOWS \
    "Linux only: a child process under an address-space limit needs fork and setrlimit, which Windows lacks"
#define NO_OTHER_USER_ON_WINDOWS \
    "Linux only: the lock cases need a child process of another user and POSIX permission bits"
#define NO_SECOND_DISK_ON_WINDOWS \
    "Linux only: a folder on another file system needs a folder link to /dev/shm; Windows has no such disk, Qt makes only shortcuts there and Wine no junctions"
#define NO_FIFO_ON_WINDOWS "Linux only: Windows has no named pipes or devices in the file system"
#ifdef Q_OS_WIN
#define POSIX_ONLY(reason) QSKIP(reason)
#else
#define POSIX_ONLY(reason) ((void)0)
#endif

// Runs `fn` in a child process whose files may grow to at most `maxFileSize` bytes (a full
// disk, for real). Returns the child's exit code: 0 when fn returned normally, 1 when it
// threw AppError, 2 for anything else.
int runWithFileSizeLimit(qint64 maxFileSize, const std::function<void()> &fn);
// The same in a child that may take at most `extraBytes` of memory beyond what it holds.
int runWithMemoryLimit(qint64 extraBytes, const std::function<void()> &fn);

// The same in a child that runs as a user without special rights ("nobody" when the tests
// run as root), so that files the test made unreadable stay unreadable to it.
int runAsPlainUser(const std::function<void()> &fn);

class TfrmAvanzamento;

// Drives the progress window of the imports and exports for one test. With `stopAt` > 0 the
// window comes up at the first report of the work and its "Annulla" is pressed at report
// `stopAt`, after `look` has seen the window; with 0 it keeps the program's half second.
class ProgressWindowSeam
{
public:
    ProgressWindowSeam(int stopAt, std::function<void(TfrmAvanzamento &)> look);
    ~ProgressWindowSeam();
    ProgressWindowSeam(const ProgressWindowSeam &) = delete;
    ProgressWindowSeam &operator=(const ProgressWindowSeam &) = delete;

    int reports = 0;    // reports of the work, shown or not
    bool shown = false; // whether the window came up at any of them
};

// Installs the test seams: message boxes answered from a queue, the shell recorded.
void installTestSeams();
