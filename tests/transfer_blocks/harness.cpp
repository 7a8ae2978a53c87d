#include "harness.h"

#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

namespace blocktest {

namespace {

std::mutex g_registry;
Recorder *g_recorders[255];

LONG WINAPI progress(LONG port, LONG nameLength, LPCSTR name, DWORD fileSize, DWORD bytes, DWORD, DWORD, LONG status) {
    Recorder *r;
    {
        std::lock_guard<std::mutex> lk(g_registry);
        r = port >= 0 && port < 255 ? g_recorders[port] : nullptr;
    }
    std::string n = name ? std::string(name, static_cast<size_t>(nameLength)) : std::string();
    return r ? r->call({status, n, fileSize, bytes}) : 0;
}

} // namespace

Pair::Pair(int comA, int comB, const WAPI_LINE_OPTIONS *line) : nameA_("COM" + std::to_string(comA)), a_(comA - 1), b_(comB - 1) {
    if (!WapiCreateNullModemPair(nameA_.c_str(), ("COM" + std::to_string(comB)).c_str(), line))
        throw std::runtime_error("no null-modem pair");
    for (LONG p : {a_, b_}) {
        if (Func041(p, 7) != 0) throw std::runtime_error("port did not open");
        Func001(p, 115200, 0, 8, 1); // RTS/CTS, which the streaming protocols need
        Func090(p, 1, 1, 0, 0, 60);
    }
}

Pair::~Pair() {
    Func122(a_, 7);
    closeB();
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

LONG Recorder::call(const Call &c) {
    std::lock_guard<std::mutex> lk(m_);
    calls_.push_back(c);
    changed_.notify_all();
    if (c.status == kNewFile) return stopAtAnnounce ? 1 : 0;
    return stopAtBytes && c.bytes >= stopAtBytes ? 1 : 0;
}

std::vector<Recorder::Call> Recorder::calls() {
    std::lock_guard<std::mutex> lk(m_);
    return calls_;
}

bool Recorder::saw(LONG status) { return waitFor(status, 0); }

bool Recorder::waitFor(LONG status, int ms) {
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms), [&] {
        for (const Call &c : calls_)
            if (c.status == status) return true;
        return false;
    });
}

std::vector<std::string> Recorder::names() {
    std::vector<std::string> out;
    for (const Call &c : calls())
        if (c.status == kNewFile) out.push_back(c.name);
    return out;
}

DWORD Recorder::lastBytes() {
    std::vector<Call> all = calls();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->status != kNewFile) return it->bytes;
    return 0;
}

void upload(Job &run, LONG port, LONG protocol, const std::string &path) {
    run.thread = std::thread([&run, port, protocol, path] {
        run.result = Func069(port, nullptr, protocol, nullptr, path.c_str(), 0);
        run.end = Func069(port, nullptr, protocol, nullptr, nullptr, -1);
    });
}

void download(Job &run, LONG port, LONG protocol, const std::string &dir, const char *name) {
    std::string n = name ? name : "";
    bool named = name != nullptr;
    run.thread = std::thread([&run, port, protocol, dir, n, named] {
        run.result = Func123(port, nullptr, protocol, dir.c_str(), named ? n.c_str() : nullptr);
    });
}

std::string readBytes(LONG port, size_t n, int ms) {
    std::string out;
    const DWORD start = GetTickCount();
    char buf[4097];
    while (out.size() < n) {
        LONG got = Func015(port, buf, static_cast<LONG>(std::min<size_t>(n - out.size(), 4096)));
        if (got > 0)
            out.append(buf, static_cast<size_t>(got));
        else if (static_cast<int>(GetTickCount() - start) >= ms)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return out;
}

std::string readQuiet(LONG port, int quietMs) {
    std::string out;
    for (std::string more; !(more = readBytes(port, 1, quietMs)).empty();) out += more + readBytes(port, 4096, 0);
    return out;
}

void sendBytes(LONG port, const std::string &bytes) {
    if (!bytes.empty()) Func022(port, bytes.data(), static_cast<LONG>(bytes.size()));
}

std::string ask(LONG port, const std::string &bytes, size_t n) {
    sendBytes(port, bytes);
    return readBytes(port, n);
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
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string padded(const std::string &data) {
    std::string s = data;
    s.resize((s.size() + 127) / 128 * 128, '\x1A');
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
