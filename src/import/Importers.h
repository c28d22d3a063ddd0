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
// and family name. The address is one whole address: the home one when the entry holds any
// part of it, otherwise the work one. `date` fills the date of insertion. `approximated`,
// when given, receives how many values had letters changed into the nearest ones
// Windows-1252 holds.
QByteArrayList ldifCandidates(QByteArrayView text, const QByteArray &date, Progress *progress = nullptr,
                              int *approximated = nullptr);

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

// One candidate per card with a given name and a family name, or with a formatted name
// alone (its last word the family name, the rest the given name); cards without any name
// are counted in `refused`. Each card is read into `card`, which is left cleared. Every TEL
// line of a card counts, in two rounds: first each number takes the field its types choose
// while that field is free; then the numbers left over take, in the order of the file, the
// fields still free among private mobile, work mobile, home, office and fax.
// `approximated` counts the values whose letters were changed into the nearest ones
// Windows-1252 holds.
struct VCardResult
{
    QByteArrayList candidates;
    int refused = 0;
    int approximated = 0;
};
VCardResult vcardCandidates(QByteArrayView text, TmsVCard &card, const QByteArray &date,
                            Progress *progress = nullptr);

} // namespace Importers
