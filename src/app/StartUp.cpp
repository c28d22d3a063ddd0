#include "StartUp.h"

#include "Messages.h"
#include "store/AddressBook.h"
#include "store/DateText.h"

#include <QFileInfo>

namespace StartUp {

std::unique_ptr<DataFolderLock> takeDataFolder()
{
    AddressBook::ensureDataFolder();
    auto lock = std::make_unique<DataFolderLock>(AddressBook::dataFolder());
    DataFolderLock::Result result = lock->acquire();
    if (result == DataFolderLock::OpenElsewhere) {
        // The other computer may have lost the stick or its power with the program open;
        // only the user knows. Taking over while it still runs there would lose changes,
        // so No is the default.
        const QString text = QStringLiteral("La rubrica risulta aperta sul computer «%1» dal %2. Se Rubrino non è più "
                                            "aperto su quel computer, vuoi aprirla comunque?")
                                 .arg(lock->otherHost(), DateText::format(lock->lockedSince()));
        if (!Messages::destructiveQuestion(QStringLiteral("Rubrica già aperta"), text))
            return nullptr;
        result = lock->takeOver();
    }
    if (result == DataFolderLock::AlreadyOpen) {
        ShowError(QStringLiteral("Rubrino è già aperto su questa rubrica."));
        return nullptr;
    }
    // Something of the lock's name that cannot be removed: the user is told which file it
    // is and why, so that it can be dealt with.
    if (result == DataFolderLock::InTheWay) {
        ShowError(lock->obstacle());
        return nullptr;
    }
    if (result == DataFolderLock::Locked) {
        lock->removeLeftoverSaves({QFileInfo(AddressBook::contactFile()).fileName(),
                                   QFileInfo(AddressBook::reminderFile()).fileName()});
    }
    return lock;
}

} // namespace StartUp
