#include "BookLines.h"

#include "AddressBook.h"
#include "AtomicFile.h"
#include "BookVersions.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <new>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/mman.h>
#include <unistd.h>
#endif

BookChanged::BookChanged()
    : AppError(QCoreApplication::translate(
        "BookLines", "La rubrica è stata modificata: l'elenco è stato ricaricato. Ripeti l'operazione."))
{
}

namespace {

constexpr qsizetype kLinesPerStart = 32;

#ifdef Q_OS_UNIX

// A file mapped read-only into memory. Another program may cut the file short while it is
// mapped, or the disk may fail (a stick pulled out); touching the lost pages would then end
// the program with SIGBUS. The handler below puts zeros in their place instead and marks
// the mapping as cut, so that the program goes on and never writes from it.
class Mapping
{
public:
    // `populate`: bring in every page at once, as a scan of the whole file is to follow.
    static std::unique_ptr<Mapping> map(int fd, qsizetype size, bool populate);
    ~Mapping();
    const char *data() const { return static_cast<const char *>(m_address); }
    bool intact() const;

private:
    Mapping() = default;
    void *m_address = nullptr;
    size_t m_length = 0;
    int m_slot = -1;
};

struct GuardSlot
{
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> cut{false};
};
GuardSlot g_slots[64];
std::mutex g_slotsMutex;
struct sigaction g_previousSigbus;
uintptr_t g_pageSize = 4096;

void onSigbus(int signal, siginfo_t *info, void *context)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (GuardSlot &slot : g_slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end)
            continue;
        // Zeros from the lost page to the end of the mapping; the faulting read is retried.
        const uintptr_t page = address & ~(g_pageSize - 1);
        void *zeros = ::mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            slot.cut.store(true, std::memory_order_release);
            return;
        }
    }
    // Not a mapped book: whatever handled SIGBUS before.
    if ((g_previousSigbus.sa_flags & SA_SIGINFO) && g_previousSigbus.sa_sigaction) {
        g_previousSigbus.sa_sigaction(signal, info, context);
    } else if (g_previousSigbus.sa_handler != SIG_DFL && g_previousSigbus.sa_handler != SIG_IGN) {
        g_previousSigbus.sa_handler(signal);
    } else {
        // The default action, when the faulting read is retried.
        ::signal(signal, SIG_DFL);
    }
}

void installSigbusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = onSigbus;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousSigbus);
    });
}

std::unique_ptr<Mapping> Mapping::map(int fd, qsizetype size, bool populate)
{
    installSigbusHandler();
    std::unique_ptr<Mapping> m(new Mapping);
    {
        std::lock_guard lock(g_slotsMutex);
        for (int i = 0; i < int(std::size(g_slots)); ++i) {
            if (g_slots[i].begin.load() == 0 && g_slots[i].end.load() == 0) {
                m->m_slot = i;
                g_slots[i].end.store(1); // claimed
                break;
            }
        }
    }
    if (m->m_slot < 0)
        return nullptr; // more books at once than slots: read this one instead
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    if (populate)
        flags |= MAP_POPULATE; // one call brings in every page the page cache holds
#else
    Q_UNUSED(populate);
#endif
    m->m_length = size_t(size);
    m->m_address = ::mmap(nullptr, m->m_length, PROT_READ, flags, fd, 0);
    if (m->m_address == MAP_FAILED) {
        m->m_address = nullptr;
        return nullptr; // the destructor frees the slot
    }
    const uintptr_t begin = reinterpret_cast<uintptr_t>(m->m_address);
    GuardSlot &slot = g_slots[m->m_slot];
    slot.cut.store(false);
    slot.end.store((begin + m->m_length + g_pageSize - 1) & ~(g_pageSize - 1), std::memory_order_release);
    slot.begin.store(begin, std::memory_order_release);
    return m;
}

