#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class Progress;

// The contact record: 18 text fields in a fixed order, one line of data/contact.csv each.
struct TContatto
{
    enum Field {
        nome, cognome, posizione, organizzazione, indirizzo, citta, cap, nazione,
        cellprivato, celllavoro, telcasa, telufficio, fax, messenger, email, sito,
        note, datainserimento,
    };
    static constexpr int FieldCount = 18;

    std::array<QByteArray, FieldCount> fields;

    QByteArray &operator[](Field f) { return fields[f]; }
    const QByteArray &operator[](Field f) const { return fields[f]; }

    // The first 18 fields of an address-book line; missing ones are empty.
    static TContatto fromLine(QByteArrayView line);
    // The 18 fields, each made safe for the one-line, comma-separated form, joined by commas.
    QByteArray toLine() const;
};

// The captions of the contact fields, as the list columns, the card and the exports name them.
// Index 0 is "N.", the line number; index k (1..18) is field k.
const QStringList &contactColumnCaptions();

namespace AddressBook {

// The folder of the executable, with a trailing '/'. Tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString &folder);

QString dataFolder();       // programFolder() + "data"
// Creates the data folder (one level) when it is missing; a failure shows up at the first write.
void ensureDataFolder();
QString contactFile();      // programFolder() + "data/contact.csv"
QString reminderFile();     // programFolder() + "data/promemoria.txt"

// A field value made safe for the address book's line: a comma separates the fields, so
// it is stored as "&#44;"; a double quote at the start would open a quoted field, so it
// is stored as "&#34;"; CR, LF and NUL would break the line and become one blank.
QByteArray fieldValue(QByteArrayView value);
// The same, written at `out`, which has room for fieldValueSize(value) bytes; returns the
// end of what was written. For composing lines without a copy per field.
qsizetype fieldValueSize(QByteArrayView value);
char *writeFieldValue(char *out, QByteArrayView value);
// A stored field as the user reads it: "&#44;" as the comma it stands for and a leading
// "&#34;" as the double quote. Only what is shown is decoded; the file, the editor and the
// search work on the stored text.
QByteArray shownValue(QByteArrayView stored);
// The same without a copy where there is nothing to decode: returns `stored` itself, or
// the decoded text kept in `buffer`.
QByteArrayView shownValue(QByteArrayView stored, QByteArray &buffer);
// As much of a stored field as is needed to show it: the part that shownField() reads.
QByteArrayView shownPart(QByteArrayView stored);
// The same as text for a list cell, the card or a hint, with at most
// TextCodec::ShownLength bytes of the field (see there).
QString shownField(QByteArrayView stored);

// Whether `key` occurs in `text`, folding only the letters A to Z: accented and other
// characters must match exactly.
bool containsIgnoringAsciiCase(QByteArrayView text, QByteArrayView key);

// CR LF, a lone CR and a lone LF each end a line; a last line without a line end is a
// line; an empty text has no lines.
QByteArrayList splitLines(QByteArrayView text);
// The same rule, one line at a time and without copying: sets `line` to the line that starts
// at `pos` and moves `pos` past its line end; false when no line is left.
bool nextLine(QByteArrayView text, qsizetype &pos, QByteArrayView &line);
// Every line followed by CR LF.
QByteArray joinLines(const QByteArrayList &lines);

// Reads a whole file; throws AppError when it cannot be read.
QByteArray readFile(const QString &path);
// The same a piece at a time, each piece's bytes counted in `progress`, which may stop it
// (Cancelled).
QByteArray readFile(const QString &path, Progress *progress);
// Reads at most the first `maxBytes` bytes of a file; throws AppError as readFile does.
QByteArray readFileStart(const QString &path, qint64 maxBytes);
QByteArrayList readLines(const QString &path);
// A missing file reads as no lines.
QByteArrayList readLinesIfExists(const QString &path);

// Replaces the file only once the new content is completely written; on any failure the
// old file stays as it was and AppError is thrown.
void saveFile(const QString &path, const QByteArray &bytes);
void writeLines(const QString &path, const QByteArrayList &lines);

// Writes a new version of a file line by line without holding it whole: every line of the
// file (none when it is missing) passes through `edit(index, line)`, which may change it,
// then the `appended` lines follow, each ended by CR LF. `beforeCommit(lineCount)` may
// throw to keep the old file. Returns the number of lines read. Throws AppError.
qsizetype rewriteLines(const QString &path, const std::function<void(qsizetype, QByteArray &)> &edit,
                       const QByteArrayList &appended, const std::function<void(qsizetype)> &beforeCommit = {});

} // namespace AddressBook
