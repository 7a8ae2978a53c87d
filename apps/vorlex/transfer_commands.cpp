// vorlex send / vorlex receive: file transfers over a COM port or a device
// path, with a progress line driven by the library's progress callback.
#include "commands.h"

#include <vorlex.h>

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOwner = 0x564C5854; // any value; repeated at close

struct Protocol {
    const char *name;
    LONG code; // 6 is Zmodem; else the block protocols' codes
};
const Protocol kProtocols[] = {
    {"zmodem", 6}, {"ymodem", VORLEX_PROTOCOL_YMODEM}, {"ymodem-g", VORLEX_PROTOCOL_YMODEM_G},
    {"xmodem", VORLEX_PROTOCOL_XMODEM}, {"xmodem-1k", VORLEX_PROTOCOL_XMODEM_1K},
    {"xmodem-1k-g", VORLEX_PROTOCOL_XMODEM_1K_G}, {"ascii", VORLEX_PROTOCOL_ASCII},
};
constexpr LONG kZmodem = 6;

const char *const kStatus[] = {
    "Transfer Canceled", "Receiver Canceled", "Time Out", "Unknown Error", "CRC Error", "Sender Canceled",
    "Long Packet", "Too Many Errors", "Bad File Position", "Could Not Open File", "Waiting For Receiver",
    "Sending ZRQINIT", "Sending Filename", "Sending File", "Waiting For FileName", "Receiving File", "Lost Carrier",
    "Retransmitting Block", "Transfer Completed", "Bad Block", "Checksum Error", "Error Writing To File",
    "No Response to NAK",
};

volatile sig_atomic_t g_interrupted = 0;
void onInterrupt(int) { g_interrupted = 1; }

// The progress line: the callback keeps the last values and redraws.
struct Progress {
    std::string name;
    DWORD size = 0, bytes = 0, cps = 0, errors = 0;
    const char *status = "";
    bool shown = false;
    bool tty = false;
} g_progress;

void drawProgress(bool final) {
    Progress &p = g_progress;
    char line[512];
    if (p.size)
        std::snprintf(line, sizeof line, "%s  %lu/%lu bytes (%lu%%)  %lu cps  %lu errors  %s", p.name.c_str(),
                      static_cast<unsigned long>(p.bytes), static_cast<unsigned long>(p.size),
                      static_cast<unsigned long>(static_cast<unsigned long long>(p.bytes) * 100 / p.size),
                      static_cast<unsigned long>(p.cps), static_cast<unsigned long>(p.errors), p.status);
    else
        std::snprintf(line, sizeof line, "%s  %lu bytes  %lu cps  %lu errors  %s", p.name.c_str(),
                      static_cast<unsigned long>(p.bytes), static_cast<unsigned long>(p.cps),
                      static_cast<unsigned long>(p.errors), p.status);
    if (p.tty) {
        std::fprintf(stderr, "\r%-78s", line);
        if (final) std::fputc('\n', stderr);
    } else if (final) {
        std::fprintf(stderr, "%s\n", line);
    }
    std::fflush(stderr);
    p.shown = !final;
}

LONG WINAPI onProgress(LONG, LONG nameLength, LPCSTR name, DWORD fileSize, DWORD bytes, DWORD cps, DWORD errors,
                       LONG status) {
    Progress &p = g_progress;
    if (status == 1) {
        if (p.shown && !p.name.empty()) drawProgress(true);
        p.name.assign(name ? name : "", name ? static_cast<size_t>(nameLength) : 0);
        p.size = fileSize;
        p.status = "";
    }
    p.bytes = bytes;
    p.cps = cps;
    p.errors = errors;
    if (status >= 2 && status - 2 < static_cast<LONG>(sizeof kStatus / sizeof kStatus[0])) p.status = kStatus[status - 2];
    if (!p.name.empty()) drawProgress(false);
    // A non-zero result stops the transfer at its next check.
    return g_interrupted ? 1 : 0;
}

// The port as given: "COMn" (any case), or a device path.
struct OpenPort {
    LONG port = -1;
    HANDLE attached = INVALID_HANDLE_VALUE;
};

