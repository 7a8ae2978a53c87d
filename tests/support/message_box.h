// Answering message boxes as a person would: another thread waits for the
// box, reads it and presses a button while the code under test shows it.
#pragma once

#include <functional>
#include <string>

namespace testsupport {

// Runs fn; the box captioned caption that it shows is read and answered
// with the button of that id (0: Enter, the default button). Gives
// "[caption] text", or "" when no box came.
std::string answerMessageBox(const char *caption, const std::function<void()> &fn, int buttonId = 0);

} // namespace testsupport
