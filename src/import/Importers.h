#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QString>

class Progress;
class TmsVCard;

// The format work of the import command: each function turns the text of one file into
// candidate lines for the address book. Every candidate is a complete line of 18 fields,
// each value made safe for the one-line, comma-separated form, the last one the date of
// insertion.
//
// Each reader counts the bytes of the text it has read through in `progress`, when given one,
// and the candidates found; the progress may stop it (Cancelled).
namespace Importers {

// Which importer a chosen file calls for, by its name ignoring letter case: "contact.csv"
// is an address book of another installation, ".ldif" a mail program's address book,
// ".vcf" and ".vcard" business cards.
enum class Kind { Unknown, PreviousVersion, Ldif, VCard };
Kind kindOf(const QString &path);

// One candidate per LDIF entry that holds at least one attribute the address book has a
// field for: the mail program's own attributes first, then the standard names of directory
// servers for what they left empty, and the common name for an entry without given name
// and family name. `date` fills the date of insertion.
QByteArrayList ldifCandidates(QByteArrayView text, const QByteArray &date, Progress *progress = nullptr);

// The lines of an address book of this program, in the old 14-field layout or in the
// present one, chosen by the first line that has at least 14 fields. Lines too short for
// the layout, and those before that line, are left out and counted.
struct PreviousVersionResult
{
    QByteArrayList candidates;
    int skipped = 0;
};
PreviousVersionResult previousVersionCandidates(QByteArrayView text, Progress *progress = nullptr);

// The cards of a vCard file, each as its own text from its BEGIN line to its END line.
// A text without any BEGIN line is one card. A UTF-8 byte-order mark at the start is skipped.
QByteArrayList splitVCards(QByteArrayView text);

// One candidate per card with a given name and a family name; cards without either are
// counted in `refused`. Each card is read into `card`, which is left cleared. Every TEL
// line of a card counts: each number takes the field its types choose or, when an earlier
// number holds that one, the first free telephone field, so the first five numbers are kept.
struct VCardResult
{
    QByteArrayList candidates;
    int refused = 0;
};
VCardResult vcardCandidates(QByteArrayView text, TmsVCard &card, const QByteArray &date,
                            Progress *progress = nullptr);

} // namespace Importers