bool openPort(const char *name, OpenPort *out) {
    LONG port;
    if (comNumber(name, &port)) {
        LONG r = Func041(port, kOwner);
        if (r != VORLEX_OPEN_OK) {
            std::fprintf(stderr, "vorlex: %s: cannot open (result %ld)\n", name, static_cast<long>(r));
            return false;
        }
        out->port = port;
        return true;
    }
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vorlex: %s: cannot open the device (error %lu)\n", name,
                     static_cast<unsigned long>(GetLastError()));
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        std::fprintf(stderr, "vorlex: %s: not a serial device\n", name);
        CloseHandle(h);
        return false;
    }
    port = 0;
    LONG r = Func076(port, kOwner, h);
    if (r != VORLEX_OPEN_OK) {
        std::fprintf(stderr, "vorlex: %s: cannot attach (result %ld)\n", name, static_cast<long>(r));
        CloseHandle(h);
        return false;
    }
    out->port = port;
    out->attached = h;
    return true;
}

void closePort(const OpenPort &p) {
    if (p.attached != INVALID_HANDLE_VALUE) {
        Func060(p.port, kOwner);
        CloseHandle(p.attached);
    } else {
        Func122(p.port, kOwner);
    }
}

struct Options {
    LONG protocol = kZmodem;
    LONG speed = 0;
    bool resume = false;
    bool carrier = false;
    bool fullPaths = false;
    std::vector<const char *> rest;
};

void usage(bool send, FILE *to = stderr) {
    if (send)
        std::fprintf(to, "usage: vorlex send [--protocol P] [--speed N] [--carrier] [--full-paths] PORT FILE...\n");
    else
        std::fprintf(to,
                     "usage: vorlex receive [--protocol P] [--speed N] [--carrier] [--resume] [--full-paths] PORT "
                     "DIR-or-FILE\n");
    std::fprintf(to,
                 "  P: zmodem (default), ymodem, ymodem-g, xmodem, xmodem-1k, xmodem-1k-g, ascii\n"
                 "  PORT: COM1..COM255 or a device path such as /dev/ttyUSB0\n"
                 "  --speed N     set the line to N baud, 8 data bits, no parity, 1 stop bit\n"
                 "  --carrier     stop when carrier detect drops (ignored by default)\n"
                 "  --resume      (zmodem) continue a partial file that exists already\n"
                 "  --full-paths  (zmodem) send paths / create the sender's directories\n"
                 "The exit status is the transfer's result code (0 done).\n");
}

bool parse(int argc, char **argv, bool send, Options *o) {
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--protocol" && i + 1 < argc) {
            const char *v = argv[++i];
            bool found = false;
            for (const Protocol &p : kProtocols)
                if (!std::strcmp(p.name, v)) {
                    o->protocol = p.code;
                    found = true;
                }
            if (!found) {
                std::fprintf(stderr, "vorlex: unknown protocol '%s'\n", v);
                return false;
            }
        } else if (a == "--speed" && i + 1 < argc) {
            o->speed = std::atol(argv[++i]);
        } else if (a == "--resume") {
            o->resume = true;
        } else if (a == "--carrier") {
            o->carrier = true;
        } else if (a == "--full-paths") {
            o->fullPaths = true;
        } else if (a == "-h" || a == "--help") {
            usage(send, stdout);
            std::exit(0);
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "vorlex: unknown option '%s'\n", a.c_str());
            return false;
        } else {
            o->rest.push_back(argv[i]);
        }
    }
    if (o->rest.size() < 2 || (!send && o->rest.size() != 2)) return false;
    return true;
}

bool prepare(const Options &o, OpenPort *port) {
    if (!openPort(o.rest[0], port)) return false;
    if (o.speed) {
        LONG r = Func001(port->port, o.speed, NOPARITY, 8, 1);
        if (r != VORLEX_LINE_OK) {
            std::fprintf(stderr, "vorlex: %s: speed %ld refused\n", o.rest[0], static_cast<long>(o.speed));
            closePort(*port);
            return false;
        }
    }
    // No progress window: the transfer runs here and reports on the console.
    Func090(port->port, 1, o.resume ? 1 : 0, o.fullPaths ? 1 : 0, o.carrier ? 0 : 1, 60);
    Func070(port->port, o.resume ? 1 : 0, o.fullPaths ? 1 : 0, 0);
    // The file-error boxes go to the console: nobody looks at a headless window.
    setenv("WAPI_MESSAGEBOX", "console", 0);
    Func030(port->port);
    Func085(port->port, onProgress);
    g_progress.tty = isatty(2);
    signal(SIGINT, onInterrupt);
    signal(SIGTERM, onInterrupt);
    return true;
}

