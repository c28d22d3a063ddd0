#include "Msvcls.h"

#include "store/AddressBook.h"
#include "store/TextCodec.h"

#include <QCoreApplication>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    }
    return true;
}

bool startsWithIgnoringAsciiCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.first(prefix.size()), prefix);
}

// Without the leading and trailing characters of code 32 or less (blanks, tabs, controls).
QByteArray trimmedLine(QByteArrayView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.sliced(b, e - b).toByteArray();
}

QByteArray upperName(const QByteArray &propName)
{
    QByteArray name = propName;
    for (char &c : name)
        c = upperAscii(c);
    if (name.endsWith(':'))
        name.chop(1);
    return name;
}

// The length of a group prefix such as "item1." (letters, digits, hyphens, then a dot), or 0.
qsizetype groupPrefixLength(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size()) {
        const char c = line[i];
        const bool nameChar = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '-';
        if (!nameChar)
            break;
        ++i;
    }
    return (i > 0 && i < line.size() && line[i] == '.') ? i + 1 : 0;
}

// Whether the line holds the property `name` (already in capitals): the name, then a colon
// or a semicolon. Cards of other programs may put a group prefix before the name.
bool holdsProperty(QByteArrayView line, QByteArrayView name, bool allowGroup)
{
    if (allowGroup)
        line = line.sliced(groupPrefixLength(line));
    if (line.size() <= name.size() || !startsWithIgnoringAsciiCase(line, name))
        return false;
    const char next = line[name.size()];
    return next == ':' || next == ';';
}

// The first colon that is not inside double quotes; a quote left open makes the first
// colon of all count, so that a stray quote loses no value.
qsizetype propertyColon(QByteArrayView text)
{
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ':' && !quoted)
            return i;
    }
    return text.indexOf(':');
}

// The pieces between the separators that are not inside double quotes.
QByteArrayList splitOutsideQuotes(QByteArrayView text, char separator)
{
    QByteArrayList out;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            out.append(text.sliced(start, i - start).toByteArray());
            start = i + 1;
        }
    }
    out.append(text.sliced(start).toByteArray());
    return out;
}

// The name and value of a parameter item "name=value"; the value without its quotes.
bool splitParameter(QByteArrayView item, QByteArray &name, QByteArray &value)
{
    const qsizetype eq = item.indexOf('=');
    if (eq < 0)
        return false;
    name = trimmedLine(item.first(eq));
    value = trimmedLine(item.sliced(eq + 1));
    value.replace("\"", "");
    return true;
}

bool isQuotedPrintable(const QByteArrayList &rawParams)
{
    for (qsizetype i = 1; i < rawParams.size(); ++i) {
        const QByteArray item = trimmedLine(rawParams[i]);
        QByteArray name, value;
        if (equalsIgnoringAsciiCase(item, "QUOTED-PRINTABLE"))
            return true;
        if (splitParameter(item, name, value) && equalsIgnoringAsciiCase(name, "ENCODING")
            && equalsIgnoringAsciiCase(value, "QUOTED-PRINTABLE"))
            return true;
    }
    return false;
}

