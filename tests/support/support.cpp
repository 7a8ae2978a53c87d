#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vorlex-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

PtyPort::PtyPort(int comNumber) {
    int slaveFd;
    char name[128];
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slaveFd, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    // The slave stays closed until the library opens it; the master is raw.
    termios mt;
    tcgetattr(master_, &mt);
    cfmakeraw(&mt);
    tcsetattr(master_, TCSANOW, &mt);
    ::close(slaveFd);
    slave_ = name;
    std::string link = dir_.file("com" + std::to_string(comNumber));
    if (symlink(slave_.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
    setenv("VORLEX_COMDIR", dir_.path().c_str(), 1);
}

PtyPort::~PtyPort() {
    if (master_ >= 0) ::close(master_);
    unsetenv("VORLEX_COMDIR");
}

void PtyPort::send(const std::string &bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t w = ::write(master_, bytes.data() + off, bytes.size() - off);
        if (w > 0) {
            off += static_cast<size_t>(w);
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to master failed");
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

void PtyPort::send(const std::vector<unsigned char> &bytes) { send(std::string(bytes.begin(), bytes.end())); }

std::string PtyPort::receive(size_t n, int timeoutMs) {
    std::string out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[4096];
        ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (r <= 0) break;
        out.append(buf, static_cast<size_t>(r));
    }
    return out;
}

std::string PtyPort::drain(int timeoutMs) {
    std::string out;
    int wait = timeoutMs;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, wait) <= 0) break;
        char buf[4096];
        ssize_t r = ::read(master_, buf, sizeof buf);
        if (r <= 0) break;
        out.append(buf, static_cast<size_t>(r));
        wait = 20;
    }
    return out;
}

void PtyPort::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

std::string captureStderr(const std::function<void()> &fn) {
    TempDir dir;
    std::string path = dir.file("stderr");
    fflush(stderr);
    int saved = dup(2);
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    dup2(fd, 2);
    ::close(fd);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    return readFile(path);
}

std::string readFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool fileExists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

} // namespace testsupport
