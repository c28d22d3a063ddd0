#include "ExportFormats.h"

#include "about/WebAddresses.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "store/TextCodec.h"
#include "vcard/Msvcard.h"

#include <QDir>
#include <QFileInfo>

namespace ExportFormats {

namespace {

bool startsWithIgnoringCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// The 18 fields of a line as views into it; missing ones are empty.
using FieldViews = std::array<QByteArrayView, TContatto::FieldCount>;
FieldViews fieldViews(QByteArrayView line)
{
    FieldViews f{};
    int k = 0;
    TCSVStringInfo::forEachField(line, [&](QByteArrayView field) {
        f[k++] = field;
        return k < TContatto::FieldCount;
    });
    return f;
}

// The empty-field marker only says that the user left the field empty; other programs must
// not see it as a fax number, an address or a web site.
QByteArrayView withoutMarker(QByteArrayView value)
{
    return value == "-" ? QByteArrayView() : value;
}

} // namespace

Format formatOf(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return Format::Unknown;
    const QString ext = name.mid(dot).toLower();
    if (ext == u".vcard" || ext == u".vcf")
        return Format::VCard;
    if (ext == u".htm" || ext == u".html")
        return Format::Html;
    if (ext == u".ldif")
        return Format::Ldif;
    return Format::Unknown;
}

QString vcardFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QString base = name.left(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    QString folder = info.path();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("RBN_") + base;
}

QByteArrayList contactFields(QByteArrayView line)
{
    const TContatto c = TContatto::fromLine(line);
    return QByteArrayList(c.fields.begin(), c.fields.end());
}

// ---- HTML page --------------------------------------------------------------------------

namespace {

void appendHtmlEscaped(QByteArray &out, QByteArrayView value)
{
    qsizetype plain = 0; // start of the run of characters that need nothing
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '&' && c != '<' && c != '>' && c != '"')
            continue;
        out.append(value.sliced(plain, i - plain));
        switch (c) {
        case '&':
            // The address book's own encodings: a comma anywhere, a double quote at the start.
            if (value.sliced(i).startsWith("&#44;")) {
                out.append(',');
                i += 4;
            } else if (i == 0 && value.startsWith("&#34;")) {
                out.append("&quot;");
                i += 4;
            } else {
                out.append("&amp;");
            }
            break;
        case '<': out.append("&lt;"); break;
        case '>': out.append("&gt;"); break;
        default: out.append("&quot;"); break;
        }
        plain = i + 1;
    }
    out.append(value.sliced(plain));
}

// One cell: `before`, the escaped value, `after`.
void appendCell(QByteArray &out, QByteArrayView before, QByteArrayView value, QByteArrayView after)
{
    out += "  <td bgcolor=\"white\"><h2>";
    out += before;
    appendHtmlEscaped(out, value);
    out += after;
    out += "</h2></td>\r\n";
}

// A telephone, the e-mail address and the web site become links; the marker stays text.
void appendFieldCell(QByteArray &out, int field, QByteArrayView value)
{
    if (value == "-") {
        appendCell(out, {}, value, {});
        return;
    }
    auto link = [&](QByteArrayView scheme, QByteArrayView attributes) {
        out += "  <td bgcolor=\"white\"><h2><a href=\"";
        out += scheme;
        appendHtmlEscaped(out, value);
        out += '"';
        out += attributes;
        out += '>';
        appendHtmlEscaped(out, value);
        out += "</a></h2></td>\r\n";
    };
    switch (field) {
    case TContatto::cellprivato:
    case TContatto::celllavoro:
    case TContatto::telcasa:
    case TContatto::telufficio:
        link("callto:", {});
        return;
    case TContatto::email:
        link("mailto:", {});
        return;
    case TContatto::sito:
        // Only a web address becomes a link: a local path, "javascript:" or any other
        // scheme would run or open something the reader of the page never asked for.
        if (startsWithIgnoringCase(value, "http://") || startsWithIgnoringCase(value, "https://"))
            link({}, " target=\"_new\" title=\"Nuova finestra\"");
        else if (startsWithIgnoringCase(value, "www."))
            link("http://", " target=\"_new\" title=\"Nuova finestra\"");
        else
            appendCell(out, {}, value, {});
        return;
    default:
        appendCell(out, {}, value, {});
    }
}

} // namespace

QByteArray htmlEscape(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size());
    appendHtmlEscaped(out, value);
    return out;
}

