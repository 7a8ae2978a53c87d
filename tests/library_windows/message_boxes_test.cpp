// The library's message boxes are real modal windows: Func034's open error
// box and Func033's formatted box, answered by a person.
#include "gui_driver.h"

#include "message_box.h"

#include <vorlex.h>

#include <gtest/gtest.h>

using namespace gui;

namespace {

TEST(MessageBoxes, TheOpenErrorBoxHasAStopIconAndAnOkButton) {
    App<int> app([] { return Func034(4); });
    HWND box = waitForWindow("Port Open Error", "#32770");
    ASSERT_TRUE(box);
    EXPECT_EQ(itemText(box, 0xFFFF), "4 - Invalid Communications Port Specified");
    EXPECT_TRUE(GetDlgItem(box, IDOK));
    EXPECT_FALSE(GetDlgItem(box, IDCANCEL));
    // The stop icon: a static showing an icon, with red in it.
    HWND icon = FindWindowExA(box, nullptr, "Static", nullptr);
    bool red = false;
    for (; icon && !red; icon = FindWindowExA(box, icon, "Static", nullptr)) {
        if ((GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        RECT r;
        GetWindowRect(icon, &r);
        for (int y = r.top; y < r.bottom && !red; y++)
            for (int x = r.left; x < r.right && !red; x++) red = GetRValue(WapiGetScreenPixel(x, y)) > 200 &&
                                                                GetGValue(WapiGetScreenPixel(x, y)) < 60;
    }
    EXPECT_TRUE(red);
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_ICONHAND));
    click(GetDlgItem(box, IDOK));
    EXPECT_EQ(app.result(0), IDOK);
}

TEST(MessageBoxes, AFormattedQuestionOverAnOwnerKeepsTheOwnerWaiting) {
    std::atomic<HWND> owner{nullptr};
    App<int> app([&] {
        HWND w = CreateWindowExA(0, "STATIC", "Asking Window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300,
                                 nullptr, nullptr, nullptr, nullptr);
        owner = w;
        int answer = Func033(w, "Question", MB_YESNO | MB_ICONQUESTION, "Send %d files to %s?", 3, "COM2");
        DestroyWindow(w);
        return answer;
    });
    HWND box = waitForWindow("Question", "#32770");
    ASSERT_TRUE(box);
    EXPECT_EQ(itemText(box, 0xFFFF), "Send 3 files to COM2?");
    EXPECT_FALSE(IsWindowEnabled(owner.load()));
    EXPECT_EQ(GetForegroundWindow(), box);
    click(GetDlgItem(box, IDNO));
    EXPECT_EQ(app.result(0), IDNO);
}

TEST(MessageBoxes, LongTextsAreCutAt511Characters) {
    const std::string longText(700, 'x');
    std::string seen = testsupport::answerMessageBox("Long", [&] { Func033(nullptr, "Long", MB_OK, "%s", longText.c_str()); });
    EXPECT_EQ(seen, "[Long] " + std::string(511, 'x'));
}

} // namespace
