#pragma once

#include <QLockFile>
#include <QString>

// One program per data folder: two copies on the same address book would overwrite each
// other's changes. The lock is a file in data/; a lock left by a crashed copy (its process
// is gone) does not block the next start.
class DataFolderLock
{
public:
    enum Result { Locked, AlreadyOpen, Unavailable };

    explicit DataFolderLock(const QString &dataFolder);
    // Unavailable: the lock file cannot be made (a read-only folder, say); the program
    // then runs without it rather than refusing to start.
    Result acquire();

private:
    QLockFile m_file;
};
