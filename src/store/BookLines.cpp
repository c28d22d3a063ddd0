#include "BookLines.h"

#include "AddressBook.h"
#include "AtomicFile.h"
#include "BookVersions.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <future>
#include <mutex>
#include <new>
#include <system_error>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#endif

BookChanged::BookChanged()
    : AppError(QCoreApplication::translate(
        "BookLines", "La rubrica è stata modificata: l'elenco è stato ricaricato. Ripeti l'operazione."))
{
}

namespace {

constexpr qsizetype kLinesPerStart = 32;

// The memory of a book's bytes. A large book's comes straight from the system, where it can
// come in pages of 2 MiB: taking 300 MB in pages of 4 KiB, one fault each, costs the system
// more than copying the bytes into them.
class Block
{
public:
    // Throws std::bad_alloc.
    explicit Block(qint64 size)
    {
#if defined(Q_OS_UNIX) && defined(MADV_HUGEPAGE)
        if (size >= kLarge) {
            const size_t rounded = (size_t(size) + kPage - 1) & ~(kPage - 1);
            // Room to begin on a page boundary; what lies before and after goes back.
            void *p = ::mmap(nullptr, rounded + kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED)
                throw std::bad_alloc();
            const uintptr_t at = reinterpret_cast<uintptr_t>(p);
            const uintptr_t begin = (at + kPage - 1) & ~uintptr_t(kPage - 1);
            if (begin > at)
                ::munmap(p, begin - at);
            if (const size_t tail = at + rounded + kPage - (begin + rounded))
                ::munmap(reinterpret_cast<void *>(begin + rounded), tail);
            m_system = reinterpret_cast<char *>(begin);
            m_length = rounded;
            ::madvise(m_system, m_length, MADV_HUGEPAGE);
            return;
        }
#endif
        m_heap = QByteArray(size, Qt::Uninitialized);
    }
    ~Block()
    {
#ifdef Q_OS_UNIX
        if (m_system)
            ::munmap(m_system, m_length);
#endif
    }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    char *data() { return m_system ? m_system : m_heap.data(); }

private:
    static constexpr size_t kPage = size_t(2) << 20;
    static constexpr qint64 kLarge = qint64(16) << 20;
    char *m_system = nullptr;
    size_t m_length = 0;
    QByteArray m_heap;
};

// Where the lines of a book start and which of them hold a contact.
struct LineIndex
{
    qsizetype lineCount = 0;
    std::vector<qsizetype> starts; // where line 32 * i starts
    LineSet nonEmpty;
    bool crlf = true;

    void add(qsizetype start, qsizetype length, bool endsWithCrLf)
    {
        if (lineCount % kLinesPerStart == 0)
            starts.push_back(start);
        nonEmpty.append(length > 0);
        crlf = crlf && endsWithCrLf;
        ++lineCount;
    }
    void finish()
    {
        starts.shrink_to_fit();
        nonEmpty.finish();
    }

    static std::shared_ptr<const LineIndex> scan(const char *bytes, qsizetype size)
    {
        auto index = std::make_shared<LineIndex>();
        index->starts.reserve(size_t(size / 4096 + 1));
        LineEnds::forEach(bytes, bytes + size, true, [&](const char *begin, const char *end, const char *next) {
            index->add(begin - bytes, end - begin, next - end == 2);
            return true;
        });
        index->finish();
        return index;
    }

