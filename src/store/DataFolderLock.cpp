#include "DataFolderLock.h"

#include "FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kLockName = QStringLiteral("rubrino.lock");

// What a lock file says about its holder. QLockFile writes the process number, the
// program's name, the computer's name, the machine's unique id and the boot's id, one a line.
struct Holder
{
    bool opened = false;
    QString openError; // the system's text when it could not be opened
    bool readable = false;
    qint64 pid = 0;
    QString host;
    QByteArray machineId;
};

Holder holderOf(const QString &path)
{
    Holder h;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        h.openError = f.errorString();
        return h;
    }
    h.opened = true;
    const QList<QByteArray> lines = f.read(4096).split('\n');
    bool ok = false;
    h.pid = lines.value(0).toLongLong(&ok);
    if (!ok || h.pid <= 0 || lines.size() < 3)
        return h;
    h.readable = true;
    h.host = QString::fromUtf8(lines.at(2));
    h.machineId = lines.value(3);
    return h;
}

bool isElsewhere(const Holder &h)
{
    // Host names know no case (Windows writes this computer's name in capitals).
    if (!h.host.isEmpty() && h.host.compare(DataFolderLock::thisComputer(), Qt::CaseInsensitive) != 0)
        return true;
    // Two computers may well share a name ("debian", "PC"); their machine ids differ.
    const QByteArray ownId = QSysInfo::machineUniqueId();
    return !h.machineId.isEmpty() && !ownId.isEmpty() && h.machineId != ownId;
}

// True only when no process of that number runs on this computer: a process that runs, or
// one this user may not ask about, may be the holder.
bool processGone(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
#elif defined(Q_OS_UNIX)
    if (pid > 0x7fffffff)
        return true;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

// Whether the lock file can be opened for writing, which QLockFile needs to see whether a
// running copy holds it. Empty when it can or when a running copy has it open (Windows
// refuses a second writer then); otherwise the cause and the system's words.
struct WriteProbe
{
    bool writable = true;
    FileAccess::Cause cause = FileAccess::Cause::Other;
    QString text;
};

WriteProbe probeWriting(const QString &path)
{
    WriteProbe p;
#ifdef Q_OS_WIN
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                                   GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return p;
    }
    const DWORD code = ::GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION)
        return p;
    p.writable = false;
    p.cause = FileAccess::causeOfSystemError(int(code));
    p.text = qt_error_string(int(code));
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return p;
    }
    const int code = errno;
    p.writable = false;
    p.cause = FileAccess::causeOfSystemError(code);
    p.text = qt_error_string(code);
#endif
    return p;
}

} // namespace

DataFolderLock::DataFolderLock(const QString &dataFolder)
    : m_folder(dataFolder), m_file(dataFolder + u'/' + kLockName)
{
    // Never stale by age: only a lock whose process has gone is taken over.
    m_file.setStaleLockTime(0);
}

QString DataFolderLock::thisComputer()
{
#ifdef Q_OS_WIN
    // QLockFile writes the computer's Windows name, which is not the network host name:
    // upper case, and at most 15 characters.
    return qEnvironmentVariable("COMPUTERNAME");
#else
    return QSysInfo::machineHostName();
#endif
}

QString DataFolderLock::lockPath() const
{
    return m_folder + u'/' + kLockName;
}

QString DataFolderLock::shownHostName(const QString &name)
{
    constexpr int kMax = 64;
    QString shown;
    int count = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char32_t c = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()
            ? QChar::surrogateToUcs4(name.at(i), name.at(i + 1))
            : name.at(i).unicode();
        const qsizetype units = c > 0xffff ? 2 : 1;
        const QChar::Category category = QChar::category(c);
        // Controls, direction marks and overrides, line breaks, and the question's own
        // quotes, which would let a name seem to end early.
        const bool hidden = category == QChar::Other_Control || category == QChar::Other_Format
            || category == QChar::Other_Surrogate || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || c == U'«' || c == U'»';
        if (!hidden) {
            if (count == kMax)
                return shown + u'…';
            shown += name.mid(i, units);
            ++count;
        }
        i += units - 1;
    }
    return shown;
}

