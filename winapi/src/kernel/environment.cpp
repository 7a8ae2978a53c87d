// GetEnvironmentVariableA and SetEnvironmentVariableA on the process
// environment. Win32 names ignore case: an exact match wins, otherwise the
// first name that differs only in case is the one read or changed.
//
// The C library's environment is not safe against concurrent changes; this
// layer serialises its own reads and changes, but a getenv() elsewhere in the
// process may still race with SetEnvironmentVariableA.
#include "environment.h"

#include "object.h"
#include "posix.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <mutex>

extern char **environ;

namespace winapi {
namespace {

std::mutex &envMutex() {
    static auto *m = new std::mutex;
    return *m;
}

// The name under which a variable is stored, or empty when there is none.
std::string storedName(const char *name) {
    if (getenv(name)) return name;
    const size_t len = std::strlen(name);
    for (char **e = environ; e && *e; e++) {
        const char *eq = std::strchr(*e, '=');
        if (eq && size_t(eq - *e) == len && equalNoCase(std::string(*e, len), name)) return std::string(*e, len);
    }
    return std::string();
}

} // namespace

std::vector<std::string> environmentSnapshot() {
    std::lock_guard<std::mutex> lk(envMutex());
    std::vector<std::string> out;
    for (char **e = environ; e && *e; e++) out.emplace_back(*e);
    return out;
}

} // namespace winapi

using namespace winapi;

extern "C" {

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (!name || !*name || std::strchr(name, '=')) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::string value;
    {
        std::lock_guard<std::mutex> lk(envMutex());
        std::string stored = storedName(name);
        const char *v = stored.empty() ? nullptr : getenv(stored.c_str());
        if (!v) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        value = v;
    }
    if (value.empty()) SetLastError(NO_ERROR); // tells an empty value from a missing one
    return copyOut(value, buffer, size);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (!name || !*name || std::strchr(name, '=')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(envMutex());
    std::string stored = storedName(name);
    if (stored.empty()) stored = name;
    int r = value ? setenv(stored.c_str(), value, 1) : unsetenv(stored.c_str());
    if (r != 0) return failWithErrno(errno);
    return TRUE;
}

} // extern "C"
