#include "Desktop.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QRadioButton>
#include <QTranslator>

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

} // namespace

namespace Desktop {

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

} // namespace Desktop
