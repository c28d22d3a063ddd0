#pragma once

#include "store/AppError.h"
#include "store/Progress.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <exception>

// Shows a refusal or an error of the program's own: caption "Error", error icon, one OK button.
void ShowError(const QString &text);

// Every message box of the program goes through here, so that tests can answer them.
// Boxes show their text as plain text, always: texts quote file names and network replies,
// which must never turn into markup or links. A key typed in the first half second of a box
// does not answer it: the user was still typing in the window behind when it came up.
namespace Messages {

// The application title, "Rubrino": the caption of confirmations and of the standard error box.
QString appTitle();

// A Yes/No question without icon, Yes the default; true when the answer is Yes.
bool question(const QString &title, const QString &text);
// A Yes/No question whose Yes destroys data: No is the default, so a hasty Enter keeps it.
bool destructiveQuestion(const QString &title, const QString &text);
// A plain confirmation captioned with the application title, one OK button, no icon.
void information(const QString &text);
// The standard error box for an error that ended an action: application title, error icon.
void showException(const QString &text);

// One failure, one message: while a handler runs, the errors shown by the handlers of the
// windows it opened are noted, and an error that ends it with the same words is not shown
// again (an unreadable book, told by the editor and again by the reload behind it).
class ActionScope
{
public:
    ActionScope();
    ~ActionScope();
    ActionScope(const ActionScope &) = delete;
    ActionScope &operator=(const ActionScope &) = delete;
};
// showException(), unless the action now ending has shown these words already.
void showActionError(const QString &text);

// Runs an event handler; an error that escapes it is shown in the standard error box
// and the program goes on running. Work the user stopped ends quietly.
template<typename Fn>
void guarded(Fn &&fn)
{
    const ActionScope scope;
    try {
        fn();
    } catch (const Cancelled &) {
    } catch (const AppError &e) {
        showActionError(e.message());
    } catch (const std::exception &e) {
        showActionError(QString::fromLocal8Bit(e.what()));
    }
}

// Test seam: in test mode no box is shown; each is recorded and answered from the queue
// (No for a question, OK otherwise, when the queue is empty).
struct Shown
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};
void setTestMode(bool on);
// In test mode, every box is also shown for real and answered by whatever the test does
// to it, for tests that drive a real box.
void setShowForReal(bool on);
void setNextAnswer(QMessageBox::StandardButton answer);
QList<Shown> takeShown();

} // namespace Messages
