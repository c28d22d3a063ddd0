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

// UTF-8 bytes to Windows-1252 bytes ('?' for what Windows-1252 cannot hold).
QByteArray utf8ToAnsi(QByteArrayView bytes);

// The text without the UTF-8 byte-order mark that some programs put at the start of a file.
QByteArrayView withoutUtf8Bom(QByteArrayView text);

// Windows-1252 bytes to UTF-8 bytes.
QByteArray ansiToUtf8(QByteArrayView bytes);
// The same, appended to `out`: exports convert every value without a new buffer for each.
void appendUtf8(QByteArray &out, QByteArrayView ansi);

} // namespace TextCodec
