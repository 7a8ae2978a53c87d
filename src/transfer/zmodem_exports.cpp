// Zmodem exports: batch upload by index, upload by pattern, download into a
// directory, the progress callback and the file-error option.
#include "zmodem.h"

#include "front_ends.h"
#include "interactive.h"
#include "progress_window.h"
#include "services/text_utils.h"
#include "transfer_files.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

namespace {

// Seconds since 1970 of a file time (100 ns units since 1601).
DWORD unixSeconds(const FILETIME &ft) {
    const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const unsigned long long epoch = 116444736000000000ull;
    return t <= epoch ? 0 : static_cast<DWORD>((t - epoch) / 10000000ull);
}

} // namespace

void setZmodemSendFields(Session &s, TransferRecord *t) {
    t->resume = s.rec().resume;
    t->zmodem.useCrc32 = 1;
    t->blocks.batchMode = 1;
    t->zmodem.charTimeout = 60;
    t->zmodem.headerWaits = 12;
    t->zmodem.headerLength = 4; // also for a closing call after a first file that never went
}

LONG sendZmodemPath(Session &s, LPCSTR path, LPCSTR name, LONG index) {
    TransferRecord *t = s.transfer.load();
    if (!t) return VORLEX_ZMODEM_BAD_PORT;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        showFileError(s, "Upload", path, GetLastError());
        // The callback hears of it in either case.
        announceFile(s, name);
        countError(s, kStatusCouldNotOpen);
        if (t->showWindow)
            waitTicks(s, 36, false);
        else
            messageBox(nullptr, "Upload", MB_ICONHAND, "%s", "Unable To Open File!");
        return VORLEX_ZMODEM_CANNOT_OPEN;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(h, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) high = 0;
    if (high != 0) {
        // Zmodem positions are 32-bit: such a file is refused, not wrapped.
        CloseHandle(h);
        announceFile(s, name);
        countError(s, kStatusCouldNotOpen);
        return VORLEX_ZMODEM_TOO_LARGE;
    }
    if (size != INVALID_FILE_SIZE) t->fileSize = size;
    FILETIME written;
    if (GetFileTime(h, nullptr, nullptr, &written)) t->fileTime = unixSeconds(written);
    t->fileHandle = h;
    announceFile(s, name);
    if (t->aborted) {
        CloseHandle(h);
        t->fileHandle = INVALID_HANDLE_VALUE;
        // A receiver already waiting for the file is told, not left to time out.
        sendCancelSequence(s);
        return VORLEX_ZMODEM_STOPPED;
    }
    t->jobName = s.rec().fullPathNames ? path : name;
    t->jobIndex = index;
    t->jobKind = kJobZmodemSend;
    LONG r = runTransferJob(s);
    if (t->fileHandle != INVALID_HANDLE_VALUE) CloseHandle(t->fileHandle);
    t->fileHandle = INVALID_HANDLE_VALUE;
    return r == 0 ? 0 : t->resultCode;
}

LONG zmodemBatchFile(Session &s, HWND window, LPCSTR directory, LPCSTR name, LONG index) {
    TransferRecord *t = s.transfer.load();
    if (index == -1) {
        // The closing exchange is traced like the application's own bytes.
        s.rec().transferActive = 0;
        if (t) sendZmodemFile(s, nullptr, -1);
        if (!t) {
            enableOwnerWindow(window);
            return 0;
        }
        endTransfer(s, window);
        return 0;
    }
    if (index == 0) {
        LONG refusal = 0;
        t = startTransfer(s, window, {VORLEX_ZMODEM_BAD_PORT, VORLEX_ZMODEM_BUSY, VORLEX_ZMODEM_NO_MEMORY}, false,
                          &refusal);
        if (!t) return refusal;
        setZmodemSendFields(s, t);
        if (t->showWindow && !openProgressWindow(s, window, kTemplateSend, "Zmodem Send")) {
            endTransfer(s, window);
            return VORLEX_ZMODEM_NO_WINDOW;
        }
    } else if (!t) {
        // Files after the first need the record of the batch's first call.
        return VORLEX_ZMODEM_NO_BATCH;
    }
    if (!name || !name[0]) return VORLEX_ZMODEM_CANNOT_OPEN;
    t->resultCode = 0;
    char path[MAX_PATH * 2];
    int n = isBlankText(directory) ? std::snprintf(path, sizeof path, "%s", name)
                                   : std::snprintf(path, sizeof path, "%s\\%s", directory, name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) return VORLEX_ZMODEM_CANNOT_OPEN;
    const LONG result = sendZmodemPath(s, path, bareName(name), index);
    // A port closed meanwhile ends the batch here: no later call can reach it.
    if (s.closing()) endTransfer(s, window);
    return result;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func037(LONG port, HWND window, LPCSTR directory, LPCSTR name, LONG index) {
    PortHold h(port);
    h.allowNesting();
    return h ? zmodemBatchFile(*h, window, directory, name, index) : VORLEX_ZMODEM_BAD_PORT;
}

LONG WINAPI Func064(LONG port, HWND window, LPCSTR directory, LPCSTR pattern, LONG protocol) {
    PortHold h(port);
    if (!h) return VORLEX_ZMODEM_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    if (protocol != 4 && protocol != 5 && protocol != 6) return VORLEX_ZMODEM_CANNOT_OPEN;
    if (!pattern || !pattern[0]) return VORLEX_ZMODEM_CANNOT_OPEN;
    char dir[MAX_PATH];
    if (!isBlankText(directory)) {
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
            result = zmodemBatchFile(*h, window, dir, found.cFileName, index);
        else
            result = blockBatchFile(*h, window, protocol, dir, found.cFileName, index);
        index++;
    } while (result == 0 && FindNextFileA(find, &found));
    FindClose(find);
    if (protocol == 6)
        zmodemBatchFile(*h, window, nullptr, nullptr, -1);
    else
        blockBatchFile(*h, window, protocol, nullptr, nullptr, -1);
    return result;
}

LONG WINAPI Func024(LONG port, HWND window, LPCSTR directory) { return zmodemReceiveInto(port, window, directory); }

} // extern "C"

LONG vorlex::zmodemReceiveInto(LONG port, HWND window, LPCSTR directory) {
    PortHold h(port);
    if (!h) return VORLEX_ZMODEM_DOWNLOAD_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    Session &s = *h;
    LONG result = 0;
    TransferRecord *t = startTransfer(
        s, window, {VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, VORLEX_ZMODEM_BUSY, VORLEX_ZMODEM_DOWNLOAD_NO_MEMORY}, true, &result);
    if (!t) return result;
    if (t->showWindow && !openProgressWindow(s, window, kTemplateReceive, "Zmodem Receive")) {
        sendCancelSequence(s);
        result = VORLEX_ZMODEM_NO_WINDOW;
    } else {
        t->jobName = isBlankText(directory) ? nullptr : directory;
        t->jobKind = kJobZmodemReceiveJobName;
        result = runTransferJob(s);
    }
    endTransfer(s, window);
    return result;
}

extern "C" {

void WINAPI Func085(LONG port, VorlexProgressCallback callback) {
    if (PortHold h{port}) h.rec().progressCallback = callback;
}

void WINAPI Func030(LONG port) {
    if (PortHold h{port}) h.rec().showFileErrors = 1;
}

} // extern "C"
