#include "app/frmMainUnit.h"

#include "frmVersioniUnit.h"
#include "app/Desktop.h"
#include "app/Messages.h"
#include "app/WaitCursor.h"
#include "store/AddressBook.h"
#include "store/BookVersions.h"
#include "store/DateText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>

void TfrmMain::addVersionControls(QHBoxLayout *row, QWidget *after)
{
    // A save that cannot keep the book it replaces asks first; No writes nothing.
    BookVersions::setAskSaveAnyway([](const QString &reason) {
        // The save runs under the wait cursor; the question wants the ordinary one.
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        return Messages::destructiveQuestion(QStringLiteral("Versione precedente"),
                                             BookVersions::cannotKeepMessage(reason)
                                                 + QStringLiteral(" Salvare comunque?"));
    });

    QPushButton *Button11 = Desktop::button(row->parentWidget(), "Button11", QStringLiteral("Versioni ..."));
    Button11->setToolTip(QStringLiteral("Le versioni precedenti della rubrica, da rimettere al loro posto"));
    row->addWidget(Button11);
    setTabOrder(after, Button11);
    connect(Button11, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button11Click(); }); });

    auto *undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(undo, &QShortcut::activated, this, [this] { Messages::guarded([this] { undoLastChange(); }); });
}

void TfrmMain::Button11Click()
{
    bool restored = false;
    {
        TfrmVersioni window(this);
        window.exec();
        restored = window.restored();
    }
    if (restored)
        Reload();
}

void TfrmMain::undoLastChange()
{
    const QString book = AddressBook::contactFile();
    const QList<BookVersions::Version> versions = BookVersions::list(book);
    const BookVersions::LastWrite last = BookVersions::lastWrite(book);
    if (versions.isEmpty()) {
        ShowError(QStringLiteral("Non c'è nessuna versione precedente della rubrica da rimettere al suo posto."));
        return;
    }
    if (last == BookVersions::LastWrite::None) {
        ShowError(QStringLiteral("Non c'è nessuna modifica da annullare: Rubrino non ha cambiato la rubrica da quando è "
                                 "stato aperto. Le versioni precedenti sono in \"Versioni ...\"."));
        return;
    }
    if (last == BookVersions::LastWrite::Changed) {
        // Putting the version back would throw away what the other program wrote.
        ShowError(QStringLiteral("La rubrica è stata cambiata da un altro programma dopo l'ultima modifica fatta con "
                                 "Rubrino: l'ultima modifica non si può annullare. Le versioni precedenti sono in "
                                 "\"Versioni ...\"."));
        return;
    }
    const BookVersions::Version &newest = versions.first();
    if (!Messages::destructiveQuestion(
            QStringLiteral("Annulla modifica"),
            QStringLiteral("Annullare l'ultima modifica della rubrica (del %1)?").arg(DateText::format(newest.moment()))))
        return;
    {
        WaitCursor wait;
        BookVersions::restore(book, newest.path);
    }
    Reload();
}
