// Helpers shared by the test suites: pseudo-terminal pairs named through
// VORLEX_COMDIR, temporary directories, reading with a time limit.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A pseudo-terminal whose slave is reachable as COMn through VORLEX_COMDIR;
// the test drives the raw master side.
class PtyPort {
public:
    // comNumber 1..255: the link "comN" in a temporary VORLEX_COMDIR.
    explicit PtyPort(int comNumber);
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    int master() const { return master_; }
    const std::string &slavePath() const { return slave_; }
    // Writes all bytes to the master (the remote end sends them to us).
    void send(const std::string &bytes);
    void send(const std::vector<unsigned char> &bytes);
    // Reads exactly n bytes from the master within the time, or fewer.
    std::string receive(size_t n, int timeoutMs = 2000);
    // Everything the master can read now, waiting at most timeoutMs for the first byte.
    std::string drain(int timeoutMs = 200);
    // Closes the master: the remote side goes away.
    void hangUp();

private:
    TempDir dir_;
    int master_ = -1;
    std::string slave_;
};

// What fn writes to standard error (the console message boxes go there).
std::string captureStderr(const std::function<void()> &fn);

// Reads the whole file; empty when it does not exist.
std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

} // namespace testsupport
