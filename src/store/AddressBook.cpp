#include "AddressBook.h"

#include "AppError.h"
#include "AtomicFile.h"
#include "CSVStringInfo.h"
#include "FileAccess.h"
#include "LineEnds.h"
#include "Progress.h"
#include "TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

TContatto TContatto::fromLine(QByteArrayView line)
{
    TContatto c;
    int k = 0;
    TCSVStringInfo::forEachField(line, [&](QByteArrayView field) {
        if (k < FieldCount)
            c.fields[k++] = field.toByteArray();
        return k < FieldCount;
    });
    return c;
}

QByteArray TContatto::toLine() const
{
    QByteArray line;
    line.reserve(256);
    for (int k = 0; k < FieldCount; ++k) {
        if (k > 0)
            line += ',';
        line += AddressBook::fieldValue(fields[k]);
    }
    return line;
}

const QStringList &contactColumnCaptions()
{
    static const QStringList captions = {
        QStringLiteral("N."), QStringLiteral("Nome"), QStringLiteral("Cognome"),
        QStringLiteral("Posizione"), QStringLiteral("Organizzazione"), QStringLiteral("Indirizzo"),
        QStringLiteral("Città"), QStringLiteral("CAP"), QStringLiteral("Nazione"),
        QStringLiteral("Cell. privato"), QStringLiteral("Cell. Lavoro"), QStringLiteral("Tel. casa"),
        QStringLiteral("Tel. lavoro"), QStringLiteral("Fax"), QStringLiteral("Istant messenger"),
        QStringLiteral("Email"), QStringLiteral("Sito"), QStringLiteral("Note"),
        QStringLiteral("Data inserimento"),
    };
    return captions;
}

