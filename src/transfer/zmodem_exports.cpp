// Zmodem exports: batch upload by index, upload by pattern, download into a
// directory, the progress callback and the file-error option.
#include "zmodem.h"

#include "front_ends.h"
#include "port/port.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

namespace {

// A text argument that is null, empty or starts with a space counts as absent.
bool blank(LPCSTR s) { return !s || !s[0] || s[0] == ' '; }

// Seconds since 1970 of a file time (100 ns units since 1601).
DWORD unixSeconds(const FILETIME &ft) {
    const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const unsigned long long epoch = 116444736000000000ull;
    return t <= epoch ? 0 : static_cast<DWORD>((t - epoch) / 10000000ull);
}

void systemErrorText(DWORD error, char *text, DWORD size) {
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, size,
                        nullptr))
        std::snprintf(text, size, "%lu", static_cast<unsigned long>(error));
}

// The name part of a path (after the last separator).
LPCSTR bareName(LPCSTR path) {
    LPCSTR name = path;
    for (LPCSTR s = path; *s; s++)
        if (*s == '\\' || *s == '/') name = s + 1;
    return name;
}

} // namespace

void setZmodemSendFields(LONG port, TransferRecord *t) {
    PortRecord *p = portRecord(port);
    t->resume = p ? p->resume : 0;
    t->useCrc32 = 1;
    t->batchMode = 1;
    t->charTimeout = 60;
    t->headerWaits = 12;
    t->headerLength = 4; // also for a closing call after a first file that never went
}

