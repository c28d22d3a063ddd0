#include "ExportFormats.h"

#include "about/WebAddresses.h"
#include "store/AddressBook.h"
#include "store/AtomicFile.h"
#include "store/CSVStringInfo.h"
#include "store/Progress.h"
#include "store/TextCodec.h"
#include "vcard/Msvcard.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

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

// A value as the user typed it: the address book stores a comma as "&#44;" (commas
// separate its fields) and a leading double quote as "&#34;" (it would open a quoted
// field). Other programs must see the characters themselves.
QByteArrayView plainValue(QByteArrayView value, QByteArray &buffer)
{
    return AddressBook::shownValue(value, buffer);
}

// The plain value of every field of a line, the marker counted as empty.
struct PlainFields
{
    FieldViews f{};
    std::array<QByteArray, TContatto::FieldCount> buffers;

    void read(QByteArrayView line)
    {
        f = fieldViews(line);
        // Most lines hold no stored form at all: one look at the whole line settles it.
        const bool stored = !line.isEmpty() && std::memchr(line.data(), '&', size_t(line.size()));
        for (int k = 0; k < TContatto::FieldCount; ++k)
            f[k] = stored ? plainValue(withoutMarker(f[k]), buffers[k]) : withoutMarker(f[k]);
    }
    QByteArrayView operator[](TContatto::Field k) const { return f[k]; }
};

// Whether any of the eight bytes of `word` is `c`: most values need no escaping at all,
// and are passed over eight bytes at a time.
constexpr quint64 holdsByte(quint64 word, unsigned char c)
{
    constexpr quint64 ones = 0x0101010101010101ull;
    const quint64 x = word ^ (ones * c);
    return (x - ones) & ~x & (ones << 7);
}

// Collects an export's bytes and hands them to the sink in blocks of 1 MiB, so that an
// export of any size holds one block besides the contacts, and writing starts early.
class Out
{
public:
    explicit Out(const Sink &sink, qsizetype block = 1 << 20)
        : m_sink(sink), m_size(block), m_block(new char[size_t(block)])
    {
    }
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;

    void put(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        if (bytes.size() > m_size - m_used) {
            flush();
            if (bytes.size() >= m_size) {
                m_sink(bytes);
                return;
            }
        }
        std::memcpy(m_block.get() + m_used, bytes.data(), size_t(bytes.size()));
        m_used += bytes.size();
    }
    void put(char c)
    {
        if (m_used == m_size)
            flush();
        m_block[m_used++] = c;
    }
    // Room for `n` bytes (at most a block) to be written directly, then added by used().
    char *space(qsizetype n)
    {
        if (n > m_size - m_used)
            flush();
        return m_block.get() + m_used;
    }
    void used(qsizetype n) { m_used += n; }
    // Hands over what is left; call once at the end.
    void flush()
    {
        if (m_used > 0)
            m_sink(QByteArrayView(m_block.get(), m_used));
        m_used = 0;
    }

private:
    const Sink &m_sink;
    const qsizetype m_size;
    std::unique_ptr<char[]> m_block;
    qsizetype m_used = 0;
};

QByteArray collect(const std::function<void(const Sink &)> &produce)
{
    QByteArray all;
    produce([&all](QByteArrayView bytes) { all += bytes; });
    return all;
}

} // namespace

Format formatOf(const QString &path, Format chosen)
{
    if (chosen != Format::Unknown)
        return chosen;
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

namespace {

// Writes the blocks handed to it into the file, in order, on a thread of its own: making the
// next block and copying the last one into the file then go on at the same time, which for
// an export of a hundred megabytes is a third of the time.
class BlockWriter
{
public:
    explicit BlockWriter(AtomicFile &file) : m_file(file), m_thread([this] { run(); }) {}
    ~BlockWriter() { finish(); }
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    void write(QByteArrayView bytes)
    {
        QByteArray block(bytes.data(), bytes.size());
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_blocks.size() < kQueued; });
        m_blocks.push_back(std::move(block));
        m_ready.notify_one();
    }
    // Waits until every block is in the file.
    void finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void run()
    {
        for (;;) {
            QByteArray block;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [this] { return !m_blocks.empty() || m_done; });
                if (m_blocks.empty())
                    return;
                block = std::move(m_blocks.front());
                m_blocks.pop_front();
            }
            m_room.notify_one();
            m_file.write(block);
        }
    }

    static constexpr size_t kQueued = 4; // blocks waiting at most: the memory stays small
    AtomicFile &m_file;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::deque<QByteArray> m_blocks;
    bool m_done = false;
    std::thread m_thread; // last, so that it starts once the rest is ready
};

} // namespace

