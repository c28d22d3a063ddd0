#include "Msvcls.h"

#include "store/AddressBook.h"
#include "store/TextCodec.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// More parameters than any card writes: a property line with millions of semicolons before
// its colon stops being split there.
constexpr qsizetype MaxParameters = 64;

// Names the reader looks for on every property, their lengths known beforehand.
constexpr QByteArrayView kQuotedPrintable("QUOTED-PRINTABLE");
constexpr QByteArrayView kEncoding("ENCODING");
constexpr QByteArrayView kType("TYPE");
constexpr QByteArrayView kCharset("CHARSET");
constexpr QByteArrayView kVersion("VERSION");

// The position of the first `c` in `text` from `from` on, or -1.
qsizetype indexOfChar(QByteArrayView text, char c, qsizetype from = 0)
{
    if (from >= text.size())
        return -1;
    const void *hit = std::memchr(text.data() + from, c, size_t(text.size() - from));
    return hit ? static_cast<const char *>(hit) - text.data() : -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// A name of one to seven bytes, upper-cased, and its length in one number, so that the
// name of every line is matched by comparing numbers; 0 for an empty or a longer name.
constexpr qsizetype KeyedLength = 7;

inline quint64 nameKey(QByteArrayView name)
{
    if (name.isEmpty() || name.size() > KeyedLength)
        return 0;
    // The bytes in the low seven bytes of one number, read without a loop: the first and
    // the last four (overlapping) for four to seven bytes, the first, middle and last for
    // fewer.
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    const qsizetype n = name.size();
    quint64 word;
    if (n >= 4) {
        quint32 first;
        quint32 last;
        std::memcpy(&first, p, 4);
        std::memcpy(&last, p + n - 4, 4);
        word = quint64(qFromLittleEndian(first)) | quint64(qFromLittleEndian(last)) << (8 * (n - 4));
    } else {
        word = quint64(p[0]) | quint64(p[n / 2]) << (8 * (n / 2)) | quint64(p[n - 1]) << (8 * (n - 1));
    }
    // a to z in upper case, all bytes at once.
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highs = 0x8080808080808080ULL;
    const quint64 low7 = word & ~highs;
    const quint64 atLeastA = low7 + ones * (0x80 - 'a');
    const quint64 aboveZ = low7 + ones * (0x80 - 'z' - 1);
    const quint64 lower = atLeastA & ~aboveZ & ~word & highs;
    return (word - (lower >> 2)) | quint64(n) << 56;
}

// The first slot of the pool's table of names at which a name key is looked for.
int keySlot(quint64 key, int slotCount)
{
    return int((key * 0x9E3779B97F4A7C15ULL) >> 58) & (slotCount - 1);
}

inline bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    const char *const x = a.data();
    const char *const y = b.data();
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (x[i] != y[i] && upperAscii(x[i]) != upperAscii(y[i]))
            return false;
    }
    return true;
}

bool startsWithIgnoringAsciiCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.first(prefix.size()), prefix);
}

// Without the leading and trailing characters of code 32 or less (blanks, tabs, controls).
QByteArrayView trimmedView(QByteArrayView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.sliced(b, e - b);
}

QByteArray trimmedLine(QByteArrayView text)
{
    return trimmedView(text).toByteArray();
}

// The property name asked for, without a trailing colon.
QByteArrayView bareName(QByteArrayView propName)
{
    return propName.endsWith(':') ? propName.chopped(1) : propName;
}

// The name of the property a line holds: what comes before its first colon or semicolon,
// after a group prefix where cards of other programs allow one. A line with neither, or one
// that begins with a blank, holds no property (an empty view).
QByteArrayView propertyNameOf(QByteArrayView line, bool allowGroup)
{
    if (line.isEmpty() || isBlank(line[0]))
        return {};
    if (allowGroup) {
        // Only a name made of letters, digits and hyphens, then a dot, is a group.
        qsizetype i = 0;
        while (i < line.size()) {
            const char c = line[i];
            if (c == ':' || c == ';')
                return line.first(i);
            const bool nameChar = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                || c == '-';
            if (!nameChar)
                break;
            ++i;
        }
        if (i > 0 && i < line.size() && line[i] == '.')
            line = line.sliced(i + 1);
    }
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ':' || line[i] == ';')
            return line.first(i);
    }
    return {};
}

// Whether the line holds the property `name`: the name, then a colon or a semicolon.
bool holdsProperty(QByteArrayView line, QByteArrayView name, bool allowGroup)
{
    const QByteArrayView found = propertyNameOf(line, allowGroup);
    return !found.isEmpty() && equalsIgnoringAsciiCase(found, name);
}

// The first colon that is not inside double quotes; a quote left open makes the first
// colon of all count, so that a stray quote loses no value.
qsizetype propertyColon(QByteArrayView text)
{
    // Most properties have no quote before their first colon, which then is the one.
    const qsizetype first = indexOfChar(text, ':');
    if (first < 0 || indexOfChar(text.first(first), '"') < 0)
        return first;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ':' && !quoted)
            return i;
    }
    return indexOfChar(text, ':');
}

