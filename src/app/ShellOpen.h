#pragma once

#include <QString>
#include <functional>

// Hands a URL, a document or a folder to the system's opener, unchanged, without waiting
// for the program that opens it. When the system cannot open it (no program for that kind
// of address, no such file) the user is told, as soon as the opener has said so; the
// window goes on working meanwhile.
void ShellOpen(const QString &text);

// Hands a web site's address to the system's opener, but only when it is one: text that
// may come from an imported file must not start a program or open a local file.
void ShellOpenWeb(const QString &text);

namespace Shell {
// The text as a web address: unchanged when it begins with "http://", "https://" or
// "ftp://" (any letter case), with "http://" in front when it begins with "www.";
// empty for anything else (a path, a program, "file:", "javascript:", other schemes).
QString webAddress(const QString &text);

// What the user is told when the text could not be opened.
QString noProgramMessage(const QString &text);
QString missingFileMessage(const QString &text);

// "mailto:" and the address alone: a "?" and what follows it (headers such as "?attach=")
// are left out, so that text from an imported file cannot make the mail program attach
// a file or fill in a message.
QString mailto(const QString &address);

// Test seam: while a recorder is set, ShellOpen hands its text to it instead of the system.
void setRecorder(std::function<void(const QString &)> recorder);
} // namespace Shell