void save(const QString &path, const std::function<void(const Sink &)> &produce)
{
    AtomicFile file(path);
    {
        BlockWriter writer(file);
        produce([&writer](QByteArrayView bytes) { writer.write(bytes); });
    }
    file.commit();
}

// ---- HTML page --------------------------------------------------------------------------

namespace {

constexpr std::array<bool, 256> kHtmlSpecial = [] {
    std::array<bool, 256> t{};
    t['&'] = t['<'] = t['>'] = t['"'] = true;
    return t;
}();

// Whether any of the eight bytes of `word` is one of the four characters the page escapes.
bool holdsHtmlSpecial(quint64 word)
{
    return holdsByte(word, '&') | holdsByte(word, '<') | holdsByte(word, '>') | holdsByte(word, '"');
}

// Plain text into the page: "&", "<", ">" and double quotes as entities.
void putHtmlText(Out &out, QByteArrayView text)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    const char *run = p; // start of the characters that need nothing
    // Most values hold none of the four: skip them eight bytes at a time.
    for (quint64 word; end - p >= 8; p += 8) {
        std::memcpy(&word, p, 8);
        if (holdsHtmlSpecial(word))
            break;
    }
    for (; p < end; ++p) {
        if (!kHtmlSpecial[static_cast<unsigned char>(*p)])
            continue;
        out.put(QByteArrayView(run, p - run));
        switch (*p) {
        case '&': out.put("&amp;"); break;
        case '<': out.put("&lt;"); break;
        case '>': out.put("&gt;"); break;
        default: out.put("&quot;"); break;
        }
        run = p + 1;
    }
    out.put(QByteArrayView(run, end - run));
}

// One cell: the escaped value and nothing else.
void putCell(Out &out, QByteArrayView value)
{
    out.put("  <td bgcolor=\"white\"><h2>");
    putHtmlText(out, value);
    out.put("</h2></td>\r\n");
}

// A link cell: `scheme` and `address` make the link, `text` is what it shows.
void putLinkCell(Out &out, QByteArrayView scheme, QByteArrayView address, QByteArrayView attributes,
                 QByteArrayView text)
{
    out.put("  <td bgcolor=\"white\"><h2><a href=\"");
    out.put(scheme);
    putHtmlText(out, address);
    out.put('"');
    out.put(attributes);
    out.put('>');
    putHtmlText(out, text);
    out.put("</a></h2></td>\r\n");
}

// A telephone, the e-mail address and the web site become links; the marker stays text.
void putFieldCell(Out &out, int field, QByteArrayView stored, QByteArray &buffer)
{
    if (stored == "-")
        return putCell(out, stored);
    const QByteArrayView value = plainValue(stored, buffer);
    switch (field) {
    case TContatto::cellprivato:
    case TContatto::celllavoro:
    case TContatto::telcasa:
    case TContatto::telufficio:
        return putLinkCell(out, "callto:", value, {}, value);
    case TContatto::email: {
        // The link carries the address alone: what follows a "?" would fill in the
        // subject, copies or body of a message the reader of the page never wrote.
        const qsizetype query = value.indexOf('?');
        return putLinkCell(out, "mailto:", query < 0 ? value : value.first(query), {}, value);
    }
    case TContatto::sito:
        // Only a web address becomes a link: a local path, "javascript:" or any other
        // scheme would run or open something the reader of the page never asked for.
        if (startsWithIgnoringCase(value, "http://") || startsWithIgnoringCase(value, "https://"))
            return putLinkCell(out, {}, value, " target=\"_new\" title=\"Nuova finestra\"", value);
        if (startsWithIgnoringCase(value, "www."))
            return putLinkCell(out, "http://", value, " target=\"_new\" title=\"Nuova finestra\"", value);
        return putCell(out, value);
    default:
        return putCell(out, value);
    }
}

} // namespace

QByteArray htmlEscape(QByteArrayView value)
{
    QByteArray buffer;
    const QByteArrayView plain = plainValue(value, buffer);
    return collect([plain](const Sink &sink) {
        Out out(sink, 4096);
        putHtmlText(out, plain);
        out.flush();
    });
}