// Calls fn(item) for the property's name and then each of its parameters: the pieces of
// `head` (the text before the property's colon) between the semicolons that are not inside
// double quotes, at most MaxParameters of them after the name.
template<typename Fn>
void forEachParameter(QByteArrayView head, Fn fn)
{
    qsizetype start = 0;
    qsizetype count = 0;
    if (indexOfChar(head, '"') < 0) {
        // No quotes: every semicolon separates.
        for (qsizetype semi; (semi = indexOfChar(head, ';', start)) >= 0;) {
            fn(head.sliced(start, semi - start));
            start = semi + 1;
            if (++count > MaxParameters)
                return;
        }
        fn(head.sliced(start));
        return;
    }
    bool quoted = false;
    for (qsizetype i = 0; i < head.size(); ++i) {
        if (head[i] == '"') {
            quoted = !quoted;
        } else if (head[i] == ';' && !quoted) {
            fn(head.sliced(start, i - start));
            start = i + 1;
            if (++count > MaxParameters)
                return;
        }
    }
    fn(head.sliced(start));
}

// The name and value of a parameter item "name=value", both trimmed; the value's quotes
// are still in it.
bool splitParameter(QByteArrayView item, QByteArrayView &name, QByteArrayView &value)
{
    const qsizetype eq = indexOfChar(item, '=');
    if (eq < 0)
        return false;
    name = trimmedView(item.first(eq));
    value = trimmedView(item.sliced(eq + 1));
    return true;
}

bool isQuotedPrintableParameter(QByteArrayView item)
{
    // Both forms end in QUOTED-PRINTABLE.
    if (item.size() < 16)
        return false;
    item = trimmedView(item);
    if (equalsIgnoringAsciiCase(item, kQuotedPrintable))
        return true;
    const qsizetype eq = indexOfChar(item, '=');
    return eq >= 0 && equalsIgnoringAsciiCase(trimmedView(item.first(eq)), kEncoding)
        && equalsIgnoringAsciiCase(trimmedView(item.sliced(eq + 1)), kQuotedPrintable);
}

// Whether a property line (name first) says its value is quoted-printable.
bool lineIsQuotedPrintable(QByteArrayView line)
{
    const qsizetype colon = propertyColon(line);
    bool qp = false;
    bool first = true;
    forEachParameter(colon < 0 ? line : line.first(colon), [&](QByteArrayView item) {
        if (!first)
            qp = qp || isQuotedPrintableParameter(item);
        first = false;
    });
    return qp;
}

// The position of a quoted-printable soft line break ("=" at the end, blanks after it
// allowed, as mail transports add them), or -1.
qsizetype softBreak(QByteArrayView line)
{
    qsizetype e = line.size();
    while (e > 0 && isBlank(line[e - 1]))
        --e;
    return (e > 0 && line[e - 1] == '=') ? e - 1 : -1;
}

// A line that opens or closes a card: a soft line break never reaches over it.
bool isFrameLine(QByteArrayView line)
{
    while (!line.isEmpty() && isBlank(line[0]))
        line = line.sliced(1);
    return startsWithIgnoringAsciiCase(line, "BEGIN:") || startsWithIgnoringAsciiCase(line, "END:");
}

// A line that continues the property before it: it begins with a blank, and is not a card's
// BEGIN or END line set in by some program.
bool isContinuation(QByteArrayView line)
{
    if (line.isEmpty() || !isBlank(line[0]))
        return false;
    const QByteArrayView text = trimmedView(line);
    return !equalsIgnoringAsciiCase(text, "END:VCARD") && !equalsIgnoringAsciiCase(text, "BEGIN:VCARD");
}

// The dialect a VERSION line names, if the line is one.
bool dialectOfLine(QByteArrayView line, TmsCardDialect &dialect)
{
    if (!holdsProperty(line, kVersion, true))
        return false;
    const qsizetype colon = indexOfChar(line, ':');
    if (colon < 0)
        return false;
    const QByteArrayView version = trimmedView(line.sliced(colon + 1));
    if (version == "1.2")
        dialect = TmsCardDialect::Own;
    else if (version == "2.1")
        dialect = TmsCardDialect::V21;
    else if (version == "3.0" || version == "4.0")
        dialect = TmsCardDialect::V3;
    else
        dialect = TmsCardDialect::Other;
    return true;
}

TmsCardDialect dialectOfText(QByteArrayView text)
{
    qsizetype pos = 0;
    QByteArrayView line;
    TmsCardDialect dialect = TmsCardDialect::Other;
    while (AddressBook::nextLine(text, pos, line)) {
        if (dialectOfLine(line, dialect))
            break;
    }
    return dialect;
}

// Calls fn(line, joined) for each line of a card's text. In cards of other programs a
// quoted-printable property's soft line breaks are joined first, so that a continuation
// never passes for a property: the "=" goes and the next line follows exactly as it is,
// unless it opens or closes a card. Such a line is handed over in `joined`, which fn may
// take; other lines are views into the text.
template<typename Fn>
void forEachCardLine(QByteArrayView text, TmsCardDialect dialect, Fn fn)
{
    qsizetype pos = 0;
    QByteArrayView line;
    while (AddressBook::nextLine(text, pos, line)) {
        qsizetype k = -1;
        if (dialect != TmsCardDialect::Own && !line.isEmpty() && !isBlank(line[0]))
            k = softBreak(line);
        if (k < 0 || !lineIsQuotedPrintable(line)) {
            fn(line, nullptr);
            continue;
        }
        QByteArray joined = line.first(k).toByteArray();
        for (;;) {
            const qsizetype at = pos;
            QByteArrayView next;
            if (!AddressBook::nextLine(text, pos, next))
                break;
            if (isFrameLine(next)) {
                pos = at;
                break;
            }
            joined.append(next);
            k = softBreak(joined);
            if (k < 0)
                break;
            joined.truncate(k);
        }
        fn(QByteArrayView(joined), &joined);
    }
}

