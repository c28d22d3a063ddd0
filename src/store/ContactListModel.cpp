#include "ContactListModel.h"

#include "AddressBook.h"
#include "AppError.h"
#include "CSVStringInfo.h"
#include "Collation.h"
#include "TextCodec.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace {

// The lines of `rows` in the order of field `field`. The values' sort keys are made once,
// side by side in one buffer, and the rows are sorted by sixteen key bytes at a time, held
// beside them as two numbers: first by the keys' first sixteen bytes, then each run of rows
// that agree so far by the next sixteen, and so on; rows whose keys are equal by their lines.
// So nearly every comparison compares two numbers, and a key's bytes are read once a round,
// however long the values and however many of them begin alike: a million rows take a few
// tenths of a second and some tens of bytes a row while they are sorted.
std::vector<quint32> orderedLines(const BookLines &book, const LineSet &rows, int field, bool descending)
{
    constexpr size_t kHeld = 16;
    constexpr quint32 kLonger = 0x80000000u; // in Entry::key: the key goes on after the bytes held
    struct Entry
    {
        quint64 high; // sixteen bytes of the key, zeros after its end: a text's key holds no
        quint64 low;  // zero and a date's is seven bytes, so equal numbers are equal bytes
        quint32 key;  // the key's index in `starts`, with kLonger
        quint32 line;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(rows.count()));
    std::vector<quint32> empty; // "-" or nothing at all: after the others
    std::string keys;
    keys.reserve(size_t(rows.count()) * 20);
    std::vector<size_t> starts;
    starts.reserve(size_t(rows.count()) + 1);
    const bool byDate = field == TContatto::datainserimento;
    DateSortKeys dates;
    QByteArray shown;

    SearchValues(book, field).forEach([&](qsizetype k, QByteArrayView value) {
        if (!rows.contains(k))
            return;
        if (value.isEmpty() || value == "-") {
            empty.push_back(quint32(k));
            return;
        }
        // The value as the list shows it, and as much of it as the list shows.
        value = value.first(std::min(value.size(), TextCodec::ShownLength));
        if (value.contains('&')) {
            shown = AddressBook::shownValue(value);
            value = shown;
        }
        starts.push_back(keys.size());
        if (byDate) {
            // Dates first, in time order (keys of seven bytes each), then the texts that
            // read as no date, as text.
            keys += '\x02';
            if (!dates.appendKey(keys, value)) {
                keys.resize(starts.back());
                keys += '\x03';
                Collation::appendKey(keys, value);
            }
        } else {
            Collation::appendKey(keys, value);
        }
        entries.push_back(Entry{0, 0, quint32(starts.size() - 1), quint32(k)});
    });
    starts.push_back(keys.size());

    const auto keyOf = [&](const Entry &e) {
        const size_t index = e.key & ~kLonger;
        return std::string_view(keys.data() + starts[index], starts[index + 1] - starts[index]);
    };
    // Holds the key's bytes from `offset` on.
    const auto hold = [&](Entry &e, size_t offset) {
        const size_t index = e.key & ~kLonger;
        const size_t begin = starts[index] + offset;
        const size_t end = starts[index + 1];
        char bytes[kHeld] = {};
        if (end > begin)
            std::memcpy(bytes, keys.data() + begin, std::min(kHeld, end - begin));
        e.high = qFromBigEndian<quint64>(bytes);
        e.low = qFromBigEndian<quint64>(bytes + 8);
        e.key = quint32(index) | (end > begin + kHeld ? kLonger : 0);
    };
    const auto before = [descending](const Entry &a, const Entry &b) {
        if (a.high != b.high)
            return (a.high < b.high) != descending;
        if (a.low != b.low)
            return (a.low < b.low) != descending;
        return a.line < b.line;
    };
    for (Entry &e : entries)
        hold(e, 0);
    std::sort(entries.begin(), entries.end(), before);
    // Runs of rows whose keys agree so far and go on, with how far they agree.
    struct Run
    {
        size_t first, last, offset;
    };
    std::vector<Run> runs{{0, entries.size(), 0}};
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        for (size_t i = run.first; i < run.last;) {
            size_t j = i + 1;
            bool goesOn = entries[i].key & kLonger;
            while (j < run.last && entries[j].high == entries[i].high && entries[j].low == entries[i].low) {
                goesOn = goesOn || (entries[j].key & kLonger);
                ++j;
            }
            // A run of equal keys is in line order already: many rows often hold the same
            // value, and going through it sixteen bytes at a time would sort it again and again.
            if (j - i > 1 && goesOn && !std::all_of(entries.begin() + qsizetype(i + 1), entries.begin() + qsizetype(j),
                                                    [&](const Entry &e) { return keyOf(e) == keyOf(entries[i]); })) {
                bool alike = true; // in the next bytes too: the run stays in line order
                for (size_t k = i; k < j; ++k) {
                    hold(entries[k], run.offset + kHeld);
                    alike = alike && entries[k].high == entries[i].high && entries[k].low == entries[i].low;
                }
                if (!alike)
                    std::sort(entries.begin() + qsizetype(i), entries.begin() + qsizetype(j), before);
                runs.push_back(Run{i, j, run.offset + kHeld});
            }
            i = j;
        }
    }

    std::vector<quint32> order;
    order.reserve(entries.size() + empty.size());
    for (const Entry &e : entries)
        order.push_back(e.line);
    order.insert(order.end(), empty.begin(), empty.end());
    return order;
}

} // namespace