void htmlPage(const QByteArrayList &lines, const QStringList &captions, const std::function<QByteArray()> &dateText,
              const Sink &sink, Progress *progress)
{
    const QByteArray homePage = htmlEscape(TextCodec::toAnsi(WebAddresses::homePage()));
    QByteArrayList head;
    // The bytes are Windows-1252, and saying so lets every reader show the euro sign,
    // curly quotes and dashes, which ISO 8859-1 does not have.
    head << "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\""
         << "  \"http://www.w3.org/TR/html4/loose.dtd\">"
         << "<html>"
         << " <head>"
         << " <meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
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

    Out out(sink);
    out.put(AddressBook::joinLines(head));
    int n = 0;
    QByteArray buffer;
    const int columns = std::min(int(captions.size()) - 1, int(TContatto::FieldCount));
    Progress::Part part(progress);
    for (const QByteArray &line : lines) {
        part.at(n, n);
        const FieldViews fields = fieldViews(line);
        out.put("  <tr>\r\n");
        putCell(out, QByteArray::number(++n));
        for (int k = 0; k < columns; ++k)
            putFieldCell(out, k, fields[k], buffer);
        out.put("  </tr>\r\n");
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
    out.put(AddressBook::joinLines(foot));
    out.flush();
}

QByteArray htmlPage(const QByteArrayList &lines, const QStringList &captions,
                    const std::function<QByteArray()> &dateText)
{
    return collect([&](const Sink &sink) { htmlPage(lines, captions, dateText, sink); });
}

// ---- LDIF file --------------------------------------------------------------------------

namespace {

constexpr std::array<bool, 256> kDnSpecial = [] {
    std::array<bool, 256> t{};
    for (const unsigned char c : {',', '+', '"', '\\', '<', '>', ';', '=', '\0'})
        t[c] = true;
    return t;
}();

void appendDnEscaped(QByteArray &out, QByteArrayView value)
{
    const bool plain = value.isEmpty()
        || (value.front() != '#' && value.front() != ' ' && value.back() != ' '
            && std::none_of(value.begin(), value.end(), [](char c) { return kDnSpecial[static_cast<unsigned char>(c)]; }));
    if (plain) {
        out += value;
        return;
    }
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
}

} // namespace

QByteArray dnEscape(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size() + 8);
    appendDnEscaped(out, value);
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
    auto unsafe = [](quint64 word) {
        return (word & 0x8080808080808080ull) | holdsByte(word, '\0') | holdsByte(word, '\r') | holdsByte(word, '\n');
    };
    const char *p = value.data();
    const char *const end = p + value.size();
    for (quint64 word; end - p >= 8; p += 8) {
        std::memcpy(&word, p, 8);
        if (unsafe(word))
            return false;
    }
    // The last bytes in a word filled up with letters, which are safe.
    quint64 last = 0x6161616161616161ull;
    std::memcpy(&last, p, size_t(end - p));
    return !unsafe(last);
}

class LdifWriter
{
public:
    explicit LdifWriter(const Sink &sink) : m_out(sink) {}

    // The entry of the contact at 1-based position `n`.
    void entry(QByteArrayView line, int n)
    {
        m_fields.read(line);
        const PlainFields &f = m_fields;
        m_cn.resize(0);
        m_cn += f[TContatto::nome];
        if (!m_cn.isEmpty() && !f[TContatto::cognome].isEmpty())
            m_cn += ' ';
        m_cn += f[TContatto::cognome];

        // An attribute with an empty value is no part of a valid name, so an empty name or
        // address leaves its part out of the dn; a contact with neither is named by its
        // position, which no other entry of the file shares.
        m_dn.resize(0);
        if (!m_cn.isEmpty()) {
            m_dn += "cn=";
            appendDnEscaped(m_dn, m_cn);
        }
        if (!f[TContatto::email].isEmpty()) {
            m_dn += m_dn.isEmpty() ? "mail=" : ",mail=";
            appendDnEscaped(m_dn, f[TContatto::email]);
        }
        if (m_dn.isEmpty())
            m_dn += "cn=Contatto" + QByteArray::number(n);

        attribute("dn", m_dn);
        m_out.put("objectclass: top\r\n"
                  "objectclass: person\r\n"
                  "objectclass: organizationalPerson\r\n"
                  "objectclass: inetOrgPerson\r\n"
                  "objectclass: mozillaAbPersonAlpha\r\n");
        // An empty field gives no line at all: the mail program then has nothing to show.
        add("givenName", f[TContatto::nome]);
        add("sn", f[TContatto::cognome]);
        add("cn", m_cn);
        add("mail", f[TContatto::email]);
        add("nsAIMid", f[TContatto::messenger]);
        m_out.put("modifytimestamp: 0Z\r\n");
        // The mail program has one work number: the office telephone, or else the work mobile.
        add("telephoneNumber", f[TContatto::telufficio].isEmpty() ? f[TContatto::celllavoro] : f[TContatto::telufficio]);
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
        m_out.put("\r\n");
    }