    // Whether this index, made while writing a file, fits the bytes read back: the lines it
    // starts at (a thousand of them at most, spread evenly, so that the file's pages are not
    // all brought in) follow a CR LF, and the bytes end with one.
    bool fits(const char *bytes, qsizetype size) const
    {
        if (!crlf || starts.size() != size_t((lineCount + kLinesPerStart - 1) / kLinesPerStart))
            return false;
        if (size == 0)
            return lineCount == 0;
        if (size < 2 || bytes[size - 2] != '\r' || bytes[size - 1] != '\n' || starts.front() != 0)
            return false;
        const size_t n = starts.size();
        const size_t step = std::max<size_t>(1, n / 1024);
        for (size_t i = step; i < n + step; i += step) {
            const qsizetype s = starts[std::min(i, n - 1)];
            if (s < 2 || s > size || bytes[s - 2] != '\r' || bytes[s - 1] != '\n')
                return false;
        }
        return true;
    }
};

// The index of the last file this program saved, with what identified the file right after
// the save: when the file still is that one, reading it needs no scan for its lines.
struct SavedIndex
{
    QString path;
    FileAccess::Stamp stamp;
    std::shared_ptr<const LineIndex> index;
};
// Kept under a lock: a book read ahead looks at it on another thread.
std::mutex g_savedMutex;
SavedIndex &savedIndex()
{
    static SavedIndex saved;
    return saved;
}
SavedIndex lastSaved()
{
    const std::lock_guard lock(g_savedMutex);
    return savedIndex();
}
void setLastSaved(SavedIndex saved)
{
    const std::lock_guard lock(g_savedMutex);
    savedIndex() = std::move(saved);
}

// A read of the book started ahead of time on another thread, until read() takes it.
struct ReadAhead
{
    std::mutex mutex;
    QString path;
    std::future<BookLines> book; // waited for, at the latest, when the program ends
};
ReadAhead &readAhead()
{
    static ReadAhead ahead;
    return ahead;
}

} // namespace

struct BookLines::Data
{
    const char *bytes = "";
    qsizetype size = 0;
    QByteArray heap;                // the bytes of fromBytes()
    std::unique_ptr<Block> block;   // the bytes read from a file
    std::shared_ptr<const LineIndex> index;
    FileAccess::Stamp stamp;
};

BookLines::BookLines()
{
    static const std::shared_ptr<const Data> empty = [] {
        auto data = std::make_shared<Data>();
        data->index = LineIndex::scan(data->bytes, 0);
        return std::shared_ptr<const Data>(data);
    }();
    d = empty;
}

BookLines::BookLines(std::shared_ptr<const Data> data) : d(std::move(data)) {}

BookLines BookLines::fromBytes(const QByteArray &bytes)
{
    auto data = std::make_shared<Data>();
    data->heap = bytes;
    data->bytes = data->heap.constData();
    data->size = data->heap.size();
    data->stamp.sampleHash = FileAccess::sampleHash(data->bytes, data->size);
    data->index = LineIndex::scan(data->bytes, data->size);
    return BookLines(std::move(data));
}

void BookLines::readAhead(const QString &path)
{
    ReadAhead &ahead = ::readAhead();
    const std::lock_guard lock(ahead.mutex);
    if (ahead.book.valid() && ahead.path == path)
        return;
    try {
        ahead.book = std::async(std::launch::async, [path] { return readNow(path); });
        ahead.path = path;
    } catch (const std::system_error &) {
        // No thread to spare: read() reads it when it is asked for.
    }
}

BookLines BookLines::read(const QString &path)
{
    std::future<BookLines> early;
    {
        ReadAhead &ahead = ::readAhead();
        const std::lock_guard lock(ahead.mutex);
        if (ahead.book.valid() && ahead.path == path)
            early = std::move(ahead.book);
    }
    if (early.valid()) {
        try {
            BookLines book = early.get();
            if (book.stillIn(path))
                return book;
        } catch (const AppError &) {
            // Perhaps mended since: read again, and report what that read finds.
        }
    }
    return readNow(path);
}

