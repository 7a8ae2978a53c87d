// Win32 share modes for files the layer opens.
//
// Inside the process a table of the open files decides, exactly as Win32
// does. Between processes, each open file holds shared OFD locks on bytes far
// beyond any real data, one byte per kind of access it has ("has read") and
// per kind it refuses to share ("denies write"); a new open looks for the
// locks it would conflict with while holding flock() on the file, so two
// processes cannot both pass the check. Only regular files carry lock bytes.
// These are advisory locks: only processes that use this layer see them, and
// a file that cannot be opened for reading (needed for a shared lock) is
// checked inside the process only.
#pragma once

#include <windows.h>

#include <sys/types.h>

#include <string>

namespace winapi::share {

// Kinds of access, the same bits as FILE_SHARE_READ, _WRITE and _DELETE.
enum : DWORD { kRead = 1, kWrite = 2, kDelete = 4 };

// The kinds of access a CreateFileA access mask asks for.
DWORD accessBits(DWORD desiredAccess);

// One open of a file, as far as sharing is concerned.
struct Claim {
    dev_t dev = 0;
    ino_t ino = 0;
    DWORD access = 0;
    DWORD share = 0;
    int lockFd = -1; // holds the lock bytes; owned by the file, not the claim
    bool active = false;
};

// Checks an open with these access bits and share mode against every other
// open of the file, and records it. False (ERROR_SHARING_VIOLATION set) when
// they conflict. fd is the new open's descriptor; regular says whether it is
// a regular file (only those carry lock bytes).
bool acquire(int fd, bool regular, dev_t dev, ino_t ino, DWORD access, DWORD share, Claim &claim);
// Forgets the open; its lock bytes are released.
void release(Claim &claim);

// Whether the entry at path may be deleted or renamed: false
// (ERROR_SHARING_VIOLATION set) while an open of it does not share delete.
bool deleteAllowed(const std::string &path);

} // namespace winapi::share
