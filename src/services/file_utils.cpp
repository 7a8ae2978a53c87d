// Directory helpers around file transfers: make a directory path, empty a
// directory of its files, read an environment variable.
#include <vorlex.h>

#include "services/file_utils.h"
#include "services/text_utils.h"

#include <atomic>
#include <cstring>

namespace {

// The Win32 path buffers hold MAX_PATH bytes with the NUL.
constexpr size_t kMaxPathChars = MAX_PATH - 1;

// Backslash is the library's separator; a slash is accepted too, as the
// file system accepts both.
bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDirectory(LPCSTR path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Library-wide state of the directory search of Func031.
struct FileIterator {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::atomic<LONG> active{0};
    WIN32_FIND_DATAA findData{};
};
FileIterator fileIterator;

// Joins directory, a backslash and name into out (MAX_PATH bytes); false when
// the result would not fit, so that nothing is ever cut to a different path.
bool joinPath(char *out, LPCSTR directory, LPCSTR name) {
    const size_t d = std::strlen(directory);
    const size_t n = std::strlen(name);
    if (d + 1 + n > kMaxPathChars) return false;
    std::memcpy(out, directory, d);
    out[d] = '\\';
    std::memcpy(out + d + 1, name, n + 1);
    return true;
}

} // namespace

namespace vorlex {

LONG makeDirectory(LPCSTR directory) {
    if (vorlex::isBlankText(directory)) return VORLEX_DIR_FAILED;
    const DWORD attributes = GetFileAttributesA(directory);
    // A file of that name is not the directory asked for.
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? VORLEX_DIR_OK : VORLEX_DIR_FAILED;
    if (CreateDirectoryA(directory, nullptr)) return VORLEX_DIR_OK;

    const size_t length = std::strlen(directory);
    if (length > kMaxPathChars) return VORLEX_DIR_FAILED;
    char parent[MAX_PATH];
    std::memcpy(parent, directory, length + 1);
    // Only the nearest separator: the call on the parent already walks every
    // shorter prefix, and trying each again would take exponential time on a
    // path that cannot be made at all.
    size_t cut = length;
    while (cut > 0 && !isSeparator(parent[cut - 1])) cut--;
    if (cut <= 1) return VORLEX_DIR_FAILED;
    parent[cut - 1] = '\0';
    if (makeDirectory(parent) != VORLEX_DIR_OK) return VORLEX_DIR_FAILED;
    CreateDirectoryA(directory, nullptr);
    return isDirectory(directory) ? VORLEX_DIR_OK : VORLEX_DIR_FAILED;
}

} // namespace vorlex

extern "C" {

LONG WINAPI Func054(LPCSTR directory) { return vorlex::makeDirectory(directory); }

LONG WINAPI Func031(LPCSTR directory) {
    // An empty path would name the root of the current drive.
    if (!directory || directory[0] == '\0') return 0;
    // One search at a time in the process; a second finds nothing.
    if (fileIterator.active.exchange(1)) return 0;

    char path[MAX_PATH];
    if (joinPath(path, directory, "*.*")) {
        fileIterator.handle = FindFirstFileA(path, &fileIterator.findData);
        if (fileIterator.handle != INVALID_HANDLE_VALUE) {
            do {
                if (fileIterator.findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                // A name that does not fit is skipped rather than cut to another file's name.
                if (joinPath(path, directory, fileIterator.findData.cFileName)) DeleteFileA(path);
            } while (FindNextFileA(fileIterator.handle, &fileIterator.findData));
            FindClose(fileIterator.handle);
            fileIterator.handle = INVALID_HANDLE_VALUE;
        }
    }
    fileIterator.active.store(0);
    return 0;
}

LONG WINAPI Func021(LPSTR nameAndValue) {
    if (!nameAndValue) return VORLEX_ENV_NOT_FOUND;
    char value[100];
    // The name is read from the buffer that then receives the value.
    const DWORD length = GetEnvironmentVariableA(nameAndValue, value, sizeof value);
    // A value too long for the buffer counts as not found, never as a cut value.
    if (length == 0 || length >= sizeof value) {
        nameAndValue[0] = '\0';
        return VORLEX_ENV_NOT_FOUND;
    }
    std::memcpy(nameAndValue, value, length + 1);
    return VORLEX_ENV_FOUND;
}

} // extern "C"
