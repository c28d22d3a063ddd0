// The reminder file: any data/promemoria.txt opens without fault, and the note saved again
// reads back the same.
#include "FuzzSupport.h"

#include "notes/ReminderFile.h"
#include "store/AddressBook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayList lines = AddressBook::splitLines(fuzzBytes(data, size));
    const ReminderFile::Content c = ReminderFile::parse(lines);
    (void)ReminderFile::caption(c.savedAt);
    FUZZ_CHECK(!ReminderFile::isModified(c.note, c.note));

    const QByteArrayList saved = ReminderFile::compose(c.autoLoad, "01/02/2003 04:05:06", c.note);
    const ReminderFile::Content back = ReminderFile::parse(AddressBook::splitLines(AddressBook::joinLines(saved)));
    FUZZ_CHECK(back.autoLoad == c.autoLoad);
    FUZZ_CHECK(back.note == c.note);
    return 0;
}
