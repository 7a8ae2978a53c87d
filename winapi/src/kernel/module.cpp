// Modules, the version number and debug output. A module handle is the
// address at which the program or a shared object is mapped, as on Windows.
// Names given to GetModuleHandleA match a loaded object by its file name or
// by its stem, so "vorlex.dll" finds "libvorlex.so".
#include "object.h"
#include "posix.h"

#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace winapi {
namespace {

struct Module {
    void *base;
    std::string path; // empty for the program
};

// Every loaded object, the program first.
std::vector<Module> loadedModules() {
    struct Seen {
        uintptr_t firstSegment;
        std::string name;
    };
    std::vector<Seen> seen;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) -> int {
            for (int i = 0; i < info->dlpi_phnum; i++) {
                if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
                static_cast<std::vector<Seen> *>(data)->push_back(
                    {info->dlpi_addr + info->dlpi_phdr[i].p_vaddr, info->dlpi_name ? info->dlpi_name : ""});
                break;
            }
            return 0;
        },
        &seen);
    // dladdr gives the base the way FROM_ADDRESS sees it; it is called
    // outside the iteration, which holds the loader's lock.
    std::vector<Module> out;
    for (size_t i = 0; i < seen.size(); i++) {
        Dl_info dl;
        if (!dladdr(reinterpret_cast<void *>(seen[i].firstSegment), &dl) || !dl.dli_fbase) continue;
        out.push_back({dl.dli_fbase, i == 0 ? std::string() : seen[i].name});
    }
    return out;
}

std::string programPath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string baseName(const std::string &p) {
    size_t s = p.rfind('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

// "libvorlex.so.1" and "vorlex.dll" both give "vorlex".
std::string stem(std::string n) {
    n = baseName(n);
    for (const char *ext : {".dll", ".exe"}) {
        size_t l = std::strlen(ext);
        if (n.size() > l && equalNoCase(n.substr(n.size() - l), ext)) return n.substr(0, n.size() - l);
    }
    size_t so = n.find(".so");
    if (so != std::string::npos && (so + 3 == n.size() || n[so + 3] == '.')) {
        n = n.substr(0, so);
        if (n.rfind("lib", 0) == 0 && n.size() > 3) n = n.substr(3);
    }
    return n;
}

} // namespace
} // namespace winapi

using namespace winapi;

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    std::vector<Module> mods = loadedModules();
    if (!name) {
        if (!mods.empty()) return static_cast<HMODULE>(mods[0].base);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string want = posixPath(name);
    for (const Module &m : mods) {
        std::string file = m.path.empty() ? programPath() : m.path;
        if (equalNoCase(baseName(file), baseName(want)) || equalNoCase(stem(file), stem(want)))
            return static_cast<HMODULE>(m.base);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE *module) {
    if (!module || ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) && (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = nullptr;
    // Objects are never unloaded behind the caller, so reference counts do not matter.
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        Dl_info dl;
        if (!name || !dladdr(name, &dl) || !dl.dli_fbase) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        *module = static_cast<HMODULE>(dl.dli_fbase);
        return TRUE;
    }
    *module = GetModuleHandleA(name);
    return *module ? TRUE : FALSE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    std::string path;
    if (!module) {
        path = programPath();
    } else {
        std::vector<Module> mods = loadedModules();
        bool found = false;
        for (const Module &m : mods) {
            if (m.base != static_cast<void *>(module)) continue;
            path = m.path.empty() ? programPath() : m.path;
            found = true;
            break;
        }
        if (!found) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return DWORD(path.size());
    }
    // Too long: truncated to the buffer, terminated, and reported.
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

// Windows XP: major 5 in the low byte, minor 1 above it, build 2600 in the
// high word; the high bit stays clear for the NT family.
DWORD WINAPI GetVersion(void) { return (DWORD(2600) << 16) | (1u << 8) | 5u; }

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (!text || !getenv("WINAPI_DEBUG")) return;
    size_t n = std::strlen(text);
    while (n > 0) {
        ssize_t w = ::write(STDERR_FILENO, text, n);
        if (w <= 0) break;
        text += w;
        n -= size_t(w);
    }
}

} // extern "C"
