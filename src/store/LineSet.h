#pragma once

#include <QtGlobal>

#include <vector>

// A set of line indexes of one address book: one bit a line, so that the rows of a list over
// millions of short lines cost an eighth of a byte each, not an index apiece. Built line by
// line in file order with append(), then finish(); it then also answers "which line is the
// n-th member?" in a few steps.
class LineSet
{
public:
    LineSet() = default;
    // Every one of `lineCount` lines.
    static LineSet all(qsizetype lineCount);

    // Whether the next line (index lineCount()) belongs to the set.
    void append(bool member);
    // Ends the building; nth() works from here on.
    void finish();

    qsizetype lineCount() const { return m_lines; }
    qsizetype count() const { return m_count; }
    bool contains(qsizetype line) const;
    // The n-th member (0-based) in line order; -1 when there are not that many.
    qsizetype nth(qsizetype n) const;

private:
    static constexpr int kWordsPerBlock = 8; // 512 lines share one running count

    std::vector<quint64> m_bits;
    std::vector<qsizetype> m_before; // members before each block
    qsizetype m_lines = 0;
    qsizetype m_count = 0;
};
