#pragma once

#include "DateText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QLocale>

#include <array>

#include <string>

// Italian dictionary order of Windows-1252 text, as sort keys: two texts are in order when
// their keys are, compared byte by byte (memcmp), so a list of a million values is sorted by
// comparing plain bytes, with no conversion and no locale call per comparison.
//
// The order, level by level (a level counts only where all levels before it are equal):
//  1. the letters without case or accent, "ß" as "ss", "æ" and "œ" as "ae" and "oe"; a run of
//     digits as the number it writes ("2" before "10"; "007" as 7); blanks and punctuation
//     are passed over, as a dictionary does ("D'Amico" beside "Damico", "De Luca" as
//     "Deluca"); symbols ("€", "+", "©") before digits, digits before letters;
//  2. the accents ("e" before "é" before "è"), then the leading zeros of a number;
//  3. the case: small letters before capitals ("rossi" before "Rossi");
//  4. the blanks and punctuation passed over at level 1: a text without them first.
// Control characters and the soft hyphen count at no level. Texts equal at every level
// (the same text, or texts that differ only in control characters) have equal keys.
namespace Collation {

// Appends the sort key of `text` (Windows-1252 bytes) to `key`.
void appendKey(std::string &key, QByteArrayView text);
QByteArray key(QByteArrayView text);
// <0, 0 or >0 as `a` comes before, with or after `b`.
int compare(QByteArrayView a, QByteArrayView b);

} // namespace Collation

// Sort keys of the date-and-time texts the program stores (DateText), in time order: the
// locale's form and the fixed form, read as DateText reads them. A text that does not read
// as a date gets no key; it is sorted as text after the dates.
//
// Reading a date takes QLocale some tens of microseconds, too long for every line of a large
// book, so each distinct date is read once and each distinct hour (with its AM or PM) once;
// the minutes and seconds are the numbers after the hour. A book holds a few thousand
// distinct days and 24 hours a form, whatever its size.
class DateSortKeys
{
public:
    explicit DateSortKeys(const QLocale &locale = QLocale());

    // Appends 6 bytes that order the moment `text` names; false (and nothing appended) when
    // the text does not read as a date, with or without its time.
    bool appendKey(std::string &key, QByteArrayView text);

private:
    struct Form
    {
        DateText::Form form;
        int dateBlanks = 0;             // blanks inside a date of this form
        QHash<QByteArray, qint64> days; // date text: its day, -1 for none
        QHash<QByteArray, int> hours;   // time text with zero minutes and seconds: its hour, or -1
    };
    static qint64 day(Form &f, QByteArrayView datePart);
    // Seconds since midnight, -1 when the text is no time of the form.
    static qint64 seconds(Form &f, QByteArrayView time);

    std::array<Form, 2> m_forms;
};