// The parameters of a whole property line (name first), as written.
QByteArrayList rawParamsOfLine(QByteArrayView line)
{
    const qsizetype colon = propertyColon(line);
    return splitOutsideQuotes(colon < 0 ? line : line.first(colon), ';');
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

// The values of a property, split at the semicolons that separate them. Version 3.0 and
// 4.0 escape with a backslash ("\n" a line break, any other character itself); version 2.1
// escapes only the semicolon; other cards know no escapes.
QByteArrayList splitValues(QByteArrayView text, TmsCardDialect dialect)
{
    QByteArrayList out;
    if (dialect != TmsCardDialect::V3 && dialect != TmsCardDialect::V21) {
        TmsPropertyParser::SplitFields(text, out);
        return out;
    }
    if (!text.contains('\\')) {
        TmsPropertyParser::SplitFields(text, out);
        return out;
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
            if (next == ';') {
                current.append(';');
                ++i;
                continue;
            }
        }
        if (c == ';') {
            out.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    out.append(current);
    return out;
}

// Every line break (CR LF, CR or LF) becomes one LF; a NUL becomes a blank.
QByteArray normaliseBreaks(QByteArrayView text)
{
    if (!text.contains('\r') && !text.contains('\0'))
        return text.toByteArray();
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
    return out;
}

// Value k of the parser, if there is one.
bool takeValue(const TmsPropertyParser &parser, qsizetype k, QByteArray &field)
{
    if (k >= parser.Values().size())
        return false;
    field = parser.Value(k);
    return true;
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

TmsCardDialect TmsPropertyParser::DialectOf(const QByteArrayList &lines)
{
    for (const QByteArray &line : lines) {
        if (!holdsProperty(line, "VERSION", true))
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray version = trimmedLine(QByteArrayView(line).sliced(colon + 1));
        if (version == "1.2")
            return TmsCardDialect::Own;
        if (version == "2.1")
            return TmsCardDialect::V21;
        if (version == "3.0" || version == "4.0")
            return TmsCardDialect::V3;
        return TmsCardDialect::Other;
    }
    return TmsCardDialect::Other;
}

namespace {

qsizetype findIn(const QByteArrayList *lines, const QByteArray &propName, TmsCardDialect dialect)
{
    if (!lines || lines->isEmpty())
        return -1;
    const QByteArray name = upperName(propName);
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
    m_propText.clear();
    if (!m_lines)
        return;
    QByteArrayList &lines = *m_lines;
    m_dialect = DialectOf(lines);
    const qsizetype i = findIn(m_lines, m_propName, m_dialect);
    if (i < 0)
        return;

    // The property is its line and every directly following line that begins with a blank.
    qsizetype end = i + 1;
    while (end < lines.size() && !lines[end].isEmpty() && isBlank(lines[end][0]))
        ++end;

    if (m_dialect == TmsCardDialect::V3) {
        // 3.0 and 4.0 fold by inserting a line break and one blank: taking both away gives
        // back the text exactly, blanks at either side of the fold included.
        QByteArray text = lines[i];
        for (qsizetype k = i + 1; k < end; ++k)
            text.append(QByteArrayView(lines[k]).sliced(1));
        m_propText = trimmedLine(text);
    } else {
        for (qsizetype k = i; k < end; ++k) {
            const QByteArray piece = trimmedLine(lines[k]);
            if (piece.isEmpty())
                continue;
            if (!m_propText.isEmpty())
                m_propText.append(' ');
            m_propText.append(piece);
        }
    }
    lines.remove(i, end - i);
}

void TmsPropertyParser::SplitFields(QByteArrayView text, QByteArrayList &list)
{
    list.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == ';') {
            list.append(text.sliced(start, i - start).toByteArray());
            start = i + 1;
        }
    }
    list.append(text.sliced(start).toByteArray());
}

void TmsPropertyParser::SplitProperty()
{
    if (m_propText.isEmpty())
        return;

    if (m_dialect == TmsCardDialect::Own) {
        // This program's own cards: split at the first colon and at every semicolon, and
        // take the pieces as they stand.
        const qsizetype colon = m_propText.indexOf(':');
        if (colon < 0)
            return;
        SplitFields(QByteArrayView(m_propText).first(colon), m_params);
        SplitFields(QByteArrayView(m_propText).sliced(colon + 1), m_values);
        return;
    }

    const qsizetype colon = propertyColon(m_propText);
    if (colon < 0)
        return;
    const QByteArrayList raw = splitOutsideQuotes(QByteArrayView(m_propText).first(colon), ';');

    // A TYPE list counts like the bare names it holds, in whatever form it is written.
    m_params.clear();
    m_params.append(raw.first());
    QByteArray charset;
    bool hasCharset = false;
    for (qsizetype i = 1; i < raw.size(); ++i) {
        QByteArray name, value;
        if (!splitParameter(raw[i], name, value)) {
            m_params.append(raw[i]);
            continue;
        }
        if (equalsIgnoringAsciiCase(name, "TYPE")) {
            for (const QByteArray &type : value.split(',')) {
                const QByteArray t = trimmedLine(type);
                if (!t.isEmpty())
                    m_params.append(t);
            }
            continue;
        }
        if (equalsIgnoringAsciiCase(name, "CHARSET")) {
            hasCharset = true;
            charset = value;
        }
        m_params.append(raw[i]);
    }
    const bool qp = isQuotedPrintable(raw);
    const bool charsetUtf8 = equalsIgnoringAsciiCase(charset, "UTF-8") || equalsIgnoringAsciiCase(charset, "UTF8");

    m_values = splitValues(QByteArrayView(m_propText).sliced(colon + 1), m_dialect);
    for (QByteArray &value : m_values) {
        if (qp)
            value = decodeQuotedPrintable(value);
        // Text in UTF-8 is recognised by itself, said or not; a card that names another
        // character set keeps its bytes.
        if ((!hasCharset || charsetUtf8) && TextCodec::isNonAsciiUtf8(value))
            value = TextCodec::utf8ToAnsi(value);
        value = normaliseBreaks(value);
    }
}

void TmsPropertyParser::Parse()
{
    m_params.clear();
    m_values.clear();
    ExtractProperty();
    SplitProperty();
}

QByteArray TmsPropertyParser::Value(qsizetype k) const
{
    if (k < 0 || k >= m_values.size())
        return QByteArray();
    QByteArray v = m_values[k];
    v.replace('\n', ' ');
    return v;
}

QByteArrayList TmsPropertyParser::ValueLines(qsizetype k) const
{
    if (k < 0 || k >= m_values.size())
        return {};
    return m_values[k].split('\n');
}

QByteArrayList TmsPropertyParser::TextToLines(QByteArrayView text)
{
    QByteArrayList lines = AddressBook::splitLines(text);
    if (DialectOf(lines) == TmsCardDialect::Own)
        return lines;

    QByteArrayList out;
    out.reserve(lines.size());
    const qsizetype n = lines.size();
    for (qsizetype i = 0; i < n; ++i) {
        QByteArray line = lines[i];
        if (!line.isEmpty() && !isBlank(line[0]) && isQuotedPrintable(rawParamsOfLine(line))) {
            // A soft line break: the "=" goes and the next line follows exactly as it is.
            for (qsizetype k = softBreak(line); k >= 0; k = softBreak(line)) {
                line.truncate(k);
                if (i + 1 >= n)
                    break;
                line.append(lines[++i]);
            }
        }
        out.append(line);
    }
    return out;
}

// ---------------------------------------------------------------------------------------

void TmsNameRec::Clear()
{
    m_familyName.clear();
    m_givenName.clear();
    m_additionalNames.clear();
    m_prefix.clear();
    m_suffix.clear();
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
    Clear();
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("N");
    parser.Parse();
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
    lines.append("N:" + m_familyName + ';' + m_givenName + ';' + m_additionalNames + ';' + m_prefix + ';'
                 + m_suffix);
}

// ---------------------------------------------------------------------------------------

void TmsAddressRec::Clear()
{
    m_attributes.clear();
    m_poAddress.clear();
    m_extendedAddress.clear();
    m_street.clear();
    m_locality.clear();
    m_region.clear();
    m_postalCode.clear();
    m_country.clear();
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
    Clear();
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("ADR");
    parser.Parse();
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
    for (int t = 0; t < TmsAddressAttributes::MemberCount; ++t) {
        for (const QByteArray &item : params) {
            if (equalsIgnoringAsciiCase(item, AddressTypeNames[t])) {
                m_attributes.insert(TmsAddressType(t));
                break;
            }
        }
    }
}

void TmsAddressRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_poAddress.isEmpty() && m_extendedAddress.isEmpty() && m_street.isEmpty() && m_locality.isEmpty()
        && m_region.isEmpty() && m_postalCode.isEmpty() && m_country.isEmpty())
        return;
    lines.append(joinedParams("ADR", AddressTypeNames, m_attributes.members()) + ':' + m_poAddress + ';'
                 + m_extendedAddress + ';' + m_street + ';' + m_locality + ';' + m_region + ';' + m_postalCode
                 + ';' + m_country);
}

