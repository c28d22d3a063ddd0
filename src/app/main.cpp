#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "store/AddressBook.h"
#include "store/DataFolderLock.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The text of the task-bar button.
    QApplication::setApplicationName(QStringLiteral("Rubrino"));

    AddressBook::ensureDataFolder();
    DataFolderLock lock(AddressBook::dataFolder());
    if (lock.acquire() == DataFolderLock::AlreadyOpen) {
        ShowError(QStringLiteral("Rubrino è già aperto su questa rubrica."));
        return 1;
    }

    TfrmMain frmMain;
    frmMain.show();
    return app.exec();
}
