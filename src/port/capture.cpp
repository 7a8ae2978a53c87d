// Capture buffer of each port.
#include "port/capture.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

namespace {

CaptureRecord *recordOf(LONG port) { return validPort(port) ? sessionAt(port).capture.load() : nullptr; }

// Writes all of data to the open file; the count actually written.
DWORD writeAll(HANDLE file, const BYTE *data, DWORD count) {
    DWORD total = 0;
    while (total < count) {
        DWORD written = 0;
        if (!WriteFile(file, data + total, count - total, &written, nullptr) || written == 0) break;
        total += written;
    }
    return total;
}

void flushRecord(LONG port, CaptureRecord *record) {
    if (record->captureFile[0] == '\0')
        std::snprintf(record->captureFile, kCaptureNameSize, "TERM%d.CAP", static_cast<int>(port + 4));
    // Others may read the file while capture goes on, but not write it.
    HANDLE file = CreateFileA(record->captureFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    LONG high = 0; // files past 4 GB append as well
    SetLastError(NO_ERROR);
    if (SetFilePointer(file, 0, &high, FILE_END) != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR)
        written = writeAll(file, record->captureBuffer, record->captureCount);
    CloseHandle(file);
    // Whatever a full disk refused stays for the next flush.
    const DWORD left = record->captureCount - written;
    if (left > 0 && written > 0) std::memmove(record->captureBuffer, record->captureBuffer + written, left);
    record->captureCount = left;
    record->captureWrite = record->captureBuffer + left;
}

void appendByte(LONG port, CaptureRecord *record, BYTE byte) {
    if (record->captureCount >= kCaptureBufferSize) {
        // Full because the file could not be opened: one more try, then the
        // byte is dropped and the older bytes kept.
        flushRecord(port, record);
        if (record->captureCount >= kCaptureBufferSize) return;
    }
    *record->captureWrite++ = byte;
    record->captureCount++;
    if (record->captureCount >= kCaptureFlushCount) flushRecord(port, record);
}

} // namespace

void flushCapture(LONG port) {
    if (CaptureRecord *record = recordOf(port)) flushRecord(port, record);
}

bool hasCapture(LONG port) { return recordOf(port) != nullptr; }

bool captureIsEnabled(LONG port) {
    const CaptureRecord *record = recordOf(port);
    return record && record->captureEnabled;
}

LONG captureOn(LONG port) {
    if (!validPort(port)) return VORLEX_CAPTURE_BAD_PORT;
    std::atomic<CaptureRecord *> &slot = sessionAt(port).capture;
    if (slot.load()) return VORLEX_CAPTURE_OK;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(CaptureRecord));
    if (!memory) return VORLEX_CAPTURE_NO_MEMORY;
    auto *record = static_cast<CaptureRecord *>(GlobalLock(memory));
    if (!record) {
        GlobalFree(memory);
        return VORLEX_CAPTURE_NO_MEMORY;
    }
    record->captureMemory = memory;
    record->captureWrite = record->captureBuffer;
    record->captureEnabled = 1;
    slot.store(record);
    return VORLEX_CAPTURE_OK;
}

LONG captureOff(LONG port) {
    if (!validPort(port)) return VORLEX_CAPTURE_BAD_PORT;
    CaptureRecord *record = sessionAt(port).capture.load();
    if (!record) return VORLEX_CAPTURE_OK;
    if (record->captureCount > 0) flushRecord(port, record);
    const LONG result = record->captureCount > 0 ? VORLEX_CAPTURE_NOT_WRITTEN : VORLEX_CAPTURE_OK;
    sessionAt(port).capture.store(nullptr);
    HGLOBAL memory = record->captureMemory;
    GlobalUnlock(memory);
    GlobalFree(memory);
    return result;
}

void captureToFile(LONG port, LPCSTR fileName) {
    CaptureRecord *record = recordOf(port);
    if (!record) return;
    // The pending bytes belong to the old file.
    if (record->captureCount > 0) flushRecord(port, record);
    size_t length = fileName ? std::strlen(fileName) : 0;
    if (length > kCaptureNameSize - 1) length = kCaptureNameSize - 1;
    if (length) std::memcpy(record->captureFile, fileName, length);
    record->captureFile[length] = '\0';
}

void captureBytes(LONG port, const void *bytes, DWORD count) {
    CaptureRecord *record = recordOf(port);
    if (!record || !bytes) return;
    const BYTE *p = static_cast<const BYTE *>(bytes);
    for (DWORD i = 0; i < count; i++) appendByte(port, record, p[i]);
}

void captureText(LONG port, const char *text) {
    if (text) captureBytes(port, text, static_cast<DWORD>(std::strlen(text)));
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func067(LONG port, LONG on) { return on ? captureOn(port) : captureOff(port); }

void WINAPI Func068(LONG port, LPCSTR fileName) { captureToFile(port, fileName); }

void WINAPI Func072(LONG port, LONG byte) {
    const BYTE b = static_cast<BYTE>(byte);
    captureBytes(port, &b, 1);
}

void WINAPI Func004(LONG port, LPCSTR text) { captureText(port, text); }

void WINAPI Func087(LONG port, LPCSTR buffer, DWORD count) { captureBytes(port, buffer, count); }

} // extern "C"