    void finish() { m_out.flush(); }

private:
    void add(QByteArrayView name, QByteArrayView value)
    {
        if (!value.isEmpty())
            attribute(name, value);
    }

    // "name: value", or "name:: " and the base64 of the value in UTF-8 when a reader could
    // not take the value as plain text.
    void attribute(QByteArrayView name, QByteArrayView value)
    {
        if (isSafeLdifValue(value)) {
            // The usual case, in one piece.
            const qsizetype size = name.size() + value.size() + 4;
            if (size <= kShortLine) {
                char *d = m_out.space(size);
                std::memcpy(d, name.data(), size_t(name.size()));
                d += name.size();
                *d++ = ':';
                *d++ = ' ';
                if (!value.isEmpty())
                    std::memcpy(d, value.data(), size_t(value.size()));
                d += value.size();
                *d++ = '\r';
                *d = '\n';
                m_out.used(size);
                return;
            }
            m_out.put(name);
            m_out.put(": ");
            m_out.put(value);
        } else {
            m_out.put(name);
            // Mail programs read LDIF as UTF-8: the address book's 8-bit text is converted first.
            m_out.put(":: ");
            m_utf8.resize(0);
            TextCodec::appendUtf8(m_utf8, value);
            putBase64(m_utf8);
        }
        m_out.put("\r\n");
    }

    void putBase64(QByteArrayView bytes)
    {
        static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        constexpr qsizetype chunk = 3 * 1024; // bytes in, 4 KiB out
        for (qsizetype from = 0; from < bytes.size(); from += chunk) {
            const QByteArrayView piece = bytes.sliced(from, std::min(chunk, bytes.size() - from));
            char *d = m_out.space(chunk / 3 * 4);
            char *const begin = d;
            const auto *s = reinterpret_cast<const unsigned char *>(piece.data());
            qsizetype i = 0;
            for (; i + 3 <= piece.size(); i += 3, d += 4) {
                const quint32 v = (quint32(s[i]) << 16) | (quint32(s[i + 1]) << 8) | s[i + 2];
                d[0] = digits[v >> 18];
                d[1] = digits[(v >> 12) & 63];
                d[2] = digits[(v >> 6) & 63];
                d[3] = digits[v & 63];
            }
            if (const qsizetype left = piece.size() - i; left > 0) {
                const quint32 v = (quint32(s[i]) << 16) | (left == 2 ? quint32(s[i + 1]) << 8 : 0);
                d[0] = digits[v >> 18];
                d[1] = digits[(v >> 12) & 63];
                d[2] = left == 2 ? digits[(v >> 6) & 63] : '=';
                d[3] = '=';
                d += 4;
            }
            m_out.used(d - begin);
        }
    }

    static constexpr qsizetype kShortLine = 4096;
    Out m_out;
    PlainFields m_fields;
    QByteArray m_cn;
    QByteArray m_dn;
    QByteArray m_utf8;
};

} // namespace

void ldif(const QByteArrayList &lines, const Sink &sink, Progress *progress)
{
    LdifWriter writer(sink);
    Progress::Part part(progress);
    int n = 0;
    for (const QByteArray &line : lines) {
        part.at(n, n);
        writer.entry(line, ++n);
    }
    writer.finish();
}

QByteArray ldif(const QByteArrayList &lines)
{
    return collect([&](const Sink &sink) { ldif(lines, sink); });
}

// ---- vCard files -----------------------------------------------------------------------

