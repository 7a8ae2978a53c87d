#include "check.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace check {

namespace {

struct Case {
    const char *name;
    Body body;
};

std::vector<Case> &cases() {
    static std::vector<Case> all;
    return all;
}

int caseFailures = 0;
std::string skipped;

} // namespace

Registrar::Registrar(const char *name, Body body) { cases().push_back({name, body}); }

void fail(const char *file, int line, const std::string &what) {
    caseFailures++;
    const char *base = std::strrchr(file, '/');
    std::printf("  %s:%d: %s\n", base ? base + 1 : file, line, what.c_str());
    std::fflush(stdout);
}

void skip(const std::string &why) { skipped = why; }

int runAll(int argc, char **argv) {
    int passed = 0, failed = 0, skips = 0;
    for (const Case &c : cases()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; i++)
            if (std::strncmp(c.name, argv[i], std::strlen(argv[i])) == 0) wanted = true;
        if (!wanted) continue;
        caseFailures = 0;
        skipped.clear();
        DWORD start = GetTickCount();
        c.body();
        DWORD ms = GetTickCount() - start;
        if (caseFailures) {
            failed++;
            std::printf("[FAIL] %s (%lu ms)\n", c.name, static_cast<unsigned long>(ms));
        } else if (!skipped.empty()) {
            skips++;
            std::printf("[skip] %s: %s\n", c.name, skipped.c_str());
        } else {
            passed++;
            std::printf("[ ok ] %s (%lu ms)\n", c.name, static_cast<unsigned long>(ms));
        }
        std::fflush(stdout);
    }
    if (passed + failed + skips == 0) {
        std::printf("no case matches\n");
        return 1;
    }
    std::printf("%d passed, %d failed", passed, failed);
    if (skips) std::printf(", %d skipped", skips);
    std::printf("\n");
    return failed ? 1 : 0;
}

} // namespace check

int main(int argc, char **argv) { return check::runAll(argc, argv); }