QByteArray htmlPage(const QByteArrayList &lines, const QStringList &captions,
                    const std::function<QByteArray()> &dateText)
{
    const QByteArray homePage = htmlEscape(TextCodec::toAnsi(WebAddresses::homePage()));
    QByteArrayList head;
    head << "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\""
         << "  \"http://www.w3.org/TR/html4/loose.dtd\">"
         << "<html>"
         << " <head>"
         << " <meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
         << " <meta name=\"generator\" content=\"Rubrino 1.1\">"
         << " <title>Elenco contatti in rubrica - generata il " + htmlEscape(dateText()) + "</title>"
         << " <style type=\"text/css\">"
         << "  h1 { font-family: Verdana, Arial, Helvetica; color: red; font-weight: bold; font-size: 14px; }"
         << "  h2 { font-family: Verdana, Arial, Helvetica; color: black; font-weight: normal; font-size: 12px; }"
         << "  th { font-family: Verdana, Arial, Helvetica; color: black; font-size: 12px; }"
         << "  .copy { font-family: Verdana, Arial, Helvetica; color: black; font-weight: normal; font-size: 10px; }"
         << " </style>"
         << " </head>"
         << "<!-- Pagina creata il " + htmlEscape(dateText()) + " con Rubrino 1.1"
         << "     " + homePage + " -->"
         << " <body>"
         << " <h1>Elenco contatti:</h1>"
         << " <hr noshade>"
         << "  <table bgcolor=\"black\" width=\"100%\" cellspacing=\"1\" cellpadding=\"1\" border=\"0\">"
         << "  <tr>";
    for (const QString &caption : captions)
        head << "  <th bgcolor=\"#ffffcc\">" + htmlEscape(TextCodec::toAnsi(caption)) + "</th>";
    head << "  </tr>";
    QByteArray page = AddressBook::joinLines(head);

    // The rows go straight into the page: an address book of many contacts makes a page
    // of many megabytes, built without a copy per cell.
    qsizetype size = page.size() + 1024;
    for (const QByteArray &line : lines)
        size += line.size() * 2 + 700;
    page.reserve(size);
    int n = 0;
    const int columns = std::min(int(captions.size()) - 1, int(TContatto::FieldCount));
    for (const QByteArray &line : lines) {
        const FieldViews fields = fieldViews(line);
        page += "  <tr>\r\n";
        appendCell(page, {}, QByteArray::number(++n), {});
        for (int k = 0; k < columns; ++k)
            appendFieldCell(page, k, fields[k]);
        page += "  </tr>\r\n";
    }

    QByteArrayList foot;
    foot << "  </table>"
         << " <hr noshade>"
         << " <div align=\"center\" class=\"copy\">Pagina creata il " + htmlEscape(dateText()) + " con <a href=\""
                + homePage + "\" target=\"_new\" title=\"Pagina programma\"><b>Rubrino 1.1</b></a> .<br>"
         << " Visita il sito web <a href=\"" + htmlEscape(TextCodec::toAnsi(WebAddresses::makerSite()))
                + "\" target=\"_new\" title=\"Sito ufficiale\">" + htmlEscape(TextCodec::toAnsi(WebAddresses::makerHost()))
                + "</a> .</div>"
         << " </body>"
         << "</html>";
    page += AddressBook::joinLines(foot);
    return page;
}

// ---- LDIF file --------------------------------------------------------------------------

QByteArray dnEscape(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const bool edge = (i == 0 && (c == '#' || c == ' ')) || (i == value.size() - 1 && c == ' ');
        if (c == '\0') {
            out += "\\00";
            continue;
        }
        if (edge || c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' || c == '=')
            out += '\\';
        out += c;
    }
    return out;
}

namespace {

// Whether an LDIF reader takes the value as it stands: ASCII only, no line breaks or NUL,
// and no blank, colon or "<" at the start, no blank at the end.
bool isSafeLdifValue(QByteArrayView value)
{
    if (value.isEmpty())
        return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ')
        return false;
    for (const char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 127 || b == '\0' || b == '\r' || b == '\n')
            return false;
    }
    return true;
}

// "name: value", or "name:: " and the base64 of the value in UTF-8 when a reader could
// not take the value as plain text.
void appendAttribute(QByteArray &out, QByteArrayView name, QByteArrayView value)
{
    out += name;
    if (isSafeLdifValue(value)) {
        out += ": ";
        out += value;
    } else {
        // Mail programs read LDIF as UTF-8: the address book's 8-bit text is converted first.
        out += ":: ";
        out += TextCodec::ansiToUtf8(value).toBase64();
    }
    out += "\r\n";
}

