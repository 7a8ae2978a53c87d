// On the headless display a box nobody answers does not hang its program.
#include "support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include <chrono>

TEST(UnseenMessageBox, AnswersItselfWithItsDefaultButtonAndTellsStandardError) {
    setenv("WAPI_MESSAGEBOX_TIMEOUT", "300", 1);
    int result = 0;
    auto t0 = std::chrono::steady_clock::now();
    std::string err = testsupport::captureStderr(
        [&] { result = MessageBoxA(nullptr, "Nobody is looking", "Unseen", MB_YESNOCANCEL | MB_DEFBUTTON2); });
    auto took = std::chrono::steady_clock::now() - t0;
    unsetenv("WAPI_MESSAGEBOX_TIMEOUT");
    EXPECT_EQ(result, IDNO);
    EXPECT_NE(err.find("[Unseen] Nobody is looking"), std::string::npos) << err;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(5));
}
