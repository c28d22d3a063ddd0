#pragma once

#include <QAbstractTableModel>
#include <QByteArrayList>
#include <QList>
#include <QStringList>

// The rows of a contact list: each row is one line of the address book, shown as its line
// number ("N.") and its 18 fields. The model keeps the lines themselves and splits a line
// only when its fields are asked for, so a list of a million contacts costs a few bytes
// per row beyond the file's own text.
class ContactListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    // Shows the given lines; `lineIndexes` are the 0-based indexes of the lines to list, in
    // order. The "N." of a row is its line index + 1.
    void setRows(const QByteArrayList &lines, QList<int> lineIndexes);
    // Lists the lines at the given positions with their own numbering: row k is
    // captioned `numbers[k]`. Used by windows that list lines not taken from the file.
    void setNumberedRows(const QByteArrayList &lines, QList<int> numbers);
    void clear();

    int lineNumber(int row) const;            // the "N." caption of the row
    QByteArray line(int row) const;           // the row's line as stored
    QByteArray field(int row, int k) const;   // field k (0..17); empty when the line is short
    QByteArrayList fields(int row) const;     // always 18 fields
    // The row's 18 fields joined by commas.
    QByteArray joinedFields(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const QList<QByteArrayView> &splitRow(int row) const;

    QByteArrayList m_lines;
    QList<int> m_lineIndexes;
    QList<int> m_numbers; // empty: number = line index + 1
    mutable int m_cachedRow = -1;
    mutable QList<QByteArrayView> m_cachedFields;
};
