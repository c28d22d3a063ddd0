#pragma once

#include <QDateTime>
#include <QLockFile>
#include <QString>
#include <QStringList>

// One program per data folder: two copies on the same address book would overwrite each
// other's changes. The lock is a file in data/; a lock left by a crashed copy (its process
// is gone) does not block the next start, nor does a lock file that is empty or unreadable
// (a crash while it was written). The folder travels on a USB stick, so a lock may also come
// from another computer, where this one cannot tell whether the program still runs: the
// user decides (takeOver()).
class DataFolderLock
{
public:
    enum Result { Locked, AlreadyOpen, OpenElsewhere, Unavailable };

    explicit DataFolderLock(const QString &dataFolder);
    // Unavailable: the lock file cannot be made (a read-only folder, say); the program
    // then runs without it rather than refusing to start.
    Result acquire();

    // After OpenElsewhere: the name of the computer that holds the lock and when it took it.
    QString otherHost() const { return m_otherHost; }
    QDateTime lockedSince() const { return m_lockedSince; }
    // Removes a lock that is not held on this computer and takes it; false when that fails
    // (another copy took it meanwhile).
    bool takeOver();

    // While the lock is held: removes the temporary copies that saves of the named files
    // leave behind when they are killed before they are put in place (QSaveFile's names,
    // the file's name, a dot and six letters or digits). Nothing else is touched.
    // Returns how many were removed.
    int removeLeftoverSaves(const QStringList &fileNames) const;

private:
    QString m_folder;
    QLockFile m_file;
    QString m_otherHost;
    QDateTime m_lockedSince;
};
