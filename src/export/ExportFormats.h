#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

class TmsVCard;

// The line work of the three exports: address-book lines in, file bytes out. The export
// window only gathers the lines, asks the questions and writes the results.
namespace ExportFormats {

enum class Format { Unknown, VCard, Html, Ldif };

// The format that the target's extension chooses: ".vcard" / ".vcf", ".htm" / ".html",
// ".ldif", in any letter case. The extension is the file name's text from its last dot.
Format formatOf(const QString &path);

// The folder that receives the cards for the target `path`: beside the chosen file,
// "RBN_" followed by the file name up to its first dot. No trailing separator.
QString vcardFolder(const QString &path);

// The 18 fields of an address-book line; fields missing from a short line are empty.
QByteArrayList contactFields(QByteArrayView line);

// ---- HTML page --------------------------------------------------------------------------

// A field value made safe for the page: a stored "&#44;" (and the "&#34;" that stands for a
// leading double quote) become the characters they stand for, then "&", "<", ">" and
// double quotes become entities.
QByteArray htmlEscape(QByteArrayView value);

// The whole page for the given lines, CR LF after every line. `captions` are the list's
// column captions ("N." and the 18 fields); `dateText` gives the date-and-time text and is
// called once for each of the three places that show it.
QByteArray htmlPage(const QByteArrayList &lines, const QStringList &captions,
                    const std::function<QByteArray()> &dateText);

// ---- LDIF file --------------------------------------------------------------------------

// A distinguished-name value with the characters that would end or change it escaped
// by a backslash.
QByteArray dnEscape(QByteArrayView value);

// The whole file, CR LF after every line; no bytes at all for no lines.
QByteArray ldif(const QByteArrayList &lines);

// ---- vCard files -----------------------------------------------------------------------

// Sets every slot of `card` that the export fills, the empty ones included: the card is
// shared between contacts, so a slot left alone would keep the previous contact's value.
void fillCard(TmsVCard &card, QByteArrayView line);

// Writes the lines as 1.vcf, 2.vcf, ... into `folder` (which ends with a separator) through
// `card`. True when the card of the last contact exists afterwards; false for no lines.
bool writeCards(TmsVCard &card, const QByteArrayList &lines, const QString &folder);

} // namespace ExportFormats
