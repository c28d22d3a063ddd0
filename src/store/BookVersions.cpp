#include "BookVersions.h"

#include "AddressBook.h"
#include "AppError.h"
#include "AtomicFile.h"
#include "CSVStringInfo.h"
#include "FileAccess.h"
#include "Progress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace BookVersions {

namespace {

AskSaveAnyway &askSaveAnyway()
{
    static AskSaveAnyway ask;
    return ask;
}

// What the program last wrote into each book it saved, to tell its own writing from
// another program's.
QHash<QString, FileAccess::Stamp> &lastWritten()
{
    static QHash<QString, FileAccess::Stamp> stamps;
    return stamps;
}

QString keyOf(const QString &bookPath)
{
    return QFileInfo(bookPath).absoluteFilePath();
}

FileAccess::Stamp stampOf(const QString &path)
{
    FileAccess::Stamp stamp;
    try {
        QFile file;
        if (FileAccess::openForReading(file, path)) {
            stamp = FileAccess::statOf(file);
            stamp.sampleHash = FileAccess::sampleHash(file, stamp.size);
        }
    } catch (const AppError &) {
        stamp.size = -2; // there, but unreadable: never what was written
    }
    return stamp;
}

// Old versions being removed on the other processor core: already gone for the program.
// Never destroyed, so that a removal still running when the program ends finds it.
struct Removing
{
    std::mutex mutex;
    QSet<QString> paths;
};
Removing &removing()
{
    static Removing *r = new Removing;
    return *r;
}

bool beingRemoved(const QString &path)
{
    std::lock_guard lock(removing().mutex);
    return removing().paths.contains(path);
}

void removeNow(const QStringList &paths)
{
    for (const QString &path : paths) {
        QFile::remove(path);
        std::lock_guard lock(removing().mutex);
        removing().paths.remove(path);
    }
}

// Removing a file frees its place on the disk: about a tenth of a second for 300 MB, which
// the other processor core spends while this one shows the new book.
void removeSoon(const QStringList &paths, qint64 bytes)
{
    if (bytes < (16 << 20))
        return removeNow(paths);
    {
        std::lock_guard lock(removing().mutex);
        for (const QString &path : paths)
            removing().paths.insert(path);
    }
    try {
        std::thread([paths] { removeNow(paths); }).detach();
    } catch (const std::system_error &) {
        removeNow(paths); // no thread to spare: here and now
    }
}

// The versions beyond the limits, with their size together.
QStringList beyondLimits(const QString &bookPath, qint64 &bytes)
{
    const QList<Version> versions = list(bookPath);
    const qint64 limit = MaxSizeTimesBook * std::max<qint64>(QFileInfo(bookPath).size(), 0);
    qint64 total = 0;
    QStringList paths;
    bytes = 0;
    for (int i = 0; i < versions.size(); ++i) {
        total += versions[i].size;
        // The newest stays whatever its size: it is the one an undo needs.
        if (i > 0 && (i >= MaxKept || total > limit)) {
            paths.append(versions[i].path);
            bytes += versions[i].size;
        }
    }
    return paths;
}

bool newerFirst(const Version &a, const Version &b)
{
    if (a.date != b.date)
        return a.date > b.date;
    if (a.time != b.time)
        return a.time > b.time;
    return a.number > b.number;
}

} // namespace

QString folderOf(const QString &bookPath)
{
    return QFileInfo(bookPath).absolutePath() + QStringLiteral("/versioni");
}

QString nameFor(QDate date, QTime time, int number)
{
    QString name = QString::asprintf("contact %04d-%02d-%02d %02d.%02d.%02d", date.year(), date.month(), date.day(),
                                     time.hour(), time.minute(), time.second());
    if (number > 1)
        name += u' ' + QString::number(number);
    return name + QStringLiteral(".csv");
}

std::optional<Version> parseName(const QString &fileName)
{
    static const QRegularExpression form(
        QStringLiteral("^contact (\\d{4})-(\\d\\d)-(\\d\\d) (\\d\\d)\\.(\\d\\d)\\.(\\d\\d)(?: ([1-9]\\d{0,5}))?\\.csv$"));
    const QRegularExpressionMatch m = form.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    Version v;
    v.date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    v.time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    v.number = m.hasCaptured(7) ? m.captured(7).toInt() : 1;
    // Only names the program itself gives: a real date and time, and no " 1".
    if (!v.date.isValid() || !v.time.isValid() || nameFor(v.date, v.time, v.number) != fileName)
        return std::nullopt;
    return v;
}

