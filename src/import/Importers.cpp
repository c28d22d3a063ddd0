#include "Importers.h"

#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "store/Progress.h"
#include "store/TextCodec.h"
#include "vcard/Msvcard.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>

namespace Importers {

namespace {

// The fields of one candidate as views into the imported text or into values decoded from
// it; an empty view is an empty field.
using FieldViews = std::array<QByteArrayView, TContatto::FieldCount>;

// Whether the two are equal when only the letters A to Z are folded.
bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (x != y && ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z'))
            return false;
    }
    return true;
}

// The position of the first `c` in `text`, or -1.
qsizetype indexOfChar(QByteArrayView text, char c)
{
    const void *hit = text.isEmpty() ? nullptr : std::memchr(text.data(), c, size_t(text.size()));
    return hit ? static_cast<const char *>(hit) - text.data() : -1;
}

// Below this size a second thread costs more than it saves.
constexpr qsizetype ParallelFrom = 4 << 20;

// Runs `first` on a second thread while this one runs `second`: a large file is read in two
// halves at once, which takes about half the time on a machine with two cores. The two
// share nothing but the text they read and the progress. An error of either reaches the
// caller; so does a stop asked for while this thread waits for the other half.
template<typename Result, typename First, typename Second>
std::pair<Result, Result> bothAtOnce(Progress *progress, First first, Second second)
{
    Result a;
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            a = first();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    thread->start();
    Result b;
    try {
        b = second();
    } catch (...) {
        thread->wait();
        throw;
    }
    // The progress window stays alive, and can stop the other half, until that half ends.
    while (!thread->wait(QDeadlineTimer(20))) {
        if (progress)
            progress->poll();
    }
    if (failure)
        std::rethrow_exception(failure);
    if (progress && progress->stopped())
        throw Cancelled{};
    return {std::move(a), std::move(b)};
}

// The candidate's line: 18 fields, each made safe for the one-line, comma-separated form,
// and an empty one written as the address book's empty-field marker "-", so that no field
// is lost to the splitter, which drops an empty last field.
QByteArray candidateLine(const FieldViews &fields)
{
    qsizetype size = TContatto::FieldCount - 1;
    for (const QByteArrayView &f : fields)
        size += f.isEmpty() ? 1 : AddressBook::fieldValueSize(f);
    QByteArray line(size, Qt::Uninitialized);
    char *out = line.data();
    for (int k = 0; k < TContatto::FieldCount; ++k) {
        if (k > 0)
            *out++ = ',';
        if (fields[k].isEmpty())
            *out++ = '-';
        else
            out = AddressBook::writeFieldValue(out, fields[k]);
    }
    Q_ASSERT(out == line.data() + line.size());
    return line;
}

// Text from another program: UTF-8 when it reads as UTF-8 with accented letters (the usual
// case today), otherwise the address book's own 8-bit text, kept as it is. A line break
// inside a value counts as one blank, whatever its kind.
QByteArray importedText(QByteArray value, bool *approximated)
{
    if (TextCodec::isNonAsciiUtf8(value))
        value = TextCodec::utf8ToAnsi(value, approximated);
    if (indexOfChar(value, '\r') >= 0)
        value.replace("\r\n", "\n");
    return value;
}

// ---- LDIF ----

// Where an attribute's value goes. The mail program's own attributes decide a field; the
// standard names of directory servers and other address books fill what they left empty;
// the common name stands in for given name and family name when both are missing. The
// parts of the home and of the work address are kept apart: a contact takes one whole
// address, never a street of one and the postal code of the other.
enum class LdifKind : quint8 { Own, Standard, CommonName, Home, Work };

// The parts of an address as LDIF writes them. A home street comes under three names; the
// first of them the entry has counts.
enum AddressPart : quint8 { Street, Street2, AltStreet, PostalStreet, City, PostalCode, Country, AddressPartCount };

struct LdifAttribute
{
    QByteArrayView name;
    TContatto::Field field; // Own, Standard, CommonName
    LdifKind kind;
    AddressPart part = Street; // Home, Work
};

const LdifAttribute kLdifAttributes[] = {
    {"givenName", TContatto::nome, LdifKind::Own},
    {"sn", TContatto::cognome, LdifKind::Own},
    {"mail", TContatto::email, LdifKind::Own},
    {"nsAIMid", TContatto::messenger, LdifKind::Own},
    {"telephoneNumber", TContatto::telufficio, LdifKind::Own},
    {"homePhone", TContatto::telcasa, LdifKind::Own},
    {"fax", TContatto::fax, LdifKind::Own},
    {"mobile", TContatto::cellprivato, LdifKind::Own},
    {"mozillaHomeStreet", TContatto::indirizzo, LdifKind::Home, Street},
    {"mozillaHomeStreet2", TContatto::indirizzo, LdifKind::Home, Street2},
    {"homeStreet", TContatto::indirizzo, LdifKind::Home, AltStreet},
    {"homePostalAddress", TContatto::indirizzo, LdifKind::Home, PostalStreet},
    {"mozillaHomeLocalityName", TContatto::citta, LdifKind::Home, City},
    {"mozillaHomePostalCode", TContatto::cap, LdifKind::Home, PostalCode},
    {"mozillaHomeCountryName", TContatto::nazione, LdifKind::Home, Country},
    {"company", TContatto::organizzazione, LdifKind::Own},
    {"mozillaWorkUrl", TContatto::sito, LdifKind::Own},
    {"title", TContatto::posizione, LdifKind::Own},
    {"description", TContatto::note, LdifKind::Own},
    {"cn", TContatto::nome, LdifKind::CommonName},
    {"facsimileTelephoneNumber", TContatto::fax, LdifKind::Standard},
    {"cellPhone", TContatto::cellprivato, LdifKind::Standard},
    {"o", TContatto::organizzazione, LdifKind::Standard},
    {"organizationName", TContatto::organizzazione, LdifKind::Standard},
    {"street", TContatto::indirizzo, LdifKind::Work, Street},
    {"streetAddress", TContatto::indirizzo, LdifKind::Work, Street},
    {"mozillaWorkStreet2", TContatto::indirizzo, LdifKind::Work, Street2},
    {"l", TContatto::citta, LdifKind::Work, City},
    {"localityName", TContatto::citta, LdifKind::Work, City},
    {"locality", TContatto::citta, LdifKind::Work, City},
    {"mozillaWorkCity", TContatto::citta, LdifKind::Work, City},
    {"postalCode", TContatto::cap, LdifKind::Work, PostalCode},
    {"c", TContatto::nazione, LdifKind::Work, Country},
    {"countryName", TContatto::nazione, LdifKind::Work, Country},
    {"co", TContatto::nazione, LdifKind::Work, Country},
    {"homeurl", TContatto::sito, LdifKind::Standard},
    {"workurl", TContatto::sito, LdifKind::Standard},
};

// The attribute of that name, ignoring letter case, or none. Every line of a file is looked
// up, so the names are grouped by length first.
const LdifAttribute *ldifAttribute(QByteArrayView name)
{
    static const auto byLength = [] {
        std::array<QVarLengthArray<const LdifAttribute *, 4>, 32> table;
        for (const LdifAttribute &a : kLdifAttributes)
            table[a.name.size()].append(&a);
        return table;
    }();
    if (name.size() >= qsizetype(byLength.size()))
        return nullptr;
    for (const LdifAttribute *a : byLength[name.size()]) {
        if ((a->name[0] | 0x20) == (name[0] | 0x20) && equalsIgnoringAsciiCase(name, a->name))
            return a;
    }
    return nullptr;
}

// The next line of an LDIF text. Besides CR LF, CR and LF, a CR directly before a CR LF
// belongs to that one line end: files converted to Windows line ends twice have them.
bool nextLdifLine(QByteArrayView text, qsizetype &pos, QByteArrayView &line)
{
    if (!AddressBook::nextLine(text, pos, line))
        return false;
    // (A last line without a line end leaves pos just past the text.)
    if (pos + 1 < text.size() && text[pos - 1] == '\r' && text[pos] == '\r' && text[pos + 1] == '\n')
        pos += 2;
    return true;
}

// Calls fn(line, lasting, read) with each logical line: a line that begins with one blank
// continues the line before it, without that blank. Empty lines, which end entries, are passed
// on too. A line is `lasting` when it is a view into the text; a joined one lives only for the
// call. `read` is how much of the text has been read.
template<typename Fn>
void forEachUnfoldedLine(QByteArrayView text, Fn fn)
{
    QByteArrayView pending;
    bool havePending = false;
    QByteArray joined; // used only when a line is continued
    bool continued = false;
    qsizetype read = 0; // where the line after the pending one begins
    auto flush = [&] {
        if (havePending)
            fn(continued ? QByteArrayView(joined) : pending, !continued, read);
        havePending = false;
        continued = false;
    };
    qsizetype pos = 0;
    QByteArrayView line;
    for (qsizetype start = 0; nextLdifLine(text, pos, line); start = pos) {
        if (line.startsWith(' ')) {
            // A continuation right after an entry's end belongs to nothing.
            if (havePending && !pending.isEmpty()) {
                if (!continued) {
                    joined = pending.toByteArray();
                    continued = true;
                }
                joined.append(line.sliced(1));
            }
            continue;
        }
        read = start;
        flush();
        pending = line;
        havePending = true;
    }
    read = text.size();
    flush();
}

// A value read from the file, and whether letters of it were changed into the nearest ones
// Windows-1252 holds.
struct LdifValue
{
    QByteArrayView text;
    bool approximated = false;
};

// Values by position, each either empty or a non-empty text. An entry is cleared for every
// contact of a file, so clearing only resets the masks; the texts of positions whose bit is
// off are never looked at.
template<int Count>
class LdifValues
{
public:
    // A later value replaces an earlier one; an empty one empties the position.
    void put(int k, const LdifValue &v)
    {
        m_text[k] = v.text;
        setBit(m_filled, k, !v.text.isEmpty());
        setBit(m_approximated, k, v.approximated);
    }
    // Whether position k holds a non-empty value.
    bool has(int k) const { return (m_filled >> k) & 1; }
    bool any() const { return m_filled != 0; }
    LdifValue at(int k) const
    {
        if (!has(k))
            return {};
        return {m_text[k], bool((m_approximated >> k) & 1)};
    }
    void clear() { m_filled = m_approximated = 0; }

private:
    static void setBit(quint32 &mask, int k, bool on) { mask = on ? mask | (1u << k) : mask & ~(1u << k); }

