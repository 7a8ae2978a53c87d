// Global and local memory. A fixed block is its own handle, as on Windows; a
// moveable block has a handle of its own that carries the lock count. Every
// block is registered, so a stray or freed handle fails with
// ERROR_INVALID_HANDLE instead of corrupting the heap.
#include "object.h"

#include <cstdint>
#include <cstdlib>
#include <unordered_map>

namespace winapi {
namespace {

struct Block {
    void *data;     // null for a moveable block of size 0 (born discarded)
    SIZE_T size;
    bool moveable;
    UINT flags;
    unsigned locks = 0;
};

// Fixed blocks are keyed by their data pointer; moveable ones by the address
// of their Block, which is their handle. Both are live heap addresses, so
// they never collide.
struct Registry {
    std::mutex mu;
    std::unordered_map<uintptr_t, Block *> blocks;
    std::unordered_map<uintptr_t, uintptr_t> handleOfData; // moveable data -> handle
};

Registry &registry() {
    static auto *r = new Registry; // outlives static destructors: blocks may be freed late
    return *r;
}

uintptr_t key(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// Larger requests fail cleanly rather than reaching the allocator.
const SIZE_T kMaxBytes = static_cast<SIZE_T>(PTRDIFF_MAX) / 2;

Block *findLocked(Registry &r, HGLOBAL h) {
    auto it = r.blocks.find(key(h));
    return it == r.blocks.end() ? nullptr : it->second;
}

HGLOBAL allocate(UINT flags, SIZE_T bytes) {
    if (bytes > kMaxBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const bool zero = (flags & GMEM_ZEROINIT) != 0;
    const bool moveable = (flags & GMEM_MOVEABLE) != 0;
    void *data = nullptr;
    if (!moveable || bytes > 0) {
        SIZE_T n = bytes ? bytes : 1; // a fixed block of size 0 still needs a distinct address
        data = zero ? std::calloc(1, n) : std::malloc(n);
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    auto *b = new Block{data, bytes, moveable, flags};
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.mu);
    if (!moveable) {
        r.blocks[key(data)] = b;
        return data;
    }
    r.blocks[key(b)] = b;
    if (data) r.handleOfData[key(data)] = key(b);
    return b;
}

LPVOID lock(HGLOBAL h) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.mu);
    Block *b = findLocked(r, h);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!b->moveable) return b->data;
    if (!b->data) {
        SetLastError(ERROR_DISCARDED);
        return nullptr;
    }
    if (b->locks < GMEM_LOCKCOUNT) b->locks++;
    return b->data;
}

// fixedResult: what unlocking a fixed block gives (the global and local
// functions differ there).
BOOL unlock(HGLOBAL h, bool fixedResult) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.mu);
    Block *b = findLocked(r, h);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!b->moveable) {
        if (!fixedResult) SetLastError(ERROR_NOT_LOCKED);
        return fixedResult ? TRUE : FALSE;
    }
    if (b->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--b->locks > 0) return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

HGLOBAL release(HGLOBAL h) {
    if (!h) return nullptr;
    Registry &r = registry();
    Block *b;
    {
        std::lock_guard<std::mutex> lk(r.mu);
        b = findLocked(r, h);
        if (!b) {
            SetLastError(ERROR_INVALID_HANDLE);
            return h;
        }
        r.blocks.erase(key(h));
        if (b->moveable && b->data) r.handleOfData.erase(key(b->data));
    }
    std::free(b->data);
    delete b;
    return nullptr;
}

SIZE_T sizeOf(HGLOBAL h) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.mu);
    Block *b = findLocked(r, h);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return b->size;
}

} // namespace
} // namespace winapi

using namespace winapi;

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) { return allocate(flags, bytes); }
LPVOID WINAPI GlobalLock(HGLOBAL h) { return lock(h); }
BOOL WINAPI GlobalUnlock(HGLOBAL h) { return unlock(h, true); }
HGLOBAL WINAPI GlobalFree(HGLOBAL h) { return release(h); }
SIZE_T WINAPI GlobalSize(HGLOBAL h) { return sizeOf(h); }

UINT WINAPI GlobalFlags(HGLOBAL h) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.mu);
    Block *b = findLocked(r, h);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return GMEM_INVALID_HANDLE;
    }
    if (!b->moveable) return 0;
    UINT f = b->locks;
    if (b->flags & GMEM_DISCARDABLE) f |= GMEM_DISCARDABLE;
    if (!b->data) f |= GMEM_DISCARDED;
    return f;
}

HGLOBAL WINAPI GlobalHandle(LPCVOID p) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lk(r.mu);
    if (p && r.blocks.count(key(p))) return const_cast<LPVOID>(p); // a fixed block, or a handle itself
    auto it = p ? r.handleOfData.find(key(p)) : r.handleOfData.end();
    if (it == r.handleOfData.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return reinterpret_cast<HGLOBAL>(it->second);
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) { return allocate(flags, bytes); }
HLOCAL WINAPI LocalFree(HLOCAL h) { return release(h); }
LPVOID WINAPI LocalLock(HLOCAL h) { return lock(h); }
BOOL WINAPI LocalUnlock(HLOCAL h) { return unlock(h, false); }
SIZE_T WINAPI LocalSize(HLOCAL h) { return sizeOf(h); }

} // extern "C"
