#include "FileAccess.h"

#include "AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <winsock2.h>
#include <io.h>
#include <windows.h>
#endif

namespace FileAccess {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FileAccess", text);
}

QString quoted(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

// The cause in words; `reading` picks the words for a file being read.
QString because(Cause cause, bool reading, const QString &systemText)
{
    switch (cause) {
    case Cause::Missing:
        return reading ? tr("il file non esiste.") : tr("la cartella che deve contenerlo non esiste.");
    case Cause::Folder:
        return tr("è una cartella, non un file.");
    case Cause::NotRegular:
        return tr("non è un file ma un dispositivo o una pipe.");
    case Cause::NoPermission:
        return reading ? tr("non hai i permessi per leggerlo.") : tr("non hai i permessi per scriverlo.");
    case Cause::DiskFull:
        return tr("disco pieno.");
    case Cause::TooLarge:
        return tr("il file è troppo grande per questo disco.");
    case Cause::ReadOnly:
        return tr("il disco è protetto dalla scrittura.");
    case Cause::ReadOnlyFile:
        return tr("il file è di sola lettura.");
    case Cause::DiskError:
        return tr("errore del disco (forse è stato scollegato).");
    case Cause::OutOfMemory:
        return tr("memoria insufficiente.");
    case Cause::LinkLoop:
        return tr("è un collegamento che rimanda a sé stesso.");
    case Cause::BrokenLink:
        return tr("è un collegamento a un file che non esiste.");
    case Cause::Other:
        break;
    }
    if (systemText.isEmpty() || systemText == QLatin1String("Unknown error"))
        return tr("errore sconosciuto.");
    return systemText;
}

// The system errors that have words of their own, so that Qt's text for one can be told.
const int kKnownErrors[] = {
#ifdef Q_OS_WIN
    ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT,
    ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL, ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY, ERROR_CRC,
    ERROR_READ_FAULT, ERROR_WRITE_FAULT, ERROR_DEVICE_NOT_CONNECTED, ERROR_FILE_TOO_LARGE,
    ERROR_CANT_RESOLVE_FILENAME,
#else
    ENOENT, ENOTDIR, EISDIR, EACCES, EPERM, ENOSPC, EDQUOT, EFBIG, EROFS, EIO, ENXIO, ENODEV, ENOMEM, ELOOP,
#endif
};

} // namespace

Cause causeOfSystemError(int code)
{
    switch (code) {
#ifdef Q_OS_WIN
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return Cause::Missing;
    case ERROR_ACCESS_DENIED:
        return Cause::NoPermission;
    case ERROR_WRITE_PROTECT:
        return Cause::ReadOnly;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return Cause::DiskFull;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return Cause::OutOfMemory;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_DEVICE_NOT_CONNECTED:
        return Cause::DiskError;
    case ERROR_FILE_TOO_LARGE:
        return Cause::TooLarge;
    case ERROR_CANT_RESOLVE_FILENAME:
        return Cause::LinkLoop;
#else
    case ENOENT:
    case ENOTDIR:
        return Cause::Missing;
    case EISDIR:
        return Cause::Folder;
    case EACCES:
    case EPERM:
        return Cause::NoPermission;
    case ENOSPC:
    case EDQUOT:
        return Cause::DiskFull;
    case EFBIG:
        return Cause::TooLarge;
    case EROFS:
        return Cause::ReadOnly;
    case EIO:
    case ENXIO:
    case ENODEV:
        return Cause::DiskError;
    case ENOMEM:
        return Cause::OutOfMemory;
    case ELOOP:
        return Cause::LinkLoop;
#endif
    default:
        return Cause::Other;
    }
}

Cause causeOfErrorString(const QString &text)
{
    for (int code : kKnownErrors) {
        if (text == qt_error_string(code))
            return causeOfSystemError(code);
    }
    return Cause::Other;
}

bool isReadOnlyFile(const QString &path)
{
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
        && (attributes & FILE_ATTRIBUTE_READONLY);
#elif defined(Q_OS_UNIX)
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::access(name.constData(), W_OK) != 0 && errno == EACCES;
#else
    const QFileInfo info(path);
    return info.isFile() && !info.isWritable();
#endif
}

