#include "app/frmMainUnit.h"

#include "ReminderFile.h"
#include "app/Messages.h"
#include "frmPromemoriaUnit.h"
#include "store/AddressBook.h"

namespace {
void showReminder(QWidget *owner)
{
    // Created for this showing only: it reads the file now and forgets everything after.
    TfrmPromemoria window(owner);
    window.exec();
}
} // namespace

void TfrmMain::Button6Click()
{
    showReminder(this);
}

void TfrmMain::openReminderAtStartup()
{
    // A note that cannot be read is reported and the start goes on.
    Messages::guarded([this] {
        if (ReminderFile::opensAtStartup(AddressBook::reminderFile()))
            showReminder(this);
    });
}
