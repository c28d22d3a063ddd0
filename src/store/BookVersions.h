#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Earlier versions of the address book, kept beside it in the folder "versioni": every save
// that replaces the book first keeps the file it replaces there, named by the moment it was
// replaced ("contact 2026-12-09 15.04.05.csv", "contact 2026-12-09 15.04.05 2.csv" for a
// second one in the same second). A version is a hard link to the replaced file where the
// file system has them, so keeping it copies nothing; on FAT it is a copy.
namespace BookVersions {

// At most this many versions are kept, and fewer when together they would take more than
// MaxSizeTimesBook times the size of the book; the newest is always kept.
inline constexpr int MaxKept = 30;
inline constexpr int MaxSizeTimesBook = 5;

// The folder of the versions of the book at `bookPath`: "versioni" beside it.
QString folderOf(const QString &bookPath);

struct Version
{
    QString path;
    QDate date; // when the book it holds was replaced, local time
    QTime time;
    int number = 1; // 2, 3, ... for further versions kept in the same second
    qint64 size = 0;

    QDateTime moment() const { return QDateTime(date, time); }
};

// The name of the version kept at this moment, the `number`th in its second.
QString nameFor(QDate date, QTime time, int number = 1);
// The moment and number a name of that form holds; nothing for any other name.
std::optional<Version> parseName(const QString &fileName);
// The versions of the book, newest first. Files of other names are not versions.
QList<Version> list(const QString &bookPath);

// Removes the versions beyond the limits, oldest first, and only files named as versions.
// Returns how many it removed.
int prune(const QString &bookPath);

// Asked when the book about to be replaced cannot be kept as a version: `reason` says why
// in a few words; true saves all the same. The program installs a question to the user.
// Without one, such a save is refused with an AppError.
using AskSaveAnyway = std::function<bool(const QString &reason)>;
void setAskSaveAnyway(AskSaveAnyway ask);
// "Impossibile conservare la versione precedente della rubrica (reason)."
QString cannotKeepMessage(const QString &reason);

// Kept across one save of the book, around the atomic save: made before anything is
// written, it keeps the book as it is now as the newest version (asking when it cannot,
// and throwing Cancelled when the answer is No: then nothing is written). saved(), once the
// new book is in place, removes the versions beyond the limits and remembers what was
// written; large versions are removed on another thread, and no longer listed meanwhile.
// A save that fails or is abandoned removes the version it had kept, so that every
// save that replaces the book leaves exactly one new version.
class Keeping
{
public:
    explicit Keeping(const QString &bookPath);
    ~Keeping();
    Keeping(const Keeping &) = delete;
    Keeping &operator=(const Keeping &) = delete;

    void saved();
    // The version kept, empty when none was (no book yet, or the user saved without one).
    const QString &versionPath() const { return m_version; }

private:
    QString m_book;
    QString m_version;
    bool m_saved = false;
    bool m_newFolder = false; // the folder of the versions is made for this one
};

// Whether the book still holds what this program last wrote there.
enum class LastWrite {
    None,    // the program has not written it since it started
    Same,    // it holds exactly what the program wrote last
    Changed, // another program changed it since
};
LastWrite lastWrite(const QString &bookPath);

// Puts the version at `versionPath` back as the book, through the atomic save; the book as
// it is now becomes a version itself, so that the restore can be undone in turn. Throws
// AppError (the book stays as it was) or Cancelled (the user chose not to save without
// keeping a version).
void restore(const QString &bookPath, const QString &versionPath);

// How a version differs from the book now. Contacts are the lines that hold at least one
// byte, compared whole: a line of the version found nowhere in the book is one contact more,
// one of the book found nowhere in the version one fewer, and one of each with the same
// name and surname a contact changed.
struct Difference
{
    qint64 contacts = 0; // in the version
    qint64 more = 0;
    qint64 fewer = 0;
    qint64 changed = 0;
    friend bool operator==(const Difference &, const Difference &) = default;
};

// The book's lines reduced to numbers once, then compared with any number of versions.
class Comparison
{
public:
    explicit Comparison(QByteArrayView book);
    Difference with(QByteArrayView version) const;

    struct Line
    {
        quint64 hash; // of the whole line
        quint64 key;  // of its name and surname
    };

private:
    std::vector<Line> m_book; // ordered by hash
};

// "+3 contatti, −1, 2 modificati"; "uguale alla rubrica attuale" when nothing differs.
QString describe(const Difference &difference);

} // namespace BookVersions
