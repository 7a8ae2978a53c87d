// A scratch receive directory for the targets that run a receiver: it is
// emptied after every input, and nothing may appear beside it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzzport {

class ReceiveDir {
public:
    ReceiveDir() {
        char pattern[] = "/tmp/vorlex-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        root_ = pattern;
        in_ = root_ / "in";
        std::filesystem::create_directory(in_);
        // A relative name would land in the working directory: make it ours.
        if (chdir(in_.c_str()) != 0) std::abort();
    }
    std::string path() const { return in_.string(); }
    // Aborts when a received file landed outside the directory; then empties it.
    void check() {
        for (const auto &e : std::filesystem::directory_iterator(root_))
            if (e.path() != in_) {
                std::fprintf(stderr, "written outside the receive directory: %s\n", e.path().c_str());
                std::abort();
            }
        for (const auto &e : std::filesystem::directory_iterator(in_)) std::filesystem::remove_all(e.path());
    }

private:
    std::filesystem::path root_, in_;
};

} // namespace fuzzport
