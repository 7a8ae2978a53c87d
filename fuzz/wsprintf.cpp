// The layer's wsprintfA: a fuzzed format with arguments from the input,
// into a buffer of exactly the documented 1024 bytes.
#include "format_args.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzfmt::Arguments a;
    fuzzfmt::build(data, size, a);
    std::unique_ptr<char[]> out(new char[1024]);
    const uintptr_t *v = a.slot;
    const int n = wsprintfA(out.get(), a.format.c_str(), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9],
                            v[10], v[11]);
    if (n < 0 || n > 1023 || std::strlen(out.get()) != static_cast<size_t>(n)) std::abort();
    return 0;
}
