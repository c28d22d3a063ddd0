#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// The reminder note, data/promemoria.txt, Windows-1252 text with CR LF:
//   line 1   "# AutoLoad" (open the note at start-up) or "# NoLoad"
//   line 2   "# " and the date and time the note text was last saved
//   line 3+  the note, one file line per line of the note
namespace ReminderFile {

QByteArray marker(bool autoLoad);

// What the reminder window shows of the file.
struct Content
{
    bool autoLoad = false;
    // When the note text was last saved; empty when line 2 is missing or unreadable.
    std::optional<QDateTime> savedAt;
    // The note text, from line 3 on.
    QStringList note;
};

// Splits the file's lines. A date line the current regional settings cannot read (the folder
// moved to another computer) leaves savedAt empty but keeps the note.
Content parse(const QByteArrayList &lines);
// A missing file reads as an empty note; an unreadable one throws AppError.
Content load(const QString &path);

// Whether the program should open the note at start-up: the first line is exactly "# AutoLoad".
bool opensAtStartup(const QString &path);

// The group-box caption: "Scrivi promemoria:" or "Promemoria segnato il 3-3-2008 alle 9:5:7".
QString caption(const std::optional<QDateTime> &savedAt);

// Whether the editor's lines differ from the note as loaded (exact, case-sensitive).
bool isModified(const QStringList &saved, const QStringList &editor);

// The text was not changed: only the start-up marker is stored. An existing file gets its
// first line replaced and nothing else; an empty file becomes the marker and the current
// date; a missing file stays missing.
void saveMarker(const QString &path, bool autoLoad);

// The whole file anew: marker, "# " + dateText, the note's lines.
QByteArrayList compose(bool autoLoad, const QByteArray &dateText, const QStringList &note);
// compose() with the current date and time, written atomically; throws AppError on failure.
void saveNote(const QString &path, bool autoLoad, const QStringList &note);

} // namespace ReminderFile
