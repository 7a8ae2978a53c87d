// vorlex ports: which COM names resolve to a device, and what opening each gives.
#include "commands.h"

#include <windows.h>
#include <winapi_ext.h>

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace {

std::string errorText(DWORD err) {
    char buf[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0, buf, sizeof buf, nullptr);
    std::string s = buf;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

} // namespace

int cmdPorts(int, char **) {
    const char *dir = getenv("VORLEX_COMDIR");
    std::printf("COM names resolve through %s%s, else to /dev/ttyS<N-1>.\n\n", dir ? "VORLEX_COMDIR=" : "",
                dir ? dir : "VORLEX_COMDIR (not set)");
    int found = 0;
    for (int n = 1; n <= 255; n++) {
        char name[16], path[PATH_MAX];
        std::snprintf(name, sizeof name, "COM%d", n);
        if (!WapiResolveCommName(name, path, sizeof path)) continue;
        struct stat st;
        if (lstat(path, &st) != 0) continue;
        found++;
        char real[PATH_MAX];
        std::string target = realpath(path, real) ? real : "(missing)";
        HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        std::string what;
        if (h == INVALID_HANDLE_VALUE) {
            DWORD err = GetLastError();
            what = "does not open: " + errorText(err) + " (" + std::to_string(err) + ")";
        } else {
            DWORD status = 0;
            GetCommModemStatus(h, &status);
            DCB d{};
            d.DCBlength = sizeof d;
            GetCommState(h, &d);
            char buf[128];
            std::snprintf(buf, sizeof buf, "opens: %lu baud, %u data bits, modem status %02lXh",
                          static_cast<unsigned long>(d.BaudRate), d.ByteSize, static_cast<unsigned long>(status));
            what = buf;
            CloseHandle(h);
        }
        std::printf("%-7s %-28s -> %-16s %s\n", name, path, target.c_str(), what.c_str());
    }
    if (!found) std::printf("No COM name resolves to a device here.\n");
    return 0;
}