void fillCard(TmsVCard &card, QByteArrayView line)
{
    PlainFields plain;
    plain.read(line);
    auto f = [&plain](TContatto::Field k) { return plain[k].toByteArray(); };

    TmsNameRec &name = card.Identification().Name();
    name.setGivenName(f(TContatto::nome));
    name.setFamilyName(f(TContatto::cognome));
    card.BusinessInfo().setRole(f(TContatto::posizione));
    card.BusinessInfo().Company().setName(f(TContatto::organizzazione));

    TmsAddressRec &address = card.DeliveryInfo().Address1();
    address.setStreet(f(TContatto::indirizzo));
    address.setLocality(f(TContatto::citta));
    address.setPostalCode(f(TContatto::cap));
    address.setCountry(f(TContatto::nazione));

    // Three telephone slots, each for a field of its own. A slot whose field is empty carries
    // the next landline not yet written, home before office, so that no number is lost
    // while a slot is free.
    struct Number
    {
        QByteArray number;
        TmsPhoneAttributes types;
    };
    QList<Number> landlines;
    if (!plain[TContatto::telcasa].isEmpty())
        landlines.append({f(TContatto::telcasa), {mstHome, mstVoice}});
    if (!plain[TContatto::telufficio].isEmpty())
        landlines.append({f(TContatto::telufficio), {mstWork, mstVoice}});
    qsizetype next = 0;
    auto fillSlot = [&](TmsPhoneRec &phone, TContatto::Field own, TmsPhoneAttributes types) {
        Number n{f(own), types};
        if (n.number.isEmpty() && next < landlines.size())
            n = landlines[next++];
        phone.setNumber(n.number);
        phone.setAttributes(n.types);
    };
    TmsTelecomInfo &telecom = card.TelecomInfo();
    fillSlot(telecom.Phone1(), TContatto::cellprivato, {mstHome, mstCellular});
    fillSlot(telecom.Phone2(), TContatto::celllavoro, {mstWork, mstCellular});
    fillSlot(telecom.Phone3(), TContatto::fax, {mstHome, mstFax});
    telecom.Email1().setAddress(f(TContatto::email));

    TmsExplanatoryInfo &explanatory = card.ExplanatoryInfo();
    explanatory.setURL1(f(TContatto::sito));
    // No comment lines at all for an empty note: one empty line would still be written.
    const QByteArray note = f(TContatto::note);
    explanatory.setComment(note.isEmpty() ? QByteArrayList() : QByteArrayList{note});
}

bool writeCards(TmsVCard &card, const QByteArrayList &lines, const QString &folder, Progress *progress)
{
    // Waiting for the disk after every card made an export of thousands of cards take
    // minutes. Each card still replaces its file in one step; the disk is asked once, at
    // the end, to keep them all, also when a card fails or the user stops the export.
    QString file;
    qint64 written = 0;
    // A card file the user protected stops the export before any card is written, not
    // halfway through.
    for (qsizetype n = 1; n <= lines.size(); ++n)
        AtomicFile::checkReplaceable(folder + QString::number(n) + QStringLiteral(".vcf"));
    Progress::Part part(progress);
    try {
        for (const QByteArray &line : lines) {
            part.at(written, written);
            fillCard(card, line);
            file = folder + QString::number(written + 1) + QStringLiteral(".vcf");
            AtomicFile out(file, AtomicFile::Durability::Later);
            out.write(card.SaveToBytes());
            out.commit();
            ++written;
        }
    } catch (...) {
        if (written > 0) {
            try {
                AtomicFile::syncFolder(folder);
            } catch (...) {
                // The failed card, or the stop, is what the user hears of.
            }
        }
        throw;
    }
    if (written == 0)
        return false;
    AtomicFile::syncFolder(folder);
    return QFileInfo::exists(file);
}

// ---- Phone book: one vCard 3.0 file ------------------------------------------------------

namespace {

// Builds one property line of a card and writes it folded.
class CardLine
{
public:
    explicit CardLine(Out &out) : m_out(out) {}