ContactListModel::ContactListModel(QObject *parent) : QAbstractTableModel(parent) {}

void ContactListModel::setRows(const BookLines &lines, LineSet rows)
{
    beginResetModel();
    m_book = lines;
    m_rows = std::move(rows);
    m_list.clear();
    m_numbers.clear();
    m_cachedRow = -1;
    m_cachedFields.clear();
    orderRows();
    endResetModel();
}

void ContactListModel::setNumberedRows(const QByteArrayList &lines, QList<int> numbers)
{
    beginResetModel();
    m_book = BookLines();
    m_rows = LineSet();
    m_order.clear();
    m_list = lines;
    m_numbers = std::move(numbers);
    m_numbers.resize(m_list.size());
    m_cachedRow = -1;
    m_cachedFields.clear();
    endResetModel();
}

void ContactListModel::setExtraColumn(const QString &caption, QStringList texts)
{
    beginResetModel();
    m_extraCaption = caption;
    m_extraTexts = std::move(texts);
    endResetModel();
}

void ContactListModel::clear()
{
    setRows(BookLines(), LineSet());
}

void ContactListModel::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    m_sortColumn = column >= 1 && column <= TContatto::FieldCount ? column : -1;
    m_sortOrder = order;
    m_cachedRow = -1;
    m_cachedFields.clear();
    const bool sorted = orderRows();
    endResetModel();
    if (!sorted)
        throw AppError(QStringLiteral("Memoria insufficiente per ordinare l'elenco: i contatti sono nell'ordine della rubrica."));
}

bool ContactListModel::orderRows()
{
    // The old order goes first, so that a large list is never ordered twice at once.
    m_order.clear();
    m_order.shrink_to_fit();
    if (m_sortColumn < 1 || !m_list.isEmpty() || m_rows.count() == 0)
        return true;
    try {
        m_order = orderedLines(m_book, m_rows, m_sortColumn - 1, m_sortOrder == Qt::DescendingOrder);
        return true;
    } catch (const std::bad_alloc &) {
        // The rows are shown all the same, in file order.
        m_order.clear();
        m_order.shrink_to_fit();
        m_sortColumn = -1;
        return false;
    }
}

qsizetype ContactListModel::bookLine(int row) const
{
    return m_order.empty() ? m_rows.nth(row) : qsizetype(m_order[size_t(row)]);
}

int ContactListModel::lineNumber(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return m_list.isEmpty() ? int(bookLine(row)) + 1 : m_numbers[row];
}

int ContactListModel::largestLineNumber() const
{
    if (!m_list.isEmpty())
        return *std::max_element(m_numbers.begin(), m_numbers.end());
    return m_rows.count() > 0 ? int(m_rows.nth(m_rows.count() - 1)) + 1 : 0;
}

QByteArrayView ContactListModel::lineView(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return m_list.isEmpty() ? m_book[bookLine(row)] : QByteArrayView(m_list[row]);
}

QByteArray ContactListModel::line(int row) const
{
    return lineView(row).toByteArray();
}

const QList<QByteArrayView> &ContactListModel::splitRow(int row) const
{
    if (row != m_cachedRow) {
        m_cachedFields.clear();
        TCSVStringInfo::forEachField(lineView(row), [this](QByteArrayView f) {
            m_cachedFields.append(f);
            return m_cachedFields.size() < TContatto::FieldCount;
        });
        m_cachedRow = row;
    }
    return m_cachedFields;
}

QByteArray ContactListModel::field(int row, int k) const
{
    const QList<QByteArrayView> &f = splitRow(row);
    return k >= 0 && k < f.size() ? f[k].toByteArray() : QByteArray();
}

QList<QByteArrayView> ContactListModel::fieldViews(int row) const
{
    QList<QByteArrayView> out = splitRow(row);
    out.resize(TContatto::FieldCount);
    return out;
}

QByteArrayList ContactListModel::fields(int row) const
{
    QByteArrayList out;
    out.reserve(TContatto::FieldCount);
    for (QByteArrayView f : fieldViews(row))
        out.append(f.toByteArray());
    return out;
}

QByteArray ContactListModel::joinedFields(int row) const
{
    return fields(row).join(',');
}

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_list.isEmpty() ? m_rows.count() : m_list.size());
}

int ContactListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(contactColumnCaptions().size()) + (m_extraCaption.isEmpty() ? 0 : 1);
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (role == Qt::ToolTipRole)
        return {}; // the list's hint is the window's own, not a per-cell one
    if (index.column() == 0)
        return QString::number(lineNumber(index.row()));
    if (index.column() == contactColumnCaptions().size())
        return m_extraTexts.value(index.row());
    const QList<QByteArrayView> &f = splitRow(index.row());
    const int k = index.column() - 1;
    return k < f.size() ? AddressBook::shownField(f[k]) : QString();
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == contactColumnCaptions().size() ? m_extraCaption : contactColumnCaptions().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
