#include "LineSet.h"

#include <algorithm>
#include <bit>

LineSet LineSet::all(qsizetype lineCount)
{
    LineSet set;
    set.m_bits.assign(size_t((lineCount + 63) / 64), ~quint64(0));
    if (lineCount % 64)
        set.m_bits.back() = (quint64(1) << (lineCount % 64)) - 1;
    set.m_lines = lineCount;
    set.m_count = lineCount;
    set.finish();
    return set;
}

void LineSet::append(bool member)
{
    if (m_lines % 64 == 0)
        m_bits.push_back(0);
    if (member) {
        m_bits.back() |= quint64(1) << (m_lines % 64);
        ++m_count;
    }
    ++m_lines;
}

void LineSet::finish()
{
    m_bits.shrink_to_fit();
    m_before.clear();
    m_before.reserve(m_bits.size() / kWordsPerBlock + 1);
    qsizetype running = 0;
    for (size_t w = 0; w < m_bits.size(); ++w) {
        if (w % kWordsPerBlock == 0)
            m_before.push_back(running);
        running += std::popcount(m_bits[w]);
    }
}

bool LineSet::contains(qsizetype line) const
{
    if (line < 0 || line >= m_lines)
        return false;
    return (m_bits[size_t(line / 64)] >> (line % 64)) & 1;
}

qsizetype LineSet::nth(qsizetype n) const
{
    if (n < 0 || n >= m_count)
        return -1;
    // The last block that starts with at most n members before it holds the n-th one.
    const auto after = std::upper_bound(m_before.begin(), m_before.end(), n);
    const size_t block = size_t(after - m_before.begin()) - 1;
    qsizetype left = n - m_before[block];
    for (size_t w = block * kWordsPerBlock; w < m_bits.size(); ++w) {
        quint64 word = m_bits[w];
        const int here = std::popcount(word);
        if (left >= here) {
            left -= here;
            continue;
        }
        while (left-- > 0)
            word &= word - 1; // drop the lowest member
        return qsizetype(w) * 64 + std::countr_zero(word);
    }
    return -1;
}