LONG sendZmodemPath(LONG port, LPCSTR path, LPCSTR name, LONG index) {
    TransferRecord *t = transferRecord(port);
    PortRecord *p = portRecord(port);
    if (!t || !p) return VORLEX_ZMODEM_BAD_PORT;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (p->showFileErrors) {
            char text[256];
            systemErrorText(error, text, sizeof text);
            Func033(nullptr, "Upload", MB_ICONHAND, "%s\n%s\nError: %s", "Unable To Open File!", path, text);
        }
        // The callback hears of it in either case.
        announceFile(port, name);
        countError(port, kStatusCouldNotOpen);
        if (t->showWindow)
            waitTicks(port, 36, false);
        else
            Func033(nullptr, "Upload", MB_ICONHAND, "%s", "Unable To Open File!");
        return VORLEX_ZMODEM_CANNOT_OPEN;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(h, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) high = 0;
    if (high != 0) {
        // Zmodem positions are 32-bit: such a file is refused, not wrapped.
        CloseHandle(h);
        announceFile(port, name);
        countError(port, kStatusCouldNotOpen);
        return VORLEX_ZMODEM_TOO_LARGE;
    }
    if (size != INVALID_FILE_SIZE) t->fileSize = size;
    FILETIME written;
    if (GetFileTime(h, nullptr, nullptr, &written)) t->fileTime = unixSeconds(written);
    t->fileHandle = h;
    announceFile(port, name);
    if (t->aborted) {
        CloseHandle(h);
        t->fileHandle = INVALID_HANDLE_VALUE;
        // A receiver already waiting for the file is told, not left to time out.
        Func005(port);
        return VORLEX_ZMODEM_STOPPED;
    }
    t->jobName = p->fullPathNames ? path : name;
    t->jobIndex = index;
    t->jobKind = kJobZmodemSend;
    LONG r = runTransferJob(port);
    if (t->fileHandle != INVALID_HANDLE_VALUE) CloseHandle(t->fileHandle);
    t->fileHandle = INVALID_HANDLE_VALUE;
    return r == 0 ? 0 : t->resultCode;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

// The Ymodem batch upload of one file (the block protocols' exports).
LONG WINAPI Func069(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR name, LONG phase);

LONG WINAPI Func037(LONG port, HWND window, LPCSTR directory, LPCSTR name, LONG index) {
    PortRecord *p = portRecord(port);
    if (!p) return VORLEX_ZMODEM_BAD_PORT;
    if (index == -1) {
        p->transferActive = 0;
        TransferRecord *t = transferRecord(port);
        if (t) sendZmodemFile(port, nullptr, -1);
        releaseOwner(port, window);
        if (!t) return 0;
        closeProgressWindow(port);
        freeTransferRecord(port);
        return 0;
    }
    TransferRecord *t = transferRecord(port);
    if (index == 0) {
        LONG refusal = 0;
        t = startTransfer(port, window, {VORLEX_ZMODEM_BAD_PORT, VORLEX_ZMODEM_BUSY, VORLEX_ZMODEM_NO_MEMORY}, false,
                          &refusal);
        if (!t) return refusal;
        setZmodemSendFields(port, t);
        if (t->showWindow && !openProgressWindow(port, window, kTemplateSend, "Zmodem Send")) {
            releaseOwner(port, window);
            freeTransferRecord(port);
            p->transferActive = 0;
            return VORLEX_ZMODEM_NO_WINDOW;
        }
    } else if (!t) {
        // Files after the first need the record of the batch's first call.
        return VORLEX_ZMODEM_NO_BATCH;
    }
    if (!name || !name[0]) return VORLEX_ZMODEM_CANNOT_OPEN;
    t->resultCode = 0;
    char path[MAX_PATH * 2];
    int n = blank(directory) ? std::snprintf(path, sizeof path, "%s", name)
                             : std::snprintf(path, sizeof path, "%s\\%s", directory, name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) return VORLEX_ZMODEM_CANNOT_OPEN;
    return sendZmodemPath(port, path, bareName(name), index);
}

LONG WINAPI Func064(LONG port, HWND window, LPCSTR directory, LPCSTR pattern, LONG protocol) {
    if (!portRecord(port)) return VORLEX_ZMODEM_BAD_PORT;
    if (protocol != 4 && protocol != 5 && protocol != 6) return VORLEX_ZMODEM_CANNOT_OPEN;
    if (!pattern || !pattern[0]) return VORLEX_ZMODEM_CANNOT_OPEN;
    char dir[MAX_PATH];
    if (!blank(directory)) {
        std::snprintf(dir, sizeof dir, "%s", directory);
    } else if (!GetCurrentDirectoryA(sizeof dir, dir)) {
        return VORLEX_ZMODEM_CANNOT_OPEN;
    }
    size_t len = std::strlen(dir);
    if (len > 1 && dir[len - 1] == '\\') dir[len - 1] = '\0';
    char search[MAX_PATH * 2];
    int n = std::snprintf(search, sizeof search, "%s\\%s", dir, pattern);
    if (n < 0 || static_cast<size_t>(n) >= sizeof search) return VORLEX_ZMODEM_CANNOT_OPEN;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(search, &found);
    if (find == INVALID_HANDLE_VALUE) return VORLEX_ZMODEM_CANNOT_OPEN;
    LONG result = 0;
    LONG index = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (protocol == 6)
            result = Func037(port, window, dir, found.cFileName, index);
        else
            result = Func069(port, window, protocol, dir, found.cFileName, index);
        index++;
    } while (result == 0 && FindNextFileA(find, &found));
    FindClose(find);
    if (protocol == 6)
        Func037(port, window, nullptr, nullptr, -1);
    else
        Func069(port, window, protocol, nullptr, nullptr, -1);
    return result;
}

LONG WINAPI Func024(LONG port, HWND window, LPCSTR directory) {
    LONG result = 0;
    TransferRecord *t = startTransfer(
        port, window, {VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, VORLEX_ZMODEM_BUSY, VORLEX_ZMODEM_DOWNLOAD_NO_MEMORY}, true, &result);
    if (!t) return result;
    if (t->showWindow && !openProgressWindow(port, window, kTemplateReceive, "Zmodem Receive")) {
        Func005(port);
        result = VORLEX_ZMODEM_NO_WINDOW;
    } else {
        t->jobName = blank(directory) ? nullptr : directory;
        t->jobKind = kJobZmodemReceiveJobName;
        result = runTransferJob(port);
    }
    endTransfer(port, window);
    return result;
}

void WINAPI Func085(LONG port, VorlexProgressCallback callback) {
    if (PortRecord *p = portRecord(port)) p->progressCallback = callback;
}

void WINAPI Func030(LONG port) {
    if (PortRecord *p = portRecord(port)) p->showFileErrors = 1;
}

} // extern "C"
