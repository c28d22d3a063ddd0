#include "Desktop.h"

#include <QPushButton>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Without it Enter on a focused button would do nothing in the main window, and in a dialog
// it would press the dialog's default button instead of the focused one.
class EnterPressesButton : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto *button = qobject_cast<QAbstractButton *>(watched);
        // Check and radio buttons keep Enter for the dialog's default button, as everywhere.
        if (!button || qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button)
            || !button->hasFocus() || !button->isEnabled())
            return false;
        // Held down, Enter presses once, as Space does.
        if (!key->isAutoRepeat())
            button->click();
        return true;
    }
};

const char *const kFitArea = "screenFit";

QScrollArea *fitArea(QWidget *window)
{
    return window->findChild<QScrollArea *>(QLatin1String(kFitArea), Qt::FindDirectChildrenOnly);
}

QScrollArea *newFitArea(QWidget *window)
{
    auto *area = new QScrollArea(window);
    area->setObjectName(QLatin1String(kFitArea));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    // Only a frame around the contents: Tab never stops on it.
    area->setFocusPolicy(Qt::NoFocus);
    return area;
}

// Room the window manager's frame and title bar take around a window, in logical pixels:
// a window cut to the screen leaves it, so that its title bar stays on the screen too.
const QSize kFrame(16, 40);

// `wanted` where it fits `room`, otherwise `room` less the frame, one side at a time.
QSize fitted(QSize wanted, QSize room)
{
    return {wanted.width() <= room.width() ? wanted.width() : std::max(1, room.width() - kFrame.width()),
            wanted.height() <= room.height() ? wanted.height() : std::max(1, room.height() - kFrame.height())};
}

class FollowContents : public QObject
{
public:
    explicit FollowContents(QWidget *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            Desktop::fitToScreen(m_window, Desktop::Fit::Fixed);
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

namespace Desktop {

QWidget *content(QWidget *window)
{
    if (QScrollArea *area = fitArea(window))
        return area->widget();
    QScrollArea *area = newFitArea(window);
    auto *around = new QVBoxLayout(window);
    around->setContentsMargins(0, 0, 0, 0);
    around->addWidget(area);
    auto *inner = new QWidget(area);
    area->setWidget(inner);
    return inner;
}

void fitToScreen(QWidget *window, Fit fit)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize room = screen->availableGeometry().size();
    QScrollArea *area = fitArea(window);
    auto *main = qobject_cast<QMainWindow *>(window);
    if (!area && main && main->centralWidget()) {
        area = newFitArea(window);
        area->setWidget(main->takeCentralWidget());
        main->setCentralWidget(area);
    }
    // Without a scroll area (Qt's own dialogs) the window itself makes do with less room.
    if (!area && fit == Fit::Fixed)
        return;
    if (!area) {
        window->setMinimumSize(fitted(window->minimumSize(), room));
        window->resize(fitted(window->size(), room));
        return;
    }
    QWidget *inner = area->widget();
    if (inner->layout())
        inner->layout()->activate();
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
    if (fit == Fit::Fixed) {
        const QSize wanted = inner->sizeHint().expandedTo(inner->minimumSize());
        QSize size = fitted(wanted, room);
        // A scroll bar on one side takes room on the other: given it where the screen has it.
        if (size.height() < wanted.height())
            size.setWidth(std::min(size.width() + bar, fitted(QSize(wanted.width() + bar, 0), room).width()));
        if (size.width() < wanted.width())
            size.setHeight(std::min(size.height() + bar, fitted(QSize(0, wanted.height() + bar), room).height()));
        window->setFixedSize(size);
        // Contents that grow later (a longer status text) take the window with them.
        if (!inner->property("fitFollowed").toBool()) {
            inner->setProperty("fitFollowed", true);
            inner->installEventFilter(new FollowContents(window));
        }
        return;
    }
    window->setMinimumSize(fitted(window->minimumSize(), room));
    window->resize(fitted(window->size(), room));
}

void setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Test programs without windows have a QCoreApplication only.
    QCoreApplication *app = QCoreApplication::instance();
    auto *qtTexts = new QTranslator(app);
    if (qtTexts->load(QStringLiteral(":/i18n/qtbase_it.qm")))
        QCoreApplication::installTranslator(qtTexts);
    app->installEventFilter(new EnterPressesButton(app));
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, int minimumWidth)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setMinimumWidth(minimumWidth);
    return b;
}

} // namespace Desktop
