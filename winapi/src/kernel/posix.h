// Translations between POSIX and Win32 that the file, directory, find and
// process functions share: paths, errno values, file times and attributes,
// and the Win32 rule for copying text into a caller's buffer.
#pragma once

#include <windows.h>

#include <sys/stat.h>
#include <time.h>

#include <string>

namespace winapi {

// The POSIX form of a Win32 path: every backslash becomes a slash. Drive
// prefixes ("C:") are not understood and stay part of the name.
std::string posixPath(const char *path);

// The name under which an existing entry answers a Win32 path, whose names
// compare without regard to case: when the path does not exist as written,
// each component that is missing is looked up in its directory ignoring the
// case of ASCII letters (an exact name always wins; among several that differ
// only in case the first in byte order). From the first component that has
// no match on, the path stays as given, so a new file keeps its given case.
std::string resolvePathCase(const std::string &path);

// The Win32 error for an errno value.
DWORD errorFromErrno(int err);
// The same for a failed call on a path: a missing entry is
// ERROR_FILE_NOT_FOUND when its directory exists, else ERROR_PATH_NOT_FOUND.
DWORD errorFromPathErrno(int err, const std::string &path);
// Sets the last error from errno and returns FALSE, for one-line failures.
BOOL failWithErrno(int err);
BOOL failWithPathErrno(int err, const std::string &path);

// What Win32 reports about a file: attributes, size and the three times.
struct FileInfo {
    DWORD attributes = 0;
    uint64_t size = 0;
    FILETIME creation{}, access{}, write{};
    dev_t dev = 0;
    ino_t ino = 0;
    mode_t mode = 0;
};
// Fills info for a path (relative to dirfd, AT_FDCWD for the current
// directory, or the file itself with an empty path and AT_EMPTY_PATH).
// Returns 0 or an errno value.
int queryFile(int dirfd, const char *path, int flags, FileInfo &info);
DWORD attributesFromMode(mode_t mode);

FILETIME fileTimeFromTimespec(const timespec &ts);
timespec timespecFromFileTime(const FILETIME &ft);

// The Win32 rule for returning text: when it fits (with its NUL) it is
// copied and its length returned; otherwise the buffer is left alone and the
// size needed, NUL included, is returned.
DWORD copyOut(const std::string &text, char *buffer, DWORD size);

// Case-insensitive comparison of ASCII letters, as Win32 names compare.
bool equalNoCase(const std::string &a, const std::string &b);

} // namespace winapi