    CardLine &name(QByteArrayView nameAndParameters)
    {
        m_line.resize(0);
        m_line += nameAndParameters;
        m_line += ':';
        return *this;
    }
    CardLine &separator()
    {
        m_line += ';';
        return *this;
    }
    // A text value in UTF-8, with the characters that have a meaning in the card escaped.
    CardLine &text(QByteArrayView ansi)
    {
        m_utf8.resize(0);
        TextCodec::appendUtf8(m_utf8, ansi);
        const qsizetype n = m_utf8.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char c = m_utf8[i];
            switch (c) {
            case '\\': m_line += "\\\\"; break;
            case ',': m_line += "\\,"; break;
            case ';': m_line += "\\;"; break;
            case '\n': m_line += "\\n"; break;
            case '\r':
                if (i + 1 < n && m_utf8[i + 1] == '\n')
                    break; // CR LF is one line break
                m_line += "\\n";
                break;
            default: m_line += c;
            }
        }
        return *this;
    }
    // Lines longer than 75 bytes go on in lines that begin with a blank; a fold never falls
    // inside a character of more than one byte.
    void write()
    {
        QByteArrayView rest = m_line;
        qsizetype limit = 75;
        while (rest.size() > limit) {
            qsizetype cut = limit;
            while ((static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80)
                --cut;
            m_out.put(rest.first(cut));
            m_out.put("\r\n ");
            rest = rest.sliced(cut);
            limit = 74; // the blank that begins the line counts
        }
        m_out.put(rest);
        m_out.put("\r\n");
    }

private:
    Out &m_out;
    QByteArray m_line;
    QByteArray m_utf8;
};

void putCard(CardLine &line, Out &out, const PlainFields &f)
{
    out.put("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    const QByteArrayView given = f[TContatto::nome];
    const QByteArrayView family = f[TContatto::cognome];
    line.name("N").text(family).separator().text(given).separator().separator().separator().write();
    // The name shown in lists: given and family name, or the organisation of a contact
    // without either.
    line.name("FN");
    if (given.isEmpty() && family.isEmpty())
        line.text(f[TContatto::organizzazione]);
    else if (family.isEmpty())
        line.text(given);
    else if (given.isEmpty())
        line.text(family);
    else
        line.text(given).text(" ").text(family);
    line.write();

    auto single = [&](QByteArrayView property, TContatto::Field k) {
        if (!f[k].isEmpty())
            line.name(property).text(f[k]).write();
    };
    single("ORG", TContatto::organizzazione);
    single("TITLE", TContatto::posizione);
    if (!f[TContatto::indirizzo].isEmpty() || !f[TContatto::citta].isEmpty() || !f[TContatto::cap].isEmpty()
        || !f[TContatto::nazione].isEmpty()) {
        line.name("ADR;TYPE=HOME").separator().separator().text(f[TContatto::indirizzo]).separator();
        line.text(f[TContatto::citta]).separator().separator().text(f[TContatto::cap]).separator();
        line.text(f[TContatto::nazione]).write();
    }
    single("TEL;TYPE=CELL", TContatto::cellprivato);
    single("TEL;TYPE=CELL,WORK", TContatto::celllavoro);
    single("TEL;TYPE=HOME,VOICE", TContatto::telcasa);
    single("TEL;TYPE=WORK,VOICE", TContatto::telufficio);
    single("TEL;TYPE=FAX", TContatto::fax);
    single("EMAIL;TYPE=INTERNET", TContatto::email);
    single("URL", TContatto::sito);
    single("NOTE", TContatto::note);
    single("X-AIM", TContatto::messenger);
    out.put("END:VCARD\r\n");
}

} // namespace

void phoneBook(const QByteArrayList &lines, const Sink &sink, Progress *progress)
{
    Out out(sink);
    CardLine line(out);
    PlainFields fields;
    Progress::Part part(progress);
    qint64 n = 0;
    for (const QByteArray &l : lines) {
        part.at(n, n);
        ++n;
        fields.read(l);
        putCard(line, out, fields);
    }
    out.flush();
}

QByteArray phoneBook(const QByteArrayList &lines)
{
    return collect([&](const Sink &sink) { phoneBook(lines, sink); });
}

QString plainText(const QByteArrayList &lines)
{
    QString text;
    PlainFields fields;
    for (const QByteArray &l : lines) {
        fields.read(l);
        QStringList parts;
        const QString name = TextCodec::fromAnsi(fields[TContatto::nome]) + u' ' + TextCodec::fromAnsi(fields[TContatto::cognome]);
        parts.append(name.trimmed());
        for (auto k : {TContatto::cellprivato, TContatto::celllavoro, TContatto::telcasa, TContatto::telufficio,
                       TContatto::email}) {
            if (!fields[k].isEmpty())
                parts.append(TextCodec::fromAnsi(fields[k]));
        }
        text += parts.join(QStringLiteral(", ")) + u'\n';
    }
    return text;
}

} // namespace ExportFormats
