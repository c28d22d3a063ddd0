#include "Collation.h"

#include "TextCodec.h"

#include <algorithm>

namespace {

// What a byte is to the order.
enum Kind : quint8 { Ignored, Blank, Punctuation, Symbol, Digit, Letter };

struct Element
{
    Kind kind = Ignored;
    quint8 primary = 0;  // a letter's weight; a digit's value
    quint8 primary2 = 0; // the second letter of "ß", "æ", "œ"; 0 for none
    quint8 accent = 0;   // level 2
    quint8 variant = 0;  // level 3
};

// Level weights. 0x01 ends a level and is below every weight, so that a text that ends
// first comes first; 0x02 is the weight of the plain form, left off at the end of a level.
constexpr char kLevelEnd = 0x01;
constexpr quint8 kPlain = 0x02;
constexpr quint8 kSymbolMark = 0x08; // level 1: a symbol, then its byte
constexpr quint8 kNumberMark = 0x10; // level 1: a number, its length, then its digits
constexpr quint8 kOther = 0xFF;      // level 4: a letter, a digit or a symbol

// Level 1 of the letters, a gap after each for the letters that follow it in the alphabet
// of other languages: "ð" after d, "þ" after z, then "µ".
constexpr quint8 letterWeight(char c) { return quint8(0x20 + 2 * (c - 'a')); }
constexpr quint8 kEth = letterWeight('d') + 1;
constexpr quint8 kThorn = letterWeight('z') + 1;
constexpr quint8 kMicro = letterWeight('z') + 2;

// Level 2.
enum Accent : quint8 {
    NoAccent = kPlain, Acute, Grave, Circumflex, Caron, Ring, Diaeresis, Tilde, Cedilla, Stroke, Hook,
};
// Level 3.
enum Variant : quint8 { Small = kPlain, SmallVariant, Capital, CapitalVariant };

std::array<Element, 256> makeTable()
{
    std::array<Element, 256> t{}; // controls and the undefined bytes count at no level
    auto kind = [&t](const char *bytes, Kind k) {
        for (const char *p = bytes; *p; ++p)
            t[quint8(*p)].kind = k;
    };
    auto letter = [&t](int byte, quint8 weight, quint8 accent, quint8 variant, quint8 weight2 = 0) {
        t[byte] = Element{Letter, weight, weight2, accent, variant};
    };
    kind("\t\n\v\f\r \xA0", Blank);
    kind("!\"#%&'()*,-./:;?@[\\]_{}\x82\x84\x85\x86\x87\x89\x8B\x91\x92\x93\x94\x95\x96\x97\x9B"
         "\xA1\xA7\xAB\xB6\xB7\xBB\xBF",
         Punctuation);
    kind("$+<=>^`|~\x80\x88\x98\x99\xA2\xA3\xA4\xA5\xA6\xA8\xA9\xAC\xAE\xAF\xB0\xB1\xB4\xB8\xBC\xBD\xBE\xD7\xF7",
         Symbol);
    for (int d = 0; d <= 9; ++d)
        t['0' + d] = Element{Digit, quint8(d), 0, kPlain, Small};
    t[0xB9] = Element{Digit, 1, 0, kPlain, SmallVariant}; // superscripts
    t[0xB2] = Element{Digit, 2, 0, kPlain, SmallVariant};
    t[0xB3] = Element{Digit, 3, 0, kPlain, SmallVariant};
    for (char c = 'a'; c <= 'z'; ++c) {
        letter(c, letterWeight(c), NoAccent, Small);
        letter(c - 'a' + 'A', letterWeight(c), NoAccent, Capital);
    }

    // The accented capitals from 0xC0, each with its small letter 0x20 further on.
    struct Accented { char base; quint8 accent; };
    const Accented latin1[] = {
        {'a', Grave}, {'a', Acute}, {'a', Circumflex}, {'a', Tilde}, {'a', Diaeresis}, {'a', Ring}, {0, 0}, // Æ
        {'c', Cedilla}, {'e', Grave}, {'e', Acute}, {'e', Circumflex}, {'e', Diaeresis},
        {'i', Grave}, {'i', Acute}, {'i', Circumflex}, {'i', Diaeresis}, {0, 0}, // Ð
        {'n', Tilde}, {'o', Grave}, {'o', Acute}, {'o', Circumflex}, {'o', Tilde}, {'o', Diaeresis}, {0, 0}, // ×
        {'o', Stroke}, {'u', Grave}, {'u', Acute}, {'u', Circumflex}, {'u', Diaeresis}, {'y', Acute},
    };
    for (int i = 0; i < int(std::size(latin1)); ++i) {
        if (latin1[i].base) {
            letter(0xC0 + i, letterWeight(latin1[i].base), latin1[i].accent, Capital);
            letter(0xE0 + i, letterWeight(latin1[i].base), latin1[i].accent, Small);
        }
    }
    letter(0xC6, letterWeight('a'), NoAccent, CapitalVariant, letterWeight('e')); // Æ
    letter(0xE6, letterWeight('a'), NoAccent, SmallVariant, letterWeight('e'));   // æ
    letter(0x8C, letterWeight('o'), NoAccent, CapitalVariant, letterWeight('e')); // Œ
    letter(0x9C, letterWeight('o'), NoAccent, SmallVariant, letterWeight('e'));   // œ
    letter(0xDF, letterWeight('s'), NoAccent, SmallVariant, letterWeight('s'));   // ß
    letter(0xD0, kEth, NoAccent, Capital);
    letter(0xF0, kEth, NoAccent, Small);
    letter(0xDE, kThorn, NoAccent, Capital);
    letter(0xFE, kThorn, NoAccent, Small);
    letter(0xB5, kMicro, NoAccent, Small);
    letter(0x8A, letterWeight('s'), Caron, Capital); // Š
    letter(0x9A, letterWeight('s'), Caron, Small);
    letter(0x8E, letterWeight('z'), Caron, Capital); // Ž
    letter(0x9E, letterWeight('z'), Caron, Small);
    letter(0x9F, letterWeight('y'), Diaeresis, Capital); // Ÿ
    letter(0xFF, letterWeight('y'), Diaeresis, Small);
    letter(0x83, letterWeight('f'), Hook, Small);          // ƒ
    letter(0xAA, letterWeight('a'), NoAccent, SmallVariant); // ª
    letter(0xBA, letterWeight('o'), NoAccent, SmallVariant); // º
    return t;
}

const std::array<Element, 256> &table()
{
    static const std::array<Element, 256> t = makeTable();
    return t;
}

// A number's count of digits, so that a shorter number comes first: one byte below 250,
// else a mark and four bytes of seven bits each.
char *writeLength(char *out, size_t n)
{
    if (n < 250) {
        *out++ = char(n + 2);
        return out;
    }
    *out++ = char(0xFC);
    for (int shift = 21; shift >= 0; shift -= 7)
        *out++ = char(((n >> shift) & 0x7F) + 2);
    return out;
}

} // namespace

