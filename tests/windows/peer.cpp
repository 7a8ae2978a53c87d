#include "peer.h"

#include <cstdio>
#include <cstdlib>

namespace peer {

namespace {

HANDLE control() {
    static HANDLE h = [] {
        HANDLE c = CreateFileA("COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (c == INVALID_HANDLE_VALUE) {
            std::printf("control line COM8: error %lu\n", static_cast<unsigned long>(GetLastError()));
            std::exit(2);
        }
        COMMTIMEOUTS t{0, 0, 120000, 0, 10000};
        SetCommTimeouts(c, &t);
        return c;
    }();
    return h;
}

std::string hex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string unhex(const std::string &text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out += static_cast<char>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16));
    return out;
}

std::string expectOk(const std::string &reply, const std::string &what) {
    if (reply.compare(0, 2, "ok") != 0) {
        std::printf("driver refused \"%s\": %s\n", what.c_str(), reply.c_str());
        return {};
    }
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

} // namespace

std::string request(const std::string &line) {
    HANDLE c = control();
    std::string out = line + "\n";
    DWORD done = 0;
    WriteFile(c, out.data(), static_cast<DWORD>(out.size()), &done, nullptr);
    std::string reply;
    char ch;
    while (ReadFile(c, &ch, 1, &done, nullptr) && done == 1 && ch != '\n') reply += ch;
    return reply;
}

void send(int com, const std::string &bytes) {
    for (size_t at = 0; at < bytes.size() || at == 0; at += 4096) {
        std::string chunk = bytes.substr(at, 4096);
        expectOk(request("send " + std::to_string(com) + " " + hex(chunk)), "send");
        if (bytes.empty()) break;
    }
}

std::string recv(int com, size_t count, int ms) {
    return unhex(expectOk(request("recv " + std::to_string(com) + " " + std::to_string(count) + " " + std::to_string(ms)),
                          "recv"));
}

void drain(int com) { request("drain " + std::to_string(com)); }

void run(int com, const std::string &dir, const std::string &command) {
    expectOk(request("run " + std::to_string(com) + " " + dir + " " + command), "run");
}

int wait(int com, int ms) {
    std::string reply = request("wait " + std::to_string(com) + " " + std::to_string(ms));
    return reply.compare(0, 3, "ok ") == 0 ? std::atoi(reply.c_str() + 3) : -1;
}

void kill(int com) { request("kill " + std::to_string(com)); }

std::string work() { return expectOk(request("work"), "work"); }

std::string local(const std::string &linuxPath) {
#ifdef _WIN32
    std::string out = "Z:" + linuxPath;
    for (char &c : out)
        if (c == '/') c = '\\';
    return out;
#else
    return linuxPath;
#endif
}

bool onWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

void note(const char *what) { std::printf("  note: %s\n", what); }

std::string readFile(const std::string &path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[65536];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool writeFile(const std::string &path, const std::string &data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
    CloseHandle(h);
    return ok && done == data.size();
}

std::string pattern(size_t size, unsigned seed) {
    std::string out(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 16);
    }
    return out;
}

std::string allBytes(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; i++) out[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return out;
}

} // namespace peer
