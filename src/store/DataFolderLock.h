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
// user decides (takeOver()). A lock whose holder is provably gone is removed by name even
// when it cannot be opened; what stands in the way and cannot be removed (a folder, a lock
// file this user may not touch) is named, never passed off as another running copy.
class DataFolderLock
{
public:
    // InTheWay: something of the lock's name that the program cannot remove; obstacle() says
    // what and why.
    enum Result { Locked, AlreadyOpen, OpenElsewhere, InTheWay, Unavailable };

    explicit DataFolderLock(const QString &dataFolder);
    // Unavailable: the lock file cannot be made (a read-only folder, say); the program
    // then runs without it rather than refusing to start.
    Result acquire();

    // After OpenElsewhere: the name of the computer that holds the lock, fit to be shown (no
    // control or direction characters, at most 64 characters), and when it took the lock.
    QString otherHost() const { return m_otherHost; }
    QDateTime lockedSince() const { return m_lockedSince; }
    // Removes a lock that is not held on this computer and takes it: Locked, AlreadyOpen when
    // a copy on this computer took it meanwhile, or InTheWay.
    Result takeOver();
    // After InTheWay: "Il file … impedisce di aprire la rubrica: <cause>".
    QString obstacle() const { return m_obstacle; }

    // This computer's name as its locks hold it.
    static QString thisComputer();

    // A computer's name as the user may be shown it: a name read from a lock file is anybody's
    // text, and a direction override or a line break would make a question say something else.
    static QString shownHostName(const QString &name);

    // While the lock is held: removes the temporary copies that saves of the named files
    // leave behind when they are killed before they are put in place (QSaveFile's names,
    // the file's name, a dot and six letters or digits). Nothing else is touched.
    // Returns how many were removed.
    int removeLeftoverSaves(const QStringList &fileNames) const;

private:
    QString lockPath() const;
    // The lock could not be taken through QLockFile: tells a running holder from a file
    // that this user cannot open for writing, and removes it when `holderGone`.
    Result afterFailedTakeOver(bool holderGone);
    Result removeAndLock();

    QString m_folder;
    QLockFile m_file;
    QString m_otherHost;
    QDateTime m_lockedSince;
    QString m_obstacle;
};
