// The Ymodem block-0 parser (name, NUL, length, time ...), through the
// block receiver (Func123) into a scratch directory. Input: options (bit 0:
// Ymodem-G, bit 1: a 1 KB block), the block's data (zero-padded), then any
// further bytes of the line as they stand.
#include "fuzz_port.h"
#include "receive_dir.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static fuzzport::ReceiveDir dir;
    fuzzport::line();
    const uint8_t options = data[0];
    const size_t blockSize = (options & 2) ? 1024 : 128;
    const size_t taken = std::min(size - 1, blockSize);
    std::string block(reinterpret_cast<const char *>(data + 1), taken);
    block.resize(blockSize, '\0');
    const unsigned crc = Func073(block.data(), static_cast<LONG>(block.size())) & 0xFFFF;
    std::string wire;
    wire += static_cast<char>((options & 2) ? 0x02 : 0x01);
    wire += '\0';
    wire += '\xFF';
    wire += block;
    wire += static_cast<char>(crc >> 8);
    wire += static_cast<char>(crc);
    wire.append(reinterpret_cast<const char *>(data + 1 + taken), size - 1 - taken);
    Func090(fuzzport::kPort, 1, 0, 0, 0, 60);
    const LONG protocol = (options & 1) ? VORLEX_PROTOCOL_YMODEM_G : VORLEX_PROTOCOL_YMODEM;
    const LONG result = fuzzport::feedOnFirstByte(
        wire, [&] { return Func123(fuzzport::kPort, nullptr, protocol, dir.path().c_str(), nullptr); });
    fuzzport::report(result);
    dir.check();
    return 0;
}
