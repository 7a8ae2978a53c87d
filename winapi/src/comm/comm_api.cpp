// The Win32 serial-port functions, and how names become devices.
#include "nullmodem.h"
#include "tty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace winapi::comm {

namespace {

// "COM1".."COM255" (already normalised) gives 1..255; anything else 0.
int comNumber(const std::string &n) {
    if (n.size() < 4 || n.size() > 6 || n.compare(0, 3, "COM") != 0 || n[3] == '0') return 0;
    int v = 0;
    for (size_t i = 3; i < n.size(); i++) {
        if (n[i] < '0' || n[i] > '9') return 0;
        v = v * 10 + (n[i] - '0');
    }
    return v <= 255 ? v : 0;
}

// VORLEX_COMDIR/comN when the variable is set and the entry exists, else /dev/ttyS{N-1}.
std::string comPath(int n) {
    if (const char *dir = getenv("VORLEX_COMDIR"); dir && *dir) {
        std::string p = std::string(dir) + "/com" + std::to_string(n);
        struct stat st;
        if (lstat(p.c_str(), &st) == 0) return p;
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

Ref<CommDevice> commOf(HANDLE h) {
    Ref<Object> o = lookupHandle(h);
    if (!o) return Ref<CommDevice>();
    if (o->type() != ObjectType::Comm) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return Ref<CommDevice>();
    }
    return Ref<CommDevice>(static_cast<CommDevice *>(o.detach()));
}

} // namespace

bool tryOpen(const char *name, DWORD access, DWORD share, DWORD flags, HANDLE *out) {
    (void)access;
    (void)share; // serial devices are always opened exclusively
    const bool overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    RegisteredEnd r = lookupRegistered(name);
    if (r.found) {
        if (r.pair) {
            *out = openNullModemEnd(r.pair, r.side, overlapped);
        } else if (r.ptyMasterFd >= 0) {
            int fd = fcntl(r.ptyMasterFd, F_DUPFD_CLOEXEC, 0);
            if (fd < 0) {
                SetLastError(ERROR_TOO_MANY_OPEN_FILES);
                *out = INVALID_HANDLE_VALUE;
            } else {
                openTty(nullptr, overlapped, true, fd, out);
            }
        } else if (!openTty(r.path.c_str(), overlapped, false, -1, out)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            *out = INVALID_HANDLE_VALUE;
        }
        return true;
    }
    std::string n = normalizeName(name);
    if (int com = comNumber(n)) {
        if (!openTty(comPath(com).c_str(), overlapped, false, -1, out)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            *out = INVALID_HANDLE_VALUE;
        }
        return true;
    }
    struct stat st;
    if (!name || stat(name, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    return openTty(name, overlapped, false, -1, out);
}

} // namespace winapi::comm

using namespace winapi;
using namespace winapi::comm;

extern "C" {

BOOL WINAPI SetupComm(HANDLE h, DWORD in, DWORD out) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->setupComm(in, out) : FALSE;
}
BOOL WINAPI GetCommState(HANDLE h, LPDCB dcb) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->getState(dcb) : FALSE;
}
BOOL WINAPI SetCommState(HANDLE h, LPDCB dcb) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->setState(dcb) : FALSE;
}
BOOL WINAPI GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->getTimeouts(t) : FALSE;
}
BOOL WINAPI SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->setTimeouts(t) : FALSE;
}
BOOL WINAPI GetCommMask(HANDLE h, LPDWORD m) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->getMask(m) : FALSE;
}
BOOL WINAPI SetCommMask(HANDLE h, DWORD m) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->setMask(m) : FALSE;
}
BOOL WINAPI WaitCommEvent(HANDLE h, LPDWORD m, LPOVERLAPPED ov) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->waitEvent(m, ov) : FALSE;
}
BOOL WINAPI ClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT st) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->clearError(errors, st) : FALSE;
}
BOOL WINAPI PurgeComm(HANDLE h, DWORD flags) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->purge(flags) : FALSE;
}
BOOL WINAPI EscapeCommFunction(HANDLE h, DWORD func) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->escape(func) : FALSE;
}
BOOL WINAPI GetCommModemStatus(HANDLE h, LPDWORD st) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->modemStatus(st) : FALSE;
}
BOOL WINAPI SetCommBreak(HANDLE h) { return EscapeCommFunction(h, SETBREAK); }
BOOL WINAPI ClearCommBreak(HANDLE h) { return EscapeCommFunction(h, CLRBREAK); }
BOOL WINAPI TransmitCommChar(HANDLE h, char c) {
    Ref<CommDevice> d = commOf(h);
    return d ? d->transmitChar(c) : FALSE;
}

BOOL WINAPI WapiCreatePseudoTerminalPair(LPCSTR nameMaster, LPCSTR nameSlave, LPSTR slavePath) {
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    char path[64];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, path, sizeof path) != 0) {
        ::close(m);
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    // A slave descriptor kept open stops the master from seeing a hang-up
    // whenever no one has the slave open.
    int keep = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (!registerPair(nameMaster, nameSlave, nullptr, m, path, keep)) {
        if (keep >= 0) ::close(keep);
        ::close(m);
        return FALSE;
    }
    if (slavePath) std::snprintf(slavePath, 64, "%s", path);
    return TRUE;
}

DWORD WINAPI WapiResolveCommName(LPCSTR name, LPSTR buffer, DWORD size) {
    std::string p;
    RegisteredEnd r = lookupRegistered(name);
    if (r.found)
        p = r.path.empty() ? normalizeName(name) : r.path;
    else if (int n = comNumber(normalizeName(name)))
        p = comPath(n);
    if (p.empty() || !buffer || size <= p.size()) return 0;
    std::memcpy(buffer, p.c_str(), p.size() + 1);
    return static_cast<DWORD>(p.size());
}

} // extern "C"