// ---------------------------------------------------------------------------------------

void TmsPhoneRec::Clear()
{
    m_attributes.clear();
    m_number.clear();
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
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("TEL");
    parser.Parse();
    if (takeValue(parser, 0, m_number) && parser.Dialect() != TmsCardDialect::Own
        && startsWithIgnoringAsciiCase(m_number, "tel:")) {
        // vCard 4.0 gives the number as a URI.
        m_number.remove(0, 4);
    }
    LoadParams(parser.Params());
}

void TmsPhoneRec::LoadParams(const QByteArrayList &params)
{
    for (int t = 0; t < TmsPhoneAttributes::MemberCount; ++t) {
        for (const QByteArray &item : params) {
            if (equalsIgnoringAsciiCase(item, PhoneTypeNames[t])) {
                m_attributes.insert(TmsPhoneType(t));
                break;
            }
        }
    }
}

void TmsPhoneRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_number.isEmpty())
        return;
    lines.append(joinedParams("TEL", PhoneTypeNames, m_attributes.members()) + ':' + m_number);
}

// ---------------------------------------------------------------------------------------

void TmsEmailRec::Clear()
{
    m_emailType = mseDefault;
    m_address.clear();
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
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("EMAIL");
    parser.Parse();
    takeValue(parser, 0, m_address);
    LoadParams(parser.Params());
}

