// The other ends of COM1..COM4, held by tests/windows/driver.py: requests
// go over the control line COM8, one a line. Win32 calls only, so the same
// code runs under Wine and against winapi/.
#pragma once

#include <windows.h>

#include <string>

namespace peer {

// Port number (0-based) of COMn.
constexpr LONG portOf(int com) { return com - 1; }

std::string request(const std::string &line);
void send(int com, const std::string &bytes);
std::string recv(int com, size_t count, int ms);
void drain(int com);
// Runs the shell command in the Linux directory, its standard input and
// output joined to COMn's other end.
void run(int com, const std::string &dir, const std::string &command);
// The command's exit status, or -1 when it has not ended within ms.
int wait(int com, int ms);
void kill(int com);
// A fresh scratch directory: its Linux path.
std::string work();
// A Linux path as this program names it (Z:\... under Wine).
std::string local(const std::string &linuxPath);

// True under Wine. A few checks are left out there, each where Wine's
// serial layer departs from Windows; note() says which when it happens.
bool onWine();
void note(const char *what);

// Files through Win32 (local names).
std::string readFile(const std::string &path);
bool writeFile(const std::string &path, const std::string &data);
// Bytes of a fixed pseudo-random pattern.
std::string pattern(size_t size, unsigned seed);
// Every byte value, several times over.
std::string allBytes(size_t size);

} // namespace peer