BookLines BookLines::readNow(const QString &path)
{
    try {
        QFile file;
        if (!FileAccess::openForReading(file, path))
            return BookLines();
        auto data = std::make_shared<Data>();
        data->stamp = FileAccess::statOf(file);
        const qint64 size = data->stamp.size;
        // The file this program saved last, by its size and time: its index is known.
        const SavedIndex saved = lastSaved();
        const bool known = saved.index && saved.path == path && saved.stamp.size == size
            && saved.stamp.modified == data->stamp.modified;
        // Lines are found piece by piece as the pieces come in, while their bytes are still
        // in the processor's cache.
        auto index = std::make_shared<LineIndex>();
        const char *unscanned = nullptr;
        const auto addLine = [&](const char *begin, const char *end, const char *next) {
            index->add(begin - data->bytes, end - begin, next - end == 2);
            return true;
        };
        if (size > 0) {
            // One private copy: whatever another program does to the file from now on, the
            // lines, their index and everything made from them agree with each other.
            data->block = std::make_unique<Block>(size);
            char *const target = data->block->data();
            data->bytes = target;
            unscanned = data->bytes;
            if (!known)
                index->starts.reserve(size_t(size / 4096 + 1));
            constexpr qint64 kPiece = 1 << 20;
            qint64 got = 0;
            while (got < size) {
                const qint64 n = file.read(target + got, std::min(kPiece, size - got));
                if (n < 0) {
                    const QString reason = file.errorString();
                    throw AppError(FileAccess::readError(path, FileAccess::causeOfErrorString(reason), reason));
                }
                if (n == 0)
                    break; // shorter than it was a moment ago: what is there
                got += n;
                // Up to the piece's last LF, which surely ends a line: a line that runs over
                // many pieces is looked at once, when its end has come in.
                const qsizetype lf = known ? -1 : QByteArrayView(target + got - n, n).lastIndexOf('\n');
                if (lf >= 0)
                    unscanned = LineEnds::forEach(unscanned, target + got - n + lf + 1, false, addLine);
            }
            data->size = got;
            data->stamp.size = data->size;
        }
        data->stamp.sampleHash = FileAccess::sampleHash(data->bytes, data->size);
        if (known && data->size == size && saved.index->fits(data->bytes, data->size)) {
            data->index = saved.index;
        } else if (known || !unscanned) {
            data->index = LineIndex::scan(data->bytes, data->size);
        } else {
            LineEnds::forEach(unscanned, data->bytes + data->size, true, addLine);
            index->finish();
            data->index = std::move(index);
        }
        return BookLines(std::move(data));
    } catch (const std::bad_alloc &) {
        throw AppError(FileAccess::outOfMemory(path));
    }
}

const char *BookLines::bytes() const
{
    return d->bytes;
}

qsizetype BookLines::byteCount() const
{
    return d->size;
}

qsizetype BookLines::size() const
{
    return d->index->lineCount;
}

QByteArrayView BookLines::operator[](qsizetype k) const
{
    const LineIndex &index = *d->index;
    if (k < 0 || k >= index.lineCount)
        return {};
    const char *from = d->bytes + index.starts[size_t(k / kLinesPerStart)];
    qsizetype skip = k % kLinesPerStart;
    QByteArrayView line;
    LineEnds::forEach(from, d->bytes + d->size, true, [&](const char *b, const char *e, const char *) {
        if (skip-- > 0)
            return true;
        line = QByteArrayView(b, e - b);
        return false;
    });
    return line;
}

const LineSet &BookLines::nonEmptyLines() const
{
    return d->index->nonEmpty;
}

bool BookLines::endsEveryLineWithCrLf() const
{
    return d->index->crlf;
}

bool BookLines::stillIn(const QString &path) const
{
    QFile file;
    try {
        if (!FileAccess::openForReading(file, path))
            return d->stamp.size < 0;
    } catch (const AppError &) {
        return false;
    }
    const FileAccess::Stamp now = FileAccess::statOf(file);
    if (now.size != d->stamp.size || now.modified != d->stamp.modified)
        return false;
    return FileAccess::sampleHash(file, now.size) == d->stamp.sampleHash;
}

namespace {

// What goes into the atomic save: long runs of the book straight from its block, short
// pieces gathered into blocks of 1 MiB, so that a delete of scattered lines makes few writes.
class Output
{
public:
    explicit Output(AtomicFile &file) : m_file(file) { m_block.reserve(kBlock); }

