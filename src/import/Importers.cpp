#include "Importers.h"

#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "store/TextCodec.h"
#include "vcard/Msvcard.h"

#include <QBuffer>
#include <QFileInfo>

namespace Importers {

namespace {

bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && AddressBook::containsIgnoringAsciiCase(a, b);
}

// Every optional field starts as the address book's empty-field marker.
TContatto emptyContact()
{
    static const QByteArray marker("-");
    TContatto c;
    for (QByteArray &f : c.fields)
        f = marker;
    return c;
}

// Text from another program: UTF-8 when it reads as UTF-8 with accented letters (the usual
// case today), otherwise the address book's own 8-bit text, kept as it is. A line break
// inside a value counts as one blank, whatever its kind.
QByteArray importedText(QByteArray value)
{
    if (TextCodec::isNonAsciiUtf8(value))
        value = TextCodec::utf8ToAnsi(value);
    value.replace("\r\n", "\n");
    return value;
}

QByteArray orMarker(const QByteArray &value)
{
    return value.isEmpty() ? QByteArray("-") : value;
}

// ---- LDIF ----

struct LdifAttribute
{
    QByteArrayView name;
    TContatto::Field field;
};

// The attributes a mail program writes for the fields the address book has.
const LdifAttribute kLdifAttributes[] = {
    {"givenName", TContatto::nome},
    {"sn", TContatto::cognome},
    {"mail", TContatto::email},
    {"nsAIMid", TContatto::messenger},
    {"telephoneNumber", TContatto::telufficio},
    {"homePhone", TContatto::telcasa},
    {"fax", TContatto::fax},
    {"mobile", TContatto::cellprivato},
    {"homeStreet", TContatto::indirizzo},
    {"mozillaHomeLocalityName", TContatto::citta},
    {"mozillaHomePostalCode", TContatto::cap},
    {"mozillaHomeCountryName", TContatto::nazione},
    {"company", TContatto::organizzazione},
    {"mozillaWorkUrl", TContatto::sito},
    {"title", TContatto::posizione},
    {"description", TContatto::note},
};

// Calls fn with each logical line: a line that begins with one blank continues the line
// before it, without that blank. Empty lines, which end entries, are passed on too.
template<typename Fn>
void forEachUnfoldedLine(QByteArrayView text, Fn fn)
{
    QByteArrayView pending;
    bool havePending = false;
    QByteArray joined; // used only when a line is continued
    bool continued = false;
    auto flush = [&] {
        if (havePending)
            fn(continued ? QByteArrayView(joined) : pending);
        havePending = false;
        continued = false;
    };
    qsizetype pos = 0;
    QByteArrayView line;
    while (AddressBook::nextLine(text, pos, line)) {
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
        flush();
        pending = line;
        havePending = true;
    }
    flush();
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

QByteArrayList ldifCandidates(QByteArrayView text, const QByteArray &date)
{
    QByteArrayList candidates;
    TContatto contact = emptyContact();
    bool recognised = false;
    auto closeEntry = [&] {
        // Empty lines in a row, or a version line on its own, are no contact.
        if (recognised) {
            contact[TContatto::datainserimento] = date;
            candidates.append(contact.toLine());
        }
        contact = emptyContact();
        recognised = false;
    };

    forEachUnfoldedLine(text, [&](QByteArrayView line) {
        if (line.isEmpty()) {
            closeEntry();
            return;
        }
        // "name: value", "name:: base64" or "name:< address"; the name may carry options
        // after a semicolon ("description;lang-it: ...").
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return;
        QByteArrayView name = line.first(colon);
        if (const qsizetype semi = name.indexOf(';'); semi >= 0)
            name = name.first(semi);
        const LdifAttribute *attribute = nullptr;
        for (const LdifAttribute &a : kLdifAttributes) {
            if (equalsIgnoringAsciiCase(name, a.name)) {
                attribute = &a;
                break;
            }
        }
        if (!attribute)
            return;

        QByteArrayView rest = line.sliced(colon + 1);
        const bool base64 = rest.startsWith(':');
        // A value kept elsewhere (":<" and an address) is not fetched.
        if (rest.startsWith('<'))
            return;
        if (base64)
            rest = rest.sliced(1);
        // The blanks after the colon separate; blanks at the end belong to the value.
        while (rest.startsWith(' '))
            rest = rest.sliced(1);
        QByteArray value;
        if (base64) {
            // Text that is not base64 gives an empty field rather than bytes made up from
            // whatever letters it holds.
            const auto decoded = QByteArray::fromBase64Encoding(rest.trimmed().toByteArray(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (decoded)
                value = decoded.decoded;
        } else {
            value = rest.toByteArray();
        }
        value = importedText(std::move(value));
        contact[attribute->field] = value.isEmpty() ? QByteArray("-") : value;
        recognised = true;
    });
    // The last entry needs no empty line after it.
    closeEntry();
    return candidates;
}

PreviousVersionResult previousVersionCandidates(const QByteArrayList &lines)
{
    PreviousVersionResult result;
    // The first line that is not empty decides the layout of the whole file: 14 fields
    // for version 1.0, 18 (or more, of which the first 18 count) for the present one.
    int layout = 0;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const qsizetype count = TCSVStringInfo::fieldViews(line).size();
        if (count >= TContatto::FieldCount)
            layout = TContatto::FieldCount;
        else if (count == 14)
            layout = 14;
        break;
    }
    if (layout == 0)
        return result;

    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArrayView> f = TCSVStringInfo::fieldViews(line);
        if (f.size() < layout) {
            ++result.skipped;
            continue;
        }
        if (layout == TContatto::FieldCount) {
            result.candidates.append(TContatto::fromLine(line).toLine());
            continue;
        }
        // Version 1.0 had no organisation, country, fax or messenger, and kept the
        // notes before the telephones.
        TContatto c = emptyContact();
        c[TContatto::nome] = f[0].toByteArray();
        c[TContatto::cognome] = f[1].toByteArray();
        c[TContatto::posizione] = f[2].toByteArray();
        c[TContatto::indirizzo] = f[3].toByteArray();
        c[TContatto::citta] = f[4].toByteArray();
        c[TContatto::cap] = f[5].toByteArray();
        c[TContatto::note] = f[6].toByteArray();
        c[TContatto::cellprivato] = f[7].toByteArray();
        c[TContatto::celllavoro] = f[8].toByteArray();
        c[TContatto::telcasa] = f[9].toByteArray();
        c[TContatto::telufficio] = f[10].toByteArray();
        c[TContatto::email] = f[11].toByteArray();
        c[TContatto::sito] = f[12].toByteArray();
        c[TContatto::datainserimento] = f[13].toByteArray();
        result.candidates.append(c.toLine());
    }
    return result;
}

QByteArrayList splitVCards(QByteArrayView text)
{
    auto isMarker = [](QByteArrayView line, QByteArrayView marker) {
        return equalsIgnoringAsciiCase(line.trimmed(), marker);
    };
    QByteArrayList cards;
    QByteArray card;
    bool inside = false;
    bool anyBegin = false;
    qsizetype pos = 0;
    QByteArrayView line;
    while (AddressBook::nextLine(text, pos, line)) {
        if (isMarker(line, "BEGIN:VCARD")) {
            // A card without END ends where the next one begins.
            if (inside)
                cards.append(std::exchange(card, {}));
            inside = anyBegin = true;
        } else if (isMarker(line, "END:VCARD")) {
            if (inside) {
                card.append(line).append("\r\n");
                cards.append(std::exchange(card, {}));
                inside = false;
            }
            continue;
        }
        if (inside)
            card.append(line).append("\r\n");
    }
    if (inside)
        cards.append(card);
    // Text without any card frame is one card.
    if (!anyBegin)
        return {text.toByteArray()};
    return cards;
}

VCardResult vcardCandidates(QByteArrayView text, TmsVCard &card, const QByteArray &date)
{
    VCardResult result;
    for (const QByteArray &cardText : splitVCards(text)) {
        // Each card is read on its own: the reader takes a text as one pool of lines, so
        // a whole file would mix the cards' telephones and names.
        QBuffer buffer;
        buffer.setData(cardText);
        buffer.open(QIODevice::ReadOnly);
        card.LoadFromStream(&buffer);

        TContatto c = emptyContact();
        const TmsNameRec &name = card.Identification().Name();
        const QByteArray given = name.GivenName();
        const QByteArray family = name.FamilyName();
        const TmsAddressRec &address = card.DeliveryInfo().Address1();
        c[TContatto::posizione] = orMarker(card.BusinessInfo().Role());
        c[TContatto::organizzazione] = orMarker(card.BusinessInfo().Company().Name());
        c[TContatto::indirizzo] = orMarker(address.Street());
        c[TContatto::citta] = orMarker(address.Locality());
        c[TContatto::cap] = orMarker(address.PostalCode());
        c[TContatto::nazione] = orMarker(address.Country());
        c[TContatto::email] = orMarker(card.TelecomInfo().Email1().Address());
        c[TContatto::sito] = orMarker(card.ExplanatoryInfo().URL1());
        // The contact's note is one line.
        c[TContatto::note] = orMarker(card.ExplanatoryInfo().Comment().join(' '));

        // Each telephone goes to the first field its types fit; a later one for the same
        // field replaces an earlier one.
        const TmsTelecomInfo &telecom = card.TelecomInfo();
        for (const TmsPhoneRec *phone : {&telecom.Phone1(), &telecom.Phone2(), &telecom.Phone3()}) {
            if (phone->Number().isEmpty())
                continue;
            const TmsPhoneAttributes types = phone->Attributes();
            TContatto::Field field = TContatto::telcasa;
            if (types.contains(mstFax))
                field = TContatto::fax;
            else if (types.contains(mstCellular))
                field = types.contains(mstWork) ? TContatto::celllavoro : TContatto::cellprivato;
            else if (types.contains(mstWork))
                field = TContatto::telufficio;
            c[field] = phone->Number();
        }
        card.Clear();

        if (given.isEmpty() || family.isEmpty()) {
            ++result.refused;
            continue;
        }
        c[TContatto::nome] = given;
        c[TContatto::cognome] = family;
        c[TContatto::datainserimento] = date;
        result.candidates.append(c.toLine());
    }
    return result;
}

} // namespace Importers