QList<Version> list(const QString &bookPath)
{
    QList<Version> versions;
    const QFileInfoList entries =
        QDir(folderOf(bookPath)).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        // A link of that name points somewhere the program never put a version.
        if (entry.isSymLink() || !entry.isFile() || beingRemoved(entry.filePath()))
            continue;
        std::optional<Version> v = parseName(entry.fileName());
        if (!v)
            continue;
        v->path = entry.filePath();
        v->size = entry.size();
        versions.append(*v);
    }
    std::sort(versions.begin(), versions.end(), newerFirst);
    return versions;
}

int prune(const QString &bookPath)
{
    qint64 bytes = 0;
    int removed = 0;
    for (const QString &path : beyondLimits(bookPath, bytes))
        removed += QFile::remove(path) ? 1 : 0;
    return removed;
}

void setAskSaveAnyway(AskSaveAnyway ask)
{
    askSaveAnyway() = std::move(ask);
}

QString cannotKeepMessage(const QString &reason)
{
    return QCoreApplication::translate("BookVersions", "Impossibile conservare la versione precedente della rubrica (%1).")
        .arg(reason);
}

Keeping::Keeping(const QString &bookPath) : m_book(bookPath)
{
    const QFileInfo book(bookPath);
    if (!book.exists() || !book.isFile())
        return; // nothing to replace; a folder there fails the save itself
    const QDateTime now = QDateTime::currentDateTime();
    const QTime second(now.time().hour(), now.time().minute(), now.time().second());
    const QString folder = folderOf(bookPath) + u'/';
    m_newFolder = !QFileInfo(folder).exists();
    FileAccess::Failure failure;
    for (int number = 1; number <= 1000; ++number) {
        const QString name = folder + nameFor(now.date(), second, number);
        const QFileInfo taken(name);
        if (taken.exists() || taken.isSymLink())
            continue;
        if (FileAccess::linkOrCopy(bookPath, name, failure)) {
            m_version = name;
            return;
        }
        if (!failure.exists)
            break;
    }
    if (m_newFolder)
        QDir().rmdir(folderOf(bookPath));
    const QString reason = FileAccess::writeCause(failure.cause, failure.systemText);
    const AskSaveAnyway &ask = askSaveAnyway();
    if (!ask)
        throw AppError(cannotKeepMessage(reason));
    if (!ask(reason))
        throw Cancelled{};
}

Keeping::~Keeping()
{
    // The book was not replaced: what was kept is the book as it still is.
    if (m_saved)
        return;
    if (!m_version.isEmpty())
        QFile::remove(m_version);
    // Nor is the folder it made for it, when it is empty.
    if (m_newFolder)
        QDir().rmdir(folderOf(m_book));
}

void Keeping::saved()
{
    m_saved = true;
    lastWritten().insert(keyOf(m_book), stampOf(m_book));
    qint64 bytes = 0;
    const QStringList old = beyondLimits(m_book, bytes);
    removeSoon(old, bytes);
}

LastWrite lastWrite(const QString &bookPath)
{
    const auto it = lastWritten().constFind(keyOf(bookPath));
    if (it == lastWritten().constEnd())
        return LastWrite::None;
    return stampOf(bookPath) == *it ? LastWrite::Same : LastWrite::Changed;
}

void restore(const QString &bookPath, const QString &versionPath)
{
    QFile in;
    if (!FileAccess::openForReading(in, versionPath))
        throw AppError(FileAccess::openError(versionPath, FileAccess::Cause::Missing));
    Keeping keeping(bookPath);
    AtomicFile out(bookPath);
    QByteArray block(4 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0) {
            const QString reason = in.errorString();
            throw AppError(FileAccess::readError(versionPath, FileAccess::causeOfErrorString(reason), reason));
        }
        if (got == 0)
            break;
        out.write(QByteArrayView(block.constData(), got));
    }
    out.commit();
    keeping.saved();
}

