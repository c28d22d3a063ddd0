#include "ContactEditing.h"

#include "store/AddressBook.h"
#include "store/AppError.h"
#include "store/TextCodec.h"

#include <QCoreApplication>

namespace ContactEditing {

namespace {
bool storable(QChar c)
{
    return TextCodec::isAnsi(c) && c.category() != QChar::Other_Control;
}
} // namespace

QString missingLineMessage(int lineNumber)
{
    return QCoreApplication::translate("ContactEditing",
                                       "Il contatto n. %1 non è più nella rubrica: "
                                       "il file è stato cambiato nel frattempo.")
        .arg(lineNumber);
}

QString shortLineMessage(int lineNumber)
{
    return QCoreApplication::translate("ContactEditing",
                                       "Il contatto n. %1 non si può modificare: "
                                       "la sua riga nella rubrica è incompleta.")
        .arg(lineNumber);
}

QString longFieldMessage(int lineNumber)
{
    return QCoreApplication::translate("ContactEditing",
                                       "Il contatto n. %1 non si può modificare: "
                                       "un suo campo è troppo lungo (più di %2 caratteri).")
        .arg(lineNumber)
        .arg(MaxFieldLength);
}

Cleaned clean(QStringView text)
{
    Cleaned out;
    out.text.reserve(text.size());
    for (QChar c : text) {
        if (c == u',') {
            out.removed = out.comma = true;
        } else if (!storable(c)) {
            out.removed = true;
        } else {
            out.text.append(c);
        }
    }
    return out;
}

QString refusalMessage(bool comma)
{
    return comma ? QStringLiteral("Non puoi inserire la virgola nei campi.")
                 : QStringLiteral("Non puoi inserire questo carattere nei campi.");
}

bool untouchedPrefix(QStringView text)
{
    return text.trimmed() == u"+39";
}

QByteArray composeLine(const QStringList &boxes, const QByteArray &date)
{
    QByteArray line;
    for (int k = 0; k < BoxCount; ++k) {
        const QString text = boxes.value(k);
        // Name and surname are never empty when a line is composed; the other fields
        // mark an empty box with "-".
        if (text.isEmpty() && k >= 2)
            line += '-';
        else
            line += AddressBook::fieldValue(TextCodec::toAnsi(text));
        line += ',';
    }
    line += date;
    return line;
}

int findContact(const BookLines &book, int lineNumber, QByteArrayView original)
{
    if (lineNumber >= 1 && lineNumber <= book.size() && book[lineNumber - 1] == original)
        return lineNumber;
    int found = 0;
    bool once = true;
    book.forEachLine([&](qsizetype k, QByteArrayView line) {
        if (line.size() != original.size() || line != original)
            return true;
        once = found == 0;
        found = int(k) + 1;
        return once;
    });
    return once ? found : 0;
}

ContactChanged::ContactChanged(int lineNumber)
    : AppError(QCoreApplication::translate("ContactEditing",
                                           "Il contatto n. %1 è stato modificato o eliminato da un altro programma: "
                                           "non è stato scritto nulla e l'elenco è stato ricaricato.")
                   .arg(lineNumber))
{
}

namespace {

// The file, read a piece at a time, did not hold the contact at the line tried: how often,
// and where first, it held its bytes at all.
struct NotThere
{
    qsizetype matches = 0;
    qsizetype first = -1;
};

// Replaces line `index` of the file with `line` when it holds `original` as it is read now;
// throws NotThere, keeping the old file, when it does not.
void replaceIfThere(const QString &path, qsizetype index, const QByteArray &line, const QByteArray &original)
{
    NotThere seen;
    bool replaced = false;
    AddressBook::rewriteLines(
        path,
        [&](qsizetype k, QByteArray &l) {
            if (l != original)
                return;
            ++seen.matches;
            if (seen.first < 0)
                seen.first = k;
            if (k == index) {
                l = line;
                replaced = true;
            }
        },
        {},
        [&](qsizetype) {
            if (!replaced)
                throw seen;
        });
}

} // namespace

void storeLine(const QString &path, int lineNumber, const QByteArray &line, const BookLines *loaded,
               const QByteArray &original)
{
    BookEdit edit;
    if (lineNumber == 0) {
        edit.appended = {line};
        saveBookEdit(path, loaded, edit);
        return;
    }
    if (original.isNull()) {
        edit.replaced = lineNumber - 1;
        edit.line = line;
        saveBookEdit(path, loaded, edit, [&](qsizetype count) {
            if (lineNumber < 0 || lineNumber > count)
                throw AppError(missingLineMessage(lineNumber));
        });
        return;
    }
    edit.line = line;
    if (loaded && loaded->stillIn(path)) {
        const int found = findContact(*loaded, lineNumber, original);
        if (found == 0)
            throw ContactChanged(lineNumber);
        edit.replaced = found - 1;
        try {
            loaded->save(path, edit);
            return;
        } catch (const BookChanged &) {
            // Changed while it was written: the file as it is now, below.
        }
    }
    // The file as it is now, without holding it whole a second time: the contact at its
    // line, or else at the one line that holds it.
    try {
        replaceIfThere(path, lineNumber - 1, line, original);
    } catch (const NotThere &seen) {
        if (seen.matches != 1)
            throw ContactChanged(lineNumber);
        try {
            replaceIfThere(path, seen.first, line, original);
        } catch (const NotThere &) {
            throw ContactChanged(lineNumber);
        }
    }
}

} // namespace ContactEditing
