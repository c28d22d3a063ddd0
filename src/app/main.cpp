#include "app/Desktop.h"
#include "app/StartUp.h"
#include "app/frmMainUnit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The text of the task-bar button.
    QApplication::setApplicationName(QStringLiteral("Rubrino"));
    // Before the first window, the lock's message box included.
    Desktop::setUp();

    // Held until the program ends; a second copy on the same folder stops here.
    const auto lock = StartUp::takeDataFolder();
    if (!lock)
        return 1;

    TfrmMain frmMain;
    frmMain.show();
    return app.exec();
}
