#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

// Writes a file so that a reader only ever sees the old content or the whole new one: the
// bytes go to a temporary file beside the target, which replaces the target on commit().
// Every file the program writes goes through here. A failure anywhere leaves the old file
// as it was, and commit() throws AppError naming the file.
class AtomicFile
{
public:
    explicit AtomicFile(const QString &path);
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Appends bytes; a failure is remembered and reported by commit().
    void write(QByteArrayView bytes);
    // Puts the new file in place, or throws AppError and keeps the old one.
    void commit();

private:
    QSaveFile m_file;
    bool m_ok = false;
};
