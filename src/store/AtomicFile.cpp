#include "AtomicFile.h"

#include "AppError.h"
#include "FileAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace {

// The error of a file that could not be written, with its cause in plain words.
QString writeError(const QString &path, const QString &reason)
{
    const QFileInfo target(path);
    FileAccess::Cause cause = FileAccess::causeOfErrorString(reason);
    if (target.isDir())
        cause = FileAccess::Cause::Folder;
    else if (cause == FileAccess::Cause::Other && target.exists() && !target.isWritable())
        cause = FileAccess::Cause::NoPermission;
    return FileAccess::writeError(path, cause, reason);
}

// Once this much is written, the disk is asked to start storing it: a large file then
// reaches the disk while the rest is still being made, and the final flush has little
// left to wait for.
constexpr qint64 kWritebackStep = 8 << 20;

} // namespace

void AtomicFile::checkReplaceable(const QString &path)
{
    // Putting the new file in place would succeed all the same (the folder decides that), and
    // the file would come out writable: the user's protection would be lost.
    if (FileAccess::isReadOnlyFile(path))
        throw AppError(FileAccess::writeError(path, FileAccess::Cause::ReadOnlyFile));
}

AtomicFile::AtomicFile(const QString &path, Durability durability) : m_file(path)
{
    checkReplaceable(path);
#ifdef Q_OS_LINUX
    // Only Linux can flush a whole file system at once (syncfs); elsewhere every file is
    // flushed by its own commit, as with Durability::Now.
    m_later = durability == Durability::Later;
#else
    Q_UNUSED(durability);
#endif
    if (m_later) {
        openTemporary();
        return;
    }
    // Unbuffered, so that a disk that fills up shows in write()'s count: a buffered write
    // reports every byte as written and the final flush can lose the rest unnoticed,
    // putting a cut-off file in place of the old one.
    m_ok = m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

AtomicFile::~AtomicFile()
{
    // A file never committed leaves nothing behind (QSaveFile discards its own).
    if (m_created && !m_committed)
        m_temporary.remove();
}

void AtomicFile::openTemporary()
{
    // The target's name, a dot and six random letters, created only if no such file exists.
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QString target = m_file.fileName();
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = target + u'.';
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        m_temporary.setFileName(name);
        if (m_temporary.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
#ifdef Q_OS_LINUX
            // A replaced file keeps who may read it. One stat, where QFile::permissions()
            // would ask three more questions of the file system, for each of thousands of cards.
            struct stat old;
            if (::stat(QFile::encodeName(target).constData(), &old) == 0)
                ::fchmod(m_temporary.handle(), old.st_mode & 07777);
#endif
            m_ok = m_created = true;
            return;
        }
        if (!QFileInfo::exists(name))
            break;
    }
    m_ok = false;
}

void AtomicFile::write(QByteArrayView bytes)
{
    if (!m_ok || bytes.isEmpty())
        return;
    QFileDevice &file = m_later ? static_cast<QFileDevice &>(m_temporary) : m_file;
    // A write cut short (a disk that fills up) is tried again for the rest: the second try
    // fails outright, and only then does the system say why.
    const char *p = bytes.data();
    qint64 left = bytes.size();
    while (m_ok && left > 0) {
        const qint64 n = file.write(p, left);
        m_ok = n > 0;
        p += std::max<qint64>(n, 0);
        left -= std::max<qint64>(n, 0);
    }
    m_written += bytes.size() - left;
    if (m_ok && m_written - m_flushedUpTo >= kWritebackStep)
        startWriteback(m_written);
}

void AtomicFile::startWriteback(qint64 upTo)
{
#ifdef Q_OS_LINUX
    const int fd = m_later ? m_temporary.handle() : m_file.handle();
    if (fd >= 0)
        ::sync_file_range(fd, m_flushedUpTo, upTo - m_flushedUpTo, SYNC_FILE_RANGE_WRITE);
#endif
    m_flushedUpTo = upTo;
}

void AtomicFile::commit()
{
    if (m_later)
        return commitTemporary();
    if (m_ok)
        m_ok = m_file.commit();
    if (!m_ok) {
        const QString reason = m_file.errorString();
        m_file.cancelWriting();
        throw AppError(writeError(m_file.fileName(), reason));
    }
    m_committed = true;
}

void AtomicFile::commitTemporary()
{
    const QString target = m_file.fileName();
    QString reason;
    if (m_ok) {
        m_temporary.close();
        m_ok = m_temporary.error() == QFileDevice::NoError;
    }
#ifdef Q_OS_LINUX
    // rename() replaces the target in one step, as the commit of QSaveFile does.
    if (m_ok && ::rename(QFile::encodeName(m_temporary.fileName()).constData(),
                         QFile::encodeName(target).constData()) != 0) {
        reason = qt_error_string(errno);
        m_ok = false;
    }
#endif
    if (!m_ok) {
        if (reason.isEmpty())
            reason = m_temporary.errorString();
        if (m_created)
            m_temporary.remove();
        m_created = false;
        throw AppError(writeError(target, reason));
    }
    m_committed = true;
}

void AtomicFile::syncFolder(const QString &folder)
{
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok) {
        throw AppError(QCoreApplication::translate("AddressBook", "Impossibile scrivere nella cartella \"%1\": %2")
                           .arg(QDir::toNativeSeparators(folder), qt_error_string(error)));
    }
#else
    Q_UNUSED(folder); // every file was flushed by its own commit
#endif
}
