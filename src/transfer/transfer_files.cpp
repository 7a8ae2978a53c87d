// Files of the transfers and the names received from the other side.
#include "transfer_files.h"

#include "port/port.h"

#include <cstring>

#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif

namespace vorlex {

namespace {

// Seconds between 1601 (FILETIME) and 1970.
constexpr unsigned long long kEpochDifference = 11644473600ull;

DWORD unixTime(const FILETIME &ft) {
    unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    unsigned long long seconds = t / 10000000ull;
    if (seconds < kEpochDifference) return 0;
    seconds -= kEpochDifference;
    return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(seconds);
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// CON, NUL, COM1 and their kin open devices, with or without an extension.
bool isDeviceName(const char *name) {
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    char base[8];
    size_t n = 0;
    while (name[n] && name[n] != '.' && name[n] != ' ') {
        if (n == sizeof base - 1) return false;
        base[n] = upper(name[n]);
        n++;
    }
    base[n] = '\0';
    for (const char *d : devices)
        if (std::strcmp(base, d) == 0) return true;
    return n == 4 && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) && base[3] >= '0' &&
           base[3] <= '9';
}

} // namespace

HANDLE openFileToSend(LPCSTR path, DWORD *size, DWORD *time, DWORD *error) {
    *error = 0;
    if (!path || !*path) {
        *error = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return file;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        *error = GetLastError();
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    if (high != 0) {
        // Positions on the wire are 32-bit: never send with wrapped ones.
        *error = ERROR_FILE_TOO_LARGE;
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    *size = low;
    FILETIME written;
    if (GetFileTime(file, nullptr, nullptr, &written)) *time = unixTime(written);
    return file;
}

HANDLE createReceivedFile(LPCSTR path, DWORD *error) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    *error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return file;
}

DWORD readFromFile(HANDLE file, void *buffer, DWORD count) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, count, &got, nullptr)) return 0;
    return got;
}

DWORD writeToFile(HANDLE file, const void *buffer, DWORD count) {
    DWORD done = 0;
    const BYTE *p = static_cast<const BYTE *>(buffer);
    while (done < count) {
        DWORD n = 0;
        if (!WriteFile(file, p + done, count - done, &n, nullptr) || n == 0) break;
        done += n;
    }
    return done;
}

void cutFile(HANDLE file, DWORD length) {
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return;
    if (high == 0 && size <= length) return;
    LONG moveHigh = 0;
    if (SetFilePointer(file, static_cast<LONG>(length), &moveHigh, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return;
    SetEndOfFile(file);
}

void closeFile(HANDLE *file) {
    if (*file != INVALID_HANDLE_VALUE && *file) CloseHandle(*file);
    *file = INVALID_HANDLE_VALUE;
}

bool joinPath(char *out, size_t size, LPCSTR directory, LPCSTR name) {
    if (!name) name = "";
    const bool blank = !directory || !*directory || *directory == ' ';
    size_t d = blank ? 0 : std::strlen(directory);
    size_t n = std::strlen(name);
    size_t need = (blank ? 0 : d + 1) + n + 1;
    if (need > size) {
        if (size) out[0] = '\0';
        return false;
    }
    char *p = out;
    if (!blank) {
        std::memcpy(p, directory, d);
        p += d;
        *p++ = '\\';
    }
    std::memcpy(p, name, n + 1);
    return true;
}

LPCSTR bareName(LPCSTR path) {
    if (!path) return "";
    if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':') path += 2;
    LPCSTR name = path;
    for (LPCSTR p = path; *p; p++)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

bool receivedName(const char *sent, size_t sentLength, char *name, size_t size, DWORD *error) {
    // The sender's text up to its NUL, within what it sent.
    size_t len = 0;
    while (len < sentLength && sent[len]) len++;
    char whole[1025];
    if (len >= sizeof whole) len = sizeof whole - 1;
    std::memcpy(whole, sent, len);
    whole[len] = '\0';
    const char *bare = bareName(whole);
    size_t n = std::strlen(bare);
    *error = ERROR_INVALID_NAME;
    if (size) name[0] = '\0';
    if (n == 0) return false;
    bool onlyDots = true;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(bare[i]);
        if (c < 0x20 || c == 0x7F || c == ':') return false;
        if (c != '.' && c != ' ') onlyDots = false;
    }
    // ".", ".." and the like lead out of the directory (or are it).
    if (onlyDots || isDeviceName(bare)) return false;
    if (n + 1 > size) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    std::memcpy(name, bare, n + 1);
    *error = 0;
    return true;
}

void systemErrorText(DWORD error, char *text, size_t size) {
    if (!size) return;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             static_cast<DWORD>(size), nullptr);
    if (n == 0) {
        wsprintfA(text, "%lu", static_cast<unsigned long>(error));
        return;
    }
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
}

void showFileError(Session &s, LPCSTR caption, LPCSTR path, DWORD error) {
    if (!s.rec().showFileErrors) return;
    char reason[256];
    systemErrorText(error, reason, sizeof reason);
    messageBox(nullptr, caption, MB_ICONHAND, "%s\n%s\nError: %s", "Unable To Open File!", path ? path : "", reason);
}

void showFileErrorAlone(Session &s, LPCSTR caption) {
    if (!s.rec().showFileErrors) return;
    messageBox(nullptr, caption, MB_ICONHAND, "%s", "Unable To Open File!");
}

} // namespace vorlex
