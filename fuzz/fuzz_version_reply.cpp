// The update server's reply: whatever comes over the network is either a version with an
// address or a clear error, never a fault.
#include "FuzzSupport.h"

#include "about/VersionReply.h"
#include "store/AppError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const VersionReply v = VersionReply::parse(fuzzBytes(data, size));
        (void)v.isNewerThan(1, 1);
        (void)VersionReply::isWebAddress(v.address);
    } catch (const AppError &e) {
        FUZZ_CHECK(!e.message().isEmpty());
    }
    return 0;
}
