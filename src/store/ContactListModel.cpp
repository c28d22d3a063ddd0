#include "ContactListModel.h"

#include "AddressBook.h"
#include "CSVStringInfo.h"
#include "Collation.h"
#include "TextCodec.h"

#include <algorithm>
#include <string_view>

namespace {

// The lines of `rows` in the order of field `field`: the values' sort keys are made once,
// side by side in one buffer, and the rows sorted by their keys' first sixteen bytes, held
// beside them as two numbers, by the whole keys only where those are equal and a key is
// longer, and then by their lines. Most keys (a family name, a date) fit in sixteen bytes,
// so that most comparisons compare two numbers, however many equal values the book holds.
std::vector<quint32> orderedLines(const BookLines &book, const LineSet &rows, int field, bool descending)
{
    constexpr size_t kHeld = 16;
    constexpr quint32 kLonger = 0x80000000u; // in Entry::key: the key is longer than kHeld
    struct Entry
    {
        quint64 high; // the key's first sixteen bytes, zeros after its end: a text's key holds
        quint64 low;  // no zero and a date's is seven bytes, so equal numbers are equal keys
                      // unless one is longer
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

    book.forEachLine([&](qsizetype k, QByteArrayView line) {
        if (!rows.contains(k))
            return true;
        QByteArrayView value;
        int f = 0;
        TCSVStringInfo::forEachField(line, [&](QByteArrayView v) {
            if (f++ < field)
                return true;
            value = v;
            return false;
        });
        if (value.isEmpty() || value == "-") {
            empty.push_back(quint32(k));
            return true;
        }
        // The value as the list shows it, and as much of it as the list shows.
        value = value.first(std::min(value.size(), TextCodec::ShownLength));
        if (value.contains('&')) {
            shown = AddressBook::shownValue(value);
            value = shown;
        }
        const size_t start = keys.size();
        if (byDate) {
            // Dates first, in time order (keys of seven bytes each), then the texts that
            // read as no date, as text.
            keys += '\x02';
            if (!dates.appendKey(keys, value)) {
                keys.resize(start);
                keys += '\x03';
                Collation::appendKey(keys, value);
            }
        } else {
            Collation::appendKey(keys, value);
        }
        quint64 held[2] = {0, 0};
        for (size_t i = 0; i < kHeld && start + i < keys.size(); ++i)
            held[i / 8] |= quint64(quint8(keys[start + i])) << (56 - 8 * (i % 8));
        const quint32 index = quint32(starts.size()) | (keys.size() - start > kHeld ? kLonger : 0);
        entries.push_back(Entry{held[0], held[1], index, quint32(k)});
        starts.push_back(start);
        return true;
    });
    starts.push_back(keys.size());

    const auto keyOf = [&](quint32 index) {
        index &= ~kLonger;
        return std::string_view(keys.data() + starts[index], starts[index + 1] - starts[index]);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
        if (a.high != b.high)
            return (a.high < b.high) != descending;
        if (a.low != b.low)
            return (a.low < b.low) != descending;
        if ((a.key | b.key) & kLonger) {
            const int c = keyOf(a.key).compare(keyOf(b.key));
            if (c != 0)
                return (c < 0) != descending;
        }
        return a.line < b.line;
    });

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
    orderRows();
    endResetModel();
}

void ContactListModel::orderRows()
{
    m_order.clear();
    m_order.shrink_to_fit();
    if (m_sortColumn > 0 && m_list.isEmpty() && m_rows.count() > 0)
        m_order = orderedLines(m_book, m_rows, m_sortColumn - 1, m_sortOrder == Qt::DescendingOrder);
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
    return parent.isValid() ? 0 : int(contactColumnCaptions().size());
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (role == Qt::ToolTipRole)
        return {}; // the list's hint is the window's own, not a per-cell one
    if (index.column() == 0)
        return QString::number(lineNumber(index.row()));
    const QList<QByteArrayView> &f = splitRow(index.row());
    const int k = index.column() - 1;
    return k < f.size() ? AddressBook::shownField(f[k]) : QString();
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return contactColumnCaptions().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
