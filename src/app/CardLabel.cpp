#include "CardLabel.h"

#include "ContactListView.h"
#include "store/AddressBook.h"

#include <QPainter>
#include <QStyle>

CardLabel::CardLabel(const QString &hint, QWidget *parent) : QLabel(parent), m_hint(hint)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The values can be selected with the mouse and copied; a click on a link still follows it.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
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

void CardLabel::paintEvent(QPaintEvent *event)
{
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    // A value that fits, or one being selected, is drawn by the label itself, which shows
    // the selection; a long one cut with "…" otherwise.
    if (shown == text() || hasSelectedText()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}
