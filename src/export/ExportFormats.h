#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

class Progress;
class TmsVCard;

// The line work of the exports: address-book lines in, file bytes out. The export window
// only gathers the lines, asks the questions and shows the results.
//
// Values reach other programs as the user typed them: the address book's own stored forms
// (a comma as "&#44;", a leading double quote as "&#34;") are undone first, and the
// empty-field marker "-" counts as an empty field.
//
// Each writer counts the contacts written in `progress`, when given one, which may stop it
// (Cancelled).
namespace ExportFormats {

// PhoneBook: every contact in one vCard 3.0 file, for phones and online address books.
enum class Format { Unknown, VCard, Html, Ldif, PhoneBook };

// The format of an export: the type the user chose in the save dialog, whatever the name's
// extension; when the dialog reports none, the one the extension chooses: ".vcard" / ".vcf",
// ".htm" / ".html", ".ldif", in any letter case. The extension is the file name's text from
// its last dot.
Format formatOf(const QString &path, Format chosen = Format::Unknown);

// The folder that receives the cards for the target `path`: beside the chosen file,
// "RBN_" followed by the file name up to its first dot. No trailing separator.
QString vcardFolder(const QString &path);

// The 18 fields of an address-book line; fields missing from a short line are empty.
QByteArrayList contactFields(QByteArrayView line);

// Receives an export's bytes in order, a large block at a time.
using Sink = std::function<void(QByteArrayView)>;

// ---- HTML page --------------------------------------------------------------------------

// A field value made safe for the page: the stored forms undone, then "&", "<", ">" and
// double quotes become entities.
QByteArray htmlEscape(QByteArrayView value);

// The page for the given lines, CR LF after every line. `captions` are the list's column
// captions ("N." and the 18 fields); `dateText` gives the date-and-time text and is called
// once for each of the three places that show it.
void htmlPage(const QByteArrayList &lines, const QStringList &captions, const std::function<QByteArray()> &dateText,
              const Sink &sink, Progress *progress = nullptr);
QByteArray htmlPage(const QByteArrayList &lines, const QStringList &captions,
                    const std::function<QByteArray()> &dateText);

// ---- LDIF file --------------------------------------------------------------------------

// A distinguished-name value with the characters that would end or change it escaped
// by a backslash.
QByteArray dnEscape(QByteArrayView value);

// The file, CR LF after every line; no bytes at all for no lines.
void ldif(const QByteArrayList &lines, const Sink &sink, Progress *progress = nullptr);
QByteArray ldif(const QByteArrayList &lines);

// ---- vCard files -----------------------------------------------------------------------

// Sets every slot of `card` that the export fills, the empty ones included: the card is
// shared between contacts, so a slot left alone would keep the previous contact's value.
void fillCard(TmsVCard &card, QByteArrayView line);

// Writes the lines as 1.vcf, 2.vcf, ... into `folder` (which ends with a separator) through
// `card`. True when the card of the last contact exists afterwards; false for no lines.
// Each card replaces its file in one step; the whole batch is flushed to the disk at the end,
// also when it stops early. A stop (Cancelled) carries the number of cards written.
bool writeCards(TmsVCard &card, const QByteArrayList &lines, const QString &folder, Progress *progress = nullptr);

// ---- Phone book: one vCard 3.0 file ------------------------------------------------------

// Every contact as a vCard 3.0 card (RFC 2426) in UTF-8: CR LF line ends, lines folded at
// 75 bytes, text values escaped. No bytes at all for no lines.
void phoneBook(const QByteArrayList &lines, const Sink &sink, Progress *progress = nullptr);
QByteArray phoneBook(const QByteArrayList &lines);

// ---- Text for the clipboard ---------------------------------------------------------------

// One line a contact, for a mail or a note: name and surname, then its telephones and its
// e-mail address, each after ", "; empty fields are left out. Lines end with LF.
QString plainText(const QByteArrayList &lines);

// ---- Saving ----------------------------------------------------------------------------

// Streams what `produce` hands to its sink into `path`, replaced only once it is complete.
// Throws AppError when the file cannot be written; the old file then stays as it was, and
// so it does when `produce` throws (a stop, Cancelled, included).
void save(const QString &path, const std::function<void(const Sink &)> &produce);

} // namespace ExportFormats
