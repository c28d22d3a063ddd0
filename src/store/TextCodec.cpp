#include "TextCodec.h"

#include <array>
#include <cstring>

namespace {

// 0x80..0x9F of Windows-1252; the undefined bytes keep their own number.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte of a character, or -1.
int ansiByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c)
            return 0x80 + i;
    }
    return -1;
}

// Whether `b` begins a character of two to four bytes in UTF-8: then `extra` is the number
// of bytes that follow and `cp` the bits the first one holds.
bool utf8Lead(unsigned char b, int &extra, char32_t &cp)
{
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3;
        cp = b & 0x07;
    } else {
        return false;
    }
    return true;
}

} // namespace

namespace TextCodec {

QString fromAnsi(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return out;
}

QString fromAnsiShown(QByteArrayView bytes)
{
    if (bytes.size() <= ShownLength)
        return fromAnsi(bytes);
    return fromAnsi(bytes.first(ShownLength)) + u'\u2026';
}

bool isAnsi(QChar c)
{
    return ansiByte(c.unicode()) >= 0;
}

QByteArray toAnsi(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char *d = out.data();
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // A surrogate pair is one character: one '?' for it.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        const int b = ansiByte(c.unicode());
        d[n++] = b >= 0 ? char(b) : '?';
    }
    out.truncate(n);
    return out;
}

QString keepAnsi(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (isAnsi(c))
            out.append(c);
    }
    return out;
}

bool isNonAsciiUtf8(QByteArrayView bytes)
{
    bool nonAscii = false;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        // Plain ASCII eight bytes at a time.
        if (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, bytes.data() + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int extra;
        char32_t cp;
        if (!utf8Lead(b, extra, cp) || i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return nonAscii;
}

QByteArray utf8ToAnsi(QByteArrayView bytes)
{
    // Straight from bytes to bytes: imports convert every accented value, and a detour
    // through QString would cost two copies each. Windows-1252 never needs more bytes
    // than UTF-8 does.
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char *d = out.data();
    qsizetype n = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t cp = b;
        if (b >= 0x80 && !utf8Lead(b, extra, cp)) {
            // A byte that starts no character.
            d[n++] = '?';
            ++i;
            continue;
        }
        int k = 1;
        for (; k <= extra && i + k < size; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (k <= extra) {
            // A character cut short.
            d[n++] = '?';
            i += k;
            continue;
        }
        i += extra + 1;
        const int ansi = cp <= 0xFFFF ? ansiByte(char16_t(cp)) : -1;
        d[n++] = ansi >= 0 ? char(ansi) : '?';
    }
    out.truncate(n);
    return out;
}

QByteArrayView withoutUtf8Bom(QByteArrayView text)
{
    return text.startsWith("\xEF\xBB\xBF") ? text.sliced(3) : text;
}

QByteArray ansiToUtf8(QByteArrayView bytes)
{
    QByteArray out;
    appendUtf8(out, bytes);
    return out;
}

void appendUtf8(QByteArray &out, QByteArrayView ansi)
{
    const qsizetype start = out.size();
    // At most three bytes for each: the characters of 0x80 to 0x9F lie below U+FFFF.
    out.resize(start + 3 * ansi.size());
    char *d = out.data() + start;
    for (const char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        const char16_t u = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : char16_t(b);
        if (u < 0x80) {
            *d++ = char(u);
        } else if (u < 0x800) {
            *d++ = char(0xC0 | (u >> 6));
            *d++ = char(0x80 | (u & 0x3F));
        } else {
            *d++ = char(0xE0 | (u >> 12));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
            *d++ = char(0x80 | (u & 0x3F));
        }
    }
    out.truncate(d - out.data());
}

} // namespace TextCodec
