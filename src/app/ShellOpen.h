#pragma once

#include <QString>
#include <functional>

// Hands a URL, a document or a folder to the system's opener, unchanged, without waiting;
// the result is ignored: the program reports nothing when nothing can open it.
void ShellOpen(const QString &text);

namespace Shell {
// Test seam: while a recorder is set, ShellOpen hands its text to it instead of the system.
void setRecorder(std::function<void(const QString &)> recorder);
} // namespace Shell