namespace {

// A 64-bit hash of a line, eight bytes a step: Qt's qHash reads a byte at a time where the
// processor lacks its AES instructions, and a version of a million contacts is 300 MB.
quint64 hashOf(QByteArrayView text, quint64 seed)
{
    constexpr quint64 k1 = 0x9E3779B97F4A7C15ULL;
    constexpr quint64 k2 = 0xC2B2AE3D27D4EB4FULL;
    quint64 h = seed ^ (quint64(text.size()) * k1);
    const char *p = text.data();
    qsizetype n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        h = std::rotl(h ^ (w * k2), 29) * k1;
    }
    quint64 w = 0;
    std::memcpy(&w, p, size_t(n));
    h = std::rotl(h ^ (w * k2), 29) * k1;
    h ^= h >> 32;
    h *= k2;
    return h ^ (h >> 29);
}

// The contacts of a text as numbers, ordered by the hash of the whole line.
std::vector<Comparison::Line> linesOf(QByteArrayView text)
{
    std::vector<Comparison::Line> lines;
    lines.reserve(size_t(text.size() / 128));
    qsizetype pos = 0;
    QByteArrayView line;
    while (AddressBook::nextLine(text, pos, line)) {
        if (line.isEmpty())
            continue;
        quint64 key = 1;
        int k = 0;
        TCSVStringInfo::forEachField(line, [&](QByteArrayView field) {
            key = hashOf(field, key);
            return ++k < 2;
        });
        lines.push_back({hashOf(line, 0), key});
    }
    std::sort(lines.begin(), lines.end(), [](const Comparison::Line &a, const Comparison::Line &b) { return a.hash < b.hash; });
    return lines;
}

} // namespace

Comparison::Comparison(QByteArrayView book) : m_book(linesOf(book)) {}

Difference Comparison::with(QByteArrayView version) const
{
    const std::vector<Line> lines = linesOf(version);
    Difference d;
    d.contacts = qint64(lines.size());
    // Lines in one and not the other, as many times as they are in excess.
    std::vector<quint64> onlyVersion, onlyBook;
    size_t i = 0, j = 0;
    while (i < lines.size() && j < m_book.size()) {
        if (lines[i].hash == m_book[j].hash) {
            ++i;
            ++j;
        } else if (lines[i].hash < m_book[j].hash) {
            onlyVersion.push_back(lines[i++].key);
        } else {
            onlyBook.push_back(m_book[j++].key);
        }
    }
    for (; i < lines.size(); ++i)
        onlyVersion.push_back(lines[i].key);
    for (; j < m_book.size(); ++j)
        onlyBook.push_back(m_book[j].key);
    // A contact on both sides under the same name and surname is one that changed.
    std::sort(onlyVersion.begin(), onlyVersion.end());
    std::sort(onlyBook.begin(), onlyBook.end());
    i = j = 0;
    while (i < onlyVersion.size() && j < onlyBook.size()) {
        if (onlyVersion[i] == onlyBook[j]) {
            ++d.changed;
            ++i;
            ++j;
        } else if (onlyVersion[i] < onlyBook[j]) {
            ++i;
        } else {
            ++j;
        }
    }
    d.more = qint64(onlyVersion.size()) - d.changed;
    d.fewer = qint64(onlyBook.size()) - d.changed;
    return d;
}

QString describe(const Difference &difference)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("BookVersions", text); };
    QStringList parts;
    // The noun goes with the first number only: "+3 contatti, −1, 2 modificati".
    auto contacts = [&](qint64 n) { return parts.isEmpty() ? u' ' + (n == 1 ? tr("contatto") : tr("contatti")) : QString(); };
    if (difference.more > 0)
        parts.append(u'+' + QString::number(difference.more) + contacts(difference.more));
    if (difference.fewer > 0)
        parts.append(QChar(0x2212) + QString::number(difference.fewer) + contacts(difference.fewer));
    if (difference.changed > 0) {
        const qint64 n = difference.changed;
        parts.append(QString::number(n) + contacts(n) + u' ' + (n == 1 ? tr("modificato") : tr("modificati")));
    }
    if (parts.isEmpty())
        return tr("uguale alla rubrica attuale");
    return parts.join(QStringLiteral(", "));
}

} // namespace BookVersions