QString openError(const QString &path, Cause cause, const QString &systemText)
{
    if (cause == Cause::OutOfMemory)
        return outOfMemory(path);
    return tr("Impossibile aprire il file %1: %2").arg(quoted(path), because(cause, true, systemText));
}

QString readError(const QString &path, Cause cause, const QString &systemText)
{
    if (cause == Cause::OutOfMemory)
        return outOfMemory(path);
    return tr("Impossibile leggere il file %1: %2").arg(quoted(path), because(cause, true, systemText));
}

QString writeError(const QString &path, Cause cause, const QString &systemText)
{
    return tr("Impossibile scrivere il file %1: %2").arg(quoted(path), because(cause, false, systemText));
}

QString blocksBook(const QString &path, Cause cause, bool reading, const QString &systemText)
{
    return tr("Il file %1 impedisce di aprire la rubrica: %2").arg(quoted(path), because(cause, reading, systemText));
}

QString outOfMemory(const QString &path)
{
    return tr("Memoria insufficiente per aprire il file %1.").arg(quoted(path));
}

QString writeCause(Cause cause, const QString &systemText)
{
    QString text = because(cause, false, systemText);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

bool openForReading(QFile &file, const QString &path)
{
#ifdef Q_OS_UNIX
    // Opened without waiting, so that a named pipe cannot hold the program; only then is it
    // known what the name stands for.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        // A link whose file is gone is not a missing file: writing there would make a file
        // wherever the link points.
        if (code == ENOENT && QFileInfo(path).isSymLink())
            throw AppError(openError(path, Cause::BrokenLink));
        if (code == ENOENT)
            return false;
        throw AppError(openError(path, causeOfSystemError(code), qt_error_string(code)));
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        throw AppError(openError(path, folder ? Cause::Folder : Cause::NotRegular));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(openError(path, Cause::Other, file.errorString()));
    }
    return true;
#else
    const QFileInfo info(path);
    if (!info.exists() && info.isSymLink())
        throw AppError(openError(path, Cause::BrokenLink));
    if (!info.exists())
        return false;
    if (info.isDir())
        throw AppError(openError(path, Cause::Folder));
    if (!info.isFile())
        throw AppError(openError(path, Cause::NotRegular));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(openError(path, causeOfErrorString(file.errorString()), file.errorString()));
    return true;
#endif
}

SocketState peekSocket(qintptr descriptor)
{
    char c = 0;
#ifdef Q_OS_WIN
    // Qt's sockets do not block, so the look returns at once.
    const int n = ::recv(SOCKET(descriptor), &c, 1, MSG_PEEK);
    if (n > 0)
        return SocketState::Bytes;
    if (n == 0) {
        // Wine takes the reset's error for itself and lets the program read an orderly
        // close; a look at the socket tells the two apart, as a reset is also an error there.
        WSAPOLLFD look{SOCKET(descriptor), POLLRDNORM, 0};
        return ::WSAPoll(&look, 1, 0) > 0 && (look.revents & POLLERR) ? SocketState::Reset : SocketState::Closed;
    }
    const int code = ::WSAGetLastError();
    return code == WSAEWOULDBLOCK || code == WSAEINTR ? SocketState::Nothing : SocketState::Reset;
#else
    const ssize_t n = ::recv(int(descriptor), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
        return SocketState::Bytes;
    if (n == 0)
        return SocketState::Closed;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? SocketState::Nothing : SocketState::Reset;
#endif
}

Stamp statOf(QFile &file)
{
    Stamp s;
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::fstat(file.handle(), &st) == 0) {
        s.size = st.st_size;
#ifdef Q_OS_DARWIN
        s.modified = qint64(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
        s.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    }
#else
    const QFileInfo info(file.fileName());
    s.size = file.size();
    s.modified = info.lastModified().toMSecsSinceEpoch();
#endif
    return s;
}

namespace {

constexpr qint64 kWholeUpTo = 1 << 20;
constexpr qint64 kBlock = 4096;
constexpr qint64 kBlocks = 256;

// Calls fn(offset, length) for each sample of a file of `size` bytes: the whole file when it
// is small, otherwise blocks spread evenly from the first byte to the last.
template<typename Fn>
void forEachSample(qint64 size, Fn fn)
{
    if (size <= kWholeUpTo) {
        fn(0, size);
        return;
    }
    for (qint64 i = 0; i < kBlocks; ++i)
        fn((size - kBlock) * i / (kBlocks - 1), kBlock);
}

} // namespace

size_t sampleHash(const char *bytes, qint64 size)
{
    size_t h = 0;
    forEachSample(size, [&](qint64 offset, qint64 length) { h = qHash(QByteArrayView(bytes + offset, length), h); });
    return h;
}

size_t sampleHash(QFile &file, qint64 size)
{
    size_t h = 0;
    QByteArray block;
    forEachSample(size, [&](qint64 offset, qint64 length) {
        block.resize(length);
        // A file that is shorter now hashes what is there, which is a different hash.
        const qint64 got = file.seek(offset) ? file.read(block.data(), length) : -1;
        h = qHash(QByteArrayView(block.constData(), std::max<qint64>(got, 0)), h);
    });
    return h;
}

namespace {

// Failure from the system's last error number (errno; on Windows, GetLastError()).
Failure lastSystemFailure()
{
#ifdef Q_OS_WIN
    const int code = int(::GetLastError());
#else
    const int code = errno;
#endif
    return {causeOfSystemError(code), qt_error_string(code)};
}

Failure failureOf(const QFileDevice &file)
{
    const QString text = file.errorString();
    return {causeOfErrorString(text), text};
}

bool makeFolderOf(const QString &path, Failure &failure)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir())
        return true;
#ifdef Q_OS_WIN
    if (::CreateDirectoryW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(folder).utf16()), nullptr)
        || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
