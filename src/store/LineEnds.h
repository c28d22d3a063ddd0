#pragma once

#include <QtGlobal>

#include <bit>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define RUBRINO_LINE_ENDS_SSE2 1
#endif

// The one line-end rule of every file the program reads: CR LF, a lone CR and a lone LF each
// end a line; a last line without a line end is a line; an empty text has no lines. Text is
// looked at sixteen bytes at a time, so finding the lines costs about as much as reading them.
namespace LineEnds {

// Calls fn(begin, end, next) for every line of [text, stop): the line's bytes are
// [begin, end), the next line starts at `next`. fn returns false to stop after that line.
// Unless `final`, the text may go on: an unended last line, and a line ended by a CR that may
// be the first half of a CR LF, are not reported. Returns where the unreported text begins.
template<typename Fn>
const char *forEach(const char *text, const char *stop, bool final, Fn fn)
{
    const char *lineBegin = text;
    // `e` is a CR or LF at or after lineBegin; false: stop here.
    auto endLine = [&](const char *e, bool &more) {
        const char *next = e + 1;
        if (*e == '\r') {
            if (next == stop && !final)
                return false;
            if (next < stop && *next == '\n')
                ++next;
        }
        more = fn(lineBegin, e, next);
        lineBegin = next;
        return true;
    };
    const char *p = text;
    bool more = true;
#ifdef RUBRINO_LINE_ENDS_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; stop - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        while (mask) {
            const char *e = p + std::countr_zero(mask);
            mask &= mask - 1;
            if (e < lineBegin)
                continue; // the LF of a CR LF already taken
            if (!endLine(e, more))
                return lineBegin;
            if (!more)
                return lineBegin;
        }
    }
#endif
    for (; p < stop; ++p) {
        if ((*p == '\r' || *p == '\n') && p >= lineBegin) {
            if (!endLine(p, more))
                return lineBegin;
            if (!more)
                return lineBegin;
        }
    }
    if (final && lineBegin < stop) {
        fn(lineBegin, stop, stop);
        lineBegin = stop;
    }
    return lineBegin;
}

// The first CR or LF in [p, stop), or stop.
inline const char *find(const char *p, const char *stop)
{
    const char *found = stop;
    forEach(p, stop, true, [&](const char *, const char *end, const char *) {
        found = end;
        return false;
    });
    return found;
}

} // namespace LineEnds
