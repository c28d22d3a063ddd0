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

void storeLine(const QString &path, int lineNumber, const QByteArray &line, const BookLines *loaded)
{
    BookEdit edit;
    if (lineNumber == 0) {
        edit.appended = {line};
    } else {
        edit.replaced = lineNumber - 1;
        edit.line = line;
    }
    saveBookEdit(path, loaded, edit, [&](qsizetype count) {
        if (lineNumber < 0 || lineNumber > count)
            throw AppError(missingLineMessage(lineNumber));
    });
}

} // namespace ContactEditing
