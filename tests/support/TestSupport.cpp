#include "TestSupport.h"

#include "app/Desktop.h"
#include "app/Messages.h"
#include "app/ShellOpen.h"
#include "app/frmAvanzamentoUnit.h"
#include "store/AddressBook.h"
#include "store/AppError.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {
QStringList &shellLog()
{
    static QStringList log;
    return log;
}
} // namespace

void installTestSeams()
{
    // The windows under test speak and answer the keyboard as in the program.
    Desktop::setUp();
    Messages::setTestMode(true);
    Shell::setRecorder([](const QString &text) { shellLog().append(text); });
}

QStringList takeShellOpened()
{
    return std::exchange(shellLog(), {});
}

ProgressWindowSeam::ProgressWindowSeam(int stopAt, std::function<void(TfrmAvanzamento &)> look)
{
    if (stopAt > 0)
        TfrmAvanzamento::setShowAfter(0);
    TfrmAvanzamento::setOnReport([this, stopAt, look = std::move(look)](TfrmAvanzamento &window) {
        shown = shown || window.isVisible();
        if (++reports != stopAt)
            return;
        look(window);
        window.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    });
}

ProgressWindowSeam::~ProgressWindowSeam()
{
    TfrmAvanzamento::setShowAfter(500);
    TfrmAvanzamento::setOnReport({});
}

TestFolder::TestFolder()
{
    installTestSeams();
    QDir(m_dir.path()).mkdir(QStringLiteral("data"));
    AddressBook::setProgramFolder(m_dir.path());
    Messages::takeShown();
    takeShellOpened();
}

TestFolder::~TestFolder()
{
    AddressBook::setProgramFolder(QString());
}

QString TestFolder::path(const QString &relative) const
{
    return m_dir.path() + u'/' + relative;
}

QString TestFolder::contactFile() const
{
    return path(QStringLiteral("data/contact.csv"));
}

void TestFolder::write(const QString &relative, const QByteArray &bytes) const
{
    QFile f(path(relative));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write test file");
}

QByteArray TestFolder::read(const QString &relative) const
{
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

#ifdef Q_OS_WIN
// The tests that need these skip on Windows first (POSIX_ONLY): reaching them is a fault.
int runWithFileSizeLimit(qint64, const std::function<void()> &)
{
    qFatal("runWithFileSizeLimit: " NO_FILE_SIZE_LIMIT_ON_WINDOWS);
}

int runWithMemoryLimit(qint64, const std::function<void()> &)
{
    qFatal("runWithMemoryLimit: " NO_MEMORY_LIMIT_ON_WINDOWS);
}

int runAsPlainUser(const std::function<void()> &)
{
    qFatal("runAsPlainUser: " NO_OTHER_USER_ON_WINDOWS);
}
#else
namespace {
// Runs `fn` in a child process after `limit` has set its bounds; see runWithFileSizeLimit.
int runInChild(const std::function<void()> &limit, const std::function<void()> &fn)
{
    const pid_t pid = fork();
    if (pid == 0) {
        limit();
        int code = 0;
        try {
            fn();
        } catch (const AppError &) {
            code = 1;
        } catch (...) {
            code = 2;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
} // namespace

int runWithFileSizeLimit(qint64 maxFileSize, const std::function<void()> &fn)
{
    return runInChild(
        [maxFileSize] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{rlim_t(maxFileSize), rlim_t(maxFileSize)};
            setrlimit(RLIMIT_FSIZE, &limit);
        },
        fn);
}

int runAsPlainUser(const std::function<void()> &fn)
{
    return runInChild(
        [] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(3);
        },
        fn);
}

int runWithMemoryLimit(qint64 extraBytes, const std::function<void()> &fn)
{
    return runInChild(
        [extraBytes] {
            // The address space in use now ("VmSize:  123456 kB"), and a little more.
            QFile status(QStringLiteral("/proc/self/status"));
            qint64 used = 0;
            if (status.open(QIODevice::ReadOnly)) {
                for (const QByteArray &line : status.readAll().split('\n')) {
                    if (line.startsWith("VmSize:"))
                        used = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
                }
            }
            rlimit limit{rlim_t(used + extraBytes), rlim_t(used + extraBytes)};
            setrlimit(RLIMIT_AS, &limit);
        },
        fn);
}
#endif
