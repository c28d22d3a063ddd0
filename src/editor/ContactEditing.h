#pragma once

#include "store/AppError.h"
#include "store/BookLines.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

// The editor's work on text and on the address-book file, without any window: what a box
// may hold, how the seventeen boxes become one line, and how that line reaches the file.
namespace ContactEditing {

// The editor's boxes: fields 1 to 17 of a contact, in field order.
inline constexpr int BoxCount = 17;

// What the change handlers do to a box's text. A comma would split the field, a control
// character (a pasted line break or tab above all) would split or garble the line, and a
// character without a Windows-1252 byte cannot be stored: all of them are taken out.
struct Cleaned
{
    QString text;
    bool removed = false; // something was taken out
    bool comma = false;   // a comma was among what was taken out
};
Cleaned clean(QStringView text);

// The one message for a change that lost characters.
QString refusalMessage(bool comma);

// A telephone box of a new contact that still holds only the "+39" the editor puts there
// (blanks around it too): no number was typed, so it is stored as an empty field.
bool untouchedPrefix(QStringView text);

// The address-book line for the seventeen boxes (in field order) and the date text:
// name and surname as typed, every other empty box as "-", each value made safe for the
// line (commas as "&#44;", a leading double quote as "&#34;"), then the date.
QByteArray composeLine(const QStringList &boxes, const QByteArray &date);

// Why a contact to change cannot be loaded: its line is gone, holds too few fields, or
// holds a field longer than a box can take.
QString missingLineMessage(int lineNumber);
QString shortLineMessage(int lineNumber);
QString longFieldMessage(int lineNumber);

// The longest field the editor's boxes take (the edit box's own limit). Only other software
// writes longer ones; a box holding megabytes would freeze the window.
inline constexpr int MaxFieldLength = 32767;

// The line of a book that holds the contact whose line was `original` when it was shown as
// number `lineNumber` (1-based): that line when it still holds exactly those bytes, otherwise
// the one line elsewhere that does (another program added or removed lines before it).
// 0 when no line holds them, or more than one does and none of them at that number.
int findContact(const BookLines &book, int lineNumber, QByteArrayView original);

// The contact being changed is no longer in the file as it was shown: another program
// changed or removed it. Nothing was written.
class ContactChanged : public AppError
{
public:
    explicit ContactChanged(int lineNumber);
};

// Puts `line` into the file: in place of the contact that line `lineNumber` (1-based) held
// as `original` (found again where findContact() finds it), or at the end when lineNumber
// is 0. The file is written whole, from `loaded` (the book the main window shows) when the
// file still holds exactly it, otherwise from the file read afresh a piece at a time; a
// missing file starts empty. Throws ContactChanged when the file no longer holds that
// contact, AppError when the file cannot be read or written; the file then keeps its
// previous contents. A null `original` replaces whatever line `lineNumber` holds.
void storeLine(const QString &path, int lineNumber, const QByteArray &line, const BookLines *loaded = nullptr,
               const QByteArray &original = QByteArray());

} // namespace ContactEditing