int finish(const OpenPort &port, LONG result) {
    if (g_progress.shown) {
        if (result == 0) g_progress.status = "done";
        drawProgress(true);
    }
    Func085(port.port, nullptr);
    closePort(port);
    if (result != 0) std::fprintf(stderr, "vorlex: transfer ended with result %ld\n", static_cast<long>(result));
    return static_cast<int>(result);
}

bool isDirectory(const char *path) {
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

int cmdSend(int argc, char **argv) {
    Options o;
    if (!parse(argc, argv, true, &o)) {
        usage(true);
        return 2;
    }
    OpenPort port;
    if (!prepare(o, &port)) return 2;
    LONG result = 0;
    LONG index = 0;
    for (size_t i = 1; i < o.rest.size() && result == 0 && !g_interrupted; i++, index++) {
        if (o.protocol == kZmodem)
            result = Func037(port.port, nullptr, nullptr, o.rest[i], index);
        else
            result = Func069(port.port, nullptr, o.protocol, nullptr, o.rest[i], index);
        // Without a batch only the first file can go.
        if (o.protocol != kZmodem && o.protocol != VORLEX_PROTOCOL_YMODEM && o.protocol != VORLEX_PROTOCOL_YMODEM_G &&
            o.rest.size() > 2 && i == 1 && result == 0) {
            std::fprintf(stderr, "vorlex: this protocol sends one file; the others were left\n");
            break;
        }
    }
    // A batch that failed is not closed with ZFIN: the other end has been
    // told (or is gone), and waiting for its answer would only take time.
    if (o.protocol == kZmodem) {
        if (result == 0) Func037(port.port, nullptr, nullptr, nullptr, -1);
    } else
        Func069(port.port, nullptr, o.protocol, nullptr, nullptr, -1);
    return finish(port, result);
}

int cmdReceive(int argc, char **argv) {
    Options o;
    if (!parse(argc, argv, false, &o)) {
        usage(false);
        return 2;
    }
    const char *target = o.rest[1];
    const bool batch = o.protocol == kZmodem || o.protocol == VORLEX_PROTOCOL_YMODEM ||
                       o.protocol == VORLEX_PROTOCOL_YMODEM_G;
    std::string dir, name;
    if (batch) {
        if (Func054(target) != VORLEX_DIR_OK) {
            std::fprintf(stderr, "vorlex: %s: not a directory\n", target);
            return 2;
        }
        dir = target;
    } else {
        if (isDirectory(target)) {
            std::fprintf(stderr, "vorlex: %s: this protocol needs a file name, not a directory\n", target);
            return 2;
        }
        std::string t = target;
        size_t slash = t.find_last_of("/\\");
        if (slash == std::string::npos) {
            name = t;
        } else {
            dir = t.substr(0, slash == 0 ? 1 : slash);
            name = t.substr(slash + 1);
        }
    }
    OpenPort port;
    if (!prepare(o, &port)) return 2;
    LONG result;
    if (o.protocol == kZmodem)
        result = Func024(port.port, nullptr, dir.c_str());
    else
        result = Func123(port.port, nullptr, o.protocol, dir.empty() ? nullptr : dir.c_str(),
                         name.empty() ? nullptr : name.c_str());
    return finish(port, result);
}

bool comNumber(const char *s, LONG *port) {
    if (std::strlen(s) < 4 || std::toupper(s[0]) != 'C' || std::toupper(s[1]) != 'O' || std::toupper(s[2]) != 'M')
        return false;
    char *end;
    long n = std::strtol(s + 3, &end, 10);
    if (*end || n < 1 || n > 255) return false;
    *port = n - 1;
    return true;
}