Mapping::~Mapping()
{
    auto release = [slot = m_slot, address = m_address, length = m_length] {
        if (address)
            ::munmap(address, length);
        if (slot >= 0) {
            std::lock_guard lock(g_slotsMutex);
            g_slots[slot].begin.store(0);
            g_slots[slot].end.store(0);
        }
    };
    // Letting go of the last mapping of a file that a save has replaced frees that file's
    // pages and its place on the disk: about a tenth of a second for 300 MB, which the other
    // processor core does while this one shows the new book.
    if (m_address && m_length >= (16u << 20)) {
        // The pages leave this process at once, so that they are not counted twice beside
        // the new book's while the rest happens.
        ::madvise(m_address, m_length, MADV_DONTNEED);
        try {
            std::thread(release).detach();
            return;
        } catch (const std::system_error &) {
            // No thread to spare: here and now.
        }
    }
    release();
}

bool Mapping::intact() const
{
    return !g_slots[m_slot].cut.load(std::memory_order_acquire);
}

#endif // Q_OS_UNIX

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
SavedIndex &savedIndex()
{
    static SavedIndex saved;
    return saved;
}

} // namespace

struct BookLines::Data
{
    const char *bytes = "";
    qsizetype size = 0;
    QByteArray heap;
#ifdef Q_OS_UNIX
    std::unique_ptr<Mapping> mapping;
#endif
    std::shared_ptr<const LineIndex> index;
    FileAccess::Stamp stamp;

    bool intact() const
    {
#ifdef Q_OS_UNIX
        return !mapping || mapping->intact();
#else
        return true;
#endif
    }
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

BookLines BookLines::read(const QString &path, bool mapped)
{
    try {
        QFile file;
        if (!FileAccess::openForReading(file, path))
            return BookLines();
        auto data = std::make_shared<Data>();
        data->stamp = FileAccess::statOf(file);
        const qint64 size = data->stamp.size;
        // The file this program saved last, by its size and time: its index is known.
        const SavedIndex &saved = savedIndex();
        const bool known = saved.index && saved.path == path && saved.stamp.size == size
            && saved.stamp.modified == data->stamp.modified;
#ifdef Q_OS_UNIX
        if (mapped && size > 0) {
            // Without a scan to follow, pages come in as the list shows them.
            data->mapping = Mapping::map(file.handle(), size, !known);
            if (data->mapping) {
                data->bytes = data->mapping->data();
                data->size = size;
            }
        }
#else
        Q_UNUSED(mapped);
#endif
        if (size > 0 && data->size == 0) {
            data->heap.resize(size);
            qint64 got = 0;
            while (got < size) {
                const qint64 n = file.read(data->heap.data() + got, size - got);
                if (n < 0) {
                    const QString reason = file.errorString();
                    throw AppError(FileAccess::readError(path, FileAccess::causeOfErrorString(reason), reason));
                }
                if (n == 0)
                    break; // shorter than it was a moment ago: what is there
                got += n;
            }
            data->heap.truncate(got);
            data->bytes = data->heap.constData();
            data->size = data->heap.size();
            data->stamp.size = data->size;
        }
        data->stamp.sampleHash = FileAccess::sampleHash(data->bytes, data->size);
        if (known && data->size == size && saved.index->fits(data->bytes, data->size))
            data->index = saved.index;
        else
            data->index = LineIndex::scan(data->bytes, data->size);
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
    if (!d->intact())
        return false;
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
    // Another program may have written the file meanwhile, or cut it short under the mapping.
    if (!stillIn(path))
        throw BookChanged();
    file.commit();
    version.saved();

    SavedIndex &saved = savedIndex();
    saved = SavedIndex();
    if (!indexable)
        return;
    try {
        QFile written;
        if (FileAccess::openForReading(written, path)) {
            const FileAccess::Stamp stamp = FileAccess::statOf(written);
            index->finish();
            if (stamp.size == out.written())
                saved = {path, stamp, std::move(index)};
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