void TmsEmailRec::LoadParams(const QByteArrayList &params)
{
    // Item 0 is the property's name. The last type in ordinal order wins; the default
    // type's empty name matches the empty parameter this program writes.
    for (int t = 0; t < int(EmailTypeNames.size()); ++t) {
        for (qsizetype i = 1; i < params.size(); ++i) {
            if (equalsIgnoringAsciiCase(params[i], EmailTypeNames[t])) {
                m_emailType = TmsEmailType(t);
                break;
            }
        }
    }
}

void TmsEmailRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_address.isEmpty())
        return;
    // The semicolon is written even for the default type, whose name is empty.
    lines.append(QByteArray("EMAIL;") + EmailTypeNames[m_emailType] + ':' + m_address);
}

// ---------------------------------------------------------------------------------------

void TmsCompanyRec::Clear()
{
    m_name.clear();
    m_aUnit.clear();
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
    Clear();
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("ORG");
    parser.Parse();
    takeValue(parser, 0, m_name);
    takeValue(parser, 1, m_aUnit);
}

void TmsCompanyRec::SaveToLines(QByteArrayList &lines) const
{
    if (m_name.isEmpty() && m_aUnit.isEmpty())
        return;
    lines.append("ORG:" + m_name + ';' + m_aUnit);
}

// ---------------------------------------------------------------------------------------

void TmsIdentification::Clear()
{
    m_name.Clear();
    m_formattedName.clear();
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
    Clear();
    m_name.LoadFromLines(lines);
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("FN");
    parser.Parse();
    takeValue(parser, 0, m_formattedName);
}

void TmsIdentification::SaveToLines(QByteArrayList &lines) const
{
    if (!m_formattedName.isEmpty())
        lines.append("FN:" + m_formattedName);
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
    Clear();
    m_address1.LoadFromLines(lines);
    m_address2.LoadFromLines(lines);
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
    Clear();
    m_phone1.LoadFromLines(lines);
    m_phone2.LoadFromLines(lines);
    m_phone3.LoadFromLines(lines);
    m_email1.LoadFromLines(lines);
    m_email2.LoadFromLines(lines);
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
    m_title.clear();
    m_role.clear();
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
    Clear();
    m_company.LoadFromLines(lines);
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("TITLE");
    parser.Parse();
    takeValue(parser, 0, m_title);
    parser.setPropName("ROLE");
    parser.Parse();
    takeValue(parser, 0, m_role);
}

void TmsBusinessInfo::SaveToLines(QByteArrayList &lines) const
{
    m_company.SaveToLines(lines);
    if (!m_title.isEmpty())
        lines.append("TITLE:" + m_title);
    if (!m_role.isEmpty())
        lines.append("ROLE:" + m_role);
}

// ---------------------------------------------------------------------------------------

void TmsExplanatoryInfo::Clear()
{
    m_comment.clear();
    m_url1.clear();
    m_url2.clear();
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
    Clear();
    TmsPropertyParser parser;
    parser.setLines(&lines);
    parser.setPropName("NOTE");
    parser.Parse();
    // Every value is a comment line; a line break inside a value starts one more.
    for (qsizetype k = 0; k < parser.Values().size(); ++k)
        m_comment.append(parser.ValueLines(k));
    parser.setPropName("URL");
    parser.Parse();
    takeValue(parser, 0, m_url1);
    parser.Parse();
    takeValue(parser, 0, m_url2);
}

void TmsExplanatoryInfo::SaveToLines(QByteArrayList &lines) const
{
    if (!m_comment.isEmpty()) {
        // The lines after the first are continuation lines, marked by two leading blanks.
        lines.append("NOTE:" + m_comment.first());
        for (qsizetype i = 1; i < m_comment.size(); ++i)
            lines.append("  " + m_comment[i]);
    }
    if (!m_url1.isEmpty())
        lines.append("URL:" + m_url1);
    if (!m_url2.isEmpty())
        lines.append("URL:" + m_url2);
}
