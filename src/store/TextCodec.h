#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Every file of the program is 8-bit Windows-1252 text. Lines and fields stay bytes in
// the core; they become QString only where they are shown or typed, through these helpers.
namespace TextCodec {

// Bytes to text. Every byte maps to exactly one character, so nothing is ever lost:
// the five bytes Windows-1252 leaves undefined become the control characters of the same number.
QString fromAnsi(QByteArrayView bytes);

// A field as a window shows it: fromAnsi of at most ShownLength bytes, and "…" after a
// value that was cut. Only other software writes longer fields (a 10 MB line, say); laying
// such text out would freeze the window for minutes, and no cell, label or hint shows
// more than a few hundred characters of one line anyway.
inline constexpr qsizetype ShownLength = 4096;
QString fromAnsiShown(QByteArrayView bytes);

// Whether the character has a Windows-1252 byte.
bool isAnsi(QChar c);

// Text to bytes; a character without a Windows-1252 byte becomes '?'.
QByteArray toAnsi(QStringView text);

// Removes the characters that have no Windows-1252 byte.
QString keepAnsi(QStringView text);

// Whether the bytes are valid UTF-8 and hold at least one byte above 127.
bool isNonAsciiUtf8(QByteArrayView bytes);

// UTF-8 bytes to Windows-1252 bytes. A letter that Windows-1252 cannot hold becomes its
// nearest letter that it can ("ř" becomes "r", "Ł" "L"; "ǘ" keeps the "ü" it is built on),
// and `approximated`, when given, is set when that happened. Only what has no such letter
// (Greek, Cyrillic, Chinese...) and bytes that are not UTF-8 become '?'.
QByteArray utf8ToAnsi(QByteArrayView bytes, bool *approximated = nullptr);

// The nearest Windows-1252 text for one character outside Windows-1252: its base letter with
// the accent Windows-1252 has for it, if any; a letter without accents for the few letters
// that are not built that way; plain marks for typographic ones. Empty for a combining mark
// on its own; "?" when nothing comes near.
QByteArray nearestAnsi(char32_t c);

// The text without the UTF-8 byte-order mark that some programs put at the start of a file.
QByteArrayView withoutUtf8Bom(QByteArrayView text);

// Windows-1252 bytes to UTF-8 bytes.
QByteArray ansiToUtf8(QByteArrayView bytes);
// The same, appended to `out`: exports convert every value without a new buffer for each.
void appendUtf8(QByteArray &out, QByteArrayView ansi);

} // namespace TextCodec
