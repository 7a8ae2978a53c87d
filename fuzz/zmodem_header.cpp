// Zmodem header reader: hex, binary CRC-16 and CRC-32, variable-length and
// keyed headers, and the garbage and cancel counting around them. Input:
// one byte of options (bit 0: the bulk input block is attached), then the
// line's bytes.
#include "fuzz_port.h"
#include "transfer/zmodem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace vorlex;
    if (size < 1) return 0;
    const uint8_t options = data[0];
    vorlex::TransferRecord &t = fuzzport::freshTransfer();
    Session &s = sessionAt(fuzzport::kPort);
    if (!fuzzport::feed(data + 1, size - 1)) std::abort();
    LineInput input;
    if (options & 1) attachLineInput(s, &input);
    t.zmodem.charTimeout = 1;
    t.zmodem.headerWaits = 1;
    BYTE destination[20];
    for (int i = 0; i < 64; i++) {
        HeaderRead r = readHeader(s, destination);
        // The header buffers hold 20 bytes: no reader may claim more.
        if (t.zmodem.headerLength < 0 || t.zmodem.headerLength > 20) std::abort();
        if (r.kind == kReadTimeout || r.kind == ZCAN) break;
    }
    detachLineInput(s);
    fuzzport::dropTransfer();
    return 0;
}
