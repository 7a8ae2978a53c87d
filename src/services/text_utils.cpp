// Small text and memory helpers that the library's dialogs and applications use.
#include <vorlex.h>

#include <cstring>

extern "C" {

// Up to four hexadecimal digits from the start of the text; anything that is
// not a digit before the fourth (other than the end of the text) gives 0.
LONG WINAPI Func083(LPCSTR text) {
    if (!text) return 0;
    LONG value = 0;
    for (int i = 0; i < 4; i++) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) break;
        LONG digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = (value << 4) | digit;
    }
    return value;
}

void WINAPI Func018(LPVOID destination, LONG fill, LONG count) {
    if (!destination || count <= 0) return;
    std::memset(destination, fill & 0xFF, static_cast<size_t>(count));
}

// Kept for applications that still call it.
LONG WINAPI Func115(LONG, LONG, LONG, LONG, LONG, LONG, LONG) { return 0; }

} // extern "C"