// The text of a property from its lines, the first one holding the name and each further
// one beginning with a blank. Version 3.0 and 4.0 fold by inserting a line break and one
// blank: taking both away gives back the text exactly, blanks at either side of the fold
// included. Other cards' pieces are trimmed and joined with one blank.
QByteArray unfoldedText(QByteArrayView lines, TmsCardDialect dialect)
{
    qsizetype pos = 0;
    QByteArrayView line;
    AddressBook::nextLine(lines, pos, line);
    if (pos >= lines.size())
        return trimmedLine(line);
    QByteArray text;
    if (dialect == TmsCardDialect::V3) {
        text = line.toByteArray();
        while (AddressBook::nextLine(lines, pos, line))
            text.append(line.sliced(1));
        return trimmedLine(text);
    }
    do {
        const QByteArrayView piece = trimmedView(line);
        if (piece.isEmpty())
            continue;
        if (!text.isEmpty())
            text.append(' ');
        text.append(piece);
    } while (AddressBook::nextLine(lines, pos, line));
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "=XX" gives the byte XX; an "=" not followed by two hex digits stays as it is.
QByteArray decodeQuotedPrintable(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size()) {
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.append(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

// What a property's value text holds beyond plain ASCII text and separators: bits of
// ValueBytes. Most values hold none of these, and then need no work after splitting.
enum ValueBytes : quint8 {
    Backslash = 1,  // an escape, in the cards that have them
    HighBit = 2,    // UTF-8 or 8-bit text
    BreakOrNul = 4, // CR, LF or NUL
};

quint8 valueBytes(QByteArrayView text)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 highs = 0x8080808080808080ULL;
    // Whether any byte of the word is c.
    auto holds = [](quint64 word, quint8 c) {
        const quint64 x = word ^ (ones * c);
        return ((x - ones) & ~x & highs) != 0;
    };
    quint8 found = 0;
    const char *const data = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
    // Eight bytes at a time.
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        if (word & highs)
            found |= HighBit;
        if (holds(word, '\\'))
            found |= Backslash;
        if (holds(word, '\r') || holds(word, '\n') || holds(word, '\0'))
            found |= BreakOrNul;
    }
    for (; i < n; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x80)
            found |= HighBit;
        else if (c == '\\')
            found |= Backslash;
        else if (c == '\r' || c == '\n' || c == '\0')
            found |= BreakOrNul;
    }
    return found;
}

// The values of a property, split at the semicolons that separate them, no more than
// `slotCount` of them (0: all). What follows the last slot is dropped, or kept whole, separators
// included, in the last value when `keepRest`: either way, splitting stops there. Version
// 3.0 and 4.0 escape with a backslash ("\n" a line break, any other character itself);
// every other card has "\;" for a semicolon inside a value, and this program's own cards
// "\\" for a backslash as well. `mayEscape` false says the text holds no escape (or that
// none is to be read).
void splitValues(QByteArrayView text, TmsCardDialect dialect, qsizetype slotCount, bool keepRest, QByteArrayList &out,
                 bool borrow = false, bool mayEscape = true)
{
    out.clear();
    // One allocation for the values of most properties, kept by a parser from one to the next.
    if (out.capacity() < 8)
        out.reserve(8);
    // A borrowed value is the text's own bytes.
    auto value = [borrow](QByteArrayView v) {
        return borrow ? QByteArray::fromRawData(v.data(), v.size()) : v.toByteArray();
    };
    const bool escapes = mayEscape && indexOfChar(text, '\\') >= 0;
    if (!escapes) {
        // The pieces first, then the list in one step.
        QVarLengthArray<QByteArrayView, 8> pieces;
        qsizetype start = 0;
        for (;;) {
            const qsizetype semi = indexOfChar(text, ';', start);
            if (semi < 0 || (slotCount > 0 && pieces.size() == slotCount - 1)) {
                pieces.append(semi >= 0 && !keepRest ? text.sliced(start, semi - start) : text.sliced(start));
                break;
            }
            pieces.append(text.sliced(start, semi - start));
            start = semi + 1;
        }
        out.resize(pieces.size());
        QByteArray *const values = out.data();
        for (qsizetype k = 0; k < pieces.size(); ++k)
            values[k] = value(pieces[k]);
        return;
    }
    QByteArray current;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < n) {
            const char next = text[i + 1];
            if (dialect == TmsCardDialect::V3) {
                current.append((next == 'n' || next == 'N') ? '\n' : next);
                ++i;
                continue;
            }
            if (next == ';' || (next == '\\' && dialect == TmsCardDialect::Own)) {
                current.append(next);
                ++i;
                continue;
            }
        }
        if (c != ';') {
            current.append(c);
        } else if (slotCount > 0 && out.size() == slotCount - 1) {
            if (!keepRest)
                break;
            current.append(c);
        } else {
            out.append(std::exchange(current, {}));
        }
    }
    out.append(current);
}

// Every line break (CR LF, CR or LF) becomes one LF; a NUL becomes a blank.
void normaliseBreaks(QByteArray &text)
{
    if (indexOfChar(text, '\r') < 0 && indexOfChar(text, '\0') < 0)
        return;
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out.append('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\0') {
            out.append(' ');
        } else {
            out.append(c);
        }
    }
    text = std::move(out);
}

