#include "DataFolderLock.h"

DataFolderLock::DataFolderLock(const QString &dataFolder) : m_file(dataFolder + QStringLiteral("/rubrino.lock"))
{
    // Never stale by age: only a lock whose process has gone is taken over.
    m_file.setStaleLockTime(0);
}

DataFolderLock::Result DataFolderLock::acquire()
{
    if (m_file.tryLock(0))
        return Locked;
    return m_file.error() == QLockFile::LockFailedError ? AlreadyOpen : Unavailable;
}