namespace Collation {

void appendKey(std::string &key, QByteArrayView text)
{
    const std::array<Element, 256> &t = table();
    const auto *s = reinterpret_cast<const quint8 *>(text.data());
    const size_t n = size_t(text.size());
    // Written through pointers into room made beforehand, then added to the key level by
    // level: level 1 takes at most three bytes a character (a one-digit number), levels 2
    // and 3 two each (an expansion), level 4 one.
    thread_local std::string levels;
    if (levels.size() < 8 * n + 8)
        levels.resize(8 * n + 8);
    char *const primaries = levels.data();
    char *const accents = primaries + 3 * n + 8;
    char *const variants = accents + 2 * n;
    char *const passedOver = variants + 2 * n;
    char *primary = primaries;
    char *a = accents;
    char *v = variants;
    char *p = passedOver;
    bool anyPassedOver = false;
    for (size_t i = 0; i < n;) {
        const Element &e = t[s[i]];
        switch (e.kind) {
        case Ignored:
            ++i;
            break;
        case Blank:
        case Punctuation:
            *p++ = char(e.kind == Blank ? kPlain : s[i]);
            anyPassedOver = true;
            ++i;
            break;
        case Symbol:
            *primary++ = char(kSymbolMark);
            *primary++ = char(s[i]);
            *a++ = char(kPlain);
            *v++ = char(Small);
            *p++ = char(kOther);
            ++i;
            break;
        case Letter:
            *primary++ = char(e.primary);
            *a++ = char(e.accent);
            *v++ = char(e.variant);
            if (e.primary2) {
                *primary++ = char(e.primary2);
                *a++ = char(e.accent);
                *v++ = char(e.variant);
            }
            *p++ = char(kOther);
            ++i;
            break;
        case Digit: {
            // The number, without its leading zeros; those count at level 2.
            size_t zeros = 0;
            quint8 variant = Small;
            while (i < n && t[s[i]].kind == Digit && t[s[i]].primary == 0) {
                variant = std::max(variant, t[s[i]].variant);
                ++zeros;
                ++i;
            }
            const size_t first = i;
            while (i < n && t[s[i]].kind == Digit) {
                variant = std::max(variant, t[s[i]].variant);
                ++i;
            }
            *primary++ = char(kNumberMark);
            primary = writeLength(primary, i - first);
            for (size_t k = first; k < i; ++k)
                *primary++ = char('0' + t[s[k]].primary);
            *a++ = char(kPlain + std::min<size_t>(zeros, 0xFF - kPlain));
            *v++ = char(variant);
            p = std::fill_n(p, i - first + zeros, char(kOther));
            break;
        }
        }
    }
    // The plain weights at the end of a level say nothing: they are left off.
    while (a != accents && a[-1] == char(kPlain))
        --a;
    while (v != variants && v[-1] == char(Small))
        --v;
    key.append(primaries, size_t(primary - primaries));
    key += kLevelEnd;
    key.append(accents, size_t(a - accents));
    key += kLevelEnd;
    key.append(variants, size_t(v - variants));
    if (anyPassedOver) {
        while (p != passedOver && p[-1] == char(kOther))
            --p;
        key += kLevelEnd;
        key.append(passedOver, size_t(p - passedOver));
    }
}

QByteArray key(QByteArrayView text)
{
    std::string k;
    appendKey(k, text);
    return QByteArray(k.data(), qsizetype(k.size()));
}

int compare(QByteArrayView a, QByteArrayView b)
{
    std::string ka, kb;
    appendKey(ka, a);
    appendKey(kb, b);
    const int c = ka.compare(kb);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace Collation

DateSortKeys::DateSortKeys(const QLocale &locale)
{
    const std::array<DateText::Form, 2> forms = DateText::forms(locale);
    for (size_t i = 0; i < forms.size(); ++i) {
        m_forms[i].form = forms[i];
        m_forms[i].dateBlanks = int(forms[i].date.count(u' '));
    }
}

qint64 DateSortKeys::day(Form &f, QByteArrayView datePart)
{
    const QByteArray probe = QByteArray::fromRawData(datePart.data(), datePart.size());
    const auto known = f.days.constFind(probe);
    if (known != f.days.constEnd())
        return *known;
    const QDate date = f.form.locale.toDate(TextCodec::fromAnsi(datePart), f.form.date);
    const qint64 day = date.isValid() && date.toJulianDay() >= 0 ? date.toJulianDay() : -1;
    f.days.insert(datePart.toByteArray(), day);
    return day;
}

qint64 DateSortKeys::seconds(Form &f, QByteArrayView time)
{
    // The hour is the first number, the minutes and seconds follow it. The hour is read with
    // the other numbers as zeros, so that an "AM" or "PM" counts as the form says.
    char zeroed[64];
    if (time.size() > qsizetype(sizeof zeroed))
        return -1;
    int numbers[3] = {0, 0, 0};
    int count = 0;
    for (qsizetype i = 0; i < time.size();) {
        if (time[i] < '0' || time[i] > '9') {
            zeroed[i] = time[i];
            ++i;
            continue;
        }
        if (count == 3)
            return -1;
        int value = 0;
        for (; i < time.size() && time[i] >= '0' && time[i] <= '9'; ++i) {
            value = std::min(value * 10 + (time[i] - '0'), 1000);
            zeroed[i] = count == 0 ? time[i] : '0';
        }
        numbers[count++] = value;
    }
    if (count < 2 || numbers[1] > 59 || numbers[2] > 59)
        return -1;

    const QByteArrayView zeroedTime(zeroed, time.size());
    const QByteArray probe = QByteArray::fromRawData(zeroedTime.data(), zeroedTime.size());
    auto known = f.hours.constFind(probe);
    if (known == f.hours.constEnd()) {
        const QTime t = f.form.locale.toTime(TextCodec::fromAnsi(zeroedTime), f.form.time);
        known = f.hours.insert(zeroedTime.toByteArray(), t.isValid() && t.minute() == 0 && t.second() == 0 ? t.hour() : -1);
    }
    return *known < 0 ? -1 : *known * 3600 + numbers[1] * 60 + numbers[2];
}

bool DateSortKeys::appendKey(std::string &key, QByteArrayView text)
{
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    // In the first form whose date and time both read, as DateText::parse takes them. The
    // date ends at the blank after the form's date; a date alone has no blank after it.
    for (Form &f : m_forms) {
        qsizetype end = -1;
        int seen = 0;
        for (; seen <= f.dateBlanks; ++seen) {
            end = text.indexOf(' ', end + 1);
            if (end < 0)
                break;
        }
        if (seen < f.dateBlanks)
            continue;
        const qint64 d = day(f, end < 0 ? text : text.first(end));
        const qint64 s = d < 0 || end < 0 ? 0 : seconds(f, text.sliced(end + 1));
        if (d < 0 || s < 0)
            continue;
        // Seconds since the calendar's start, as six bytes that compare as numbers (enough
        // for nine million years).
        const quint64 moment = quint64(d) * 86400 + quint64(s);
        for (int shift = 40; shift >= 0; shift -= 8)
            key += char((moment >> shift) & 0xFF);
        return true;
    }
    return false;
}
