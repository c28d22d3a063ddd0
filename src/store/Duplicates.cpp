#include "Duplicates.h"

#include "AddressBook.h"
#include "CSVStringInfo.h"
#include "Collation.h"
#include "Progress.h"
#include "TextCodec.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// 64 bits of a key (MurmurHash64A); 0 stands for no key, so a key that hashes to 0 takes 1.
quint64 hashBytes(const char *p, size_t n, quint64 seed)
{
    constexpr quint64 m = 0xc6a4a7935bd1e995ULL;
    constexpr int r = 47;
    quint64 h = seed ^ (quint64(n) * m);
    for (; n >= 8; p += 8, n -= 8) {
        quint64 k;
        std::memcpy(&k, p, 8);
        k *= m;
        k ^= k >> r;
        k *= m;
        h ^= k;
        h *= m;
    }
    if (n > 0) {
        quint64 k = 0;
        for (size_t i = 0; i < n; ++i)
            k |= quint64(quint8(p[i])) << (8 * i);
        h ^= k;
        h *= m;
    }
    h ^= h >> r;
    h *= m;
    h ^= h >> r;
    return h ? h : 1;
}

// One seed for each kind of key, so that a name never meets an e-mail address.
constexpr quint64 kNameSeed = 0x6e6f6d65;
constexpr quint64 kEmailSeed = 0x656d61696c;
constexpr quint64 kMobileSeed = 0x63656c6c;

bool isEmptyField(QByteArrayView v)
{
    return v.isEmpty() || v == "-";
}

// The letters and numbers of a name as the sort reads them: the first level of its sort key,
// which leaves out case, accents, blanks and punctuation.
void appendFolded(std::string &out, QByteArrayView value)
{
    // As much of it as a window shows: no name is longer, and the sort key of a line of
    // megabytes would take eight times its size.
    value = value.first(std::min(value.size(), TextCodec::ShownLength));
    thread_local std::string key;
    key.clear();
    Collation::appendKey(key, value);
    out.append(key, 0, std::min(key.find('\x01'), key.size()));
}

class KeyMaker
{
public:
    quint64 name(QByteArrayView given, QByteArrayView family)
    {
        m_a.clear();
        m_b.clear();
        appendFolded(m_a, shown(given, m_bufferA));
        appendFolded(m_b, shown(family, m_bufferB));
        if (m_a.empty() || m_b.empty())
            return 0;
        // Either order: the smaller part first. 0x01 is in no folded text.
        if (m_b < m_a)
            std::swap(m_a, m_b);
        m_a += '\x01';
        m_a += m_b;
        return hashBytes(m_a.data(), m_a.size(), kNameSeed);
    }

    quint64 email(QByteArrayView value)
    {
        value = shown(value, m_bufferA);
        while (!value.isEmpty() && (value.front() == ' ' || value.front() == '\t'))
            value = value.sliced(1);
        while (!value.isEmpty() && (value.back() == ' ' || value.back() == '\t'))
            value.chop(1);
        if (isEmptyField(value))
            return 0;
        m_a.assign(value.data(), size_t(value.size()));
        for (char &c : m_a) {
            const quint8 b = quint8(c);
            // A to Z, and the accented capitals of Windows-1252 (À to Þ, not ×).
            if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
                c = char(b + 0x20);
        }
        return hashBytes(m_a.data(), m_a.size(), kEmailSeed);
    }

    quint64 mobile(QByteArrayView value)
    {
        value = shown(value, m_bufferA);
        if (isEmptyField(value))
            return 0;
        m_a.clear();
        bool seenDigit = false;
        for (char c : value) {
            if (c >= '0' && c <= '9') {
                m_a += c;
                seenDigit = true;
            } else if (c == '+' && !seenDigit && m_a.empty()) {
                m_a = "00"; // "+39 ..." is "0039 ..."
            }
        }
        if (m_a.size() >= 4 && m_a.compare(0, 4, "0039") == 0)
            m_a.erase(0, 4);
        if (m_a.size() < 6)
            return 0;
        return hashBytes(m_a.data(), m_a.size(), kMobileSeed);
    }

private:
    // The value as the user typed it: "&#44;" is a comma, whose digits are no number's.
    static QByteArrayView shown(QByteArrayView stored, QByteArray &buffer)
    {
        return stored.contains('&') ? AddressBook::shownValue(stored, buffer) : stored;
    }

    std::string m_a;
    std::string m_b;
    QByteArray m_bufferA;
    QByteArray m_bufferB;
};

// The sets of contacts found so far to be one person; each set's root is its first contact.
class Sets
{
public:
    explicit Sets(size_t n) : m_parent(n)
    {
        for (size_t i = 0; i < n; ++i)
            m_parent[i] = quint32(i);
    }
    quint32 root(quint32 x)
    {
        while (m_parent[x] != x) {
            m_parent[x] = m_parent[m_parent[x]];
            x = m_parent[x];
        }
        return x;
    }
    void join(quint32 a, quint32 b)
    {
        a = root(a);
        b = root(b);
        if (a < b)
            m_parent[b] = a;
        else if (b < a)
            m_parent[a] = b;
    }
    std::vector<quint32> &parents() { return m_parent; }

private:
    std::vector<quint32> m_parent;
};

