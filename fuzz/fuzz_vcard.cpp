// The vCard reader and the vCard import: any file named .vcf fills the card without fault,
// what the card then holds can be written and read again, and the import makes whole
// address-book lines of it.
#include "FuzzSupport.h"

#include "import/Importers.h"
#include "store/AddressBook.h"
#include "store/CSVStringInfo.h"
#include "vcard/Msvcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TmsVCard card;
    card.LoadFromBytes(fuzzBytes(data, size));
    const QByteArray written = card.SaveToBytes();
    TmsVCard again;
    again.LoadFromBytes(written);
    (void)again.SaveToBytes();

    // Loading replaces everything: an empty text leaves an empty card behind.
    card.LoadFromBytes(QByteArrayView());
    TmsVCard empty;
    FUZZ_CHECK(card.SaveToBytes() == empty.SaveToBytes());

    const Importers::VCardResult result = Importers::vcardCandidates(fuzzBytes(data, size), card, "01/02/2003");
    FUZZ_CHECK(result.candidates.size() + result.refused == Importers::splitVCards(fuzzBytes(data, size)).size());
    for (const QByteArray &line : result.candidates) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        FUZZ_CHECK(TCSVStringInfo::fieldViews(line).size() == TContatto::FieldCount);
        FUZZ_CHECK(TContatto::fromLine(line).toLine() == line);
    }
    FUZZ_CHECK(card.SaveToBytes() == empty.SaveToBytes());
    return 0;
}
