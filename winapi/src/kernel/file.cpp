// Files: CreateFileA on ordinary files and devices that are not serial
// ports, reading and writing (FILE_FLAG_OVERLAPPED completes at once and
// fills the OVERLAPPED), the file pointer, size, end of file, flushing, type
// and times. Offsets are 64-bit throughout.
#define _FILE_OFFSET_BITS 64
#include "file.h"

#include "../comm/device.h"
#include "posix.h"
#include "share.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <set>

namespace winapi {
namespace {

using share::kDelete;
using share::kRead;
using share::kWrite;

class DiskFile : public FileObject {
public:
    DiskFile(int fd, DWORD desired, DWORD bits, bool overlapped, mode_t mode)
        : FileObject(ObjectType::File), fd_(fd), desired_(desired), access_(bits), overlapped_(overlapped),
          regular_(S_ISREG(mode)), directory_(S_ISDIR(mode)), mode_(mode) {}
    ~DiskFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool onLastHandleClosed() override;
    BOOL read(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) override;
    BOOL write(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) override;

    int fd() const { return fd_; }
    DWORD access() const { return access_; }
    DWORD desired() const { return desired_; }
    mode_t mode() const { return mode_; }
    std::mutex &positionMutex() { return posMu_; }

    share::Claim claim;
    std::string deleteOnClose; // absolute path, when FILE_FLAG_DELETE_ON_CLOSE
    bool inheritable = false;

private:
    // Transfers at the file pointer (offset < 0) or at an offset; a regular
    // file is read until n bytes or its end, anything else once.
    ssize_t readAt(void *buf, size_t n, int64_t offset);
    ssize_t writeAt(const void *buf, size_t n, int64_t offset, int &err);

