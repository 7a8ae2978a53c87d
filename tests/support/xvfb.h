// An Xvfb for a suite's windows, on a display it picks itself.
#pragma once

#include <string>

#include <sys/types.h>

namespace testsupport {

bool onPath(const char *program);

class XvfbServer {
public:
    // ":N", or empty with the reason in skip() (Xvfb or xdotool missing,
    // or the server did not start).
    void start();
    void stop();
    const std::string &display() const { return display_; }
    const std::string &skip() const { return skip_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
    std::string display_, skip_;
};

} // namespace testsupport
