#include "message_box.h"

#include "gui_driver.h"

#include <atomic>
#include <thread>

namespace testsupport {

std::string answerMessageBox(const char *caption, const std::function<void()> &fn, int buttonId) {
    std::string seen;
    std::atomic<bool> done{false};
    std::thread person([&] {
        HWND box = nullptr;
        // Looked for as long as fn runs (the box may come late in it), and
        // once more after: fn may return as soon as the box is up.
        for (;;) {
            const bool last = done.load();
            if ((box = gui::findVisible("#32770", caption)) || last) break;
            Sleep(5);
        }
        if (!box) return;
        gui::settle(box);
        seen = "[" + std::string(caption) + "] " + gui::itemText(box, 0xFFFF);
        if (buttonId) SendMessageA(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
        else gui::key(box, VK_RETURN);
    });
    fn();
    done.store(true);
    person.join();
    return seen;
}

} // namespace testsupport
