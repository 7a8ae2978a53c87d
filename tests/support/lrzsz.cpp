#include "lrzsz.h"

#include "support.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace testsupport {

std::string shellQuote(const std::string &s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string linesimPath() {
    if (const char *p = getenv("VORLEX_LINESIM")) return p;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    for (auto dir = exe.parent_path(); !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        auto candidate = dir / "linesim";
        if (std::filesystem::exists(candidate)) return candidate.string();
    }
    return "linesim";
}

PeerProgram::PeerProgram(int comNumber, const std::string &command, const std::string &workDir,
                         const LineOptions &line) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vorlex-peer-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    const std::string link = dir_ + "/com" + std::to_string(comNumber);
    {
        std::ofstream script(dir_ + "/peer.sh");
        script << "cd " << shellQuote(workDir) << " || exit 99\n"
               << command << " 2>" << shellQuote(dir_ + "/peer.log") << "\n"
               << "echo $? > " << shellQuote(dir_ + "/status") << "\n";
    }
    setenv("VORLEX_COMDIR", dir_.c_str(), 1);
    pid_ = fork();
    if (pid_ == 0) {
        std::string peer = "sh " + dir_ + "/peer.sh";
        int devnull = ::open("/dev/null", O_WRONLY);
        if (line.simulated()) {
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string rate = std::to_string(line.bytesPerSecond), latency = std::to_string(line.latencyMs),
                        ber = std::to_string(line.bitErrorInterval), seed = std::to_string(line.seed);
            std::string sim = linesimPath();
            execl(sim.c_str(), "linesim", "--rate", rate.c_str(), "--latency", latency.c_str(), "--ber", ber.c_str(),
                  "--seed", seed.c_str(), "--link-a", link.c_str(), "--exec", peer.c_str(), static_cast<char *>(nullptr));
        } else {
            dup2(devnull, 2);
            std::string pty = "PTY,link=" + link + ",raw,echo=0";
            std::string exec = "EXEC:" + peer + ",pipes";
            execlp("socat", "socat", pty.c_str(), exec.c_str(), static_cast<char *>(nullptr));
        }
        _exit(127);
    }
    struct stat st;
    for (int i = 0; i < 500 && lstat(link.c_str(), &st) != 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (lstat(link.c_str(), &st) != 0) throw std::runtime_error("the peer's terminal did not appear");
}

PeerProgram::~PeerProgram() {
    if (running()) {
        kill(pid_, SIGTERM);
        wait(3000);
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    unsetenv("VORLEX_COMDIR");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

bool PeerProgram::running() {
    if (pid_ < 0) return false;
    int st;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        std::string s = readFile(dir_ + "/status");
        status_ = s.empty() ? (WIFEXITED(st) ? 128 + WEXITSTATUS(st) : 255) : std::atoi(s.c_str());
        return false;
    }
    return true;
}

int PeerProgram::wait(int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running()) {
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

namespace {

// The processes below pid, children first.
void descendants(int pid, std::vector<int> &out) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    int child;
    while (f >> child) {
        descendants(child, out);
        out.push_back(child);
    }
}

} // namespace

void PeerProgram::interrupt() {
    // The program itself, below its relay and shell, as Ctrl-C would.
    if (pid_ <= 0) return;
    std::vector<int> pids;
    descendants(pid_, pids);
    for (int p : pids) kill(p, SIGTERM);
}

std::string PeerProgram::log() const { return readFile(dir_ + "/peer.log"); }

} // namespace testsupport
