#pragma once

#include "AppError.h"
#include "CSVStringInfo.h"
#include "FileAccess.h"
#include "LineEnds.h"
#include "LineSet.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// A change to write: the lines of a book with some left out, one replaced, some added at the
// end. The lines given here hold no line end.
struct BookEdit
{
    const std::vector<bool> *dropped = nullptr; // true at the index of a line left out
    qsizetype replaced = -1;                    // the index of the line that `line` replaces
    QByteArray line;
    QByteArrayList appended;
};

// The book in memory no longer matches its file: another program, or another window, changed
// the file since it was read. Thrown before anything is written; whoever catches it reloads.
class BookChanged : public AppError
{
public:
    BookChanged();
};

// The address book as one load of data/contact.csv holds it: its bytes in one private block,
// read from the file, and a compact index of where its lines start (one offset for every 32
// lines, one bit a line for which lines hold a contact). Lines are views into the block.
//
// The block is a copy, on every system: another program may rewrite the file in place at any
// moment (a sync client, a backup tool), and a view of the file itself would then disagree
// with the index made when it was read. What another program does shows at the next reload;
// every write first checks that the file still holds what was read.
//
// A BookLines never changes. Copies share the block, which goes with the last copy: a view
// stays valid as long as a BookLines it came from is kept. A reload makes a new one and lets
// the old one go as a whole.
class BookLines
{
public:
    BookLines(); // no lines, no file

    // Reads the book in `path`; a missing file is a book of no lines. Throws AppError naming
    // the cause: a folder, a device or a pipe, no permission, a failing disk, too little
    // memory ("Memoria insufficiente per aprire …").
    static BookLines read(const QString &path);
    // Starts reading the book in `path` on another thread, so that the program's start can
    // build its window meanwhile; the next read() of that path takes the result, when the
    // file still holds it.
    static void readAhead(const QString &path);
    // A book of these bytes, as if read from a file (no file behind it).
    static BookLines fromBytes(const QByteArray &bytes);

    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    // Line k (0-based) without its line end; empty for an index out of range.
    QByteArrayView operator[](qsizetype k) const;
    // Calls fn(k, line) for each line in order; fn returns false to stop.
    template<typename Fn>
    void forEachLine(Fn fn) const;
    // The lines that hold at least one byte: the contacts.
    const LineSet &nonEmptyLines() const;
    // Whether the bytes are exactly what writing the lines gives: every line ended by CR LF.
    bool endsEveryLineWithCrLf() const;

    // Whether the file at `path` still holds exactly this book: the same size, time of last
    // change and sampled bytes.
    bool stillIn(const QString &path) const;

    // Writes this book with `edit` to `path` through the atomic save, every line followed by
    // CR LF, streaming from the block. The file must hold this book before and after the
    // writing, or nothing is written and BookChanged is thrown; a failed write throws AppError
    // and keeps the old file. The new book's index is remembered, so that reading the saved
    // file next finds its lines without scanning them.
    void save(const QString &path, const BookEdit &edit) const;

private:
    struct Data;
    static BookLines readNow(const QString &path);
    explicit BookLines(std::shared_ptr<const Data> data);
    const char *bytes() const;
    qsizetype byteCount() const;

    std::shared_ptr<const Data> d;
};

// Writes the book in `path` with `edit` (lines replaced or added, none left out): streaming
// from `loaded` (the book a window shows) when the file still holds it, otherwise from the
// file read afresh, piece by piece, so that a large book is never held whole a second time. `check(lineCount)` sees how many lines the
// book had and may throw to keep the old file. Throws AppError.
void saveBookEdit(const QString &path, const BookLines *loaded, const BookEdit &edit,
                  const std::function<void(qsizetype)> &check = {});

// For each line of a book, the value of one field (`searchValues` of the main window): views
// into the book, found when asked for, so that a search of a million contacts copies nothing.
class SearchValues
{
public:
    SearchValues() = default;
    SearchValues(const BookLines &lines, int field) : m_lines(lines), m_field(field) {}

    qsizetype size() const { return m_lines.size(); }
    QByteArrayView operator[](qsizetype k) const { return fieldOf(m_lines[k]); }
    // Calls fn(k, value) for each line in order.
    template<typename Fn>
    void forEach(Fn fn) const
    {
        m_lines.forEachLine([&](qsizetype k, QByteArrayView line) {
            fn(k, fieldOf(line));
            return true;
        });
    }
    void clear() { m_lines = BookLines(); }

private:
    QByteArrayView fieldOf(QByteArrayView line) const
    {
        QByteArrayView value;
        if (m_field < 0)
            return value; // no field chosen: nothing to match
        int k = 0;
        TCSVStringInfo::forEachField(line, [&](QByteArrayView f) {
            if (k++ < m_field)
                return true;
            value = f;
            return false;
        });
        return value;
    }

    BookLines m_lines;
    int m_field = 0;
};

template<typename Fn>
void BookLines::forEachLine(Fn fn) const
{
    const char *const begin = bytes();
    qsizetype k = 0;
    LineEnds::forEach(begin, begin + byteCount(), true, [&](const char *b, const char *e, const char *) {
        return fn(k++, QByteArrayView(b, e - b));
    });
}
