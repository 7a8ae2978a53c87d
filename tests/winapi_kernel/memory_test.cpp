// Global and local memory.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool allZero(const void *p, size_t n) {
    auto *b = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; i++)
        if (b[i]) return false;
    return true;
}

TEST(GlobalMemory, FixedBlockIsItsOwnHandle) {
    HGLOBAL h = GlobalAlloc(GPTR, 5000);
    ASSERT_NE(h, nullptr);
    void *p = GlobalLock(h);
    EXPECT_EQ(p, h);
    EXPECT_TRUE(allZero(p, 5000));
    EXPECT_EQ(GlobalSize(h), 5000u);
    EXPECT_EQ(GlobalFlags(h), 0u) << "fixed blocks keep no lock count";
    EXPECT_EQ(GlobalHandle(p), h);
    EXPECT_TRUE(GlobalUnlock(h));
    EXPECT_EQ(GlobalFree(h), nullptr);

    HGLOBAL empty = GlobalAlloc(GMEM_FIXED, 0);
    ASSERT_NE(empty, nullptr);
    HGLOBAL other = GlobalAlloc(GMEM_FIXED, 0);
    EXPECT_NE(empty, other);
    EXPECT_EQ(GlobalSize(empty), 0u);
    GlobalFree(empty);
    GlobalFree(other);
}

TEST(GlobalMemory, MoveableBlockCountsLocks) {
    HGLOBAL h = GlobalAlloc(GHND, 300);
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<char *>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(static_cast<void *>(p), h);
    EXPECT_TRUE(allZero(p, 300));
    std::strcpy(p, "kept");
    EXPECT_EQ(GlobalLock(h), p);
    EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 2u);
    EXPECT_EQ(GlobalHandle(p), h);

    EXPECT_TRUE(GlobalUnlock(h)) << "still locked once";
    SetLastError(12345);
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR)) << "unlocked: FALSE without an error";
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 0u);

    EXPECT_STREQ(static_cast<char *>(GlobalLock(h)), "kept");
    GlobalUnlock(h);
    EXPECT_EQ(GlobalSize(h), 300u);
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, ZeroSizedMoveableBlockIsDiscarded) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISCARDED));
    EXPECT_TRUE(GlobalFlags(h) & GMEM_DISCARDED);
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, StrayHandlesFailCleanly) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(GlobalFree(h), h) << "a second free hands the handle back";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalFlags(h), UINT(GMEM_INVALID_HANDLE));
    int local = 0;
    EXPECT_EQ(GlobalHandle(&local), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);

    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, ~SIZE_T(0) - 64), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(LocalMemory, AllocFreeAndUnlockOfFixedBlock) {
    HLOCAL h = LocalAlloc(LPTR, 64);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(allZero(h, 64));
    EXPECT_FALSE(LocalUnlock(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));
    EXPECT_EQ(LocalFree(h), nullptr);

    HLOCAL m = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 8);
    void *p = LocalLock(m);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(LocalSize(m), 8u);
    EXPECT_FALSE(LocalUnlock(m));
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
    EXPECT_EQ(LocalFree(m), nullptr);
}

} // namespace
