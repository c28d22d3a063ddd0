#include "AtomicFile.h"

#include "AppError.h"
#include "FileAccess.h"

#include <QFileInfo>

#include <algorithm>

AtomicFile::AtomicFile(const QString &path) : m_file(path)
{
    // Unbuffered, so that a disk that fills up shows in write()'s count: a buffered write
    // reports every byte as written and the final flush can lose the rest unnoticed,
    // putting a cut-off file in place of the old one.
    m_ok = m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void AtomicFile::write(QByteArrayView bytes)
{
    // A write cut short (a disk that fills up) is tried again for the rest: the second try
    // fails outright, and only then does the system say why.
    const char *p = bytes.data();
    qint64 left = bytes.size();
    while (m_ok && left > 0) {
        const qint64 n = m_file.write(p, left);
        m_ok = n > 0;
        p += std::max<qint64>(n, 0);
        left -= std::max<qint64>(n, 0);
    }
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
