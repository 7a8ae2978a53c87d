// Share modes: the in-process table and the lock bytes seen by other processes.
#include "share.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace winapi::share {
namespace {

// Lock bytes: "has" read, write, delete, then "denies" read, write, delete.
const off_t kLockBase = static_cast<off_t>(LLONG_MAX - 64);
const int kKinds = 3;
off_t hasByte(int kind) { return kLockBase + kind; }
off_t deniesByte(int kind) { return kLockBase + kKinds + kind; }

struct Table {
    std::mutex mu;
    std::map<std::pair<dev_t, ino_t>, std::vector<Claim *>> opens;
};

Table &table() {
    static auto *t = new Table;
    return *t;
}

bool conflicts(DWORD accessA, DWORD shareA, DWORD accessB, DWORD shareB) {
    return (accessA & ~shareB) != 0 || (accessB & ~shareA) != 0;
}

// Whether another open file description holds a lock on the byte.
bool lockedElsewhere(int fd, off_t byte) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

bool lockByte(int fd, off_t byte, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool canHoldLocks(int fd) {
    int fl = fcntl(fd, F_GETFL);
    if (fl < 0 || (fl & O_PATH)) return false;
    return (fl & O_ACCMODE) != O_WRONLY; // a shared lock needs read access
}

// Serialises the check and the taking of lock bytes between processes. The
// gate is held for microseconds; a program that holds flock() on the file
// for its own purposes delays us at most a second, after which the check
// goes ahead unserialised rather than hanging the open.
struct Gate {
    explicit Gate(int f) : fd(f) {
        for (int i = 0; i < 100; i++) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                held = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            usleep(10000);
        }
    }
    ~Gate() {
        if (held) flock(fd, LOCK_UN);
    }
    int fd;
    bool held = false;
};

// Whether an open with these bits would conflict with another process's.
bool otherProcessConflicts(int fd, DWORD access, DWORD share) {
    for (int k = 0; k < kKinds; k++) {
        DWORD bit = DWORD(1) << k;
        if ((access & bit) && lockedElsewhere(fd, deniesByte(k))) return true;
        if (!(share & bit) && lockedElsewhere(fd, hasByte(k))) return true;
    }
    return false;
}

} // namespace

DWORD accessBits(DWORD a) {
    DWORD bits = 0;
    if (a & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA | FILE_EXECUTE)) bits |= kRead;
    if (a & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) bits |= kWrite;
    if (a & (GENERIC_ALL | DELETE)) bits |= kDelete;
    return bits;
}

bool acquire(int fd, bool regular, dev_t dev, ino_t ino, DWORD access, DWORD share, Claim &claim) {
    claim = Claim{dev, ino, access, share & (kRead | kWrite | kDelete), -1, false};
    // An open that touches no data takes part in no sharing decision.
    if (access == 0) return true;
    Table &t = table();
    std::lock_guard<std::mutex> lk(t.mu);
    auto &list = t.opens[{dev, ino}];
    for (Claim *c : list) {
        if (conflicts(access, claim.share, c->access, c->share)) {
            if (list.empty()) t.opens.erase({dev, ino});
            SetLastError(ERROR_SHARING_VIOLATION);
            return false;
        }
    }
    if (regular && canHoldLocks(fd)) {
        Gate gate(fd);
        if (otherProcessConflicts(fd, access, claim.share)) {
            if (list.empty()) t.opens.erase({dev, ino});
            SetLastError(ERROR_SHARING_VIOLATION);
            return false;
        }
        for (int k = 0; k < kKinds; k++) {
            DWORD bit = DWORD(1) << k;
            if (access & bit) lockByte(fd, hasByte(k), F_RDLCK);
            if (!(claim.share & bit)) lockByte(fd, deniesByte(k), F_RDLCK);
        }
        claim.lockFd = fd;
    }
    claim.active = true;
    list.push_back(&claim);
    return true;
}

void release(Claim &claim) {
    if (!claim.active) return;
    Table &t = table();
    std::lock_guard<std::mutex> lk(t.mu);
    auto it = t.opens.find({claim.dev, claim.ino});
    if (it != t.opens.end()) {
        auto &list = it->second;
        for (size_t i = 0; i < list.size(); i++) {
            if (list[i] == &claim) {
                list.erase(list.begin() + static_cast<long>(i));
                break;
            }
        }
        if (list.empty()) t.opens.erase(it);
    }
    if (claim.lockFd >= 0) {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = kLockBase;
        fl.l_len = 2 * kKinds;
        fcntl(claim.lockFd, F_OFD_SETLK, &fl);
        claim.lockFd = -1;
    }
    claim.active = false;
}

bool deleteAllowed(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return true; // the caller reports the missing entry
    {
        Table &t = table();
        std::lock_guard<std::mutex> lk(t.mu);
        auto it = t.opens.find({st.st_dev, st.st_ino});
        if (it != t.opens.end()) {
            for (Claim *c : it->second) {
                if (!(c->share & kDelete)) {
                    SetLastError(ERROR_SHARING_VIOLATION);
                    return false;
                }
            }
        }
    }
    if (!S_ISREG(st.st_mode)) return true;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return true;
    struct stat st2;
    bool denied = fstat(fd, &st2) == 0 && st2.st_dev == st.st_dev && st2.st_ino == st.st_ino &&
                  lockedElsewhere(fd, deniesByte(2));
    ::close(fd);
    if (denied) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    return true;
}

} // namespace winapi::share
