// lrzsz's programs (sz, rz, sb, rb, sx, rx) as the remote end of a port.
// lrzsz empties its terminal's queues when it ends, which on a
// pseudo-terminal would throw away its own last bytes; so it runs behind
// pipes, and the library gets the pseudo-terminal end: through socat, or
// through the line simulator when the line needs a byte rate or noise.
#pragma once

#include <string>

namespace testsupport {

// How the line between the library and the peer behaves; zeroes: an ideal
// line (socat).
struct LineOptions {
    unsigned bytesPerSecond = 0;
    unsigned latencyMs = 0;
    unsigned bitErrorInterval = 0; // one bit in this many flipped
    unsigned seed = 1;
    bool simulated() const { return bytesPerSecond || latencyMs || bitErrorInterval; }
};

class PeerProgram {
public:
    // Runs the shell command line in workDir; its terminal is reachable as
    // COMn through VORLEX_COMDIR (set for this process). Waits until the
    // name exists.
    PeerProgram(int comNumber, const std::string &command, const std::string &workDir,
                const LineOptions &line = LineOptions());
    ~PeerProgram();
    PeerProgram(const PeerProgram &) = delete;
    PeerProgram &operator=(const PeerProgram &) = delete;

    // Waits for the command to end; its exit status, or -1 after timeoutMs.
    int wait(int timeoutMs);
    // Ends the command (SIGTERM), as a user interrupting it would.
    void interrupt();
    bool running();
    // What the command wrote to standard error.
    std::string log() const;
    const std::string &comDir() const { return dir_; }

private:
    std::string dir_;
    int pid_ = -1;
    int status_ = -1;
};

// Escapes a text for a single-quoted shell word.
std::string shellQuote(const std::string &s);
// The line simulator's path (next to the build's programs).
std::string linesimPath();

} // namespace testsupport
