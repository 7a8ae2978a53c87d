// Small helpers shared by the kernel tests.
#pragma once

#include <windows.h>

#include <string>

namespace kt {

// The same path written the Windows way, to exercise '\' separators.
inline std::string backslashed(std::string p) {
    for (char &c : p)
        if (c == '/') c = '\\';
    return p;
}

inline HANDLE open(const std::string &path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

inline bool put(HANDLE h, const std::string &data) {
    DWORD n = 0;
    return WriteFile(h, data.data(), DWORD(data.size()), &n, nullptr) && n == data.size();
}

inline std::string get(HANDLE h, DWORD max = 4096) {
    std::string buf(max, '\0');
    DWORD n = 0;
    if (!ReadFile(h, buf.data(), max, &n, nullptr)) return "<error>";
    buf.resize(n);
    return buf;
}

// Creates (or replaces) a file with the content, through the Win32 calls.
inline bool makeFile(const std::string &path, const std::string &data) {
    HANDLE h = open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = put(h, data);
    CloseHandle(h);
    return ok;
}

// Runs a command line to its end; returns its exit code, or ~0u.
inline DWORD run(const std::string &commandLine, HANDLE out = nullptr, const char *app = nullptr) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (out) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out;
        si.hStdError = out;
    }
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    if (!CreateProcessA(app, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace kt
