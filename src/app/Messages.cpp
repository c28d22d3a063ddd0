#include "Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QQueue>
#include <QWidget>

namespace Messages {
namespace {

struct Seam
{
    bool testMode = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<Shown> shown;
};

Seam &seam()
{
    static Seam s;
    return s;
}

QMessageBox::StandardButton show(const QString &title, const QString &text, QMessageBox::Icon icon,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton fallback)
{
    Seam &s = seam();
    if (s.testMode) {
        s.shown.append({title, text, icon, buttons});
        return s.answers.isEmpty() ? fallback : s.answers.dequeue();
    }
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(icon, title, text, buttons, parent);
    // Questions are asked in Italian; the error dialog keeps its standard English button.
    if (QAbstractButton *yes = box.button(QMessageBox::Yes))
        yes->setText(QStringLiteral("Sì"));
    if (QAbstractButton *no = box.button(QMessageBox::No))
        no->setText(QStringLiteral("No"));
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

QString appTitle()
{
    return QStringLiteral("Rubrino");
}

bool question(const QString &title, const QString &text)
{
    return show(title, text, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void information(const QString &text)
{
    show(appTitle(), text, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok);
}

void showException(const QString &text)
{
    show(appTitle(), text, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok);
}

void setTestMode(bool on)
{
    // A fresh start: answers queued for boxes that never came must not answer later ones.
    seam() = Seam{};
    seam().testMode = on;
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
    Messages::show(QStringLiteral("Error"), text, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok);
}
