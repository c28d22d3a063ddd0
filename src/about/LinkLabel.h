#pragma once

#include <QLabel>

// A label that stands for a web address: blue, underlined while the mouse is over it,
// with a hand cursor; a click hands the address to the system shell.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    LinkLabel(const QString &text, const QString &address, QWidget *parent = nullptr);

    QString address() const { return m_address; }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setUnderline(bool on);

    QString m_address;
    bool m_pressed = false;
};
