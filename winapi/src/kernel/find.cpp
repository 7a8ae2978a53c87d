// FindFirstFileA, FindNextFileA, FindClose. The directory is read once when
// the search starts; its entries that match the mask are handed out in name
// order, "." and ".." first as Windows gives them (except in the root).
//
// Masks follow Win32: '*' and '?' as FindFirstFile turns them into the DOS
// wildcards ('?' also matches nothing before a dot or at the end, "*.*"
// matches names without a dot, "*." only those), compared without regard to
// case. Short (8.3) names do not exist here, so they never match and
// cAlternateFileName stays empty.
#define _FILE_OFFSET_BITS 64
#include "object.h"
#include "posix.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace winapi {
namespace {

enum : int { kStar = 256, kDosStar, kDosQm, kDosDot };

int lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

std::vector<int> compileMask(const std::string &mask) {
    std::vector<int> out;
    if (mask == "*.*") return {kStar};
    if (mask == "." || mask == "..") {
        for (char c : mask) out.push_back(c);
        return out;
    }
    for (size_t i = 0; i < mask.size(); i++) {
        const char c = mask[i];
        const char next = i + 1 < mask.size() ? mask[i + 1] : 0;
        if (c == '?') out.push_back(kDosQm);
        else if (c == '*') out.push_back(next == '.' ? kDosStar : kStar);
        else if (c == '.' && (next == '?' || next == '*' || next == 0)) out.push_back(kDosDot);
        else out.push_back(lowerAscii(static_cast<unsigned char>(c)));
    }
    return out;
}

class Matcher {
public:
    Matcher(const std::vector<int> &pat, const std::string &name)
        : pat_(pat), name_(name), lastDot_(name.rfind('.')), memo_((pat.size() + 1) * (name.size() + 1), 0) {}
    bool run() { return at(0, 0); }

private:
    bool at(size_t p, size_t n) {
        if (p == pat_.size()) return n == name_.size();
        unsigned char &m = memo_[p * (name_.size() + 1) + n];
        if (m) return m == 2;
        bool r = step(p, n);
        m = r ? 2 : 1;
        return r;
    }
    bool step(size_t p, size_t n) {
        const size_t end = name_.size();
        switch (pat_[p]) {
        case kStar: return at(p + 1, n) || (n < end && at(p, n + 1));
        case kDosStar: // any characters, but not the last dot of the name
            return at(p + 1, n) || (n < end && (lastDot_ == std::string::npos || n < lastDot_) && at(p, n + 1));
        case kDosQm: {
            if (n < end && name_[n] != '.') return at(p + 1, n + 1);
            size_t q = p; // at a dot or the end, the whole run of '?' matches nothing
            while (q < pat_.size() && pat_[q] == kDosQm) q++;
            return at(q, n);
        }
        case kDosDot:
            if (n < end && name_[n] == '.') return at(p + 1, n + 1);
            return n == end && at(p + 1, n);
        default: return n < end && lowerAscii(static_cast<unsigned char>(name_[n])) == pat_[p] && at(p + 1, n + 1);
        }
    }

    const std::vector<int> &pat_;
    const std::string &name_;
    const size_t lastDot_;
    std::vector<unsigned char> memo_;
};

bool nameLess(const std::string &a, const std::string &b) {
    auto rank = [](const std::string &s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
        int x = lowerAscii(static_cast<unsigned char>(a[i])), y = lowerAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

class FindObject : public Object {
public:
    FindObject() : Object(ObjectType::Find) {}
    std::vector<WIN32_FIND_DATAA> entries;
    std::mutex mu;
    size_t next = 0; // guarded by mu
};

void fill(const std::string &name, const FileInfo &info, WIN32_FIND_DATAA &d) {
    std::memset(&d, 0, sizeof d);
    d.dwFileAttributes = info.attributes;
    d.ftCreationTime = info.creation;
    d.ftLastAccessTime = info.access;
    d.ftLastWriteTime = info.write;
    if (!(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        d.nFileSizeHigh = DWORD(info.size >> 32);
        d.nFileSizeLow = DWORD(info.size);
    }
    std::memcpy(d.cFileName, name.c_str(), name.size() + 1);
}

} // namespace

} // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA data) {
    if (!name || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = posixPath(name);
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : resolvePathCase(path.substr(0, slash));
    std::string mask = slash == std::string::npos ? path : path.substr(slash + 1);
    if (mask.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DIR *d = opendir(dir.c_str());
    if (!d) {
        DWORD e = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno);
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    struct stat dst;
    const bool root = fstat(dirfd(d), &dst) == 0 && [&] {
        struct stat rst;
        return stat("/", &rst) == 0 && rst.st_dev == dst.st_dev && rst.st_ino == dst.st_ino;
    }();
    const std::vector<int> pat = compileMask(mask);
    std::vector<std::pair<std::string, FileInfo>> found;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (root && (n == "." || n == "..")) continue;
        if (n.size() >= MAX_PATH || !Matcher(pat, n).run()) continue;
        FileInfo info;
        if (queryFile(dirfd(d), e->d_name, 0, info) != 0 &&
            queryFile(dirfd(d), e->d_name, AT_SYMLINK_NOFOLLOW, info) != 0)
            continue; // gone since it was listed
        found.emplace_back(std::move(n), info);
    }
    closedir(d);
    if (found.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return nameLess(a.first, b.first); });
    auto *f = new FindObject;
    f->entries.resize(found.size());
    for (size_t i = 0; i < found.size(); i++) fill(found[i].first, found[i].second, f->entries[i]);
    *data = f->entries[0];
    f->next = 1;
    SetLastError(NO_ERROR);
    return insertHandle(f);
}

BOOL WINAPI FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data) {
    Ref<FindObject> f = lookupAs<FindObject>(h, ObjectType::Find);
    if (!f) return FALSE;
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(f->mu);
    if (f->next >= f->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = f->entries[f->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE h) {
    Ref<FindObject> f = lookupAs<FindObject>(h, ObjectType::Find);
    if (!f) return FALSE;
    return CloseHandle(h);
}

} // extern "C"
