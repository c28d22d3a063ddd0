#include "DataFolderLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

const QString kLockName = QStringLiteral("rubrino.lock");

// What a lock file says about its holder. QLockFile writes the process number, the
// program's name, the computer's name, the machine's unique id and the boot's id, one a line.
struct Holder
{
    bool readable = false;
    QString host;
    QByteArray machineId;
};

Holder holderOf(const QString &path)
{
    Holder h;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return h;
    const QList<QByteArray> lines = f.read(4096).split('\n');
    bool ok = false;
    const qint64 pid = lines.value(0).toLongLong(&ok);
    if (!ok || pid <= 0 || lines.size() < 3)
        return h;
    h.readable = true;
    h.host = QString::fromUtf8(lines.at(2));
    h.machineId = lines.value(3);
    return h;
}

bool isElsewhere(const Holder &h)
{
    if (!h.host.isEmpty() && h.host != QSysInfo::machineHostName())
        return true;
    // Two computers may well share a name ("debian", "PC"); their machine ids differ.
    const QByteArray ownId = QSysInfo::machineUniqueId();
    return !h.machineId.isEmpty() && !ownId.isEmpty() && h.machineId != ownId;
}

} // namespace

DataFolderLock::DataFolderLock(const QString &dataFolder)
    : m_folder(dataFolder), m_file(dataFolder + u'/' + kLockName)
{
    // Never stale by age: only a lock whose process has gone is taken over.
    m_file.setStaleLockTime(0);
}

DataFolderLock::Result DataFolderLock::acquire()
{
    if (m_file.tryLock(0))
        return Locked;
    if (m_file.error() != QLockFile::LockFailedError)
        return Unavailable;
    const QString path = m_folder + u'/' + kLockName;
    const Holder holder = holderOf(path);
    if (!holder.readable)
        return takeOver() ? Locked : AlreadyOpen;
    if (isElsewhere(holder)) {
        m_otherHost = holder.host;
        m_lockedSince = QFileInfo(path).lastModified();
        return OpenElsewhere;
    }
    // This computer, and its process still runs.
    return AlreadyOpen;
}

bool DataFolderLock::takeOver()
{
    // removeStaleLockFile() refuses a lock that a copy on this computer holds right now,
    // one still writing its lock file included.
    return m_file.removeStaleLockFile() && m_file.tryLock(0);
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