#else
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0 || errno == EEXIST)
        return true;
#endif
    failure = lastSystemFailure();
    return false;
}

// One of the two names of a hard link; false when the file system cannot make one here.
bool hardLink(const QString &from, const QString &to, Failure &failure)
{
#ifdef Q_OS_WIN
    if (::CreateHardLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                          reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()), nullptr))
        return true;
    // Read before the words of the error are looked up, which may change it.
    const DWORD code = ::GetLastError();
    failure = {causeOfSystemError(int(code)), qt_error_string(int(code))};
    failure.exists = code == ERROR_ALREADY_EXISTS;
#else
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    failure = lastSystemFailure();
    failure.exists = errno == EEXIST;
#endif
    return false;
}

bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle())));
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool copyFile(const QString &from, const QString &to, Failure &failure)
{
    QFile in;
    try {
        if (!openForReading(in, from)) {
            failure = {Cause::Missing, QString()};
            return false;
        }
    } catch (const AppError &e) {
        failure = {Cause::Other, e.message()};
        return false;
    }
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString temporary = to + u'.';
    for (int i = 0; i < 6; ++i)
        temporary += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    QFile out(temporary);
    // Unbuffered, so that a disk that fills up shows in the count of each write.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        failure = failureOf(out);
        return false;
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0) {
            failure = failureOf(in);
            ok = false;
            break;
        }
        if (got == 0)
            break;
        const char *p = block.constData();
        qint64 left = got;
        // A write cut short is tried again for the rest: the second try fails with the cause.
        while (ok && left > 0) {
            const qint64 n = out.write(p, left);
            ok = n > 0;
            p += std::max<qint64>(n, 0);
            left -= std::max<qint64>(n, 0);
        }
        if (!ok) {
            failure = failureOf(out);
            break;
        }
    }
    if (ok && !syncToDisk(out)) {
        failure = lastSystemFailure();
        ok = false;
    }
    out.close();
    if (ok && !out.rename(to)) {
        failure = failureOf(out);
        failure.exists = QFileInfo::exists(to);
        ok = false;
    }
    if (!ok)
        QFile::remove(temporary);
    return ok;
}

} // namespace

bool linkOrCopy(const QString &from, const QString &to, Failure &failure)
{
    if (!makeFolderOf(to, failure))
        return false;
    if (hardLink(from, to, failure))
        return true;
    if (failure.exists)
        return false;
    // No hard links on this file system, or not between these two folders: a copy. When
    // the link failed for a reason a copy shares (no room, no permission), the copy says so.
    return copyFile(from, to, failure);
}

} // namespace FileAccess
