// ZSINIT and its attention string, through the receiver (Func024).
// Input: options (bits 0-1: the subpacket's end, bit 2: a hex header),
// the header's four data bytes, then the attention subpacket's data.
#include "fuzz_port.h"
#include "receive_dir.h"
#include "zframes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    static fuzzport::ReceiveDir dir;
    fuzzport::line();
    const uint8_t options = data[0];
    const std::string flags(reinterpret_cast<const char *>(data + 1), 4);
    const std::string attention(reinterpret_cast<const char *>(data + 5), size - 5);
    std::string wire = (options & 4) ? zf::hexHeader(zf::ZSINIT, flags) : zf::binHeader(zf::ZSINIT, flags);
    wire += zf::subpacket(attention, static_cast<char>('h' + (options & 3)));
    wire += zf::hexHeader(zf::ZFIN, 0) + "OO";
    Func090(fuzzport::kPort, 1, 0, 0, 0, 60);
    if (!fuzzport::feed(wire)) std::abort();
    const LONG result = Func024(fuzzport::kPort, nullptr, dir.path().c_str());
    fuzzport::report(result);
    dir.check();
    return 0;
}
