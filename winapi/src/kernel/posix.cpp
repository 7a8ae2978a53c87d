// Shared POSIX-to-Win32 translations: paths, errno, file times, attributes.
#include "posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

namespace winapi {

std::string posixPath(const char *path) {
    std::string p = path ? path : "";
    for (char &c : p)
        if (c == '\\') c = '/';
    return p;
}

// The entry of dir whose name equals name ignoring case, or "" when none does.
static std::string entryNoCase(const std::string &dir, const std::string &name) {
    DIR *d = opendir(dir.c_str());
    if (!d) return std::string();
    std::string found;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (equalNoCase(n, name) && (found.empty() || n < found)) found = n;
    }
    closedir(d);
    return found;
}

std::string resolvePathCase(const std::string &path) {
    struct stat st;
    if (path.empty() || lstat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return path;
    std::string out;
    size_t i = 0;
    if (path[0] == '/') {
        out = "/";
        i = 1;
    }
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string part = path.substr(i, j - i);
        if (!part.empty() && part != "." && part != ".." && lstat((out + part).c_str(), &st) != 0) {
            std::string match = errno == ENOENT ? entryNoCase(out.empty() ? "." : out, part) : std::string();
            if (match.empty()) return out + path.substr(i);
            part = match;
        }
        out += part;
        if (j < path.size()) out += '/';
        i = j + 1;
    }
    return out;
}

DWORD errorFromErrno(int err) {
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
    case E2BIG: return ERROR_FILENAME_EXCED_RANGE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EBUSY: return ERROR_BUSY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENXIO:
    case ENODEV: return ERROR_DEV_NOT_EXIST;
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_GEN_FAILURE;
    }
}

DWORD errorFromPathErrno(int err, const std::string &path) {
    if (err != ENOENT) return errorFromErrno(err);
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
    std::string dir = slash == 0 ? "/" : p.substr(0, slash);
    struct stat st;
    if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

BOOL failWithErrno(int err) {
    SetLastError(errorFromErrno(err));
    return FALSE;
}

BOOL failWithPathErrno(int err, const std::string &path) {
    SetLastError(errorFromPathErrno(err, path));
    return FALSE;
}

// FILETIME counts 100 ns from 1601-01-01; Unix time starts 11644473600 s later.
static const int64_t kEpochDelta = 116444736000000000ll;

FILETIME fileTimeFromTimespec(const timespec &ts) {
    int64_t v = int64_t(ts.tv_sec) * 10000000 + ts.tv_nsec / 100 + kEpochDelta;
    if (v < 0) v = 0;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(uint64_t(v));
    ft.dwHighDateTime = static_cast<DWORD>(uint64_t(v) >> 32);
    return ft;
}

timespec timespecFromFileTime(const FILETIME &ft) {
    int64_t v = int64_t((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - kEpochDelta;
    int64_t secs = v / 10000000, rest = v % 10000000;
    if (rest < 0) {
        rest += 10000000;
        secs--;
    }
    timespec ts;
    ts.tv_sec = static_cast<time_t>(secs);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

DWORD attributesFromMode(mode_t mode) {
    DWORD a = 0;
    if (S_ISDIR(mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
    // Win32 has one read-only bit; a file nobody may write carries it.
    if ((mode & 0222) == 0) a |= FILE_ATTRIBUTE_READONLY;
    return a ? a : FILE_ATTRIBUTE_NORMAL;
}

static timespec fromStatx(const statx_timestamp &t) {
    timespec ts;
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return ts;
}

int queryFile(int dirfd, const char *path, int flags, FileInfo &info) {
    struct statx sx;
    if (statx(dirfd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        if (errno != ENOSYS) return errno;
        struct stat st;
        if (fstatat(dirfd, path, &st, flags) != 0) return errno;
        info.mode = st.st_mode;
        info.size = static_cast<uint64_t>(st.st_size);
        info.dev = st.st_dev;
        info.ino = st.st_ino;
        info.write = fileTimeFromTimespec(st.st_mtim);
        info.access = fileTimeFromTimespec(st.st_atim);
        info.creation = info.write;
        info.attributes = attributesFromMode(st.st_mode);
        return 0;
    }
    info.mode = sx.stx_mode;
    info.size = sx.stx_size;
    info.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    info.ino = sx.stx_ino;
    info.write = fileTimeFromTimespec(fromStatx(sx.stx_mtime));
    info.access = fileTimeFromTimespec(fromStatx(sx.stx_atime));
    // File systems without a birth time give the last write instead.
    info.creation = (sx.stx_mask & STATX_BTIME) ? fileTimeFromTimespec(fromStatx(sx.stx_btime)) : info.write;
    info.attributes = attributesFromMode(sx.stx_mode);
    return 0;
}

DWORD copyOut(const std::string &text, char *buffer, DWORD size) {
    if (buffer && size > text.size()) {
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return static_cast<DWORD>(text.size());
    }
    return static_cast<DWORD>(text.size() + 1);
}

bool equalNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

} // namespace winapi
