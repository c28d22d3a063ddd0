#pragma once

#include "BookLines.h"

#include <QByteArrayList>
#include <QString>

#include <vector>

class Progress;

// Contacts that are likely the same person: the same person typed twice, imported from the
// phone and from the mail program, or a file imported two times. Two contacts match when they
// share at least one key:
//  - the name: given name and surname together, in either order, folded as the list sorts
//    them (no case, no accents, no blanks or punctuation), both parts holding something;
//  - an e-mail address, without letter case and surrounding blanks;
//  - a mobile number (private or work mobile, either field against either): its digits, a
//    leading "+" read as "00" and a leading "0039" (Italy) left off, at least 6 digits.
// Home, office and fax numbers never count (families and offices share them), and an empty
// field ("-") matches nothing. Matches chain: when A matches B and B matches C, the three are
// one group.
//
// Each key is hashed to 64 bits and the contacts meet in hash buckets, one kind of key at a
// time: a million contacts take well under a second and some tens of bytes each, never a
// comparison of every pair. Two different keys with the same 64 bits would join two people;
// among the few million keys of a million contacts that happens about once in ten million
// books, and no contact is ever merged without the user seeing both.
namespace Duplicates {

enum Reason : quint8 { SameName = 1, SameEmail = 2, SameMobile = 4 };

constexpr quint32 kNone = 0xFFFFFFFFu;

struct Result
{
    // The groups of two or more contacts, largest first (equal sizes by their first contact),
    // one after the other: group g is members[starts[g]] .. members[starts[g + 1] - 1], its
    // contacts in ascending order. A contact is its index: the book's line index, then the
    // extra lines after the book's last line.
    std::vector<quint32> members;
    std::vector<quint32> starts{0};
    // For each contact: the Reason bits of the keys it shares with another contact.
    std::vector<quint8> reasons;
    // For each contact: the first contact before it that shares a key with it, or kNone.
    std::vector<quint32> firstMatch;

    qsizetype groupCount() const { return qsizetype(starts.size()) - 1; }
    qsizetype groupSize(qsizetype g) const { return starts[size_t(g) + 1] - starts[size_t(g)]; }
    const quint32 *group(qsizetype g) const { return members.data() + starts[size_t(g)]; }
};

// Groups the lines of `book` followed by `extra` (lines not in the file, such as the
// candidates of an import). `progress`, whose total is progressTotal() of the lines, hears
// how far the work is and may stop it (Cancelled).
Result find(const BookLines &book, const QByteArrayList &extra = {}, Progress *progress = nullptr);

inline qint64 progressTotal(qsizetype lines) { return 4 * qint64(lines); }

// "stesso nome, stessa e-mail, stesso cellulare", the reasons that are set.
QString reasonText(quint8 reasons);

} // namespace Duplicates
