#include "AddressBook.h"

#include "AppError.h"
#include "CSVStringInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

TContatto TContatto::fromLine(QByteArrayView line)
{
    TContatto c;
    int k = 0;
    TCSVStringInfo::forEachField(line, [&](QByteArrayView field) {
        if (k < FieldCount)
            c.fields[k++] = field.toByteArray();
        return k < FieldCount;
    });
    return c;
}

QByteArray TContatto::toLine() const
{
    QByteArray line;
    for (int k = 0; k < FieldCount; ++k) {
        if (k > 0)
            line += ',';
        line += AddressBook::fieldValue(fields[k]);
    }
    return line;
}

const QStringList &contactColumnCaptions()
{
    static const QStringList captions = {
        QStringLiteral("N."), QStringLiteral("Nome"), QStringLiteral("Cognome"),
        QStringLiteral("Posizione"), QStringLiteral("Organizzazione"), QStringLiteral("Indirizzo"),
        QStringLiteral("Città"), QStringLiteral("CAP"), QStringLiteral("Nazione"),
        QStringLiteral("Cell. privato"), QStringLiteral("Cell. Lavoro"), QStringLiteral("Tel. casa"),
        QStringLiteral("Tel. lavoro"), QStringLiteral("Fax"), QStringLiteral("Istant messenger"),
        QStringLiteral("Email"), QStringLiteral("Sito"), QStringLiteral("Note"),
        QStringLiteral("Data inserimento"),
    };
    return captions;
}

namespace AddressBook {

namespace {
QString &folderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    QString folder = folderOverride();
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

void setProgramFolder(const QString &folder)
{
    folderOverride() = folder;
}

QString dataFolder()
{
    return programFolder() + QStringLiteral("data");
}

void ensureDataFolder()
{
    const QString data = dataFolder();
    if (!QFileInfo(data).isDir())
        QDir().mkdir(data);
}

QString contactFile()
{
    return programFolder() + QStringLiteral("data/contact.csv");
}

QString reminderFile()
{
    return programFolder() + QStringLiteral("data/promemoria.txt");
}

QByteArray fieldValue(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ',')
            out += "&#44;";
        else if (c == '"' && i == 0)
            out += "&#34;";
        else if (c == '\r' || c == '\n' || c == '\0')
            out += ' ';
        else
            out += c;
    }
    return out;
}

bool containsIgnoringAsciiCase(QByteArrayView text, QByteArrayView key)
{
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; };
    const qsizetype n = key.size();
    if (n == 0)
        return true;
    const char first = fold(key[0]);
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        if (fold(text[i]) != first)
            continue;
        qsizetype j = 1;
        while (j < n && fold(text[i + j]) == fold(key[j]))
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

QByteArrayList splitLines(QByteArrayView text)
{
    QByteArrayList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(text.sliced(start, i - start).toByteArray());
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.sliced(start).toByteArray());
    return lines;
}

QByteArray joinLines(const QByteArrayList &lines)
{
    qsizetype size = 0;
    for (const QByteArray &l : lines)
        size += l.size() + 2;
    QByteArray out;
    out.reserve(size);
    for (const QByteArray &l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        throw AppError(QCoreApplication::translate("AddressBook", "Impossibile aprire il file \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw AppError(QCoreApplication::translate("AddressBook", "Impossibile leggere il file \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return bytes;
}

QByteArrayList readLines(const QString &path)
{
    return splitLines(readFile(path));
}

QByteArrayList readLinesIfExists(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    return readLines(path);
}

void saveFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Unbuffered, so that a disk that fills up shows in write()'s count: a buffered write
    // reports every byte as written and the final flush can lose the rest unnoticed,
    // putting a cut-off file in place of the old one.
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (ok)
        ok = file.write(bytes) == bytes.size();
    if (ok)
        ok = file.commit();
    if (!ok) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw AppError(QCoreApplication::translate("AddressBook", "Impossibile scrivere il file \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), reason));
    }
}

void writeLines(const QString &path, const QByteArrayList &lines)
{
    saveFile(path, joinLines(lines));
}

} // namespace AddressBook
