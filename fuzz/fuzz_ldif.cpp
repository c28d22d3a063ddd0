// The LDIF import: any file named .ldif gives candidates without fault, each a whole
// address-book line of 18 fields.
#include "FuzzSupport.h"

#include "import/Importers.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayList candidates = Importers::ldifCandidates(fuzzBytes(data, size), "01/02/2003 04:05:06");
    for (const QByteArray &line : candidates) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        FUZZ_CHECK(TCSVStringInfo::fieldViews(line).size() == TContatto::FieldCount);
        FUZZ_CHECK(TContatto::fromLine(line).toLine() == line);
    }
    return 0;
}
