// Directories and names: creating and removing directories, deleting and
// moving files, attributes, the current directory, full path names, the
// temporary directory and free disk space. Returned paths use '/'.
#define _FILE_OFFSET_BITS 64
#include "object.h"
#include "posix.h"
#include "share.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace winapi {
namespace {

bool badName(LPCSTR name, DWORD err = ERROR_PATH_NOT_FOUND) {
    if (name && *name) return false;
    SetLastError(name ? err : ERROR_INVALID_PARAMETER);
    return true;
}

std::string currentDirectory() {
    std::vector<char> buf(PATH_MAX);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return std::string();
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

// Copies a regular file to a new name, keeping its mode and times; for moves
// between file systems.
int copyFile(const std::string &from, const std::string &to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    struct stat st;
    if (fstat(in, &st) != 0) {
        int e = errno;
        ::close(in);
        return e;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        int e = errno;
        ::close(in);
        return e;
    }
    int err = 0;
    std::vector<char> buf(1 << 16);
    for (;;) {
        ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (r < 0) err = errno;
            break;
        }
        for (ssize_t off = 0; off < r && !err;) {
            ssize_t w = ::write(out, buf.data() + off, size_t(r - off));
            if (w < 0 && errno != EINTR) err = errno;
            if (w > 0) off += w;
        }
        if (err) break;
    }
    timespec times[2] = {st.st_atim, st.st_mtim};
    if (!err) futimens(out, times);
    if (::close(out) != 0 && !err) err = errno;
    ::close(in);
    if (err) ::unlink(to.c_str());
    return err;
}

// Joins a relative name to the current directory and resolves "." and ".."
// without looking at the file system; a trailing separator is kept.
std::string fullPath(const std::string &name) {
    std::string whole = name[0] == '/' ? name : currentDirectory() + "/" + name;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= whole.size()) {
        size_t j = whole.find('/', i);
        if (j == std::string::npos) j = whole.size();
        std::string part = whole.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string &p : parts) out += "/" + p;
    if (out.empty()) return "/";
    if (name.back() == '/') out += "/";
    return out;
}

} // namespace
} // namespace winapi

using namespace winapi;

extern "C" {

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    if (badName(name)) return FALSE;
    std::string p = resolvePathCase(posixPath(name));
    if (mkdir(p.c_str(), 0777) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        return failWithErrno(errno);
    }
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR name) {
    if (badName(name)) return FALSE;
    std::string p = resolvePathCase(posixPath(name));
    if (rmdir(p.c_str()) != 0) {
        if (errno == ENOTDIR) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        if (errno == EEXIST) errno = ENOTEMPTY;
        return failWithPathErrno(errno, p);
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    if (badName(name)) return FALSE;
    std::string p = resolvePathCase(posixPath(name));
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return failWithPathErrno(errno, p);
    // Win32 deletes neither directories nor read-only files.
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!share::deleteAllowed(p)) return FALSE;
    if (unlink(p.c_str()) != 0) return failWithPathErrno(errno, p);
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR from, LPCSTR to) {
    if (badName(from) || badName(to)) return FALSE;
    std::string src = resolvePathCase(posixPath(from)), dst = resolvePathCase(posixPath(to));
    struct stat st;
    if (lstat(src.c_str(), &st) != 0) return failWithPathErrno(errno, src);
    // A new name that differs from the old only in case renames the file
    // itself, as Win32 does; any other existing name, in any case, is taken.
    struct stat dt;
    if (lstat(dst.c_str(), &dt) == 0 && dt.st_dev == st.st_dev && dt.st_ino == st.st_ino) {
        const std::string given = posixPath(to);
        const size_t slash = given.rfind('/');
        dst = slash == std::string::npos ? given
                                         : resolvePathCase(given.substr(0, slash)) + given.substr(slash);
    }
    if (!share::deleteAllowed(src)) return FALSE;
    // The new name must be free; renameat2 refuses atomically where it can.
    if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return TRUE;
    int e = errno;
    if (e == EINVAL || e == ENOSYS) { // no RENAME_NOREPLACE on this file system
        if (lstat(dst.c_str(), &dt) == 0) e = EEXIST;
        else if (rename(src.c_str(), dst.c_str()) == 0) return TRUE;
        else e = errno;
    }
    if (e == EXDEV && S_ISREG(st.st_mode)) { // another file system: copy, then delete
        e = copyFile(src, dst);
        if (e == 0) {
            if (unlink(src.c_str()) == 0) return TRUE;
            e = errno;
            unlink(dst.c_str());
        }
    }
    if (e == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (e == ENOENT || e == ENOTDIR) {
        SetLastError(ERROR_PATH_NOT_FOUND); // the source exists: the target's directory does not
        return FALSE;
    }
    return failWithErrno(e);
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    if (badName(name, ERROR_FILE_NOT_FOUND)) return INVALID_FILE_ATTRIBUTES;
    std::string p = resolvePathCase(posixPath(name));
    struct stat st;
    if (stat(p.c_str(), &st) != 0) {
        // A dangling symbolic link is still an entry.
        if (errno != ENOENT || lstat(p.c_str(), &st) != 0) {
            SetLastError(errorFromPathErrno(errno, p));
            return INVALID_FILE_ATTRIBUTES;
        }
    }
    return attributesFromMode(st.st_mode);
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes) {
    if (badName(name, ERROR_FILE_NOT_FOUND)) return FALSE;
    std::string p = resolvePathCase(posixPath(name));
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return failWithPathErrno(errno, p);
    // Only the read-only bit has a POSIX meaning: it takes away every write
    // permission, and clearing it gives the owner write permission back.
    mode_t m = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY) m &= ~mode_t(0222);
    else if ((m & 0222) == 0) m |= 0200;
    if (m != (st.st_mode & 07777) && chmod(p.c_str(), m) != 0) return failWithErrno(errno);
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string cwd = currentDirectory();
    if (cwd.empty()) {
        failWithErrno(errno);
        return 0;
    }
    return copyOut(cwd, buffer, size);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR name) {
    if (badName(name)) return FALSE;
    std::string p = resolvePathCase(posixPath(name));
    if (chdir(p.c_str()) != 0) {
        if (errno == ENOTDIR) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        return failWithPathErrno(errno, p);
    }
    return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filePart) {
    if (badName(name, ERROR_INVALID_PARAMETER)) return 0;
    std::string full = fullPath(posixPath(name));
    DWORD r = copyOut(full, buffer, size);
    if (filePart && r == full.size()) {
        size_t slash = full.rfind('/');
        *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
    }
    return r;
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    // POSIX's TMPDIR first, then the variables Windows reads.
    std::string dir;
    for (const char *var : {"TMPDIR", "TMP", "TEMP"}) {
        const char *v = getenv(var);
        if (v && *v) {
            dir = posixPath(v);
            break;
        }
    }
    if (dir.empty()) dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    return copyOut(dir, buffer, size);
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR dir, ULONGLONG *available, ULONGLONG *total, ULONGLONG *free) {
    std::string p = dir && *dir ? posixPath(dir) : std::string(".");
    struct statvfs vfs;
    if (statvfs(p.c_str(), &vfs) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
        return FALSE;
    }
    if (available) *available = ULONGLONG(vfs.f_bavail) * vfs.f_frsize;
    if (total) *total = ULONGLONG(vfs.f_blocks) * vfs.f_frsize;
    if (free) *free = ULONGLONG(vfs.f_bfree) * vfs.f_frsize;
    return TRUE;
}

} // extern "C"
