// Zmodem data subpacket reader, CRC-16 and CRC-32, into a buffer of
// exactly the maximum given. Input: options (bit 0: bulk input block,
// bit 1: CRC-32), a byte choosing the maximum, then the line's bytes.
#include "fuzz_port.h"
#include "transfer/zmodem.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace vorlex;
    if (size < 2) return 0;
    static const LONG maxima[] = {1024, 32, 128, 512, 1, 0, 1023, 256};
    const uint8_t options = data[0];
    const LONG maximum = maxima[data[1] & 7];
    vorlex::TransferRecord &t = fuzzport::freshTransfer();
    Session &s = sessionAt(fuzzport::kPort);
    if (!fuzzport::feed(data + 2, size - 2)) std::abort();
    LineInput input;
    if (options & 1) attachLineInput(s, &input);
    t.zmodem.charTimeout = 1;
    t.zmodem.useCrc32 = (options & 2) ? 1 : 0;
    std::vector<BYTE> buffer(static_cast<size_t>(maximum));
    for (int i = 0; i < 64; i++) {
        SubpacketRead r = readSubpacket(s, buffer.data(), maximum);
        if (r.length < 0 || r.length > maximum) std::abort();
        if (!r.good()) break;
    }
    detachLineInput(s);
    fuzzport::dropTransfer();
    return 0;
}
