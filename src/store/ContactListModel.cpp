#include "ContactListModel.h"

#include "AddressBook.h"
#include "CSVStringInfo.h"
#include "TextCodec.h"

ContactListModel::ContactListModel(QObject *parent) : QAbstractTableModel(parent) {}

void ContactListModel::setRows(const QByteArrayList &lines, QList<int> lineIndexes)
{
    beginResetModel();
    m_lines = lines;
    m_lineIndexes = std::move(lineIndexes);
    m_numbers.clear();
    m_cachedRow = -1;
    endResetModel();
}

void ContactListModel::setNumberedRows(const QByteArrayList &lines, QList<int> numbers)
{
    beginResetModel();
    m_lines = lines;
    m_lineIndexes.resize(lines.size());
    for (int i = 0; i < lines.size(); ++i)
        m_lineIndexes[i] = i;
    m_numbers = std::move(numbers);
    m_cachedRow = -1;
    endResetModel();
}

void ContactListModel::clear()
{
    setRows({}, {});
}

int ContactListModel::lineNumber(int row) const
{
    if (row < 0 || row >= m_lineIndexes.size())
        return 0;
    return m_numbers.isEmpty() ? m_lineIndexes[row] + 1 : m_numbers.value(row);
}

QByteArray ContactListModel::line(int row) const
{
    if (row < 0 || row >= m_lineIndexes.size())
        return {};
    return m_lines[m_lineIndexes[row]];
}

const QList<QByteArrayView> &ContactListModel::splitRow(int row) const
{
    if (row != m_cachedRow) {
        m_cachedFields.clear();
        if (row >= 0 && row < m_lineIndexes.size()) {
            TCSVStringInfo::forEachField(m_lines[m_lineIndexes[row]], [this](QByteArrayView f) {
                m_cachedFields.append(f);
                return m_cachedFields.size() < TContatto::FieldCount;
            });
        }
        m_cachedRow = row;
    }
    return m_cachedFields;
}

QByteArray ContactListModel::field(int row, int k) const
{
    const QList<QByteArrayView> &f = splitRow(row);
    return k >= 0 && k < f.size() ? f[k].toByteArray() : QByteArray();
}

QByteArrayList ContactListModel::fields(int row) const
{
    QByteArrayList out;
    out.reserve(TContatto::FieldCount);
    const QList<QByteArrayView> &f = splitRow(row);
    for (int k = 0; k < TContatto::FieldCount; ++k)
        out.append(k < f.size() ? f[k].toByteArray() : QByteArray());
    return out;
}

QByteArray ContactListModel::joinedFields(int row) const
{
    return fields(row).join(',');
}

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lineIndexes.size());
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
