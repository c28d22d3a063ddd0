#include "app/frmMainUnit.h"

#include "store/AddressBook.h"

#include <QDialog>
#include <QFileInfo>

namespace {
void showReminder(QWidget *owner)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Promemoria"));
    dialog.exec();
}
} // namespace

void TfrmMain::Button6Click()
{
    showReminder(this);
}

void TfrmMain::openReminderAtStartup()
{
    const QString path = AddressBook::reminderFile();
    if (!QFileInfo::exists(path))
        return;
    const QByteArrayList lines = AddressBook::readLines(path);
    if (!lines.isEmpty() && lines.first() == "# AutoLoad")
        showReminder(this);
}