// The ordinal of the member whose parameter name the item is, ignoring letter case, or -1.
template<const auto &Names>
int memberOf(QByteArrayView item)
{
    // The names as numbers, as nameKey makes them: most items are matched by one compare
    // per name.
    static constexpr auto keys = [] {
        std::array<quint64, Names.size()> out{};
        for (std::size_t t = 0; t < Names.size(); ++t) {
            const std::size_t length = std::char_traits<char>::length(Names[t]);
            if (length == 0 || length > std::size_t(KeyedLength))
                continue;
            out[t] = quint64(length) << 56;
            for (std::size_t i = 0; i < length; ++i)
                out[t] |= quint64(quint8(Names[t][i])) << (8 * i);
        }
        return out;
    }();
    if (const quint64 key = nameKey(item); key != 0) {
        for (std::size_t t = 0; t < Names.size(); ++t) {
            if (keys[t] == key)
                return int(t);
        }
        return -1;
    }
    // Empty items and long ones: the names without a number.
    for (std::size_t t = 0; t < Names.size(); ++t) {
        if (keys[t] == 0 && equalsIgnoringAsciiCase(item, QByteArrayView(Names[t])))
            return int(t);
    }
    return -1;
}

// Empties a text where QByteArray::clear would cost a call: a card's fields are cleared for
// every card read, and most of them hold no bytes of their own.
inline void clearText(QByteArray &text)
{
    text = QByteArray();
}

// Value k of the parser, if there is one.
bool takeValue(const TmsPropertyParser &parser, qsizetype k, QByteArray &field)
{
    if (k >= parser.Values().size())
        return false;
    field = parser.Value(k);
    return true;
}

// Reads the next property `name` with the parser, split into no more values than the
// record has slots for.
void parseProperty(TmsPropertyParser &parser, const QByteArray &name, qsizetype slotCount)
{
    parser.setPropName(name);
    parser.setValueSlots(slotCount);
    parser.Parse();
}

// A record or group read from a list of lines, taking out the lines it reads.
template<typename Record>
void loadFromLines(Record &record, QByteArrayList &lines)
{
    TmsPropertyParser parser;
    parser.setLines(&lines);
    record.LoadFrom(parser);
}

// A value as the writer puts it into a line: a semicolon inside it would split it, so it is
// written "\;", and a backslash "\\", as vCard 2.1 escapes them. Nothing else changes.
QByteArray escaped(const QByteArray &value)
{
    if (indexOfChar(value, ';') < 0 && indexOfChar(value, '\\') < 0)
        return value;
    QByteArray out;
    out.reserve(value.size() + 8);
    for (const char c : value) {
        if (c == ';' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    return out;
}

QByteArray joinedParams(QByteArrayView head, const auto &names, const auto &members)
{
    QByteArray line(head.toByteArray());
    for (auto m : members) {
        line.append(';');
        line.append(names[m]);
    }
    return line;
}

} // namespace

// ---------------------------------------------------------------------------------------

EAssignError::EAssignError(const char *sourceClass, const char *targetClass)
    : AppError(QCoreApplication::translate("TmsPersistent", "Impossibile assegnare %1 a %2")
                   .arg(QString::fromLatin1(sourceClass), QString::fromLatin1(targetClass)))
{
}

void TmsPersistent::Assign(const TmsPersistent *source)
{
    AssignError(source);
}

void TmsPersistent::AssignError(const TmsPersistent *source) const
{
    throw EAssignError(source ? source->ClassName() : "nil", ClassName());
}

// ---------------------------------------------------------------------------------------

const QByteArrayList &TmsPropertyPool::CardNames()
{
    static const QByteArrayList names = {"N", "FN", "ADR", "TEL", "EMAIL", "ORG", "TITLE", "ROLE", "NOTE", "URL"};
    return names;
}

TmsPropertyPool::TmsPropertyPool(QByteArrayView text, const QByteArrayList &names, bool lendText)
    : m_names(names), m_lendText(lendText)
{
    if (const qsizetype nul = indexOfChar(text, '\0'); nul >= 0)
        text = text.first(nul);
    m_next.resize(m_names.size());
    std::fill(m_next.begin(), m_next.end(), -1);
    m_taken.resize(m_names.size());
    std::fill(m_taken.begin(), m_taken.end(), 0);
    // Per name, its last property found so far, to chain the next one to it.
    QVarLengthArray<qsizetype, 16> last(m_names.size(), -1);
    // (Read-only: the names are shared with the caller's list, which is not copied.)
    for (const QByteArray &name : std::as_const(m_names))
        m_keys.append(nameKey(name));
    // Every line's name is looked up: a small hash table finds it in a probe or two. A name
    // asked for twice keeps its first index.
    m_slots.fill(0);
    if (m_keys.size() <= Slots / 2) {
        for (int i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i] == 0)
                continue;
            int h = keySlot(m_keys[i], Slots);
            while (m_slots[h] != 0 && m_keys[m_slots[h] - 1] != m_keys[i])
                h = (h + 1) & (Slots - 1);
            if (m_slots[h] == 0)
                m_slots[h] = quint8(i + 1);
        }
    }
    m_dialect = dialectOfText(text);
    const bool allowGroup = m_dialect != TmsCardDialect::Own;

    // The property being read: its name's index, and its lines, either a stretch of the
    // text or (after a joined soft break) a text of its own.
    int current = -1;
    bool folded = false;
    QByteArrayView lines;
    qsizetype stored = -1;
    auto close = [&] {
        if (current >= 0) {
            const qsizetype at = m_found.size();
            m_found.append({current, folded, stored >= 0 ? QByteArrayView(m_store[stored]) : lines, -1});
            (last[current] >= 0 ? m_found[last[current]].next : m_next[current]) = at;
            last[current] = at;
        }
        current = -1;
    };
    forEachCardLine(text, m_dialect, [&](QByteArrayView line, QByteArray *joined) {
        if (isContinuation(line)) {
            // A continuation of the line before; one after an empty line or after a line that
            // holds no property belongs to nothing.
            if (current < 0)
                return;
            folded = true;
            if (stored >= 0)
                m_store[stored].append('\n').append(line);
            else
                lines = QByteArrayView(lines.data(), line.data() + line.size() - lines.data());
            return;
        }
        close();
        current = nameIndex(propertyNameOf(line, allowGroup));
        if (current < 0)
            return;
        folded = false;
        if (joined) {
            stored = m_store.size();
            m_store.append(std::move(*joined));
        } else {
            stored = -1;
            lines = line;
        }
    });
    close();
}