// Puts the contacts that share a key of one kind into one set. `keys` holds `perContact`
// keys for each contact, 0 for none. The buckets are an open hash table of the keys' first
// holders: 8 bytes a slot, a third of the slots left free.
void meet(const std::vector<quint64> &keys, size_t perContact, quint8 reason, Sets &sets, Duplicates::Result &r,
          Progress::Part &part, qint64 doneBefore, qint64 contacts)
{
    size_t count = 0;
    for (quint64 k : keys)
        count += k != 0;
    if (count < 2)
        return;
    struct Slot
    {
        quint32 tag;    // the key's low 32 bits
        quint32 holder; // its first entry in `keys` + 1; 0 for a free slot
    };
    const size_t capacity = count + count / 2 + 1;
    std::vector<Slot> table(capacity, Slot{0, 0});
    for (size_t e = 0; e < keys.size(); ++e) {
        const quint64 h = keys[e];
        if (e % 4096 == 0)
            part.at(doneBefore + qint64(e / perContact), contacts);
        if (!h)
            continue;
        const quint32 tag = quint32(h);
        size_t pos = size_t((h >> 32) * capacity >> 32);
        for (;;) {
            Slot &s = table[pos];
            if (s.holder == 0) {
                s = Slot{tag, quint32(e + 1)};
                break;
            }
            if (s.tag == tag && keys[s.holder - 1] == h) {
                const quint32 other = quint32((s.holder - 1) / perContact);
                const quint32 self = quint32(e / perContact);
                if (other != self) {
                    sets.join(other, self);
                    r.reasons[other] |= reason;
                    r.reasons[self] |= reason;
                    r.firstMatch[self] = std::min(r.firstMatch[self], other);
                }
                break;
            }
            if (++pos == capacity)
                pos = 0;
        }
    }
}

} // namespace

namespace Duplicates {

Result find(const BookLines &book, const QByteArrayList &extra, Progress *progress)
{
    const size_t n = size_t(book.size()) + size_t(extra.size());
    Result r;
    r.reasons.assign(n, 0);
    r.firstMatch.assign(n, kNone);
    // Reports: the lines read, then each of the three kinds of key met, a quarter each.
    Progress::Part part(progress);
    const qint64 lines = qint64(n);

    std::vector<quint64> names(n, 0);
    std::vector<quint64> emails(n, 0);
    std::vector<quint64> mobiles(2 * n, 0);
    {
        KeyMaker keys;
        size_t k = 0;
        const auto read = [&](QByteArrayView line) {
            if (k % 4096 == 0)
                part.at(qint64(k), qint64(k));
            QByteArrayView given, family, mobile1, mobile2;
            int field = 0;
            TCSVStringInfo::forEachField(line, [&](QByteArrayView v) {
                switch (field++) {
                case TContatto::nome:
                    given = v;
                    break;
                case TContatto::cognome:
                    family = v;
                    break;
                case TContatto::cellprivato:
                    mobile1 = v;
                    break;
                case TContatto::celllavoro:
                    mobile2 = v;
                    break;
                case TContatto::email:
                    emails[k] = keys.email(v);
                    return false;
                }
                return true;
            });
            names[k] = keys.name(given, family);
            mobiles[2 * k] = keys.mobile(mobile1);
            mobiles[2 * k + 1] = keys.mobile(mobile2);
            ++k;
        };
        book.forEachLine([&](qsizetype, QByteArrayView line) {
            read(line);
            return true;
        });
        for (const QByteArray &line : extra)
            read(line);
    }

    Sets sets(n);
    meet(names, 1, SameName, sets, r, part, lines, lines);
    std::vector<quint64>().swap(names);
    meet(emails, 1, SameEmail, sets, r, part, 2 * lines, lines);
    std::vector<quint64>().swap(emails);
    meet(mobiles, 2, SameMobile, sets, r, part, 3 * lines, lines);
    std::vector<quint64>().swap(mobiles);

    // The groups: every contact's set, the sets of two or more ordered, then their members
    // in contact order.
    std::vector<quint32> &root = sets.parents();
    std::vector<quint32> size(n, 0);
    for (size_t i = 0; i < n; ++i) {
        // A parent is never after its child, so the parent's root is known by now.
        root[i] = root[root[i]];
        ++size[root[i]];
    }
    std::vector<quint32> groups;
    for (size_t i = 0; i < n; ++i) {
        if (root[i] == i && size[i] >= 2)
            groups.push_back(quint32(i));
    }
    std::stable_sort(groups.begin(), groups.end(), [&](quint32 a, quint32 b) { return size[a] > size[b]; });
    // Where each group's next member goes, kept in the place of its size.
    r.starts.assign(groups.size() + 1, 0);
    quint32 total = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        r.starts[g] = total;
        total += size[groups[g]];
    }
    r.starts[groups.size()] = total;
    std::vector<quint32> &next = size;
    std::fill(next.begin(), next.end(), kNone);
    for (size_t g = 0; g < groups.size(); ++g)
        next[groups[g]] = r.starts[g];
    r.members.resize(total);
    for (size_t i = 0; i < n; ++i) {
        quint32 &at = next[root[i]];
        if (at != kNone)
            r.members[at++] = quint32(i);
    }
    return r;
}

QString reasonText(quint8 reasons)
{
    QStringList parts;
    if (reasons & SameName)
        parts << QStringLiteral("stesso nome");
    if (reasons & SameEmail)
        parts << QStringLiteral("stessa e-mail");
    if (reasons & SameMobile)
        parts << QStringLiteral("stesso cellulare");
    return parts.join(QStringLiteral(", "));
}

} // namespace Duplicates
