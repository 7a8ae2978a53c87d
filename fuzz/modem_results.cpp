// Modem result texts: the speed of a CONNECT or CARRIER report (Func040)
// and the case-blind search under it (Func084). Input: the text, NUL, the
// pattern.
#include <vorlex.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\0');
    const std::string text = input.substr(0, cut);
    const std::string pattern = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    const LONG at = Func084(text.c_str(), pattern.c_str());
    const size_t n = std::strlen(text.c_str()), m = std::strlen(pattern.c_str());
    // A place is 1-based and leaves room for the whole pattern.
    if (at < 0 || (at > 0 && (m == 0 || static_cast<size_t>(at) + m - 1 > n))) std::abort();
    if (Func040(text.c_str()) < 0 || Func040(pattern.c_str()) < 0) std::abort();
    return 0;
}