int TmsPropertyPool::nameIndex(QByteArrayView name) const
{
    if (name.isEmpty())
        return -1;
    const quint64 key = nameKey(name);
    if (key != 0 && m_keys.size() <= Slots / 2) {
        for (int h = keySlot(key, Slots); m_slots[h] != 0; h = (h + 1) & (Slots - 1)) {
            if (m_keys[m_slots[h] - 1] == key)
                return m_slots[h] - 1;
        }
        return -1;
    }
    if (key != 0) {
        for (int i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i] == key)
                return i;
        }
        return -1;
    }
    // An empty name or one longer than seven bytes is compared letter by letter with the names
    // that have no number.
    for (int i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i] == 0 && equalsIgnoringAsciiCase(name, m_names[i]))
            return i;
    }
    return -1;
}

bool TmsPropertyPool::Holds(QByteArrayView name)
{
    const int index = nameIndex(bareName(name));
    return index >= 0 && m_next[index] >= 0;
}

bool TmsPropertyPool::Take(QByteArrayView name, QByteArray &text)
{
    clearText(text);
    const int index = nameIndex(bareName(name));
    const qsizetype i = index >= 0 ? m_next[index] : -1;
    if (i < 0)
        return false;
    const Found &found = m_found[i];
    m_next[index] = found.next;
    ++m_taken[index];
    m_lastName = index;
    // Most properties are one line: the text is that line itself. Unfolded texts stay
    // with the pool, so that both kinds last as long as it does.
    QByteArrayView line;
    if (found.folded) {
        m_store.append(unfoldedText(found.lines, m_dialect));
        line = m_store.last();
    } else {
        line = trimmedView(found.lines);
    }
    text = QByteArray::fromRawData(line.data(), line.size());
    return true;
}

void TmsPropertyPool::NoteApproximated(quint64 values)
{
    if (m_lastName >= 0 && values != 0)
        m_changed.append({m_lastName, m_taken[m_lastName] - 1, values});
}

