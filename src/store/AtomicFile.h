#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QSaveFile>
#include <QString>

// Writes a file so that a reader only ever sees the old content or the whole new one: the
// bytes go to a temporary file beside the target, which replaces the target on commit().
// Every file the program writes goes through here. A failure anywhere leaves the old file
// as it was, and commit() throws AppError naming the file. A file the user may not write is
// never replaced: the constructor throws AppError saying it is read-only. A replaced file
// keeps its permissions.
class AtomicFile
{
public:
    // When a committed file is on the disk for good.
    //   Now:   commit() returns once it is, so a power cut right after keeps the new file.
    //   Later: commit() puts the complete file in place (a reader still sees the old file or
    //          the whole new one) without waiting for the disk; syncFolder() afterwards makes
    //          a whole batch durable with one flush instead of one per file. For exports of
    //          thousands of small files, where a flush each costs most of the time.
    enum class Durability { Now, Later };

    explicit AtomicFile(const QString &path, Durability durability = Durability::Now);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Appends bytes; a failure is remembered and reported by commit().
    void write(QByteArrayView bytes);
    // Puts the new file in place, or throws AppError and keeps the old one.
    void commit();

    // Throws AppError when `path` is a file that the user may not write (see above).
    static void checkReplaceable(const QString &path);

    // Waits until every file committed with Durability::Later in `folder` is on the disk;
    // throws AppError naming the folder when the system reports a lost write.
    static void syncFolder(const QString &folder);

private:
    void startWriteback(qint64 upTo);
    void openTemporary();
    void commitTemporary();

    QSaveFile m_file;
    QFile m_temporary; // Durability::Later: the new content, beside the target
    bool m_later = false;
    bool m_created = false; // the temporary file is ours to remove
    bool m_ok = false;
    bool m_committed = false;
    qint64 m_written = 0;
    qint64 m_flushedUpTo = 0;
};
