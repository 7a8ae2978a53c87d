// Paths for the file and folder dialogs: the kernel's form ('/' between
// parts; '\\' accepted on input), folder listings and wildcard filters.
#pragma once

#include <string>
#include <vector>

namespace winapi::shell {

// An absolute path with "." and ".." resolved and '\\' turned into '/'.
std::string normalize(const std::string &path);
// name taken in dir (an absolute name stands alone), normalized.
std::string joinPath(const std::string &dir, const std::string &name);
std::string parentOf(const std::string &path);
std::string baseName(const std::string &path);
std::string currentDir();
bool isDirectory(const std::string &path);
bool exists(const std::string &path);
bool hasWildcard(const std::string &s);
// Folders (without "." and "..") and files matching any of the patterns
// ("*.txt;*.doc"), each sorted without regard to case. Hidden entries (a
// leading dot, or the hidden attribute) only when asked for.
std::vector<std::string> subfolders(const std::string &dir, bool hidden);
std::vector<std::string> filesMatching(const std::string &dir, const std::string &patterns, bool hidden);

} // namespace winapi::shell
