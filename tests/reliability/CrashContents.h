#pragma once

#include "store/AddressBook.h"

#include <QByteArrayList>
#include <QStringList>

// The two contents the crash test's saver writes in turn: the address book differs only in
// its first line, the reminder in its marker and its note. Both are large enough that a
// save takes a while, so that kills land in the middle of one.
namespace CrashContents {

inline constexpr int BookLines = 3000;

inline QByteArray firstLine(bool a)
{
    return a ? QByteArrayLiteral("Anna,Rossi,-,-,Via Roma 1,Milano,20100,Italia,-,-,-,-,-,-,-,-,A,01/01/2020 10:00:00")
             : QByteArrayLiteral("Bruno,Bianchi,-,-,Via Po 2,Torino,10100,Italia,-,-,-,-,-,-,-,-,B,02/02/2021 11:00:00");
}

inline QByteArrayList book(bool a)
{
    QByteArrayList lines{firstLine(a)};
    for (int i = 2; i <= BookLines; ++i)
        lines.append("Nome" + QByteArray::number(i) + ",Cognome,-,-,Via Lunga " + QByteArray::number(i)
                     + ",Citt\xe0,00100,Italia,+39 333,-,-,-,-,-,n@example.org,-,nota,01/01/2020 10:00:00");
    return lines;
}

inline QStringList note(bool a)
{
    QStringList lines;
    // About 55 KB, just below the largest note the program keeps.
    for (int i = 0; i < 1500; ++i)
        lines.append(QStringLiteral("%1 riga %2 del promemoria, città").arg(a ? u'A' : u'B').arg(i));
    return lines;
}

} // namespace CrashContents
