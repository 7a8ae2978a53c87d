// Func033's formatting: a fuzzed format with arguments from the input,
// shown in its message box (answered at once on the console). Input: a byte of
// style, then the format, NUL and the arguments' bytes.
#include "format_args.h"

#include <vorlex.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool once = [] {
        // The box is answered at once on the console (which scripts/fuzz closes):
        // a drawn box costs a window and a timer per input.
        setenv("WAPI_MESSAGEBOX", "console", 1);
        return true;
    }();
    (void)once;
    if (size < 1) return 0;
    static const UINT styles[] = {MB_OK, MB_OKCANCEL | MB_ICONHAND, MB_YESNO | MB_ICONQUESTION,
                                  MB_YESNOCANCEL | MB_ICONEXCLAMATION};
    fuzzfmt::Arguments a;
    fuzzfmt::build(data + 1, size - 1, a);
    const uintptr_t *v = a.slot;
    Func033(nullptr, "Fuzz", styles[data[0] & 3], a.format.c_str(), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7],
            v[8], v[9], v[10], v[11]);
    return 0;
}