    const int fd_;
    const DWORD desired_;
    const DWORD access_;
    const bool overlapped_;
    const bool regular_;
    const bool directory_;
    const mode_t mode_;
    std::mutex posMu_; // a synchronous handle moves its pointer one operation at a time
};

struct Inheritable {
    std::mutex mu;
    std::set<DiskFile *> files;
};
Inheritable &inheritables() {
    static auto *i = new Inheritable;
    return *i;
}

bool DiskFile::onLastHandleClosed() {
    share::release(claim);
    if (inheritable) {
        std::lock_guard<std::mutex> lk(inheritables().mu);
        inheritables().files.erase(this);
    }
    if (!deleteOnClose.empty()) ::unlink(deleteOnClose.c_str());
    return true;
}

ssize_t DiskFile::readAt(void *buf, size_t n, int64_t offset) {
    auto *p = static_cast<char *>(buf);
    size_t got = 0;
    while (got < n) {
        ssize_t r = offset < 0 || !regular_ ? ::read(fd_, p + got, n - got)
                                             : ::pread(fd_, p + got, n - got, offset + int64_t(got));
        if (r < 0) {
            if (errno == EINTR) continue;
            if (got) break;
            return -1;
        }
        if (r == 0) break;
        got += size_t(r);
        if (!regular_) break;
    }
    return ssize_t(got);
}

ssize_t DiskFile::writeAt(const void *buf, size_t n, int64_t offset, int &err) {
    auto *p = static_cast<const char *>(buf);
    size_t put = 0;
    err = 0;
    while (put < n) {
        ssize_t r = offset < 0 || !regular_ ? ::write(fd_, p + put, n - put)
                                             : ::pwrite(fd_, p + put, n - put, offset + int64_t(put));
        if (r < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        put += size_t(r);
    }
    return ssize_t(put);
}

uint64_t offsetOf(const OVERLAPPED *ov) { return (uint64_t(ov->OffsetHigh) << 32) | ov->Offset; }

BOOL DiskFile::read(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) {
    if (done) *done = 0;
    if (!(access_ & kRead)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (directory_) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!ov) {
        if (overlapped_) { // an overlapped handle has no file pointer to read at
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::lock_guard<std::mutex> lk(posMu_);
        ssize_t r = readAt(buf, n, -1);
        if (r < 0) return failWithErrno(errno);
        if (done) *done = DWORD(r);
        return TRUE;
    }
    uint64_t off = offsetOf(ov);
    if (off > uint64_t(LLONG_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::unique_lock<std::mutex> lk(posMu_, std::defer_lock);
    if (!overlapped_) lk.lock();
    markPending(ov);
    ssize_t r = readAt(buf, n, int64_t(off));
    DWORD err = ERROR_SUCCESS;
    if (r < 0) err = errorFromErrno(errno);
    else if (r == 0 && n > 0 && regular_) err = ERROR_HANDLE_EOF;
    if (err != ERROR_SUCCESS) {
        completeOverlapped(ov, statusFromError(err), 0);
        SetLastError(err);
        return FALSE;
    }
    // A synchronous handle reads at the offset and leaves its pointer after the bytes.
    if (!overlapped_ && regular_) ::lseek(fd_, off_t(off + uint64_t(r)), SEEK_SET);
    if (done) *done = DWORD(r);
    completeOverlapped(ov, 0, DWORD(r));
    return TRUE;
}

BOOL DiskFile::write(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) {
    if (done) *done = 0;
    if (!(access_ & kWrite)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (directory_) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    int err = 0;
    if (!ov) {
        if (overlapped_) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::lock_guard<std::mutex> lk(posMu_);
        ssize_t r = writeAt(buf, n, -1, err);
        if (done) *done = DWORD(r);
        return err ? failWithErrno(err) : TRUE;
    }
    std::unique_lock<std::mutex> lk(posMu_, std::defer_lock);
    if (!overlapped_) lk.lock();
    uint64_t off = offsetOf(ov);
    if (off == ~uint64_t(0)) { // both halves 0xFFFFFFFF: write at the end of the file
        struct stat st;
        off = fstat(fd_, &st) == 0 ? uint64_t(st.st_size) : 0;
    }
    if (off > uint64_t(LLONG_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    markPending(ov);
    ssize_t r = writeAt(buf, n, int64_t(off), err);
    if (!overlapped_ && regular_) ::lseek(fd_, off_t(off + uint64_t(r)), SEEK_SET);
    if (done) *done = DWORD(r);
    if (err) {
        DWORD e = errorFromErrno(err);
        completeOverlapped(ov, statusFromError(e), DWORD(r));
        SetLastError(e);
        return FALSE;
    }
    completeOverlapped(ov, 0, DWORD(r));
    return TRUE;
}

// The file behind a handle; other handles give ERROR_INVALID_HANDLE, serial
// ports (which have no position or size) ERROR_INVALID_FUNCTION.
Ref<DiskFile> diskFileOf(HANDLE h) {
    Ref<Object> o = lookupHandle(h);
    if (!o) return Ref<DiskFile>();
    if (o->type() == ObjectType::File) return Ref<DiskFile>(static_cast<DiskFile *>(o.detach()));
    SetLastError(o->type() == ObjectType::Comm ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return Ref<DiskFile>();
}

// Device names that Win32 programs use for files.
bool isNulDevice(const std::string &p) {
    return equalNoCase(p, "NUL") || equalNoCase(p, "//./NUL");
}

int openFlagsFor(bool read, bool write) {
    return read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
}

// Opens an existing entry; returns the descriptor or -1 with errno set.
// A write-only open asks for read access too when it can get it, so that it
// can hold shared lock bytes; a query-only open falls back to O_PATH.
int openExisting(const std::string &path, bool read, bool write, int extra) {
    const int base = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extra;
    int fd;
    if (write && !read) {
        fd = ::open(path.c_str(), base | O_RDWR);
        if (fd >= 0 || (errno != EACCES && errno != EPERM && errno != ETXTBSY)) return fd;
        return ::open(path.c_str(), base | O_WRONLY);
    }
    fd = ::open(path.c_str(), base | openFlagsFor(true, write));
    if (fd < 0 && !read && !write && (errno == EACCES || errno == EPERM)) fd = ::open(path.c_str(), O_CLOEXEC | O_PATH);
    return fd;
}

HANDLE fail(DWORD err) {
    SetLastError(err);
    return INVALID_HANDLE_VALUE;
}

// Moves the pointer of a file as SetFilePointerEx does.
bool seek(DiskFile &f, int64_t distance, DWORD method, int64_t &result) {
    int64_t base;
    switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = ::lseek(f.fd(), 0, SEEK_CUR); break;
    case FILE_END: {
        struct stat st;
        base = fstat(f.fd(), &st) == 0 ? st.st_size : -1;
        break;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return false;
    }
    if (base < 0) {
        failWithErrno(errno);
        return false;
    }
    int64_t target;
    if (__builtin_add_overflow(base, distance, &target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (::lseek(f.fd(), off_t(target), SEEK_SET) < 0) {
        failWithErrno(errno);
        return false;
    }
    result = target;
    return true;
}

} // namespace

int fileDescriptorOf(HANDLE h, std::vector<Ref<Object>> &keep) {
    Ref<Object> o = lookupHandle(h);
    if (!o || o->type() != ObjectType::File) return -1;
    int fd = static_cast<DiskFile *>(o.get())->fd();
    keep.emplace_back(o.detach());
    return fd;
}

std::vector<int> inheritableDescriptors(std::vector<Ref<Object>> &keep) {
    std::vector<int> fds;
    std::lock_guard<std::mutex> lk(inheritables().mu);
    for (DiskFile *f : inheritables().files) {
        f->retain();
        keep.emplace_back(f);
        fds.push_back(f->fd());
    }
    return fds;
}

} // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD desired, DWORD shareMode, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                          DWORD flags, HANDLE) {
    if (!name || !*name) return fail(ERROR_PATH_NOT_FOUND);
    HANDLE comm;
    if (comm::tryOpen(name, desired, shareMode, flags, &comm)) return comm;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);

    const DWORD bits = share::accessBits(desired);
    if (disposition == TRUNCATE_EXISTING && !(bits & kWrite)) return fail(ERROR_INVALID_PARAMETER);
    std::string path = posixPath(name);
    if (isNulDevice(path)) path = "/dev/null";
    else if (path.rfind("//./", 0) == 0 || path.rfind("//?/", 0) == 0) return fail(ERROR_FILE_NOT_FOUND);
    else path = resolvePathCase(path); // an existing file is found whatever the case of its name

    const bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    const bool wantRead = (bits & kRead) != 0;
    const bool wantWrite = (bits & kWrite) != 0 || truncate;
    const int extra = (flags & FILE_FLAG_WRITE_THROUGH) ? O_DSYNC : 0;
    const mode_t createMode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

    // An existing file is opened without O_TRUNC: it is cut only once its
    // share mode has let us in.
    int fd = -1;
    bool created = false;
    for (int attempt = 0; fd < 0; attempt++) {
        if (attempt == 8) return fail(ERROR_SHARING_VIOLATION); // appears and vanishes under us
        if (disposition != CREATE_NEW) {
            struct stat st;
            if (stat(path.c_str(), &st) == 0) {
                if (S_ISDIR(st.st_mode)) {
                    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || truncate) return fail(ERROR_ACCESS_DENIED);
                    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                } else {
                    if (wantWrite && (st.st_mode & 0222) == 0) return fail(ERROR_ACCESS_DENIED); // read-only file
                    fd = openExisting(path, wantRead, wantWrite, extra);
                }
                if (fd >= 0) break;
            }
            if (errno != ENOENT) return fail(errorFromPathErrno(errno, path));
            if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)
                return fail(errorFromPathErrno(ENOENT, path));
        }
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | extra, createMode);
        if (fd >= 0) {
            created = true;
            break;
        }
        if (errno != EEXIST) return fail(errorFromPathErrno(errno, path));
        if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    }

    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0 && (fl & O_NONBLOCK)) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return fail(errorFromErrno(e));
    }
    auto *f = new DiskFile(fd, desired, bits, (flags & FILE_FLAG_OVERLAPPED) != 0, st.st_mode);
    if (!share::acquire(fd, S_ISREG(st.st_mode), st.st_dev, st.st_ino, bits, shareMode, f->claim)) {
        if (created) ::unlink(path.c_str());
        f->release();
        return INVALID_HANDLE_VALUE;
    }
    if (!created && truncate && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        int e = errno;
        share::release(f->claim);
        f->release();
        return fail(errorFromErrno(e));
    }
    if (flags & FILE_FLAG_DELETE_ON_CLOSE) {
        if (path[0] == '/') {
            f->deleteOnClose = path;
        } else {
            char cwd[PATH_MAX];
            f->deleteOnClose = std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + path;
        }
    }
    if (sa && sa->bInheritHandle) {
        f->inheritable = true;
        std::lock_guard<std::mutex> lk(inheritables().mu);
        inheritables().files.insert(f);
    }
    const bool existed = !created;
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                          : ERROR_SUCCESS);
    return insertHandle(f);
}

BOOL WINAPI SetFilePointerEx(HANDLE h, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method) {
    Ref<DiskFile> f = diskFileOf(h);
    if (!f) return FALSE;
    std::lock_guard<std::mutex> lk(f->positionMutex());
    int64_t pos;
    if (!seek(*f.get(), distance.QuadPart, method, pos)) return FALSE;
    if (newPosition) newPosition->QuadPart = pos;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE h, LONG distance, PLONG distanceHigh, DWORD method) {
    Ref<DiskFile> f = diskFileOf(h);
    if (!f) return INVALID_SET_FILE_POINTER;
    int64_t dist = distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance)) : distance;
    std::lock_guard<std::mutex> lk(f->positionMutex());
    if (!distanceHigh) {
        // Without a high part the new position must fit in 32 bits; the
        // pointer stays where it was otherwise.
        int64_t here = ::lseek(f->fd(), 0, SEEK_CUR), pos;
        if (!seek(*f.get(), dist, method, pos)) return INVALID_SET_FILE_POINTER;
        if (pos > int64_t(0xFFFFFFFF)) {
            ::lseek(f->fd(), off_t(here), SEEK_SET);
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        if (DWORD(pos) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
        return DWORD(pos);
    }
    int64_t pos;
    if (!seek(*f.get(), dist, method, pos)) return INVALID_SET_FILE_POINTER;
    *distanceHigh = LONG(uint64_t(pos) >> 32);
    if (DWORD(pos) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return DWORD(pos);
}

BOOL WINAPI GetFileSizeEx(HANDLE h, PLARGE_INTEGER size) {
    Ref<DiskFile> f = diskFileOf(h);
    if (!f) return FALSE;
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat st;
    if (fstat(f->fd(), &st) != 0) return failWithErrno(errno);
    size->QuadPart = st.st_size;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE h, LPDWORD sizeHigh) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) return INVALID_FILE_SIZE;
    if (sizeHigh) *sizeHigh = DWORD(uint64_t(size.QuadPart) >> 32);
    if (size.LowPart == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return size.LowPart;
}

BOOL WINAPI SetEndOfFile(HANDLE h) {
    Ref<DiskFile> f = diskFileOf(h);
    if (!f) return FALSE;
    if (!(f->access() & kWrite)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(f->positionMutex());
    off_t pos = ::lseek(f->fd(), 0, SEEK_CUR);
    if (pos < 0 || ftruncate(f->fd(), pos) != 0) return failWithErrno(errno);
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE h) {
    Ref<Object> o = lookupHandle(h);
    if (!o) return FALSE;
    if (o->type() == ObjectType::Comm) return o->asFile()->flush();
    if (o->type() != ObjectType::File) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto *f = static_cast<DiskFile *>(o.get());
    if (!(f->access() & kWrite)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (fsync(f->fd()) != 0 && errno != EINVAL && errno != EROFS) return failWithErrno(errno);
    return TRUE;
}

DWORD WINAPI GetFileType(HANDLE h) {
    Ref<Object> o = lookupHandle(h);
    if (!o) return FILE_TYPE_UNKNOWN;
    SetLastError(NO_ERROR);
    if (o->type() == ObjectType::Comm) return FILE_TYPE_CHAR;
    if (o->type() != ObjectType::File) return FILE_TYPE_UNKNOWN;
    mode_t m = static_cast<DiskFile *>(o.get())->mode();
    if (S_ISCHR(m)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(m) || S_ISSOCK(m)) return FILE_TYPE_PIPE;
    return FILE_TYPE_DISK;
}

BOOL WINAPI GetFileTime(HANDLE h, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
    Ref<DiskFile> f = diskFileOf(h);
    if (!f) return FALSE;
    FileInfo info;
    if (int e = queryFile(f->fd(), "", AT_EMPTY_PATH, info)) return failWithErrno(e);
    if (creation) *creation = info.creation;
    if (access) *access = info.access;
    if (write) *write = info.write;
    return TRUE;
}

// A null pointer, a zero time and the all-ones time all leave a time as it is.
static timespec timeToSet(const FILETIME *ft) {
    timespec ts{};
    ts.tv_nsec = UTIME_OMIT;
    if (!ft || (ft->dwLowDateTime == 0 && ft->dwHighDateTime == 0) ||
        (ft->dwLowDateTime == 0xFFFFFFFF && ft->dwHighDateTime == 0xFFFFFFFF))
        return ts;
    return timespecFromFileTime(*ft);
}

BOOL WINAPI SetFileTime(HANDLE h, const FILETIME *creation, const FILETIME *access, const FILETIME *write) {
    (void)creation; // POSIX keeps no settable creation time
    Ref<DiskFile> f = diskFileOf(h);
    if (!f) return FALSE;
    if (!(f->access() & kWrite) && !(f->desired() & FILE_WRITE_ATTRIBUTES)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    timespec times[2] = {timeToSet(access), timeToSet(write)};
    if (futimens(f->fd(), times) != 0) return failWithErrno(errno);
    return TRUE;
}

} // extern "C"
