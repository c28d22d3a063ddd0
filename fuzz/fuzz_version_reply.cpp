// The update server's reply: whatever comes over the network, its HTTP framing and the
// version file in it, is either read or refused, never a fault, and never more body than
// the limit.
#include "FuzzSupport.h"

#include "about/HttpReply.h"
#include "about/VersionReply.h"
#include "store/AppError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes = fuzzBytes(data, size);
    try {
        const VersionReply v = VersionReply::parse(bytes);
        (void)v.isNewerThan(1, 1);
        (void)VersionReply::isWebAddress(v.address);
    } catch (const AppError &e) {
        FUZZ_CHECK(!e.message().isEmpty());
    }

    // As a whole answer, arriving in two pieces split where the first byte says.
    constexpr qsizetype kMax = 64;
    HttpReply reply(kMax);
    const qsizetype split = bytes.isEmpty() ? 0 : qsizetype(uint8_t(bytes[0])) % (bytes.size() + 1);
    reply.feed(bytes.first(split));
    reply.feed(bytes.sliced(split));
    reply.endOfStream();
    FUZZ_CHECK(reply.done() != reply.failed());
    FUZZ_CHECK(reply.body().size() <= kMax);
    return 0;
}
