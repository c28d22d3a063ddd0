// The import of another installation's contact.csv: any file of that name gives candidates
// without fault, each one line of 18 fields that reads back as the same contact.
#include "FuzzSupport.h"

#include "import/Importers.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayList lines = AddressBook::splitLines(fuzzBytes(data, size));
    const Importers::PreviousVersionResult result = Importers::previousVersionCandidates(fuzzBytes(data, size));
    FUZZ_CHECK(result.skipped >= 0 && result.candidates.size() + result.skipped <= lines.size());
    for (const QByteArray &line : result.candidates) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        FUZZ_CHECK(TCSVStringInfo::fieldViews(line).size() == TContatto::FieldCount);
        FUZZ_CHECK(TContatto::fromLine(line).toLine() == line);
    }
    return 0;
}