quint64 TmsPropertyPool::Approximated(QByteArrayView name, int n) const
{
    const int index = nameIndex(bareName(name));
    for (const Changed &c : m_changed) {
        if (c.name == index && c.n == n)
            return c.values;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------

TmsCardDialect TmsPropertyParser::DialectOf(const QByteArrayList &lines)
{
    TmsCardDialect dialect = TmsCardDialect::Other;
    for (const QByteArray &line : lines) {
        if (dialectOfLine(line, dialect))
            break;
    }
    return dialect;
}

namespace {

qsizetype findIn(const QByteArrayList *lines, const QByteArray &propName, TmsCardDialect dialect)
{
    if (!lines || lines->isEmpty())
        return -1;
    const QByteArrayView name = bareName(propName);
    const bool allowGroup = dialect != TmsCardDialect::Own;
    for (qsizetype i = 0; i < lines->size(); ++i) {
        if (holdsProperty(lines->at(i), name, allowGroup))
            return i;
    }
    return -1;
}

} // namespace

qsizetype TmsPropertyParser::FindProperty() const
{
    if (!m_lines)
        return -1;
    return findIn(m_lines, m_propName, DialectOf(*m_lines));
}

void TmsPropertyParser::ExtractProperty()
{
    clearText(m_propText);
    if (m_pool) {
        m_dialect = m_pool->Dialect();
        m_pool->Take(m_propName, m_propText);
        return;
    }
    if (!m_lines)
        return;
    QByteArrayList &lines = *m_lines;
    m_dialect = DialectOf(lines);
    const qsizetype i = findIn(m_lines, m_propName, m_dialect);
    if (i < 0)
        return;

    // The property is its line and every directly following line that begins with a blank.
    qsizetype end = i + 1;
    while (end < lines.size() && isContinuation(lines[end]))
        ++end;
    m_propText = unfoldedText(end == i + 1 ? lines[i] : lines.mid(i, end - i).join('\n'), m_dialect);
    lines.remove(i, end - i);
}

void TmsPropertyParser::SplitFields(QByteArrayView text, QByteArrayList &list)
{
    splitValues(text, TmsCardDialect::Own, 0, false, list, false, false);
}

void TmsPropertyParser::SplitProperty()
{
    if (m_propText.isEmpty())
        return;

    if (m_dialect == TmsCardDialect::Own) {
        // This program's own cards: split at the first colon and at every semicolon, and
        // take the pieces as they stand.
        const qsizetype colon = indexOfChar(m_propText, ':');
        if (colon < 0)
            return;
        splitValues(QByteArrayView(m_propText).first(colon), TmsCardDialect::Own, MaxParameters + 1, false, m_params,
                    false, false);
        const QByteArrayView values = QByteArrayView(m_propText).sliced(colon + 1);
        splitValues(values, TmsCardDialect::Own, m_slots, m_keepRest, m_values);
        m_valueBreaks = indexOfChar(values, '\n') >= 0;
        return;
    }

    const qsizetype colon = propertyColon(m_propText);
    if (colon < 0)
        return;

    // A TYPE list counts like the bare names it holds, in whatever form it is written. The
    // items are the property's own bytes, not copies.
    auto param = [](QByteArrayView item) { return QByteArray::fromRawData(item.data(), item.size()); };
    m_params.clear();
    if (m_params.capacity() < 4)
        m_params.reserve(4);
    QByteArray charset;
    bool hasCharset = false;
    bool qp = false;
    forEachParameter(QByteArrayView(m_propText).first(colon), [&](QByteArrayView item) {
        if (m_params.isEmpty()) {
            m_params.append(param(item));
            return;
        }
        qp = qp || isQuotedPrintableParameter(item);
        QByteArrayView name;
        QByteArrayView value;
        if (!splitParameter(item, name, value)) {
            m_params.append(param(item));
            return;
        }
        QByteArray unquoted;
        if (indexOfChar(value, '"') >= 0) {
            unquoted = value.toByteArray().replace("\"", "");
            value = unquoted;
        }
        if (equalsIgnoringAsciiCase(name, kType)) {
            // A list of millions of types is cut like a line of millions of parameters.
            while (!value.isEmpty() && m_params.size() <= MaxParameters) {
                qsizetype comma = indexOfChar(value, ',');
                if (comma < 0)
                    comma = value.size();
                const QByteArrayView type = trimmedView(value.first(comma));
                if (!type.isEmpty())
                    m_params.append(unquoted.isNull() ? param(type) : type.toByteArray());
                value = value.sliced(std::min(comma + 1, value.size()));
            }
            return;
        }
        if (equalsIgnoringAsciiCase(name, kCharset)) {
            hasCharset = true;
            charset = value.toByteArray();
        }
        m_params.append(param(item));
    });
    const bool charsetUtf8 = hasCharset
        && (equalsIgnoringAsciiCase(charset, QByteArrayView("UTF-8")) || equalsIgnoringAsciiCase(charset, QByteArrayView("UTF8")));

    // One look at the whole value text says whether any value needs more than splitting.
    const QByteArrayView values = QByteArrayView(m_propText).sliced(colon + 1);
    const quint8 bytes = valueBytes(values);
    splitValues(values, m_dialect, m_slots, m_keepRest, m_values, m_pool && m_pool->LendsText(),
                bytes & Backslash);
    // Decoded quoted-printable text and escapes can make line breaks too.
    m_valueBreaks = qp || (bytes & (Backslash | BreakOrNul));
    if (!qp && !(bytes & (HighBit | BreakOrNul)))
        return;
    quint64 approximated = 0;
    for (qsizetype k = 0; k < m_values.size(); ++k) {
        QByteArray &value = m_values[k];
        if (qp)
            value = decodeQuotedPrintable(value);
        // Text in UTF-8 is recognised by itself, said or not; a card that names another
        // character set keeps its bytes.
        if ((!hasCharset || charsetUtf8) && TextCodec::isNonAsciiUtf8(value)) {
            bool changed = false;
            value = TextCodec::utf8ToAnsi(value, &changed);
            if (changed && k < 64)
                approximated |= quint64(1) << k;
        }
        normaliseBreaks(value);
    }
    if (approximated && m_pool)
        m_pool->NoteApproximated(approximated);
}

void TmsPropertyParser::Parse()
{
    m_params.clear();
    m_values.clear();
    m_valueBreaks = false;
    ExtractProperty();
    SplitProperty();
}

QByteArray TmsPropertyParser::Value(qsizetype k) const
{
    if (k < 0 || k >= m_values.size())
        return QByteArray();
    QByteArray v = m_values[k];
    if (m_valueBreaks && indexOfChar(v, '\n') >= 0)
        v.replace('\n', ' ');
    return v;
}

QByteArrayList TmsPropertyParser::ValueLines(qsizetype k) const
{
    if (k < 0 || k >= m_values.size())
        return {};
    if (indexOfChar(m_values[k], '\n') < 0)
        return {m_values[k]};
    return m_values[k].split('\n');
}

QByteArrayList TmsPropertyParser::TextToLines(QByteArrayView text)
{
    QByteArrayList out;
    forEachCardLine(text, dialectOfText(text), [&](QByteArrayView line, QByteArray *joined) {
        out.append(joined ? std::move(*joined) : line.toByteArray());
    });
    return out;
}

// ---------------------------------------------------------------------------------------

void TmsNameRec::Clear()
{
    clearText(m_familyName);
    clearText(m_givenName);
    clearText(m_additionalNames);
    clearText(m_prefix);
    clearText(m_suffix);
}

void TmsNameRec::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsNameRec *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_familyName = s->m_familyName;
    m_givenName = s->m_givenName;
    m_additionalNames = s->m_additionalNames;
    m_prefix = s->m_prefix;
    m_suffix = s->m_suffix;
}

void TmsNameRec::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsNameRec::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    parseProperty(parser, QByteArrayLiteral("N"), 5);
    takeValue(parser, 0, m_familyName);
    takeValue(parser, 1, m_givenName);
    takeValue(parser, 2, m_additionalNames);
    takeValue(parser, 3, m_prefix);
    takeValue(parser, 4, m_suffix);
}

void TmsNameRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_familyName.isEmpty() && m_givenName.isEmpty() && m_additionalNames.isEmpty() && m_prefix.isEmpty()
        && m_suffix.isEmpty())
        return;
    lines.append("N:" + escaped(m_familyName) + ';' + escaped(m_givenName) + ';' + escaped(m_additionalNames) + ';'
                 + escaped(m_prefix) + ';' + escaped(m_suffix));
}

// ---------------------------------------------------------------------------------------

void TmsAddressRec::Clear()
{
    m_attributes.clear();
    clearText(m_poAddress);
    clearText(m_extendedAddress);
    clearText(m_street);
    clearText(m_locality);
    clearText(m_region);
    clearText(m_postalCode);
    clearText(m_country);
}

void TmsAddressRec::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsAddressRec *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_attributes = s->m_attributes;
    m_poAddress = s->m_poAddress;
    m_extendedAddress = s->m_extendedAddress;
    m_street = s->m_street;
    m_locality = s->m_locality;
    m_region = s->m_region;
    m_postalCode = s->m_postalCode;
    m_country = s->m_country;
}

void TmsAddressRec::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsAddressRec::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    parseProperty(parser, QByteArrayLiteral("ADR"), 7);
    takeValue(parser, 0, m_poAddress);
    takeValue(parser, 1, m_extendedAddress);
    takeValue(parser, 2, m_street);
    takeValue(parser, 3, m_locality);
    takeValue(parser, 4, m_region);
    takeValue(parser, 5, m_postalCode);
    takeValue(parser, 6, m_country);
    LoadParams(parser.Params());
}

void TmsAddressRec::LoadParams(const QByteArrayList &params)
{
    for (const QByteArray &item : params) {
        if (const int t = memberOf<AddressTypeNames>(item); t >= 0)
            m_attributes.insert(TmsAddressType(t));
    }
}

void TmsAddressRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_poAddress.isEmpty() && m_extendedAddress.isEmpty() && m_street.isEmpty() && m_locality.isEmpty()
        && m_region.isEmpty() && m_postalCode.isEmpty() && m_country.isEmpty())
        return;
    lines.append(joinedParams("ADR", AddressTypeNames, m_attributes.members()) + ':' + escaped(m_poAddress) + ';'
                 + escaped(m_extendedAddress) + ';' + escaped(m_street) + ';' + escaped(m_locality) + ';'
                 + escaped(m_region) + ';' + escaped(m_postalCode) + ';' + escaped(m_country));
}

// ---------------------------------------------------------------------------------------

void TmsPhoneRec::Clear()
{
    m_attributes.clear();
    clearText(m_number);
}

void TmsPhoneRec::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsPhoneRec *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_attributes = s->m_attributes;
    m_number = s->m_number;
}

void TmsPhoneRec::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsPhoneRec::LoadFrom(TmsPropertyParser &parser)
{
    parseProperty(parser, QByteArrayLiteral("TEL"), 1);
    if (takeValue(parser, 0, m_number) && parser.Dialect() != TmsCardDialect::Own
        && startsWithIgnoringAsciiCase(m_number, "tel:")) {
        // vCard 4.0 gives the number as a URI.
        m_number.remove(0, 4);
    }
    LoadParams(parser.Params());
}

void TmsPhoneRec::LoadParams(const QByteArrayList &params)
{
    for (const QByteArray &item : params) {
        if (const int t = memberOf<PhoneTypeNames>(item); t >= 0)
            m_attributes.insert(TmsPhoneType(t));
    }
}

void TmsPhoneRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_number.isEmpty())
        return;
    lines.append(joinedParams("TEL", PhoneTypeNames, m_attributes.members()) + ':' + escaped(m_number));
}

// ---------------------------------------------------------------------------------------

void TmsEmailRec::Clear()
{
    m_emailType = mseDefault;
    clearText(m_address);
}

void TmsEmailRec::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsEmailRec *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_emailType = s->m_emailType;
    m_address = s->m_address;
}

void TmsEmailRec::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsEmailRec::LoadFrom(TmsPropertyParser &parser)
{
    parseProperty(parser, QByteArrayLiteral("EMAIL"), 1);
    takeValue(parser, 0, m_address);
    LoadParams(parser.Params());
}

void TmsEmailRec::LoadParams(const QByteArrayList &params)
{
    // Item 0 is the property's name. The last type in ordinal order wins; the default
    // type's empty name matches the empty parameter this program writes.
    int last = -1;
    for (qsizetype i = 1; i < params.size(); ++i)
        last = std::max(last, memberOf<EmailTypeNames>(params[i]));
    if (last >= 0)
        m_emailType = TmsEmailType(last);
}

void TmsEmailRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_address.isEmpty())
        return;
    // The semicolon is written even for the default type, whose name is empty.
    lines.append(QByteArray("EMAIL;") + EmailTypeNames[m_emailType] + ':' + escaped(m_address));
}

// ---------------------------------------------------------------------------------------

void TmsCompanyRec::Clear()
{
    clearText(m_name);
    clearText(m_aUnit);
}

void TmsCompanyRec::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsCompanyRec *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_name = s->m_name;
    m_aUnit = s->m_aUnit;
}

void TmsCompanyRec::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsCompanyRec::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    parseProperty(parser, QByteArrayLiteral("ORG"), 2);
    takeValue(parser, 0, m_name);
    takeValue(parser, 1, m_aUnit);
}

void TmsCompanyRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_name.isEmpty() && m_aUnit.isEmpty())
        return;
    lines.append("ORG:" + escaped(m_name) + ';' + escaped(m_aUnit));
}

// ---------------------------------------------------------------------------------------

void TmsIdentification::Clear()
{
    m_name.Clear();
    clearText(m_formattedName);
}

void TmsIdentification::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsIdentification *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_name.Assign(&s->m_name);
    m_formattedName = s->m_formattedName;
}

void TmsIdentification::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsIdentification::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    m_name.LoadFrom(parser);
    parseProperty(parser, QByteArrayLiteral("FN"), 1);
    takeValue(parser, 0, m_formattedName);
}

void TmsIdentification::SaveToLines(QByteArrayList &lines) const
{
    if (!m_formattedName.isEmpty())
        lines.append("FN:" + escaped(m_formattedName));
    m_name.SaveToLines(lines);
}

// ---------------------------------------------------------------------------------------

void TmsDeliveryInfo::Clear()
{
    m_address1.Clear();
    m_address2.Clear();
}

void TmsDeliveryInfo::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsDeliveryInfo *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_address1.Assign(&s->m_address1);
    m_address2.Assign(&s->m_address2);
}

void TmsDeliveryInfo::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsDeliveryInfo::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    m_address1.LoadFrom(parser);
    m_address2.LoadFrom(parser);
}

void TmsDeliveryInfo::SaveToLines(QByteArrayList &lines) const
{
    m_address1.SaveToLines(lines);
    m_address2.SaveToLines(lines);
}

// ---------------------------------------------------------------------------------------

void TmsTelecomInfo::Clear()
{
    m_phone1.Clear();
    m_phone2.Clear();
    m_phone3.Clear();
    m_email1.Clear();
    m_email2.Clear();
}

void TmsTelecomInfo::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsTelecomInfo *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_phone1.Assign(&s->m_phone1);
    m_phone2.Assign(&s->m_phone2);
    m_phone3.Assign(&s->m_phone3);
    m_email1.Assign(&s->m_email1);
    m_email2.Assign(&s->m_email2);
}

void TmsTelecomInfo::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsTelecomInfo::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    m_phone1.LoadFrom(parser);
    m_phone2.LoadFrom(parser);
    m_phone3.LoadFrom(parser);
    m_email1.LoadFrom(parser);
    m_email2.LoadFrom(parser);
}

void TmsTelecomInfo::SaveToLines(QByteArrayList &lines) const
{
    m_phone1.SaveToLines(lines);
    m_phone2.SaveToLines(lines);
    m_phone3.SaveToLines(lines);
    m_email1.SaveToLines(lines);
    m_email2.SaveToLines(lines);
}

// ---------------------------------------------------------------------------------------

void TmsBusinessInfo::Clear()
{
    clearText(m_title);
    clearText(m_role);
    m_company.Clear();
}

void TmsBusinessInfo::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsBusinessInfo *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_title = s->m_title;
    m_role = s->m_role;
    m_company.Assign(&s->m_company);
}

void TmsBusinessInfo::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsBusinessInfo::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    m_company.LoadFrom(parser);
    parseProperty(parser, QByteArrayLiteral("TITLE"), 1);
    takeValue(parser, 0, m_title);
    parseProperty(parser, QByteArrayLiteral("ROLE"), 1);
    takeValue(parser, 0, m_role);
}

void TmsBusinessInfo::SaveToLines(QByteArrayList &lines) const
{
    m_company.SaveToLines(lines);
    if (!m_title.isEmpty())
        lines.append("TITLE:" + escaped(m_title));
    if (!m_role.isEmpty())
        lines.append("ROLE:" + escaped(m_role));
}

// ---------------------------------------------------------------------------------------

void TmsExplanatoryInfo::Clear()
{
    m_comment.clear();
    clearText(m_url1);
    clearText(m_url2);
}

void TmsExplanatoryInfo::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsExplanatoryInfo *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_comment = s->m_comment;
    m_url1 = s->m_url1;
    m_url2 = s->m_url2;
}

void TmsExplanatoryInfo::LoadFromLines(QByteArrayList &lines)
{
    loadFromLines(*this, lines);
}

void TmsExplanatoryInfo::LoadFrom(TmsPropertyParser &parser)
{
    Clear();
    // Every value is a comment line; a line break inside a value starts one more. A note
    // is split into seven values at most, the seventh keeping the rest of the text.
    parser.setPropName(QByteArrayLiteral("NOTE"));
    parser.setValueSlots(7, true);
    parser.Parse();
    for (qsizetype k = 0; k < parser.Values().size(); ++k)
        m_comment.append(parser.ValueLines(k));
    parseProperty(parser, QByteArrayLiteral("URL"), 1);
    takeValue(parser, 0, m_url1);
    parseProperty(parser, QByteArrayLiteral("URL"), 1);
    takeValue(parser, 0, m_url2);
}

void TmsExplanatoryInfo::SaveToLines(QByteArrayList &lines) const
{
    if (!m_comment.isEmpty()) {
        // The lines after the first are continuation lines, marked by two leading blanks.
        lines.append("NOTE:" + escaped(m_comment.first()));
        for (qsizetype i = 1; i < m_comment.size(); ++i)
            lines.append("  " + escaped(m_comment[i]));
    }
    if (!m_url1.isEmpty())
        lines.append("URL:" + escaped(m_url1));
    if (!m_url2.isEmpty())
        lines.append("URL:" + escaped(m_url2));
}
