#include "ReminderFile.h"

#include "store/AddressBook.h"
#include "store/DateText.h"
#include "store/TextCodec.h"

#include <QFileInfo>

namespace ReminderFile {

namespace {
const QByteArray kAutoLoad = QByteArrayLiteral("# AutoLoad");
const QByteArray kNoLoad = QByteArrayLiteral("# NoLoad");
} // namespace

QByteArray marker(bool autoLoad)
{
    return autoLoad ? kAutoLoad : kNoLoad;
}

Content parse(const QByteArrayList &lines)
{
    Content c;
    if (lines.isEmpty())
        return c;
    c.autoLoad = lines.at(0) == kAutoLoad;
    // Line 2 is "# " and the date; the reader skips the blank after '#'.
    if (lines.size() >= 2)
        c.savedAt = DateText::parse(TextCodec::fromAnsi(QByteArrayView(lines.at(1)).sliced(qMin<qsizetype>(1, lines.at(1).size()))));
    for (qsizetype i = 2; i < lines.size(); ++i)
        c.note.append(TextCodec::fromAnsi(lines.at(i)));
    return c;
}

Content load(const QString &path)
{
    return parse(AddressBook::readLinesIfExists(path));
}

bool opensAtStartup(const QString &path)
{
    const QByteArrayList lines = AddressBook::readLinesIfExists(path);
    return !lines.isEmpty() && lines.first() == kAutoLoad;
}

QString caption(const std::optional<QDateTime> &savedAt)
{
    if (!savedAt)
        return QStringLiteral("Scrivi promemoria:");
    const QDate d = savedAt->date();
    const QTime t = savedAt->time();
    return QStringLiteral("Promemoria segnato il %1-%2-%3 alle %4:%5:%6")
        .arg(d.day()).arg(d.month()).arg(d.year())
        .arg(t.hour()).arg(t.minute()).arg(t.second());
}

bool isModified(const QStringList &saved, const QStringList &editor)
{
    if (saved.size() != editor.size())
        return true;
    for (qsizetype i = 0; i < saved.size(); ++i) {
        if (saved.at(i) != editor.at(i))
            return true;
    }
    return false;
}

void saveMarker(const QString &path, bool autoLoad)
{
    if (!QFileInfo::exists(path))
        return;
    const QByteArray old = AddressBook::readFile(path);
    QByteArrayList lines = AddressBook::splitLines(old);
    if (lines.isEmpty())
        lines = {marker(autoLoad), "# " + DateText::now()};
    else
        lines[0] = marker(autoLoad);
    const QByteArray bytes = AddressBook::joinLines(lines);
    // Nothing to do when the file already says so: its time stamp stays as it was.
    if (bytes != old)
        AddressBook::saveFile(path, bytes);
}

QByteArrayList compose(bool autoLoad, const QByteArray &dateText, const QStringList &note)
{
    QByteArrayList lines;
    lines.reserve(note.size() + 2);
    lines.append(marker(autoLoad));
    lines.append("# " + dateText);
    for (const QString &line : note)
        lines.append(TextCodec::toAnsi(line));
    return lines;
}

void saveNote(const QString &path, bool autoLoad, const QStringList &note)
{
    AddressBook::writeLines(path, compose(autoLoad, DateText::now(), note));
}

} // namespace ReminderFile
