#pragma once

#include "BookLines.h"
#include "LineSet.h"

#include <QAbstractTableModel>
#include <QByteArrayList>
#include <QList>
#include <QStringList>

#include <vector>

// The rows of a contact list: each row is one line of the address book, shown as its line
// number ("N.") and its 18 fields. The model shares the book's block and keeps which lines
// are rows as one bit a line; it splits a line only when its fields are asked for, so a list
// of a million contacts costs a few bits per row beyond the file's own text.
class ContactListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    // Lists the lines of `lines` that are in `rows`, in order; the "N." of a row is its line
    // index + 1.
    void setRows(const BookLines &lines, LineSet rows);
    // Lists the given lines with their own numbering: row k is captioned `numbers[k]`. Used
    // by windows that list lines not taken from the file.
    void setNumberedRows(const QByteArrayList &lines, QList<int> numbers);
    void clear();
    // One more column after the contact columns, captioned `caption`, row k showing texts[k]:
    // for a window that tells something of each row. It stays through new rows; an empty
    // caption takes it away.
    void setExtraColumn(const QString &caption, QStringList texts);

    // Orders the rows by column `column`, 1 to 18, the field shown there: in Italian dictionary
    // order (see Collation), the date column by date where its text reads as one. Rows whose
    // field is empty ("-") come after all others, in either direction; rows of equal values
    // keep their file order. A column of 0 or less is the file order. The order holds for the
    // rows that setRows() gives from now on; the lines of setNumberedRows() keep theirs.
    // Without memory enough to sort, the rows are in file order and sortColumn() is -1;
    // sort() then throws AppError, setRows() says nothing.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; } // -1: file order
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    int lineNumber(int row) const;            // the "N." caption of the row
    int largestLineNumber() const;            // of all rows; 0 when there are none
    QByteArray line(int row) const;           // the row's line as stored
    QByteArray field(int row, int k) const;   // field k (0..17); empty when the line is short
    QByteArrayList fields(int row) const;     // always 18 fields
    // The row's 18 fields as views into its line, valid until the model is set again.
    QList<QByteArrayView> fieldViews(int row) const;
    // The row's 18 fields joined by commas.
    QByteArray joinedFields(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    qsizetype bookLine(int row) const;
    bool orderRows(); // false: no memory to sort, file order instead
    QByteArrayView lineView(int row) const;
    const QList<QByteArrayView> &splitRow(int row) const;

    BookLines m_book;
    LineSet m_rows;
    // The book's line of each row when the rows are sorted; empty in file order.
    std::vector<quint32> m_order;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QByteArrayList m_list;  // the lines of setNumberedRows
    QList<int> m_numbers;   // their captions
    QString m_extraCaption;
    QStringList m_extraTexts;
    mutable int m_cachedRow = -1;
    mutable QList<QByteArrayView> m_cachedFields;
};
