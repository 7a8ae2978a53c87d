// The Xmodem and Ymodem block receiver (Func123) on raw line bytes, into a
// scratch directory. Input: the protocol (1..5 from the first byte), then
// the line's bytes.
#include "fuzz_port.h"
#include "receive_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static fuzzport::ReceiveDir dir;
    fuzzport::line();
    const LONG protocol = data[0] % 5 + 1;
    Func090(fuzzport::kPort, 1, 0, 0, 0, 60);
    // The Xmodem protocols write the file named; Ymodem takes names from the line.
    const std::string wire(reinterpret_cast<const char *>(data + 1), size - 1);
    const LONG result = fuzzport::feedOnFirstByte(wire, [&] {
        return Func123(fuzzport::kPort, nullptr, protocol, dir.path().c_str(), protocol <= 3 ? "received.bin" : nullptr);
    });
    fuzzport::report(result);
    dir.check();
    return 0;
}
