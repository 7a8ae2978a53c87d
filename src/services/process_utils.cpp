// Starting another program: waiting for its window, or for its end.
#include <vorlex.h>

#include "services/text_utils.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr WORD kShowHidden = 0; // SW_HIDE

// Starts the program named by the application name or the command line
// (blank ones count as absent); false when neither is given or it cannot
// be started.
bool startProgram(LPCSTR application, LPCSTR commandLine, STARTUPINFOA &startup, PROCESS_INFORMATION &process) {
    const LPCSTR program = vorlex::isBlankText(application) ? nullptr : application;
    const LPCSTR command = vorlex::isBlankText(commandLine) ? nullptr : commandLine;
    if (!program && !command) return false;

    // CreateProcessA may write into the command line, and the caller's may be read-only.
    std::unique_ptr<char[]> commandCopy;
    if (command) {
        const size_t length = std::strlen(command);
        commandCopy.reset(new (std::nothrow) char[length + 1]);
        if (!commandCopy) return false;
        std::memcpy(commandCopy.get(), command, length + 1);
    }
    startup.cb = sizeof startup;
    return CreateProcessA(program, commandCopy.get(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process) != FALSE;
}

} // namespace

extern "C" {

HWND WINAPI Func081(LPCSTR application, LPCSTR commandLine, LPCSTR windowClass, LPCSTR windowTitle) {
    if (!windowClass || !windowClass[0] || !windowTitle || !windowTitle[0]) return nullptr;
    STARTUPINFOA startup{};
    PROCESS_INFORMATION process{};
    if (!startProgram(application, commandLine, startup, process)) return nullptr;
    WaitForInputIdle(process.hProcess, INFINITE);
    HWND window = FindWindowA(windowClass, windowTitle);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return window;
}

LONG WINAPI Func082(LPCSTR application, LPCSTR commandLine, LONG show) {
    STARTUPINFOA startup{};
    if (show == 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE;
        startup.wShowWindow = kShowHidden;
    }
    PROCESS_INFORMATION process{};
    if (!startProgram(application, commandLine, startup, process)) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    const BOOL read = GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return read ? static_cast<LONG>(exitCode) : -1;
}

} // extern "C"
