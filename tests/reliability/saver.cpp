// Saves through the program's own save paths in an endless loop, for the crash test:
//   reliability_saver <program folder> book      the editor's modify of line 1, A and B in turn
//   reliability_saver <program folder> reminder  the reminder's save of a note, A and B in turn
// Before each save it writes 'b' to stdout and after it 'e', so that the test knows
// whether a kill came in the middle of a save.
#include "editor/ContactEditing.h"
#include "notes/ReminderFile.h"
#include "store/AddressBook.h"

#include "CrashContents.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
void say(char c)
{
    // Unbuffered: what the test reads is exactly what was done.
    (void)!write(STDOUT_FILENO, &c, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    AddressBook::setProgramFolder(QString::fromLocal8Bit(argv[1]));
    const bool book = std::strcmp(argv[2], "book") == 0;
    for (unsigned i = 0;; ++i) {
        const bool a = i % 2 == 1; // the test starts from content A, so the first save writes B
        say('b');
        if (book)
            ContactEditing::storeLine(AddressBook::contactFile(), 1, CrashContents::firstLine(a));
        else
            ReminderFile::saveNote(AddressBook::reminderFile(), a, CrashContents::note(a));
        say('e');
    }
}
