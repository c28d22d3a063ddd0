#include "StartUp.h"

#include "Messages.h"
#include "store/AddressBook.h"

namespace StartUp {

std::unique_ptr<DataFolderLock> takeDataFolder()
{
    AddressBook::ensureDataFolder();
    auto lock = std::make_unique<DataFolderLock>(AddressBook::dataFolder());
    if (lock->acquire() == DataFolderLock::AlreadyOpen) {
        ShowError(QStringLiteral("Rubrino è già aperto su questa rubrica."));
        return nullptr;
    }
    return lock;
}

} // namespace StartUp