    void put(const char *begin, const char *end)
    {
        const qsizetype n = end - begin;
        if (n <= 0)
            return;
        m_written += n;
        if (n >= kBlock) {
            flush();
            m_file.write(QByteArrayView(begin, n));
            return;
        }
        m_block.append(begin, n);
        if (m_block.size() >= kBlock)
            flush();
    }
    void put(QByteArrayView bytes) { put(bytes.data(), bytes.data() + bytes.size()); }
    void flush()
    {
        m_file.write(m_block);
        m_block.truncate(0);
    }
    qint64 written() const { return m_written; }

private:
    static constexpr qsizetype kBlock = 1 << 20;
    AtomicFile &m_file;
    QByteArray m_block;
    qint64 m_written = 0;
};

bool holdsLineEnd(QByteArrayView text)
{
    return text.contains('\r') || text.contains('\n');
}

} // namespace

void BookLines::save(const QString &path, const BookEdit &edit) const
{
    if (!stillIn(path))
        throw BookChanged();
    BookVersions::Keeping version(path);
    AtomicFile file(path);
    Output out(file);
    auto index = std::make_shared<LineIndex>();
    index->starts.reserve(d->index->starts.size() + size_t(edit.appended.size() / kLinesPerStart + 1));
    bool indexable = !holdsLineEnd(edit.line);
    auto putLine = [&](QByteArrayView text) {
        index->add(out.written(), text.size(), true);
        out.put(text);
        out.put(QByteArrayView("\r\n"));
    };

    const char *const bytes = d->bytes;
    const char *const stop = bytes + d->size;
    const std::vector<bool> *dropped = edit.dropped;
    if (d->index->crlf && !dropped && edit.replaced < 0) {
        // Every line already ends as written: the block goes out whole, and so does its index.
        out.put(bytes, stop);
        *index = *d->index;
    } else {
        // One pass over the lines: runs of lines kept as they are go out as one piece; a line
        // left out, replaced or without CR LF breaks the run.
        const char *run = bytes;
        qsizetype k = 0;
        LineEnds::forEach(bytes, stop, true, [&](const char *begin, const char *end, const char *next) {
            const bool drop = dropped && size_t(k) < dropped->size() && (*dropped)[size_t(k)];
            if (drop || k == edit.replaced) {
                out.put(run, begin);
                if (!drop)
                    putLine(edit.line);
                run = next;
            } else {
                index->add(out.written() + (begin - run), end - begin, true);
                if (next - end != 2) {
                    out.put(run, end);
                    out.put(QByteArrayView("\r\n"));
                    run = next;
                }
            }
            ++k;
            return true;
        });
        out.put(run, stop);
    }
    for (const QByteArray &line : edit.appended) {
        indexable = indexable && !holdsLineEnd(line);
        putLine(line);
    }
    out.flush();
    // Another program may have written the file meanwhile.
    if (!stillIn(path))
        throw BookChanged();
    file.commit();
    version.saved();

    setLastSaved(SavedIndex());
    if (!indexable)
        return;
    try {
        QFile written;
        if (FileAccess::openForReading(written, path)) {
            const FileAccess::Stamp stamp = FileAccess::statOf(written);
            index->finish();
            if (stamp.size == out.written())
                setLastSaved({path, stamp, std::move(index)});
        }
    } catch (const AppError &) {
        // Saved all the same; the next read scans the file.
    }
}

void saveBookEdit(const QString &path, const BookLines *loaded, const BookEdit &edit,
                  const std::function<void(qsizetype)> &check)
{
    if (loaded && loaded->stillIn(path)) {
        if (check)
            check(loaded->size());
        try {
            loaded->save(path, edit);
            return;
        } catch (const BookChanged &) {
            // Changed while it was written: the file as it is now, below.
        }
    }
    // Only the delete leaves lines out, and it writes from its own book or not at all.
    Q_ASSERT(!edit.dropped);
    BookVersions::Keeping version(path);
    AddressBook::rewriteLines(
        path,
        [&](qsizetype k, QByteArray &line) {
            if (k == edit.replaced)
                line = edit.line;
        },
        edit.appended,
        check);
    version.saved();
}
