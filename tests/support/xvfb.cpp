#include "xvfb.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace testsupport {

bool onPath(const char *program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

void XvfbServer::start() {
    if (!onPath("Xvfb") || !onPath("xdotool")) {
        skip_ = "Xvfb or xdotool is not installed";
        return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        skip_ = "no pipe for Xvfb";
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], 9);
        execlp("Xvfb", "Xvfb", "-displayfd", "9", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty())
        skip_ = "Xvfb did not start";
    else
        display_ = ":" + number;
}

void XvfbServer::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
}

} // namespace testsupport
