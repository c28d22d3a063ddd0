#pragma once

#include <QFile>
#include <QString>

// How the program opens the files it reads, and how it tells the user why a file could not be
// read or written: the file's name and the cause in plain Italian words, never the system's
// English ("Unknown error", "std::bad_alloc"). Every reader and writer words its errors here.
namespace FileAccess {

enum class Cause {
    Missing,      // no file there, or no folder to hold it
    Folder,       // a folder where a file is expected
    NotRegular,   // a device, a named pipe or a socket
    NoPermission,
    DiskFull,
    TooLarge,     // more than the disk or the system takes in one file
    ReadOnly,     // a disk that cannot be written
    ReadOnlyFile, // a file marked read-only, or one the user may not write
    DiskError,    // the disk failed: a stick pulled out, a bad sector
    OutOfMemory,
    LinkLoop,     // a link that leads back to itself, directly or through others
    BrokenLink,   // a link to a file or folder that is not there
    Other,
};

// The cause behind a system error number (errno; on Windows, GetLastError()).
Cause causeOfSystemError(int code);
// The cause behind the text Qt gives for a failed file operation, which is the system's own
// message for the error number.
Cause causeOfErrorString(const QString &text);

// "Impossibile aprire il file …: <cause>", "Impossibile leggere il file …: <cause>",
// "Impossibile scrivere il file …: <cause>". `systemText` words a cause of Other.
QString openError(const QString &path, Cause cause, const QString &systemText = QString());
QString readError(const QString &path, Cause cause, const QString &systemText = QString());
QString writeError(const QString &path, Cause cause, const QString &systemText = QString());
// "Il file … impedisce di aprire la rubrica: <cause>": a file in the way of the address book's
// lock. `reading` picks the words of a file that could not be read rather than written.
QString blocksBook(const QString &path, Cause cause, bool reading, const QString &systemText = QString());
// "Memoria insufficiente per aprire …".
QString outOfMemory(const QString &path);
// The cause of a failed write alone, as writeError() words it, without the closing stop.
QString writeCause(Cause cause, const QString &systemText = QString());

// Whether `path` is an existing file that the user may not write: marked read-only, or not
// open to this user for writing. A file that nobody at all may write counts as read-only
// for the administrator too, who could otherwise replace it.
bool isReadOnlyFile(const QString &path);

// Opens `path` for reading into `file`, only when it is a regular file: a named pipe would
// wait for a writer for ever and a device such as /dev/zero never ends. Returns false when
// nothing is there; throws AppError with the cause for anything else that cannot be read,
// a link that leads nowhere included.
bool openForReading(QFile &file, const QString &path);

// What waits on a connected socket, looked at without taking it. The system reports a reset
// connection only once, and Qt's socket reads that report as an orderly close; a reply that
// ends only with its connection must tell the two apart.
enum class SocketState { Bytes, Nothing, Closed, Reset };
SocketState peekSocket(qintptr descriptor);

// What identifies the content of a file cheaply: its size, the time of its last change and
// a hash of samples of its bytes (all of them in a file of up to 1 MiB).
struct Stamp
{
    qint64 size = -1; // -1: no file
    qint64 modified = 0;
    size_t sampleHash = 0;
    friend bool operator==(const Stamp &, const Stamp &) = default;
};
// The size and time of an open file, without the hash.
Stamp statOf(QFile &file);
// The hash of the samples, from bytes held in memory or read from an open file.
size_t sampleHash(const char *bytes, qint64 size);
size_t sampleHash(QFile &file, qint64 size);

// Why a file could not be given a second name.
struct Failure
{
    Cause cause = Cause::Other;
    QString systemText;
    bool exists = false; // `to` is taken already
};
// Gives the file `from` a second name `to`, creating the folder of `to` (one level) when it
// is missing. A hard link where the file system has them: no byte is copied, so it takes no
// time and no room. Where it has none (FAT), or `to` lies on another disk, a copy, made
// under a temporary name and given its name only once complete, so that a copy cut short
// never shows up under `to`. `to` must not exist yet. Returns false and says why otherwise.
bool linkOrCopy(const QString &from, const QString &to, Failure &failure);

} // namespace FileAccess
