#include "app/Messages.h"
#include "app/frmMainUnit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The text of the task-bar button.
    QApplication::setApplicationName(QStringLiteral("Rubrino"));
    TfrmMain frmMain;
    frmMain.show();
    return app.exec();
}
