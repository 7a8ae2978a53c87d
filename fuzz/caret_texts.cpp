// Caret texts on the line: Func112 (^A..^Z, ^[, ^[<) and the modem command
// text of Func038 ({ and ^M for CR, ~ a pause). Input: a byte choosing the
// export, then the text (to its first NUL). What the far end receives must
// be exactly the count the export returns.
#include "fuzz_port.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    fuzzport::line();
    fuzzport::drainPeer();
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    const LONG sent = (data[0] & 1) ? Func038(fuzzport::kPort, text.c_str()) : Func112(fuzzport::kPort, text.c_str());
    const std::string got = fuzzport::takeSent();
    if (sent < 0 || static_cast<size_t>(sent) != got.size() || got.size() > text.size()) std::abort();
    return 0;
}
