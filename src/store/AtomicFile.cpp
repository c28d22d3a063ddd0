#include "AtomicFile.h"

#include "AppError.h"
#include "FileAccess.h"

#include <QFileInfo>

AtomicFile::AtomicFile(const QString &path) : m_file(path)
{
    // Unbuffered, so that a disk that fills up shows in write()'s count: a buffered write
    // reports every byte as written and the final flush can lose the rest unnoticed,
    // putting a cut-off file in place of the old one.
    m_ok = m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void AtomicFile::write(QByteArrayView bytes)
{
    if (m_ok && !bytes.isEmpty())
        m_ok = m_file.write(bytes.data(), bytes.size()) == bytes.size();
}

void AtomicFile::commit()
{
    if (m_ok)
        m_ok = m_file.commit();
    if (!m_ok) {
        const QString reason = m_file.errorString();
        m_file.cancelWriting();
        const QString path = m_file.fileName();
        const QFileInfo target(path);
        FileAccess::Cause cause = FileAccess::causeOfErrorString(reason);
        if (target.isDir())
            cause = FileAccess::Cause::Folder;
        else if (cause == FileAccess::Cause::Other && target.exists() && !target.isWritable())
            cause = FileAccess::Cause::NoPermission;
        throw AppError(FileAccess::writeError(path, cause, reason));
    }
}
