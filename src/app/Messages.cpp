#include "Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QQueue>
#include <QWidget>

namespace Messages {
namespace {

struct Seam
{
    bool testMode = false;
    bool showForReal = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<Shown> shown;
};

Seam &seam()
{
    static Seam s;
    return s;
}

// How long after a box appears the keys typed into it are dropped. A refusal raised while
// the user types comes up under the fingers: the blank after "Rossi," would otherwise press
// its OK before the user has seen it.
constexpr qint64 kKeyGraceMs = 500;

class EarlyKeyGuard : public QObject
{
public:
    explicit EarlyKeyGuard(QWidget *box) : m_box(box) { qApp->installEventFilter(this); }
    ~EarlyKeyGuard() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_box && event->type() == QEvent::Show && !m_shownAt.isValid())
            m_shownAt.start();
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
            break;
        default:
            return false;
        }
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || (widget != m_box && !m_box->isAncestorOf(widget)))
            return false;
        return !m_shownAt.isValid() || m_shownAt.elapsed() < kKeyGraceMs;
    }

private:
    QWidget *m_box;
    QElapsedTimer m_shownAt;
};

QMessageBox::StandardButton exec(const Shown &s)
{
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(s.icon, s.title, s.text, s.buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (s.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(s.defaultButton);
    // Questions are asked in Italian; the error dialog keeps its standard English button.
    if (QAbstractButton *yes = box.button(QMessageBox::Yes))
        yes->setText(QStringLiteral("Sì"));
    if (QAbstractButton *no = box.button(QMessageBox::No))
        no->setText(QStringLiteral("No"));
    EarlyKeyGuard guard(&box);
    return QMessageBox::StandardButton(box.exec());
}

QMessageBox::StandardButton show(const Shown &s, QMessageBox::StandardButton fallback)
{
    Seam &seamNow = seam();
    if (seamNow.testMode) {
        seamNow.shown.append(s);
        if (seamNow.showForReal)
            return exec(s);
        return seamNow.answers.isEmpty() ? fallback : seamNow.answers.dequeue();
    }
    return exec(s);
}

} // namespace

QString appTitle()
{
    return QStringLiteral("Rubrino");
}

bool question(const QString &title, const QString &text)
{
    return show({title, text, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
                QMessageBox::No)
        == QMessageBox::Yes;
}

bool destructiveQuestion(const QString &title, const QString &text)
{
    return show({title, text, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
                QMessageBox::No)
        == QMessageBox::Yes;
}

void information(const QString &text)
{
    show({appTitle(), text, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok}, QMessageBox::Ok);
}

void showException(const QString &text)
{
    show({appTitle(), text, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok}, QMessageBox::Ok);
}

namespace {
// For each handler running, innermost last: the error texts shown while it ran.
QList<QStringList> &actionErrors()
{
    static QList<QStringList> stack;
    return stack;
}
} // namespace

ActionScope::ActionScope()
{
    actionErrors().append(QStringList());
}

ActionScope::~ActionScope()
{
    actionErrors().removeLast();
}

void showActionError(const QString &text)
{
    QList<QStringList> &stack = actionErrors();
    if (!stack.isEmpty() && stack.last().contains(text))
        return;
    for (QStringList &shown : stack)
        shown.append(text);
    showException(text);
}

void setTestMode(bool on)
{
    // A fresh start: answers queued for boxes that never came must not answer later ones.
    seam() = Seam{};
    seam().testMode = on;
}

void setShowForReal(bool on)
{
    seam().showForReal = on;
}

void setNextAnswer(QMessageBox::StandardButton answer)
{
    seam().answers.enqueue(answer);
}

QList<Shown> takeShown()
{
    return std::exchange(seam().shown, {});
}

} // namespace Messages

void ShowError(const QString &text)
{
    // The caption and the button keep the standard English texts of an error dialog.
    Messages::show({QStringLiteral("Error"), text, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
                   QMessageBox::Ok);
}
