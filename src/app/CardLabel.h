#pragma once

#include <QByteArray>
#include <QLabel>

// A value label of the contact card. It shows a stored field as the user reads it (the
// address book's codes as the characters they stand for), cut with "…" where the card is
// too narrow, and the whole value in its hint, after the hint of its own the label may
// have ("Chiama questo numero" and the like). The stored text stays with it for the links.
class CardLabel : public QLabel
{
    Q_OBJECT

public:
    CardLabel(const QString &hint, QWidget *parent);

    // The field as stored; "-" for an empty field and for the empty card.
    void setValue(const QByteArray &stored);
    const QByteArray &storedValue() const { return m_stored; }

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_hint;
    QByteArray m_stored;
};