DataFolderLock::Result DataFolderLock::acquire()
{
    m_obstacle.clear();
    if (m_file.tryLock(0))
        return Locked;
    if (m_file.error() != QLockFile::LockFailedError)
        return Unavailable;
    const QString path = lockPath();
    const QFileInfo entry(path);
    // A link that leads nowhere (or round in a loop) was never made by a lock, and nothing
    // can hold it: it goes, whatever it cannot be opened for.
    if (entry.isSymLink() && !entry.exists()) {
        const Result r = removeAndLock();
        if (r == InTheWay)
            m_obstacle = FileAccess::blocksBook(path, FileAccess::Cause::BrokenLink, true);
        return r;
    }
    if (entry.isDir() || !entry.isFile()) {
        m_obstacle = FileAccess::blocksBook(path, entry.isDir() ? FileAccess::Cause::Folder : FileAccess::Cause::NotRegular, true);
        return InTheWay;
    }
    const Holder holder = holderOf(path);
    if (!holder.opened) {
        // Who holds it cannot be read, so it cannot be proved gone.
        m_obstacle = FileAccess::blocksBook(path, FileAccess::causeOfErrorString(holder.openError), true, holder.openError);
        return InTheWay;
    }
    if (!holder.readable) {
        // Empty or garbled: a crash while it was written. QLockFile removes it unless a
        // running copy holds it.
        if (m_file.removeStaleLockFile() && m_file.tryLock(0))
            return Locked;
        return afterFailedTakeOver(false);
    }
    if (isElsewhere(holder)) {
        m_otherHost = shownHostName(holder.host);
        m_lockedSince = QFileInfo(path).lastModified();
        return OpenElsewhere;
    }
    // This computer: QLockFile found its process running, or could not open the file to
    // remove it.
    return afterFailedTakeOver(processGone(holder.pid));
}

DataFolderLock::Result DataFolderLock::afterFailedTakeOver(bool holderGone)
{
    const QString path = lockPath();
    // Removed after all, and taken by another copy in between, or free now.
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return m_file.tryLock(0) ? Locked : AlreadyOpen;
    const WriteProbe probe = probeWriting(path);
    // QLockFile could look at it, and a running copy holds it.
    if (probe.writable)
        return AlreadyOpen;
    if (holderGone)
        return removeAndLock();
    m_obstacle = FileAccess::blocksBook(path, probe.cause, false, probe.text);
    return InTheWay;
}

DataFolderLock::Result DataFolderLock::removeAndLock()
{
    const QString path = lockPath();
    // Removing a name needs only the folder's permission, not the file's.
    QFile file(path);
    if (!file.remove()) {
        const QString reason = file.errorString();
        m_obstacle = FileAccess::blocksBook(path, FileAccess::causeOfErrorString(reason), false, reason);
        return InTheWay;
    }
    // Another copy may have taken the free name in between.
    return m_file.tryLock(0) ? Locked : AlreadyOpen;
}

DataFolderLock::Result DataFolderLock::takeOver()
{
    m_obstacle.clear();
    // removeStaleLockFile() refuses a lock that a copy on this computer holds right now,
    // one still writing its lock file included.
    if (m_file.removeStaleLockFile() && m_file.tryLock(0))
        return Locked;
    // Not removed: a copy here holds it, or it cannot be opened; the user has said that the
    // other computer's copy is gone.
    return afterFailedTakeOver(true);
}

int DataFolderLock::removeLeftoverSaves(const QStringList &fileNames) const
{
    if (!m_file.isLocked())
        return 0;
    QStringList names;
    for (const QString &name : fileNames)
        names.append(QRegularExpression::escape(name));
    const QRegularExpression leftover(QStringLiteral("^(%1)\\.[A-Za-z0-9]{6}$").arg(names.join(u'|')));
    int removed = 0;
    const QFileInfoList entries = QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        // Only plain files the program's saves make: a link or a folder of that name is not one.
        if (!entry.isFile() || entry.isSymLink() || !leftover.match(entry.fileName()).hasMatch())
            continue;
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}
