#include "CardLabel.h"

#include "ContactListView.h"
#include "store/AddressBook.h"

#include <QPainter>
#include <QStyle>

CardLabel::CardLabel(const QString &hint, QWidget *parent) : QLabel(parent), m_hint(hint)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setValue("-");
}

void CardLabel::setValue(const QByteArray &stored)
{
    m_stored = stored;
    setText(AddressBook::shownField(stored));
    QString tip = m_hint;
    if (stored != "-")
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + text();
    setToolTip(tip.isEmpty() ? QString() : plainToolTip(tip));
}

QSize CardLabel::minimumSizeHint() const
{
    // However long the value, the card keeps its width: the text is cut instead.
    return {1, QLabel::minimumSizeHint().height()};
}

void CardLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}
