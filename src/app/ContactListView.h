#pragma once

#include <QTableView>

// The report-style contact list: a table view with the window's own multi-line hint,
// a signal after each mouse press (once the press has changed the selection), and Enter
// reported to the window instead of being used by the view.
class ContactListView : public QTableView
{
    Q_OBJECT

public:
    explicit ContactListView(QWidget *parent = nullptr);

    // The hint shown wherever the mouse rests over the list; empty shows nothing.
    void setHint(const QString &hint) { m_hint = hint; }
    const QString &hint() const { return m_hint; }
    // Copies column captions and widths from another list.
    void copyColumnWidths(const QTableView *from);

Q_SIGNALS:
    void mousePressed();
    void enterPressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    QString m_hint;
};
