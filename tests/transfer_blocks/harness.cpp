#include "harness.h"

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

namespace blocktest {

namespace {

std::mutex g_registry;
Recorder *g_recorders[255];

LONG WINAPI progress(LONG port, LONG nameLength, LPCSTR name, DWORD fileSize, DWORD bytes, DWORD cps, DWORD errors,
                     LONG status) {
    Recorder *r;
    {
        std::lock_guard<std::mutex> lk(g_registry);
        r = port >= 0 && port < 255 ? g_recorders[port] : nullptr;
    }
    return r ? r->call(nameLength, name, fileSize, bytes, errors, status) : 0;
}

std::string comName(int n) { return "COM" + std::to_string(n); }

} // namespace

Pair::Pair(int comA, int comB, const WAPI_LINE_OPTIONS *line)
    : nameA_(comName(comA)), nameB_(comName(comB)), a_(comA - 1), b_(comB - 1) {
    if (!WapiCreateNullModemPair(nameA_.c_str(), nameB_.c_str(), line)) throw std::runtime_error("no null-modem pair");
    if (Func041(a_, 7) != 0 || Func041(b_, 7) != 0) throw std::runtime_error("ports did not open");
    // 8N1 with RTS/CTS flow control, which the streaming protocols need.
    Func001(a_, 115200, 0, 8, 1);
    Func001(b_, 115200, 0, 8, 1);
    Func090(a_, 1, 1, 0, 0, 60);
    Func090(b_, 1, 1, 0, 0, 60);
}

Pair::~Pair() {
    Func122(a_, 7);
    if (bOpen_) Func122(b_, 7);
    WapiDestroyNullModemPair(nameA_.c_str());
}

void Pair::closeB() {
    if (bOpen_) Func122(b_, 7);
    bOpen_ = false;
}

Recorder::Recorder(LONG port) : port_(port) {
    {
        std::lock_guard<std::mutex> lk(g_registry);
        g_recorders[port] = this;
    }
    Func085(port, progress);
}

Recorder::~Recorder() {
    Func085(port_, nullptr);
    std::lock_guard<std::mutex> lk(g_registry);
    g_recorders[port_] = nullptr;
}

LONG Recorder::call(LONG nameLength, LPCSTR name, DWORD fileSize, DWORD bytes, DWORD errors, LONG status) {
    std::lock_guard<std::mutex> lk(m_);
    statuses_.push_back(status);
    threadId_ = GetCurrentThreadId();
    if (status == kNewFile) {
        names_.emplace_back(name ? std::string(name, static_cast<size_t>(nameLength)) : std::string());
        sizes_.push_back(fileSize);
    } else {
        lastBytes_ = bytes;
    }
    changed_.notify_all();
    if (status == kNewFile && stopAtAnnounce) return 1;
    DWORD stop = stopAtBytes;
    return stop && lastBytes_ >= stop ? 1 : 0;
}

std::vector<LONG> Recorder::statuses() {
    std::lock_guard<std::mutex> lk(m_);
    return statuses_;
}
std::vector<std::string> Recorder::names() {
    std::lock_guard<std::mutex> lk(m_);
    return names_;
}
std::vector<DWORD> Recorder::sizes() {
    std::lock_guard<std::mutex> lk(m_);
    return sizes_;
}
DWORD Recorder::lastBytes() {
    std::lock_guard<std::mutex> lk(m_);
    return lastBytes_;
}
DWORD Recorder::threadId() {
    std::lock_guard<std::mutex> lk(m_);
    return threadId_;
}
bool Recorder::saw(LONG status) {
    std::lock_guard<std::mutex> lk(m_);
    for (LONG s : statuses_)
        if (s == status) return true;
    return false;
}
bool Recorder::waitFor(LONG status, int ms) {
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms), [&] {
        for (LONG s : statuses_)
            if (s == status) return true;
        return false;
    });
}

std::string readBytes(LONG port, size_t n, int ms) {
    std::string out;
    const DWORD start = GetTickCount();
    char buf[4097];
    while (out.size() < n) {
        LONG want = static_cast<LONG>(std::min<size_t>(n - out.size(), 4096));
        LONG got = Func015(port, buf, want);
        if (got > 0) {
            out.append(buf, static_cast<size_t>(got));
            continue;
        }
        if (static_cast<int>(GetTickCount() - start) >= ms) break;
        LONG b = Func110(port, nullptr, 1);
        if (b >= 0) out.push_back(static_cast<char>(b));
    }
    return out;
}

std::string readQuiet(LONG port, int quietMs) {
    std::string out;
    char buf[4097];
    DWORD last = GetTickCount();
    for (;;) {
        LONG got = Func015(port, buf, 4096);
        if (got > 0) {
            out.append(buf, static_cast<size_t>(got));
            last = GetTickCount();
            continue;
        }
        if (static_cast<int>(GetTickCount() - last) >= quietMs) return out;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void sendBytes(LONG port, const std::string &bytes) {
    if (!bytes.empty()) Func022(port, bytes.data(), static_cast<LONG>(bytes.size()));
}

std::string makeBlock(int number, const std::string &data, bool crc) {
    std::string b;
    b.push_back(data.size() == 1024 ? 0x02 : 0x01);
    b.push_back(static_cast<char>(number & 0xFF));
    b.push_back(static_cast<char>(255 - (number & 0xFF)));
    b += data;
    if (crc) {
        DWORD c = Func073(data.data(), static_cast<LONG>(data.size()));
        b.push_back(static_cast<char>((c >> 8) & 0xFF));
        b.push_back(static_cast<char>(c & 0xFF));
    } else {
        unsigned sum = 0;
        for (unsigned char ch : data) sum += ch;
        b.push_back(static_cast<char>(sum & 0xFF));
    }
    return b;
}

bool hasCancelSequence(const std::string &text) {
    return text.find(std::string(10, '\x18') + std::string(10, '\x08')) != std::string::npos;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string padded(const std::string &data) {
    std::string s = data;
    while (s.size() % 128) s.push_back('\x1A');
    return s;
}

::testing::AssertionResult sameBytes(const std::string &got, const std::string &want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) i++;
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                         << ", first difference at " << i;
}

} // namespace blocktest
