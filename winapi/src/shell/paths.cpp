#include "paths.h"

#include <windows.h>

#include <algorithm>
#include <sstream>

namespace winapi::shell {

std::string currentDir() {
    char buf[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    return n && n < sizeof buf ? normalize(buf) : std::string("/");
}

std::string normalize(const std::string &path) {
    std::string p = path;
    for (char &c : p)
        if (c == '\\') c = '/';
    if (p.empty() || p[0] != '/') p = currentDir() + "/" + p;
    std::vector<std::string> parts;
    std::stringstream ss(p);
    std::string part;
    while (std::getline(ss, part, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (auto &s : parts) out += "/" + s;
    return out.empty() ? "/" : out;
}

std::string joinPath(const std::string &dir, const std::string &name) {
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return normalize(name);
    return normalize(dir + "/" + name);
}

std::string parentOf(const std::string &path) {
    std::string p = normalize(path);
    size_t s = p.rfind('/');
    return s == 0 || s == std::string::npos ? "/" : p.substr(0, s);
}

std::string baseName(const std::string &path) {
    size_t s = path.find_last_of("/\\");
    return s == std::string::npos ? path : path.substr(s + 1);
}

bool isDirectory(const std::string &path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool hasWildcard(const std::string &s) { return s.find_first_of("*?") != std::string::npos; }

namespace {

bool lessNoCase(const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; }

bool hiddenEntry(const WIN32_FIND_DATAA &fd) {
    return fd.cFileName[0] == '.' || (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
}

template <class Keep>
std::vector<std::string> list(const std::string &dir, const std::string &mask, Keep keep) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE f = FindFirstFileA(joinPath(dir, mask).c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return out;
    do {
        std::string n = fd.cFileName;
        if (n == "." || n == "..") continue;
        if (keep(fd) && std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
    } while (FindNextFileA(f, &fd));
    FindClose(f);
    std::sort(out.begin(), out.end(), lessNoCase);
    return out;
}

} // namespace

std::vector<std::string> subfolders(const std::string &dir, bool hidden) {
    return list(dir, "*", [&](const WIN32_FIND_DATAA &fd) {
        return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (hidden || !hiddenEntry(fd));
    });
}

std::vector<std::string> filesMatching(const std::string &dir, const std::string &patterns, bool hidden) {
    std::vector<std::string> out;
    std::stringstream ss(patterns.empty() ? std::string("*.*") : patterns);
    std::string pat;
    while (std::getline(ss, pat, ';')) {
        pat.erase(0, pat.find_first_not_of(' '));
        pat.erase(pat.find_last_not_of(' ') + 1);
        if (pat.empty()) continue;
        for (auto &n : list(dir, pat, [&](const WIN32_FIND_DATAA &fd) {
                 return !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (hidden || !hiddenEntry(fd));
             }))
            if (std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
    }
    std::sort(out.begin(), out.end(), lessNoCase);
    return out;
}

} // namespace winapi::shell
