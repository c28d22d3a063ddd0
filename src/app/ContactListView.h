#pragma once

#include <QTableView>

// The report-style contact list: a table view with the window's own multi-line hint,
// a signal after each mouse press (once the press has changed the selection), and Enter
// reported to the window instead of being used by the view. Tab leaves the list for the
// next control and never touches the selection.
//
// Its columns are the contact columns ("N." and the 18 fields). Their widths were drawn
// for an 8-point font; the list scales them to its own font, keeps "N." wide enough for the
// largest number it shows and the date column wide enough for a date with its time.
class ContactListView : public QTableView
{
    Q_OBJECT

public:
    explicit ContactListView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // The hint shown wherever the mouse rests over the list; empty shows nothing.
    void setHint(const QString &hint) { m_hint = hint; }
    const QString &hint() const { return m_hint; }
    // A text painted in the middle of the list while it has no rows; empty paints nothing.
    void setEmptyText(const QString &text);
    const QString &emptyText() const { return m_emptyText; }
    // Copies column captions and widths from another list; "N." still fits this list's numbers.
    void copyColumnWidths(const QTableView *from);
    // Makes the column headers clickable (columnClicked) and shows the order of the rows with
    // the header's arrow, set by showSortOrder(); a column below 1 shows none.
    void enableSorting();
    void showSortOrder(int column, Qt::SortOrder order);

    // The selected rows as spans of first and last row, ascending and each row once.
    // A selection is a handful of ranges however many rows it covers, so this costs
    // nothing for a list of a million selected rows.
    QList<std::pair<int, int>> selectedSpans() const;
    int selectedRowCount() const;

Q_SIGNALS:
    void mousePressed();
    void enterPressed();
    void columnClicked(int column);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void applyDesignWidths();
    void fitNumberColumn();
    int textColumnWidth(const QString &text) const;

    QString m_hint;
    QString m_emptyText;
};

// Text shown in a tooltip exactly as it is, never as markup; each CR or LF starts a new line.
QString plainToolTip(const QString &text);
