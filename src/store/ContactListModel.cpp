#include "ContactListModel.h"

#include "AddressBook.h"
#include "CSVStringInfo.h"
#include "TextCodec.h"

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
    endResetModel();
}

void ContactListModel::setNumberedRows(const QByteArrayList &lines, QList<int> numbers)
{
    beginResetModel();
    m_book = BookLines();
    m_rows = LineSet();
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

int ContactListModel::lineNumber(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return m_list.isEmpty() ? int(m_rows.nth(row)) + 1 : m_numbers[row];
}

QByteArrayView ContactListModel::lineView(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return m_list.isEmpty() ? m_book[m_rows.nth(row)] : QByteArrayView(m_list[row]);
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
