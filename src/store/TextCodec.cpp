#include "TextCodec.h"

#include <QHash>
#include <QList>

#include <array>
#include <cstring>
#include <utility>

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

// Letters and marks outside Windows-1252 that no Unicode decomposition brings into it, with
// the text that stands nearest to them.
constexpr std::pair<char32_t, const char *> kNearest[] = {
    // Letters with a stroke, a hook or a bar through them, and the dotless i.
    {0x0110, "D"}, {0x0111, "d"}, {0x0126, "H"}, {0x0127, "h"}, {0x0131, "i"}, {0x0138, "k"},
    {0x013F, "L"}, {0x0140, "l"}, {0x0141, "L"}, {0x0142, "l"}, {0x0149, "'n"}, {0x014A, "N"},
    {0x014B, "n"}, {0x0166, "T"}, {0x0167, "t"}, {0x0180, "b"}, {0x0181, "B"}, {0x0187, "C"},
    {0x0188, "c"}, {0x018A, "D"}, {0x018F, "E"}, {0x0190, "E"}, {0x0191, "F"}, {0x0193, "G"},
    {0x0197, "I"}, {0x0198, "K"}, {0x0199, "k"}, {0x019A, "l"}, {0x019D, "N"}, {0x019E, "n"},
    {0x01A4, "P"}, {0x01A5, "p"}, {0x01AB, "t"}, {0x01AC, "T"}, {0x01AD, "t"}, {0x01AE, "T"},
    {0x01B2, "V"}, {0x01B3, "Y"}, {0x01B4, "y"}, {0x01B5, "Z"}, {0x01B6, "z"}, {0x01E4, "G"},
    {0x01E5, "g"}, {0x0221, "d"}, {0x0234, "l"}, {0x0235, "n"}, {0x0236, "t"}, {0x0237, "j"},
    {0x023B, "C"}, {0x023C, "c"}, {0x023D, "L"}, {0x023E, "T"}, {0x023F, "s"}, {0x0240, "z"},
    {0x0243, "B"}, {0x0244, "U"}, {0x0246, "E"}, {0x0247, "e"}, {0x0248, "J"}, {0x0249, "j"},
    {0x024C, "R"}, {0x024D, "r"}, {0x024E, "Y"}, {0x024F, "y"}, {0x0253, "b"}, {0x0257, "d"},
    {0x0259, "e"}, {0x025B, "e"}, {0x0260, "g"}, {0x0268, "i"}, {0x026B, "l"}, {0x026C, "l"},
    {0x026D, "l"}, {0x0271, "m"}, {0x0272, "n"}, {0x0273, "n"}, {0x027D, "r"}, {0x0282, "s"},
    {0x0288, "t"}, {0x0289, "u"}, {0x028B, "v"}, {0x0290, "z"}, {0x0291, "z"}, {0x029D, "j"},
    {0x1E9E, "SS"},
    // Apostrophes, primes, quotes and dashes that Windows-1252 has no sign for.
    {0x02B9, "'"}, {0x02BA, "\""}, {0x02BB, "'"}, {0x02BC, "'"}, {0x02BD, "'"}, {0x2010, "-"},
    {0x2011, "-"}, {0x2012, "-"}, {0x2015, "\x97"}, {0x201B, "'"}, {0x201F, "\""}, {0x2032, "'"},
    {0x2033, "\""}, {0x2035, "'"}, {0x2036, "\""}, {0x2043, "-"}, {0x2044, "/"}, {0x2212, "-"},
};

bool isCombiningMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

// The Windows-1252 bytes of `text`, or an empty result when a character of it has none.
bool allAnsi(const QString &text, QByteArray &out)
{
    out.clear();
    for (const char32_t c : text.toUcs4()) {
        if (isCombiningMark(c))
            continue;
        const int b = c <= 0xFFFF ? ansiByte(char16_t(c)) : -1;
        if (b < 0)
            return false;
        out.append(char(b));
    }
    return !out.isEmpty();
}

} // namespace

namespace TextCodec {

QByteArray nearestAnsi(char32_t c)
{
    for (const auto &[from, to] : kNearest) {
        if (from == c)
            return QByteArray(to);
    }
    if (isCombiningMark(c))
        return QByteArray();
    const QString one = QString::fromUcs4(&c, 1);
    // A letter with accents: its base letter, with the first accent when Windows-1252 has the
    // two together ("ǘ" is "ü" with one more accent, "ř" an "r" with one Windows-1252 lacks).
    const QList<uint> parts = one.normalized(QString::NormalizationForm_D).toUcs4();
    if (parts.size() > 1 || (parts.size() == 1 && parts[0] != c)) {
        const char32_t base = parts[0];
        const int b = base <= 0xFFFF ? ansiByte(char16_t(base)) : -1;
        if (b < 0)
            return base != c ? nearestAnsi(base) : QByteArray("?");
        if (parts.size() > 1) {
            const char32_t pair[2] = {base, parts[1]};
            const QList<uint> composed = QString::fromUcs4(pair, 2).normalized(QString::NormalizationForm_C).toUcs4();
            if (composed.size() == 1 && composed[0] <= 0xFFFF) {
                if (const int withAccent = ansiByte(char16_t(composed[0])); withAccent >= 0)
                    return QByteArray(1, char(withAccent));
            }
        }
        return QByteArray(1, char(b));
    }
    // Ligatures, letters of other widths and shapes, spaces of other widths: their plain form.
    QByteArray plain;
    if (allAnsi(one.normalized(QString::NormalizationForm_KD), plain))
        return plain;
    return QByteArray("?");
}

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

namespace {

// The slow way of utf8ToAnsi, for a text that holds a character outside Windows-1252: accents
// written as marks of their own are first put together with their letters, then every
// character that remains outside gets its nearest text.
QByteArray utf8ToNearestAnsi(QByteArrayView bytes, bool *approximated)
{
    const QString text = QString::fromUtf8(bytes).normalized(QString::NormalizationForm_C);
    QByteArray out;
    out.reserve(bytes.size());
    bool changed = false;
    QHash<char32_t, QByteArray> nearest;
    for (const char32_t c : text.toUcs4()) {
        const int b = c <= 0xFFFF ? ansiByte(char16_t(c)) : -1;
        if (b >= 0) {
            out.append(char(b));
            continue;
        }
        // (Bytes that are not UTF-8 at all come as the replacement character.)
        if (c == QChar::ReplacementCharacter) {
            out.append('?');
            continue;
        }
        changed = true;
        // A long text of another script repeats its few letters: each is looked up once.
        auto known = nearest.constFind(c);
        if (known == nearest.cend())
            known = nearest.insert(c, nearestAnsi(c));
        out.append(*known);
    }
    if (approximated && changed)
        *approximated = true;
    return out;
}

} // namespace

QByteArray utf8ToAnsi(QByteArrayView bytes, bool *approximated)
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
        if (ansi < 0)
            return utf8ToNearestAnsi(bytes, approximated);
        d[n++] = char(ansi);
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
