#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The date-and-time text stored with every contact and with the reminder note:
// the locale's short date with a four-digit year (so it reads back into the right
// century), a blank, and the locale's long time without its time-zone part.
// At exactly midnight the blank and the time are left out.
namespace DateText {

QString dateFormat(const QLocale &locale = QLocale());
QString timeFormat(const QLocale &locale = QLocale());

QString format(const QDateTime &moment, const QLocale &locale = QLocale());
// The current local moment as text, in Windows-1252 bytes for the files.
QByteArray now();

// Reads a text written by format() back, with or without its time part.
// Leading blanks are skipped.
std::optional<QDateTime> parse(QStringView text, const QLocale &locale = QLocale());

} // namespace DateText
