#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <array>
#include <optional>

// The date-and-time text stored with every contact and with the reminder note:
// the locale's short date with a four-digit year (so it reads back into the right
// century), a blank, and the locale's long time without its time-zone part (and without
// the brackets, commas and blanks that went with it). At exactly midnight the blank and
// the time are left out.
// The files are Windows-1252 and the text must read back: when the locale's text holds a
// character the file cannot keep, or does not read back as the same moment, the text is
// "dd/MM/yyyy HH:mm:ss" instead, which parse() reads in every locale.
namespace DateText {

QString dateFormat(const QLocale &locale = QLocale());
QString timeFormat(const QLocale &locale = QLocale());

// To the second; milliseconds are dropped.
QString format(const QDateTime &moment, const QLocale &locale = QLocale());
// format() as the files hold it, in Windows-1252 bytes.
QByteArray stored(const QDateTime &moment, const QLocale &locale = QLocale());
// The current local moment as stored().
QByteArray now();

// Reads a text written by format() back, with or without its time part.
// Leading blanks are skipped.
std::optional<QDateTime> parse(QStringView text, const QLocale &locale = QLocale());

// The two forms a stored text may have, in the order parse() tries them: the locale's own,
// then the fixed one. The date, a blank and the time; the date alone at midnight.
struct Form
{
    QLocale locale;
    QString date; // a QLocale date format
    QString time; // a QLocale time format
};
std::array<Form, 2> forms(const QLocale &locale = QLocale());

} // namespace DateText
