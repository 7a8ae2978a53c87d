#include "message_box.h"

#include <windows.h>
#include <winapi_ext.h>

#include <atomic>
#include <thread>

namespace testsupport {

std::string answerMessageBox(const char *caption, const std::function<void()> &fn, int buttonId) {
    std::string seen;
    std::atomic<bool> done{false};
    std::thread person([&] {
        HWND box = nullptr;
        while (!done.load()) {
            box = FindWindowA("#32770", caption);
            if (box && IsWindowVisible(box)) break;
            box = nullptr;
            Sleep(5);
        }
        if (!box) return;
        WapiWaitForIdle(box, 5000);
        char text[2048] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        seen = "[" + std::string(caption) + "] " + text;
        if (buttonId) {
            SendMessageA(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
        } else {
            WapiSendKey(box, VK_RETURN, TRUE);
            WapiSendKey(box, VK_RETURN, FALSE);
        }
    });
    fn();
    done.store(true);
    person.join();
    return seen;
}

} // namespace testsupport
