#pragma once

#include "store/DataFolderLock.h"

#include <memory>

namespace StartUp {

// Makes data/ beside the program when it is missing and takes its lock, so that no second
// copy of the program works on the same address book. When another copy on this computer
// has it, the user is told and nothing comes back: this copy must end without touching
// anything. A lock left on another computer is the user's to take over or not; a file in the
// lock's way that cannot be removed is named, and nothing comes back either. Once the
// lock is held, the temporary copies of killed saves are cleared away. A folder that cannot
// be locked at all (read-only) does not stop the program.
std::unique_ptr<DataFolderLock> takeDataFolder();

} // namespace StartUp
