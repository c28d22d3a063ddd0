// The vCard reader: any file named .vcf fills the card without fault, and what the card
// then holds can be written and read again.
#include "FuzzSupport.h"

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
    return 0;
}