namespace AddressBook {

namespace {
QString &folderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    QString folder = folderOverride();
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

void setProgramFolder(const QString &folder)
{
    folderOverride() = folder;
}

QString dataFolder()
{
    return programFolder() + QStringLiteral("data");
}

void ensureDataFolder()
{
    const QString data = dataFolder();
    if (!QFileInfo(data).isDir())
        QDir().mkdir(data);
}

QString contactFile()
{
    return programFolder() + QStringLiteral("data/contact.csv");
}

QString reminderFile()
{
    return programFolder() + QStringLiteral("data/promemoria.txt");
}

QByteArray fieldValue(QByteArrayView value)
{
    QByteArray out(fieldValueSize(value), Qt::Uninitialized);
    writeFieldValue(out.data(), value);
    return out;
}

qsizetype fieldValueSize(QByteArrayView value)
{
    // Only a comma, and a double quote at the start, take more room: five bytes for one.
    qsizetype size = value.size();
    if (size > 0 && value[0] == '"')
        size += 4;
    const char *p = value.data();
    const char *const end = p + value.size();
    while (const void *comma = p < end ? std::memchr(p, ',', size_t(end - p)) : nullptr) {
        size += 4;
        p = static_cast<const char *>(comma) + 1;
    }
    return size;
}

char *writeFieldValue(char *out, QByteArrayView value)
{
    // The characters to change: a comma, CR, LF, NUL, and a double quote at the start.
    static const auto special = [] {
        std::array<bool, 256> table{};
        table[','] = table['\r'] = table['\n'] = table['\0'] = true;
        return table;
    }();
    const char *const data = value.data();
    const qsizetype size = value.size();
    qsizetype i = 0;
    if (size > 0 && data[0] == '"') {
        std::memcpy(out, "&#34;", 5);
        out += 5;
        i = 1;
    }
    // Eight bytes at a time while none of them is below 14 or a comma.
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highs = 0x8080808080808080ULL;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        const quint64 comma = word ^ (ones * ',');
        if ((((word - ones * 14) & ~word) | ((comma - ones) & ~comma)) & highs)
            break;
        std::memcpy(out, &word, 8);
        out += 8;
    }
    while (i < size) {
        // Runs of ordinary characters are copied whole.
        const qsizetype run = i;
        while (i < size && !special[static_cast<unsigned char>(data[i])])
            ++i;
        std::memcpy(out, data + run, size_t(i - run));
        out += i - run;
        if (i == size)
            break;
        if (data[i] == ',') {
            std::memcpy(out, "&#44;", 5);
            out += 5;
        } else {
            *out++ = ' ';
        }
        ++i;
    }
    return out;
}

QByteArrayView shownValue(QByteArrayView stored, QByteArray &buffer)
{
    if (stored.isEmpty() || !std::memchr(stored.data(), '&', size_t(stored.size())))
        return stored;
    const bool leadingQuote = stored.startsWith("&#34;");
    qsizetype from = leadingQuote ? 5 : 0;
    qsizetype comma = stored.indexOf("&#44;", from);
    if (!leadingQuote && comma < 0)
        return stored;
    buffer.resize(0);
    if (leadingQuote)
        buffer += '"';
    while (comma >= 0) {
        buffer += stored.sliced(from, comma - from);
        buffer += ',';
        from = comma + 5;
        comma = stored.indexOf("&#44;", from);
    }
    buffer += stored.sliced(from);
    return buffer;
}

QByteArray shownValue(QByteArrayView stored)
{
    QByteArray buffer;
    const QByteArrayView shown = shownValue(stored, buffer);
    return shown.data() == buffer.constData() ? buffer : shown.toByteArray();
}

QByteArrayView shownPart(QByteArrayView stored)
{
    // A code of five bytes shows as one character: this much of the stored text fills what
    // is shown and tells whether more follows.
    return stored.first(std::min(stored.size(), TextCodec::ShownLength * 5 + 5));
}

QString shownField(QByteArrayView stored)
{
    // Cut before anything is copied: a field of other software may run to hundreds of
    // megabytes, and every paint of its row comes here.
    QByteArray buffer;
    return TextCodec::fromAnsiShown(shownValue(shownPart(stored), buffer));
}

bool containsIgnoringAsciiCase(QByteArrayView text, QByteArrayView key)
{
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; };
    const qsizetype n = key.size();
    if (n == 0)
        return true;
    const char first = fold(key[0]);
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        if (fold(text[i]) != first)
            continue;
        qsizetype j = 1;
        while (j < n && fold(text[i + j]) == fold(key[j]))
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

namespace {

// Appends the lines of `text` to `lines` and returns how much of it was used. Unless `final`,
// the text may continue: the unended last line, and a line ended by a CR that may be the
// first half of a CR LF, are left for the next call.
qsizetype appendLines(QByteArrayList &lines, QByteArrayView text, bool final)
{
    const char *const begin = text.data();
    const char *rest = LineEnds::forEach(begin, begin + text.size(), final, [&](const char *b, const char *e, const char *) {
        lines.append(QByteArray(b, e - b));
        return true;
    });
    return rest - begin;
}

// Opens a file to read it whole; a missing file is an error here.
void openForReading(QFile &file, const QString &path)
{
    if (!FileAccess::openForReading(file, path))
        throw AppError(FileAccess::openError(path, FileAccess::Cause::Missing));
}

[[noreturn]] void throwReadError(const QString &path, const QFile &file)
{
    const QString reason = file.errorString();
    throw AppError(FileAccess::readError(path, FileAccess::causeOfErrorString(reason), reason));
}

} // namespace

bool nextLine(QByteArrayView text, qsizetype &pos, QByteArrayView &line)
{
    const qsizetype n = text.size();
    if (pos >= n)
        return false;
    const char *const data = text.data();
    qsizetype i = LineEnds::find(data + pos, data + n) - data;
    line = text.sliced(pos, i - pos);
    if (i < n && data[i] == '\r' && i + 1 < n && data[i + 1] == '\n')
        ++i;
    pos = i + 1;
    return true;
}

QByteArrayList splitLines(QByteArrayView text)
{
    QByteArrayList lines;
    appendLines(lines, text, true);
    return lines;
}

QByteArray joinLines(const QByteArrayList &lines)
{
    qsizetype size = 0;
    for (const QByteArray &l : lines)
        size += l.size() + 2;
    QByteArray out;
    out.reserve(size);
    for (const QByteArray &l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

namespace {
QByteArray readUpTo(const QString &path, qint64 maxBytes)
{
    try {
        QFile file;
        openForReading(file, path);
        QByteArray bytes = maxBytes < 0 ? file.readAll() : file.read(maxBytes);
        if (file.error() != QFileDevice::NoError)
            throwReadError(path, file);
        return bytes;
    } catch (const std::bad_alloc &) {
        throw AppError(FileAccess::outOfMemory(path));
    }
}
} // namespace

QByteArray readFile(const QString &path)
{
    return readUpTo(path, -1);
}

QByteArray readFile(const QString &path, Progress *progress)
{
    if (!progress)
        return readFile(path);
    try {
        QFile file;
        openForReading(file, path);
        // A file from a slow disk takes long to read, so it is read in pieces that the user
        // can stop between.
        constexpr qint64 piece = 4 << 20;
        QByteArray bytes(file.size(), Qt::Uninitialized);
        Progress::Part part(progress);
        qint64 got = 0;
        while (got < bytes.size()) {
            part.at(got, 0);
            const qint64 n = file.read(bytes.data() + got, std::min<qint64>(piece, bytes.size() - got));
            if (n < 0 || file.error() != QFileDevice::NoError)
                throwReadError(path, file);
            if (n == 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        // A file that grew meanwhile is read to its end.
        bytes += file.readAll();
        if (file.error() != QFileDevice::NoError)
            throwReadError(path, file);
        return bytes;
    } catch (const std::bad_alloc &) {
        throw AppError(FileAccess::outOfMemory(path));
    }
}

QByteArray readFileStart(const QString &path, qint64 maxBytes)
{
    return readUpTo(path, maxBytes);
}

namespace {

// Reads the file in pieces and hands over its lines a batch at a time, so that a large
// address book is never held a second time as the whole file. A line that runs over many
// pieces is gathered once: each piece is looked at only once, however long the line.
template<typename Fn>
void forEachLineBatch(const QString &path, Fn take)
{
    try {
        QFile file;
        openForReading(file, path);
        QByteArray pending;     // what is left of the pieces read: the start of a line
        qsizetype searched = 0; // how much of it is known to hold no line end
        for (;;) {
            QByteArray piece = file.read(4 << 20);
            if (file.error() != QFileDevice::NoError)
                throwReadError(path, file);
            const bool final = piece.isEmpty();
            if (pending.isEmpty())
                pending = std::move(piece);
            else
                pending += piece;
            const char *const begin = pending.constData();
            if (!final && LineEnds::find(begin + searched, begin + pending.size()) == begin + pending.size()) {
                searched = pending.size();
                continue;
            }
            QByteArrayList batch;
            const qsizetype used = appendLines(batch, pending, final);
            pending = pending.sliced(used);
            searched = 0;
            take(std::move(batch));
            if (final)
                return;
        }
    } catch (const std::bad_alloc &) {
        throw AppError(FileAccess::outOfMemory(path));
    }
}

} // namespace

QByteArrayList readLines(const QString &path)
{
    QByteArrayList lines;
    forEachLineBatch(path, [&lines](QByteArrayList &&batch) { lines.append(std::move(batch)); });
    return lines;
}

qsizetype rewriteLines(const QString &path, const std::function<void(qsizetype, QByteArray &)> &edit,
                       const QByteArrayList &appended, const std::function<void(qsizetype)> &beforeCommit)
{
    AtomicFile writer(path);
    qsizetype count = 0;
    QByteArray piece;
    auto put = [&](const QByteArray &line) {
        piece += line;
        piece += "\r\n";
        if (piece.size() >= (1 << 20)) {
            writer.write(piece);
            piece.clear();
        }
    };
    if (QFileInfo::exists(path)) {
        forEachLineBatch(path, [&](QByteArrayList &&batch) {
            for (QByteArray &line : batch) {
                if (edit)
                    edit(count, line);
                put(line);
                ++count;
            }
        });
    }
    for (const QByteArray &line : appended)
        put(line);
    writer.write(piece);
    // An exception here leaves the old file as it was: the new one is never put in place.
    if (beforeCommit)
        beforeCommit(count);
    writer.commit();
    return count;
}

QByteArrayList readLinesIfExists(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    return readLines(path);
}

void saveFile(const QString &path, const QByteArray &bytes)
{
    AtomicFile writer(path);
    writer.write(bytes);
    writer.commit();
}

void writeLines(const QString &path, const QByteArrayList &lines)
{
    AtomicFile writer(path);
    QByteArray piece;
    piece.reserve((1 << 20) + 4096);
    for (const QByteArray &line : lines) {
        piece += line;
        piece += "\r\n";
        if (piece.size() >= (1 << 20)) {
            writer.write(piece);
            piece.clear();
        }
    }
    writer.write(piece);
    writer.commit();
}

} // namespace AddressBook