    std::array<QByteArrayView, Count> m_text;
    quint32 m_filled = 0;
    quint32 m_approximated = 0;
};

// One entry as it is read: what each kind of attribute said for each field.
struct LdifEntry
{
    LdifValues<TContatto::FieldCount> own;
    LdifValues<TContatto::FieldCount> standard;
    LdifValues<AddressPartCount> home;
    LdifValues<AddressPartCount> work;
    LdifValue commonName;
    bool hasNames = false;   // a givenName or an sn line, even an empty one
    bool recognised = false; // any attribute the address book has a field for
    QByteArrayList decoded;  // the values that are not views into the file

    void clear()
    {
        own.clear();
        standard.clear();
        home.clear();
        work.clear();
        commonName = {};
        hasNames = recognised = false;
        decoded.clear();
    }
};

// The value of an attribute line after its colon: plain text, base64 after a second colon.
// Decoded or converted values are kept in `store`, and so are those of a line that does not
// last; others stay views into the file.
LdifValue ldifValue(QByteArrayView rest, bool lasting, QByteArrayList &store)
{
    LdifValue v;
    const bool base64 = rest.startsWith(':');
    if (base64)
        rest = rest.sliced(1);
    // The blanks after the colon separate; blanks at the end belong to the value.
    while (rest.startsWith(' '))
        rest = rest.sliced(1);
    if (!base64) {
        // A plain value stays a view into the file unless it is UTF-8 to convert; it holds
        // no line break.
        if (!TextCodec::isNonAsciiUtf8(rest)) {
            if (lasting) {
                v.text = rest;
                return v;
            }
            store.append(rest.toByteArray());
        } else {
            store.append(TextCodec::utf8ToAnsi(rest, &v.approximated));
        }
        v.text = store.last();
        return v;
    }
    // Text that is not base64 gives an empty field rather than bytes made up from whatever
    // letters it holds.
    auto decoded = QByteArray::fromBase64Encoding(rest.trimmed().toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    store.append(importedText(std::move(decoded.decoded), &v.approximated));
    v.text = store.last();
    return v;
}

// A common name "Anna Maria Rossi" is given names, a blank, and the family name.
void splitCommonName(QByteArrayView cn, FieldViews &fields)
{
    auto trimmed = [](QByteArrayView v) {
        while (v.startsWith(' '))
            v = v.sliced(1);
        while (v.endsWith(' '))
            v.chop(1);
        return v;
    };
    cn = trimmed(cn);
    const qsizetype blank = cn.lastIndexOf(' ');
    if (blank < 0) {
        fields[TContatto::cognome] = cn;
        return;
    }
    fields[TContatto::nome] = trimmed(cn.first(blank));
    fields[TContatto::cognome] = cn.sliced(blank + 1);
}

// The entry's address: the home one when the entry holds any part of it, otherwise the
// work one. A second street line follows the first after a blank; the lines of a postal
// address ("$" between them) are joined by a comma.
void ldifAddress(const LdifEntry &entry, FieldViews &fields, std::array<bool, TContatto::FieldCount> &approximated,
                 QByteArray &street)
{
    const auto &parts = entry.home.any() ? entry.home : entry.work;
    LdifValue first = parts.at(Street);
    for (AddressPart alternative : {AltStreet, PostalStreet}) {
        if (first.text.isEmpty())
            first = parts.at(alternative);
    }
    const LdifValue second = parts.at(Street2);
    if (!second.text.isEmpty() || first.text.contains('$')) {
        street = first.text.toByteArray();
        street.replace("$", ", ");
        if (!second.text.isEmpty())
            street.append(street.isEmpty() ? "" : " ").append(second.text);
        fields[TContatto::indirizzo] = street;
    } else {
        fields[TContatto::indirizzo] = first.text;
    }
    approximated[TContatto::indirizzo] = first.approximated || second.approximated;
    const std::pair<TContatto::Field, AddressPart> rest[] = {
        {TContatto::citta, City}, {TContatto::cap, PostalCode}, {TContatto::nazione, Country}};
    for (const auto &[field, part] : rest) {
        const LdifValue v = parts.at(part);
        fields[field] = v.text;
        approximated[field] = v.approximated;
    }
}

QByteArray ldifCandidate(const LdifEntry &entry, const QByteArray &date, int &approximatedValues)
{
    FieldViews fields;
    std::array<bool, TContatto::FieldCount> approximated{};
    for (int k = 0; k < TContatto::FieldCount; ++k) {
        const LdifValue v = entry.own.has(k) ? entry.own.at(k) : entry.standard.at(k);
        fields[k] = v.text;
        approximated[k] = v.approximated;
    }
    QByteArray street;
    ldifAddress(entry, fields, approximated, street);
    if (!entry.hasNames && !entry.commonName.text.isEmpty()) {
        splitCommonName(entry.commonName.text, fields);
        approximated[TContatto::nome] = approximated[TContatto::cognome] = entry.commonName.approximated;
    }
    fields[TContatto::datainserimento] = date;
    for (int k = 0; k < TContatto::FieldCount; ++k)
        approximatedValues += approximated[k] && !fields[k].isEmpty();
    return candidateLine(fields);
}

// ---- Previous version ----

// The fields of an address-book line, at most 18. The splitter drops an empty last field,
// but here "a,b," has three fields: a line of another installation whose last field is
// empty keeps all 18.
int lineFields(QByteArrayView line, FieldViews &fields)
{
    int count = 0;
    QByteArrayView last;
    TCSVStringInfo::forEachField(line, [&](QByteArrayView field) {
        fields[count++] = last = field;
        return count < TContatto::FieldCount;
    });
    if (count > 0 && count < TContatto::FieldCount && line.endsWith(',')
        && last.data() + last.size() < line.data() + line.size())
        fields[count++] = QByteArrayView();
    return count;
}

// ---- vCard ----

// The telephone fields in the order the numbers left over take them.
constexpr TContatto::Field kPhoneFields[] = {
    TContatto::cellprivato, TContatto::celllavoro, TContatto::telcasa, TContatto::telufficio, TContatto::fax,
};

// The field a telephone's types choose.
TContatto::Field phoneField(TmsPhoneAttributes types)
{
    if (types.contains(mstFax))
        return TContatto::fax;
    if (types.contains(mstCellular))
        return types.contains(mstWork) ? TContatto::celllavoro : TContatto::cellprivato;
    if (types.contains(mstWork))
        return TContatto::telufficio;
    return TContatto::telcasa;
}

// One telephone of a card.
struct CardPhone
{
    QByteArrayView number;
    bool approximated = false;
};

// Puts a card's numbers into the five telephone fields as if in two rounds, so that a number
// never takes a field that a later number of the right type needs: first each number goes to
// the field its types choose while that field is free; then the numbers left over, in the
// order of the file, take the fields still free. A number is dropped only when all five are
// taken. Numbers are added in the order of the file.
class PhonePlacer
{
public:
    // False once every field has a number of its own type: no later number can change anything.
    bool add(const CardPhone &phone, TmsPhoneAttributes types)
    {
        if (phone.number.isEmpty())
            return true;
        CardPhone &own = m_typed[slotOf(phoneField(types))];
        if (own.number.isEmpty()) {
            own = phone;
            ++m_typedCount;
        } else if (m_leftovers.size() < qsizetype(std::size(kPhoneFields))) {
            m_leftovers.append(phone); // more than five can never be placed
        }
        return m_typedCount < int(std::size(kPhoneFields));
    }
    // Whether the number would be kept so far, so that its text must last.
    bool keeps(const CardPhone &phone) const
    {
        return std::any_of(m_typed.begin(), m_typed.end(), [&](const CardPhone &p) { return p.number.data() == phone.number.data(); })
            || std::any_of(m_leftovers.begin(), m_leftovers.end(), [&](const CardPhone &p) { return p.number.data() == phone.number.data(); });
    }
    // Fills the fields; returns how many of the numbers placed had approximated letters.
    int place(FieldViews &fields) const
    {
        int approximated = 0;
        for (std::size_t k = 0; k < std::size(kPhoneFields); ++k) {
            fields[kPhoneFields[k]] = m_typed[k].number;
            approximated += m_typed[k].approximated && !m_typed[k].number.isEmpty();
        }
        qsizetype next = 0;
        for (TContatto::Field f : kPhoneFields) {
            if (next < m_leftovers.size() && fields[f].isEmpty()) {
                fields[f] = m_leftovers[next].number;
                approximated += m_leftovers[next++].approximated;
            }
        }
        return approximated;
    }

private:
    static std::size_t slotOf(TContatto::Field field)
    {
        switch (field) {
        case TContatto::cellprivato: return 0;
        case TContatto::celllavoro: return 1;
        case TContatto::telcasa: return 2;
        case TContatto::telufficio: return 3;
        default: return 4;
        }
    }

    std::array<CardPhone, std::size(kPhoneFields)> m_typed{};
    int m_typedCount = 0;
    QVarLengthArray<CardPhone, std::size(kPhoneFields)> m_leftovers;
};

// Whether a line, without the blanks around it, opens or closes a card.
bool isCardMarker(QByteArrayView trimmed, QByteArrayView marker)
{
    return equalsIgnoringAsciiCase(trimmed, marker);
}

// Calls fn(card, framed) with the text of each card of a vCard file, from its BEGIN line to
// its END line. A text without any BEGIN line is one card, not framed.
template<typename Fn>
void forEachCard(QByteArrayView text, Fn fn)
{
    qsizetype start = -1;
    bool anyBegin = false;
    qsizetype pos = 0;
    QByteArrayView line;
    while (true) {
        const qsizetype lineStart = pos;
        if (!AddressBook::nextLine(text, pos, line))
            break;
        // Blanks around a marker do not count. Only a line that begins with B or E can be
        // one: most lines are passed over at a glance.
        qsizetype first = 0;
        while (first < line.size() && (line[first] == ' ' || (line[first] >= '\t' && line[first] <= '\r')))
            ++first;
        if (first == line.size() || ((line[first] | 0x20) != 'b' && (line[first] | 0x20) != 'e'))
            continue;
        const QByteArrayView trimmed = line.trimmed();
        if (isCardMarker(trimmed, "BEGIN:VCARD")) {
            // A card without END ends where the next one begins.
            if (start >= 0)
                fn(text.sliced(start, lineStart - start), true);
            start = lineStart;
            anyBegin = true;
        } else if (isCardMarker(trimmed, "END:VCARD") && start >= 0) {
            // (A last line without a line end leaves pos just past the text.)
            fn(text.sliced(start, std::min(pos, text.size()) - start), true);
            start = -1;
        }
    }
    if (start >= 0)
        fn(text.sliced(start), true);
    if (!anyBegin)
        fn(text, false);
}

} // namespace

Kind kindOf(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (name.compare(QLatin1String("contact.csv"), Qt::CaseInsensitive) == 0)
        return Kind::PreviousVersion;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return Kind::Unknown;
    const QStringView ext = QStringView(name).sliced(dot);
    if (ext.compare(QLatin1String(".ldif"), Qt::CaseInsensitive) == 0)
        return Kind::Ldif;
    if (ext.compare(QLatin1String(".vcf"), Qt::CaseInsensitive) == 0
        || ext.compare(QLatin1String(".vcard"), Qt::CaseInsensitive) == 0)
        return Kind::VCard;
    return Kind::Unknown;
}

namespace {

QByteArrayList ldifPart(QByteArrayView text, const QByteArray &date, Progress *progress, int &approximated)
{
    QByteArrayList candidates;
    LdifEntry entry;
    Progress::Part part(progress);
    auto closeEntry = [&] {
        // Empty lines in a row, or a version line on its own, are no contact.
        if (entry.recognised)
            candidates.append(ldifCandidate(entry, date, approximated));
        entry.clear();
    };

    forEachUnfoldedLine(text, [&](QByteArrayView line, bool lasting, qsizetype read) {
        part.at(read, candidates.size());
        if (line.isEmpty()) {
            closeEntry();
            return;
        }
        // "name: value", "name:: base64" or "name:< address"; the name may carry options
        // after a semicolon ("description;lang-it: ...").
        qsizetype colon = 0;
        qsizetype semi = -1;
        while (colon < line.size() && line[colon] != ':') {
            if (line[colon] == ';' && semi < 0)
                semi = colon;
            ++colon;
        }
        if (colon == 0 || colon == line.size())
            return;
        const QByteArrayView name = line.first(semi >= 0 ? semi : colon);
        if (name.isEmpty())
            return;
        const LdifAttribute *attribute = ldifAttribute(name);
        if (!attribute)
            return;
        const QByteArrayView rest = line.sliced(colon + 1);
        // A value kept elsewhere (":<" and an address) is not fetched.
        if (rest.startsWith('<'))
            return;
        entry.recognised = true;
        switch (attribute->kind) {
        case LdifKind::Own:
            // A later line of the same attribute replaces the earlier value.
            entry.own.put(attribute->field, ldifValue(rest, lasting, entry.decoded));
            entry.hasNames = entry.hasNames || attribute->field == TContatto::nome
                || attribute->field == TContatto::cognome;
            break;
        case LdifKind::Standard:
            // Among the standard names, the first one in the entry counts.
            if (!entry.standard.has(attribute->field))
                entry.standard.put(attribute->field, ldifValue(rest, lasting, entry.decoded));
            break;
        case LdifKind::CommonName:
            if (entry.commonName.text.isEmpty())
                entry.commonName = ldifValue(rest, lasting, entry.decoded);
            break;
        case LdifKind::Home:
            entry.home.put(attribute->part, ldifValue(rest, lasting, entry.decoded));
            break;
        case LdifKind::Work:
            if (!entry.work.has(attribute->part))
                entry.work.put(attribute->part, ldifValue(rest, lasting, entry.decoded));
            break;
        }
    });
    // The last entry needs no empty line after it.
    closeEntry();
    return candidates;
}

// Where the second half of a large LDIF text begins: the line after the first empty line
// past the middle, so that no entry is cut in two; -1 when the text is small or has none.
qsizetype ldifMiddle(QByteArrayView text)
{
    if (text.size() < ParallelFrom)
        return -1;
    // A line begins after every LF, whatever line ends the text has.
    const qsizetype lf = indexOfChar(text.sliced(text.size() / 2), '\n');
    if (lf < 0)
        return -1;
    qsizetype pos = text.size() / 2 + lf + 1;
    QByteArrayView line;
    while (nextLdifLine(text, pos, line)) {
        if (line.isEmpty())
            return pos < text.size() ? pos : -1;
    }
    return -1;
}

} // namespace

QByteArrayList ldifCandidates(QByteArrayView text, const QByteArray &date, Progress *progress, int *approximated)
{
    text = TextCodec::withoutUtf8Bom(text);
    int changed[2] = {0, 0};
    const auto count = qScopeGuard([&] {
        if (approximated)
            *approximated = changed[0] + changed[1];
    });
    const qsizetype middle = ldifMiddle(text);
    if (middle < 0)
        return ldifPart(text, date, progress, changed[0]);
    auto [first, second] = bothAtOnce<QByteArrayList>(
        progress, [&] { return ldifPart(text.first(middle), date, progress, changed[0]); },
        [&] { return ldifPart(text.sliced(middle), date, progress, changed[1]); });
    return first + second;
}

PreviousVersionResult previousVersionCandidates(QByteArrayView text, Progress *progress)
{
    // A file saved by an editor in UTF-8 may begin with a byte-order mark, which must not
    // become part of the first contact's name.
    text = TextCodec::withoutUtf8Bom(text);
    PreviousVersionResult result;
    Progress::Part part(progress);
    // The first line with at least 14 fields decides the layout of the whole file: 14 to 17
    // fields for version 1.0, 18 or more (of which the first 18 count) for the present one.
    // Shorter lines before it, like short lines after it, are left out and counted.
    int layout = 0;
    FieldViews f;
    qsizetype pos = 0;
    QByteArrayView line;
    while (AddressBook::nextLine(text, pos, line)) {
        part.at(pos, result.candidates.size());
        if (line.isEmpty())
            continue;
        const int count = lineFields(line, f);
        if (layout == 0 && count >= 14)
            layout = count >= TContatto::FieldCount ? TContatto::FieldCount : 14;
        if (layout == 0 || count < layout) {
            ++result.skipped;
            continue;
        }
        if (layout == TContatto::FieldCount) {
            result.candidates.append(candidateLine(f));
            continue;
        }
        // Version 1.0 had no organisation, country, fax or messenger, and kept the
        // notes before the telephones.
        FieldViews c;
        c[TContatto::nome] = f[0];
        c[TContatto::cognome] = f[1];
        c[TContatto::posizione] = f[2];
        c[TContatto::indirizzo] = f[3];
        c[TContatto::citta] = f[4];
        c[TContatto::cap] = f[5];
        c[TContatto::note] = f[6];
        c[TContatto::cellprivato] = f[7];
        c[TContatto::celllavoro] = f[8];
        c[TContatto::telcasa] = f[9];
        c[TContatto::telufficio] = f[10];
        c[TContatto::email] = f[11];
        c[TContatto::sito] = f[12];
        c[TContatto::datainserimento] = f[13];
        result.candidates.append(candidateLine(c));
    }
    return result;
}

QByteArrayList splitVCards(QByteArrayView text)
{
    QByteArrayList cards;
    forEachCard(TextCodec::withoutUtf8Bom(text), [&](QByteArrayView card, bool framed) {
        if (!framed) {
            cards.append(card.toByteArray());
            return;
        }
        QByteArray lines;
        qsizetype pos = 0;
        QByteArrayView line;
        while (AddressBook::nextLine(card, pos, line))
            lines.append(line).append("\r\n");
        cards.append(lines);
    });
    return cards;
}

namespace {

VCardResult vcardPart(QByteArrayView text, TmsVCard &card, const QByteArray &date, Progress *progress)
{
    // The card keeps three telephones; the import reads every TEL line, and the messenger,
    // which the card has no slot for. The formatted name counts only for a card without N:
    // left out of the pool, its line costs nothing on every other card.
    static const QByteArrayList names = [] {
        QByteArrayList n = TmsPropertyPool::CardNames();
        n.removeAll("FN");
        return n + QByteArrayList{"X-AIM"};
    }();
    static const QByteArrayList formattedName = {"FN"};
    VCardResult result;
    Progress::Part part(progress);
    // One parser for the properties the import reads itself, so that its lists are made
    // once, not once per card.
    TmsPropertyParser parser;
    forEachCard(text, [&](QByteArrayView cardText, bool) {
        part.at(cardText.data() - text.data(), result.candidates.size());
        // Each card is read on its own: the reader takes a text as one pool of properties,
        // so a whole file would mix the cards' telephones and names. The card's values are
        // the file's own bytes where they need no decoding, so the card is cleared before
        // anything else, whichever way this ends.
        TmsPropertyPool pool(cardText, names, true);
        const auto clear = qScopeGuard([&card] { card.Clear(); });
        card.LoadFromPool(pool);

        // Which values of the card had letters changed into the nearest ones Windows-1252
        // holds: each one the candidate keeps counts once.
        int approximated = 0;
        auto changed = [&](QByteArrayView property, int bit, int n = 0) {
            return pool.AnyApproximated() && ((pool.Approximated(property, n) >> bit) & 1);
        };

        FieldViews c;
        const TmsNameRec &name = card.Identification().Name();
        QByteArray formatted;
        if (!name.GivenName().isEmpty() && !name.FamilyName().isEmpty()) {
            c[TContatto::nome] = name.GivenName();
            c[TContatto::cognome] = name.FamilyName();
            approximated += changed("N", 0) + changed("N", 1);
        } else if (name.GivenName().isEmpty() && name.FamilyName().isEmpty()) {
            // A card named only by its formatted name: its last word is the family name, the
            // rest the given name, as for a common name in LDIF.
            TmsPropertyPool fn(cardText, formattedName, true);
            parser.setPool(&fn);
            parser.setPropName(formattedName.first());
            parser.setValueSlots(1);
            parser.Parse();
            // A copy: the value may be the little pool's own bytes.
            const QByteArray value = parser.Value(0);
            formatted = QByteArray(value.constData(), value.size());
            if (formatted.trimmed().isEmpty()) {
                ++result.refused;
                return;
            }
            splitCommonName(formatted, c);
            if (fn.AnyApproximated())
                approximated += !c[TContatto::nome].isEmpty() + !c[TContatto::cognome].isEmpty();
        } else {
            ++result.refused;
            return;
        }
        const TmsBusinessInfo &business = card.BusinessInfo();
        const TmsAddressRec &address = card.DeliveryInfo().Address1();
        // A job title counts where the card names no role.
        const bool role = !business.Role().isEmpty();
        c[TContatto::posizione] = role ? business.Role() : business.Title();
        c[TContatto::organizzazione] = business.Company().Name();
        c[TContatto::indirizzo] = address.Street();
        c[TContatto::citta] = address.Locality();
        c[TContatto::cap] = address.PostalCode();
        c[TContatto::nazione] = address.Country();
        c[TContatto::email] = card.TelecomInfo().Email1().Address();
        c[TContatto::sito] = card.ExplanatoryInfo().URL1();
        // The contact's note is one line.
        const QByteArrayList &comment = card.ExplanatoryInfo().Comment();
        const QByteArray note = comment.size() == 1 ? comment.first() : comment.join(' ');
        c[TContatto::note] = note;

        parser.setPool(&pool);
        parser.setPropName(QByteArrayLiteral("X-AIM"));
        parser.setValueSlots(1);
        parser.Parse();
        const QByteArray messenger = parser.Value(0);
        c[TContatto::messenger] = messenger;

        if (pool.AnyApproximated()) {
            const std::pair<TContatto::Field, bool> fromCard[] = {
                {TContatto::posizione, changed(role ? "ROLE" : "TITLE", 0)},
                {TContatto::organizzazione, changed("ORG", 0)},
                {TContatto::indirizzo, changed("ADR", 2)},
                {TContatto::citta, changed("ADR", 3)},
                {TContatto::cap, changed("ADR", 5)},
                {TContatto::nazione, changed("ADR", 6)},
                {TContatto::email, changed("EMAIL", 0)},
                {TContatto::sito, changed("URL", 0)},
                {TContatto::note, pool.Approximated("NOTE") != 0},
                {TContatto::messenger, changed("X-AIM", 0)},
            };
            for (const auto &[field, approximatedValue] : fromCard)
                approximated += approximatedValue && !c[field].isEmpty();
        }

        // Every telephone of the card, in the order of the file, until no later one can
        // change where the numbers go.
        const TmsTelecomInfo &telecom = card.TelecomInfo();
        PhonePlacer phones;
        int n = 0;
        bool open = true;
        for (const TmsPhoneRec *phone : {&telecom.Phone1(), &telecom.Phone2(), &telecom.Phone3()}) {
            open = phones.add({phone->Number(), bool(changed("TEL", 0, n))}, phone->Attributes()) && open;
            ++n;
        }
        QByteArrayList further; // the numbers kept beyond the card's three
        TmsPhoneRec phone;
        while (open && pool.Holds("TEL")) {
            phone.Clear();
            phone.LoadFrom(parser);
            const CardPhone p{phone.Number(), bool(changed("TEL", 0, n++))};
            open = phones.add(p, phone.Attributes());
            if (phones.keeps(p))
                further.append(phone.Number());
        }
        approximated += phones.place(c);
        result.approximated += approximated;
        c[TContatto::datainserimento] = date;
        result.candidates.append(candidateLine(c));
    });
    return result;
}

// Where the second half of a large vCard file begins: the first BEGIN line past the middle;
// -1 when the text is small or does not begin with a card.
qsizetype vcardMiddle(QByteArrayView text)
{
    if (text.size() < ParallelFrom)
        return -1;
    qsizetype pos = 0;
    QByteArrayView line;
    if (!AddressBook::nextLine(text, pos, line) || !isCardMarker(line.trimmed(), "BEGIN:VCARD"))
        return -1;
    const qsizetype lf = indexOfChar(text.sliced(text.size() / 2), '\n');
    if (lf < 0)
        return -1;
    pos = text.size() / 2 + lf + 1;
    for (qsizetype start = pos; AddressBook::nextLine(text, pos, line); start = pos) {
        if (isCardMarker(line.trimmed(), "BEGIN:VCARD"))
            return start;
    }
    return -1;
}

} // namespace

VCardResult vcardCandidates(QByteArrayView text, TmsVCard &card, const QByteArray &date, Progress *progress)
{
    text = TextCodec::withoutUtf8Bom(text);
    const qsizetype middle = vcardMiddle(text);
    if (middle < 0)
        return vcardPart(text, card, date, progress);
    auto [first, second] = bothAtOnce<VCardResult>(
        progress,
        [&] {
            TmsVCard own;
            return vcardPart(text.first(middle), own, date, progress);
        },
        [&] { return vcardPart(text.sliced(middle), card, date, progress); });
    first.candidates += std::move(second.candidates);
    first.refused += second.refused;
    first.approximated += second.approximated;
    return first;
}

} // namespace Importers