void appendEntry(QByteArray &out, QByteArrayView line)
{
    FieldViews f = fieldViews(line);
    for (QByteArrayView &v : f)
        v = withoutMarker(v);
    QByteArray cn = f[TContatto::nome].toByteArray();
    if (!cn.isEmpty() && !f[TContatto::cognome].isEmpty())
        cn += ' ';
    cn += f[TContatto::cognome];

    // An attribute with an empty value is no part of a valid name, so an empty name or
    // address leaves its part out of the dn.
    QByteArray dn;
    if (!cn.isEmpty())
        dn += "cn=" + dnEscape(cn);
    if (!f[TContatto::email].isEmpty())
        dn += (dn.isEmpty() ? "mail=" : ",mail=") + dnEscape(f[TContatto::email]);

    appendAttribute(out, "dn", dn);
    out += "objectclass: top\r\n"
           "objectclass: person\r\n"
           "objectclass: organizationalPerson\r\n"
           "objectclass: inetOrgPerson\r\n"
           "objectclass: mozillaAbPersonAlpha\r\n";
    // An empty field gives no line at all: the mail program then has nothing to show.
    auto add = [&out](QByteArrayView name, QByteArrayView value) {
        if (!value.isEmpty())
            appendAttribute(out, name, value);
    };
    add("givenName", f[TContatto::nome]);
    add("sn", f[TContatto::cognome]);
    add("cn", cn);
    add("mail", f[TContatto::email]);
    out += "modifytimestamp: 0Z\r\n";
    add("telephoneNumber", f[TContatto::celllavoro]);
    add("homePhone", f[TContatto::telcasa]);
    add("fax", f[TContatto::fax]);
    add("mobile", f[TContatto::cellprivato]);
    add("homeStreet", f[TContatto::indirizzo]);
    add("mozillaHomeLocalityName", f[TContatto::citta]);
    add("mozillaHomePostalCode", f[TContatto::cap]);
    add("mozillaHomeCountryName", f[TContatto::nazione]);
    add("title", f[TContatto::posizione]);
    add("company", f[TContatto::organizzazione]);
    add("mozillaWorkUrl", f[TContatto::sito]);
    add("mozillaHomeUrl", f[TContatto::sito]);
    add("description", f[TContatto::note]);
    out += "\r\n";
}

} // namespace

QByteArray ldif(const QByteArrayList &lines)
{
    QByteArray out;
    qsizetype size = 0;
    for (const QByteArray &line : lines)
        size += line.size() * 2 + 400;
    out.reserve(size);
    for (const QByteArray &line : lines)
        appendEntry(out, line);
    return out;
}

// ---- vCard files -----------------------------------------------------------------------

void fillCard(TmsVCard &card, QByteArrayView line)
{
    QByteArrayList f = contactFields(line);
    for (QByteArray &v : f)
        v = withoutMarker(v).toByteArray();

    TmsNameRec &name = card.Identification().Name();
    name.setGivenName(f[TContatto::nome]);
    name.setFamilyName(f[TContatto::cognome]);
    card.BusinessInfo().setRole(f[TContatto::posizione]);
    card.BusinessInfo().Company().setName(f[TContatto::organizzazione]);

    TmsAddressRec &address = card.DeliveryInfo().Address1();
    address.setStreet(f[TContatto::indirizzo]);
    address.setLocality(f[TContatto::citta]);
    address.setPostalCode(f[TContatto::cap]);
    address.setCountry(f[TContatto::nazione]);

    TmsTelecomInfo &telecom = card.TelecomInfo();
    telecom.Phone1().setNumber(f[TContatto::cellprivato]);
    telecom.Phone1().setAttributes({mstHome, mstCellular});
    telecom.Phone2().setNumber(f[TContatto::celllavoro]);
    telecom.Phone2().setAttributes({mstWork, mstCellular});
    telecom.Phone3().setNumber(f[TContatto::fax]);
    telecom.Phone3().setAttributes({mstHome, mstFax});
    telecom.Email1().setAddress(f[TContatto::email]);

    TmsExplanatoryInfo &explanatory = card.ExplanatoryInfo();
    explanatory.setURL1(f[TContatto::sito]);
    // No comment lines at all for an empty note: one empty line would still be written.
    const QByteArray &note = f[TContatto::note];
    explanatory.setComment(note.isEmpty() ? QByteArrayList() : QByteArrayList{note});
}

bool writeCards(TmsVCard &card, const QByteArrayList &lines, const QString &folder)
{
    bool written = false;
    int n = 0;
    for (const QByteArray &line : lines) {
        fillCard(card, line);
        const QString file = folder + QString::number(++n) + QStringLiteral(".vcf");
        card.SaveToFile(file);
        written = QFileInfo::exists(file);
    }
    return written;
}

} // namespace ExportFormats
