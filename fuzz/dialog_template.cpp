// The layer's dialog-template reader (DLGTEMPLATE and DLGTEMPLATEEX),
// through CreateDialogIndirectParamA on the headless display. A template
// carries no length: the input is placed at the start of a zeroed area
// large enough for any template of at most 16 items (each item's creation
// data may skip 64 KB), whose count is cut to that.
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

INT_PTR CALLBACK dialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

constexpr size_t kMaxItems = 16;
constexpr size_t kArea = (kMaxItems + 2) * 70000 + 65536;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static WORD *area = new WORD[kArea / 2]();
    if (size > 65536) size = 65536;
    std::memcpy(area, data, size);
    const bool ex = area[0] == 1 && area[1] == 0xFFFF;
    WORD &count = area[ex ? 8 : 4];
    if (count > kMaxItems) count = static_cast<WORD>(count % (kMaxItems + 1));
    HWND dialog = CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(area), nullptr, dialogProc, 0);
    if (dialog) DestroyWindow(dialog);
    // Drain what the dialog posted.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    std::memset(area, 0, size);
    return 0;
}
