// Running another program to its end.
#include <vorlex.h>

#include "services/text_utils.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr WORD kShowHidden = 0; // SW_HIDE

} // namespace

extern "C" {

LONG WINAPI Func082(LPCSTR application, LPCSTR commandLine, LONG show) {
    const LPCSTR program = vorlex::isBlankText(application) ? nullptr : application;
    const LPCSTR command = vorlex::isBlankText(commandLine) ? nullptr : commandLine;
    if (!program && !command) return -1;

    // CreateProcessA may write into the command line, and the caller's may be read-only.
    std::unique_ptr<char[]> commandCopy;
    if (command) {
        const size_t length = std::strlen(command);
        commandCopy.reset(new (std::nothrow) char[length + 1]);
        if (!commandCopy) return -1;
        std::memcpy(commandCopy.get(), command, length + 1);
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (show == 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE;
        startup.wShowWindow = kShowHidden;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, commandCopy.get(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    const BOOL read = GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return read ? static_cast<LONG>(exitCode) : -1;
}

} // extern "C"
