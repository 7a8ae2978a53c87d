// vorlex term: the library's terminal window on a port, or on a local shell
// through a pseudo-terminal, until its frame closes.
#include "commands.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

constexpr UINT kShellEnded = WM_APP + 1;
constexpr LONG kZmodem = 6;

struct TermType {
    const char *name;
    LONG code;
    const char *envTerm; // TERM for a shell
};
const TermType kTypes[] = {
    {"ansi", 0, "ansi"}, {"tty", 1, "dumb"}, {"vt100", 2, "vt100"},
    {"ibm3161", 3, "ibm3161"}, {"ansi-ex", 4, "ansi"}, {"tty-ex", 5, "dumb"},
};

struct Options {
    const char *port = nullptr;
    bool shell = false;
    const char *command = nullptr;
    LONG speed = 9600, parity = NOPARITY, data = 8, stop = 1;
    const TermType *type = &kTypes[0];
    const char *kbd = nullptr;
    bool echo = false;
    std::string receiveDir, sendDir;
    const char *snapshot = nullptr;
    DWORD after = 2000;
};

void usage(FILE *to) {
    std::fprintf(to,
                 "usage: vorlex term [options] PORT\n"
                 "       vorlex term [options] --shell [COMMAND]\n"
                 "  PORT: COM1..COM255 or a device path such as /dev/ttyUSB0\n"
                 "  --shell [COMMAND]  run COMMAND ($SHELL or /bin/sh by default) on a pseudo-terminal\n"
                 "  --speed N          baud rate (default 9600)\n"
                 "  --parity P         none (default), odd, even, mark, space\n"
                 "  --data N           data bits, 5..8 (default 8)\n"
                 "  --stop N           stop bits, 1 or 2 (default 1)\n"
                 "  --type T           ansi (default), tty, vt100, ibm3161, ansi-ex, tty-ex\n"
                 "  --kbd FILE         keyboard map (.kbd); vt100, ibm3161, ansi-ex and tty-ex need one\n"
                 "  --echo             local echo of typed characters\n"
                 "  --receive-dir DIR  where Zmodem downloads land (default: the current directory)\n"
                 "  --send-dir DIR     where the upload dialog starts\n"
                 "  --snapshot FILE    run without a display and save the window as a PNG, then exit\n"
                 "  --after MS         when to take the snapshot (default 2000)\n"
                 "The window needs an X display (DISPLAY). Alt+X or closing the window ends the program;\n"
                 "with --shell it also ends when the shell does. A sender's `sz` starts a download by itself.\n");
}

bool number(const char *s, long lo, long hi, LONG *out) {
    char *end;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || errno || v < lo || v > hi) return false;
    *out = static_cast<LONG>(v);
    return true;
}

// Returns 0 to go on, else the exit status (usage already shown).
int parse(int argc, char **argv, Options *o) {
    auto bad = [](const char *what, const char *v) {
        std::fprintf(stderr, "vorlex term: %s '%s'\n\n", what, v);
        usage(stderr);
        return 2;
    };
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "-h" || a == "--help") {
            usage(stdout);
            return -1;
        } else if (a == "--shell") {
            o->shell = true;
        } else if (a == "--echo") {
            o->echo = true;
        } else if (a == "--speed" && hasValue) {
            if (!number(argv[++i], 1, 4000000, &o->speed)) return bad("bad speed", argv[i]);
        } else if (a == "--data" && hasValue) {
            if (!number(argv[++i], 5, 8, &o->data)) return bad("bad data bits", argv[i]);
        } else if (a == "--stop" && hasValue) {
            if (!number(argv[++i], 1, 2, &o->stop)) return bad("bad stop bits", argv[i]);
        } else if (a == "--parity" && hasValue) {
            static const char *const names[] = {"none", "odd", "even", "mark", "space"};
            const char *v = argv[++i];
            LONG p = -1;
            for (LONG k = 0; k < 5; k++)
                if (!std::strcmp(v, names[k])) p = k; // NOPARITY..SPACEPARITY
            if (p < 0) return bad("bad parity", v);
            o->parity = p;
        } else if (a == "--type" && hasValue) {
            const char *v = argv[++i];
            o->type = nullptr;
            for (const TermType &t : kTypes)
                if (!std::strcmp(v, t.name)) o->type = &t;
            if (!o->type) return bad("unknown terminal type", v);
        } else if (a == "--kbd" && hasValue) {
            o->kbd = argv[++i];
        } else if (a == "--receive-dir" && hasValue) {
            o->receiveDir = argv[++i];
        } else if (a == "--send-dir" && hasValue) {
            o->sendDir = argv[++i];
        } else if (a == "--snapshot" && hasValue) {
            o->snapshot = argv[++i];
        } else if (a == "--after" && hasValue) {
            LONG ms;
            if (!number(argv[++i], 0, 3600000, &ms)) return bad("bad time", argv[i]);
            o->after = static_cast<DWORD>(ms);
        } else if (a.size() > 1 && a[0] == '-') {
            return bad(hasValue || a.rfind("--", 0) != 0 ? "unknown option" : "option needs a value", a.c_str());
        } else if (o->shell && !o->command) {
            o->command = argv[i];
        } else if (!o->shell && !o->port) {
            o->port = argv[i];
        } else {
            return bad("unexpected argument", argv[i]);
        }
    }
    if (o->shell == (o->port != nullptr)) {
        std::fprintf(stderr, "vorlex term: give a PORT or --shell\n\n");
        usage(stderr);
        return 2;
    }
    if (o->type->code >= 2 && !o->kbd) {
        std::fprintf(stderr, "vorlex term: type %s needs a keyboard map (--kbd FILE)\n", o->type->name);
        return 2;
    }
    return 0;
}

// The terminal opens its port by number, and a number names COMn, which
// VORLEX_COMDIR/comn resolves: a device path gets a private directory with
// that one link.
std::string g_comDir;

void removeComDir() {
    if (g_comDir.empty()) return;
    unlink((g_comDir + "/com1").c_str());
    rmdir(g_comDir.c_str());
    g_comDir.clear();
}

bool portForPath(const char *path, LONG *port) {
    char dir[] = "/tmp/vorlex-term-XXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("vorlex term: mkdtemp");
        return false;
    }
    g_comDir = dir;
    char real[PATH_MAX];
    const std::string target = path[0] == '/' ? path : (realpath(path, real) ? real : path);
    if (symlink(target.c_str(), (g_comDir + "/com1").c_str()) != 0) {
        std::perror("vorlex term: symlink");
        removeComDir();
        return false;
    }
    setenv("VORLEX_COMDIR", dir, 1);
    *port = 0;
    return true;
}

// The shell's side: a terminal as a login would leave it.
termios saneTermios() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IUTF8;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    t.c_cc[VINTR] = 3;
    t.c_cc[VQUIT] = 0x1C;
    t.c_cc[VERASE] = 8; // the terminal's Backspace
    t.c_cc[VKILL] = 0x15;
    t.c_cc[VEOF] = 4;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    t.c_cc[VSUSP] = 0x1A;
    t.c_cc[VWERASE] = 0x17;
    t.c_cc[VREPRINT] = 0x12;
    t.c_cc[VLNEXT] = 0x16;
    t.c_cc[VMIN] = 1;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

pid_t startShell(const Options &o, const char *slave, int rows, int columns, const char *cwd) {
    // Everything the child needs is made here: after fork only
    // async-signal-safe calls are allowed in a threaded program.
    const char *sh = getenv("SHELL");
    if (!sh || !*sh) sh = "/bin/sh";
    std::vector<std::string> env;
    for (char **e = environ; *e; e++)
        if (std::strncmp(*e, "TERM=", 5) && std::strncmp(*e, "LINES=", 6) && std::strncmp(*e, "COLUMNS=", 8))
            env.push_back(*e);
    env.push_back(std::string("TERM=") + o.type->envTerm);
    std::vector<char *> envp;
    for (std::string &s : env) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    std::string base = std::strrchr(sh, '/') ? std::strrchr(sh, '/') + 1 : sh;
    std::vector<const char *> args;
    if (o.command) {
        args = {"/bin/sh", "sh", "-c", o.command, nullptr};
    } else {
        args = {sh, base.c_str(), nullptr};
    }
    const termios t = saneTermios();
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(columns);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setsid();
    if (chdir(cwd) != 0) _exit(126);
    int fd = open(slave, O_RDWR);
    if (fd < 0) _exit(127);
    ioctl(fd, TIOCSCTTY, 0);
    tcsetattr(fd, TCSANOW, &t);
    ioctl(fd, TIOCSWINSZ, &ws);
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    if (fd > 2) close(fd);
    signal(SIGPIPE, SIG_DFL);
    execve(args[0], const_cast<char *const *>(args.data() + 1), envp.data());
    _exit(127);
}

constexpr UINT_PTR kSnapshotTimer = 1, kRetryTimer = 2;

struct Run {
    HWND frame = nullptr, helper = nullptr;
    const char *snapshot = nullptr;
    pid_t child = -1;
    std::atomic<bool> ready{false}, shellEnded{false};
    int status = 0;
} g_run;

// A frame whose transfer or dialog runs is disabled; it ends afterwards.
void endFrameWhenFree() {
    if (!IsWindow(g_run.frame)) return;
    if (IsWindowEnabled(g_run.frame))
        DestroyWindow(g_run.frame);
    else
        SetTimer(g_run.helper, kRetryTimer, 250, nullptr);
}

LRESULT CALLBACK helperProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kShellEnded || (message == WM_TIMER && wParam == kRetryTimer)) {
        // The line is gone: no on-line question, the frame just ends.
        KillTimer(window, kRetryTimer);
        endFrameWhenFree();
        return 0;
    }
    if (message == WM_TIMER && wParam == kSnapshotTimer) {
        KillTimer(window, kSnapshotTimer);
        // A transfer's window in front is what the picture is about.
        HWND front = GetForegroundWindow();
        const bool ok = front && front != g_run.frame && IsWindowVisible(front)
                            ? WapiSnapshotScreen(g_run.snapshot)
                            : WapiSnapshotWindow(g_run.frame, g_run.snapshot);
        if (!ok) {
            std::fprintf(stderr, "vorlex term: %s: cannot write the snapshot (error %lu)\n", g_run.snapshot,
                         static_cast<unsigned long>(GetLastError()));
            g_run.status = 1;
        }
        if (!IsWindowEnabled(g_run.frame)) {
            // A transfer is under way: the picture is all that was wanted.
            if (g_run.child > 0) kill(-g_run.child, SIGHUP);
            removeComDir();
            std::fflush(nullptr);
            _exit(g_run.status);
        }
        DestroyWindow(g_run.frame);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool haveDisplay() {
    const char *w = getenv("WAPI_DISPLAY");
    if (w && !std::strcmp(w, "x11")) return true;
    if (w && !std::strcmp(w, "headless")) return false;
    const char *d = getenv("DISPLAY");
    return d && *d;
}

} // namespace

int cmdTerm(int argc, char **argv) {
    Options o;
    if (int r = parse(argc, argv, &o)) return r < 0 ? 0 : r;
    if (o.snapshot) {
        // A picture for a script: drawn headless, whatever DISPLAY says.
        setenv("WAPI_DISPLAY", "headless", 1);
        setenv("WAPI_MESSAGEBOX", "console", 0);
    } else if (!haveDisplay()) {
        std::fprintf(stderr, "vorlex term: no display (set DISPLAY for an X server, or use --snapshot FILE)\n");
        return 1;
    }
    // Paths are made whole here: the program moves to the send directory.
    char cwd[PATH_MAX] = "";
    if (!getcwd(cwd, sizeof cwd)) std::strcpy(cwd, "/");
    auto whole = [&](const std::string &p) { return p.empty() || p[0] == '/' ? p : std::string(cwd) + "/" + p; };
    o.receiveDir = o.receiveDir.empty() ? cwd : whole(o.receiveDir);
    o.sendDir = whole(o.sendDir);
    std::string snapshot = o.snapshot ? whole(o.snapshot) : "";
    if (o.snapshot) o.snapshot = snapshot.c_str();
    for (const std::string *d : {&o.receiveDir, &o.sendDir}) {
        struct stat st;
        if (!d->empty() && (stat(d->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            std::fprintf(stderr, "vorlex term: %s: not a directory\n", d->c_str());
            return 2;
        }
    }
    if (o.kbd && access(o.kbd, R_OK) != 0) {
        std::fprintf(stderr, "vorlex term: %s: cannot read the keyboard map\n", o.kbd);
        return 2;
    }

    LONG port = 0;
    char slave[64] = "";
    if (o.shell) {
        // The master is COM1 of this process only; nothing on disk.
        if (!WapiCreatePseudoTerminalPair("COM1", "VORLEX-TERM-SHELL", slave)) {
            std::fprintf(stderr, "vorlex term: cannot make a pseudo-terminal (error %lu)\n",
                         static_cast<unsigned long>(GetLastError()));
            return 1;
        }
    } else if (!comNumber(o.port, &port) && !portForPath(o.port, &port)) {
        return 2;
    }

    const LONG made = Func029(port, nullptr, 0x07, o.echo ? 1 : 0, o.speed, o.parity, o.data, o.stop);
    if (made != 0) {
        // The library has shown why (the open error box); this is for the console.
        std::fprintf(stderr, "vorlex term: %s: the terminal did not start (result %ld)\n",
                     o.shell ? slave : o.port, static_cast<long>(made));
        removeComDir();
        return 1;
    }
    int rows = 25, columns = 80;
    if (o.type->code != 0 || o.kbd) {
        const LONG r = Func088(port, o.type->code, o.kbd ? o.kbd : "");
        if (r != 0) {
            std::fprintf(stderr, "vorlex term: %s: not a usable keyboard map (result %ld)\n", o.kbd ? o.kbd : "",
                         static_cast<long>(r));
            if (HWND f = FindWindowA("VorlexTerm", nullptr)) DestroyWindow(f);
            if (o.shell) WapiDestroyNullModemPair("COM1");
            removeComDir();
            return 2;
        }
        if (r == 0 && o.kbd) {
            // The map's screen size, as the shell should know it.
            if (FILE *f = std::fopen(o.kbd, "rb")) {
                unsigned char w[4];
                if (std::fseek(f, 1784, SEEK_SET) == 0 && std::fread(w, 1, 4, f) == 4) {
                    int mr = w[0] | w[1] << 8, mc = w[2] | w[3] << 8;
                    if (mr >= 1 && mr <= 100) rows = mr;
                    if (mc >= 1 && mc <= 88) columns = mc;
                }
                std::fclose(f);
            }
        }
    }
    Func078(port, kZmodem, o.sendDir.empty() ? nullptr : o.sendDir.c_str(), o.receiveDir.c_str());
    HWND frame = FindWindowA("VorlexTerm", nullptr);

    pid_t child = -1;
    std::thread reaper;
    std::promise<void> reaped;
    std::future<void> shellGone = reaped.get_future();
    if (o.shell) {
        child = startShell(o, slave, rows, columns, cwd);
        if (child < 0) {
            std::perror("vorlex term: fork");
        } else {
            // The shell's end closes the frame (on this thread: it owns it).
            reaper = std::thread([child, &reaped] {
                int status;
                while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
                }
                reaped.set_value();
                g_run.shellEnded = true;
                if (g_run.ready) PostMessageA(g_run.helper, kShellEnded, 0, 0);
            });
        }
    }

    // The upload dialog starts in the current directory, not in the one
    // Func078 was given: the program goes there (the shell stays where it
    // was started).
    if (!o.sendDir.empty() && chdir(o.sendDir.c_str()) != 0) std::perror("vorlex term: --send-dir");

    // Our own messages go to a window of ours: a transfer's or a dialog's
    // modal loop dispatches those, where it would drop thread messages.
    g_run.frame = frame;
    g_run.snapshot = o.snapshot;
    g_run.child = child;
    WNDCLASSA wc{};
    wc.lpfnWndProc = helperProcedure;
    wc.lpszClassName = "VorlexTermHelper";
    RegisterClassA(&wc);
    g_run.helper = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    g_run.ready = true;
    if (g_run.shellEnded) PostMessageA(g_run.helper, kShellEnded, 0, 0);
    if (o.snapshot) SetTimer(g_run.helper, kSnapshotTimer, o.after, nullptr);
    MSG m;
    while (Func007(port) && IsWindow(frame) && GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    const int status = g_run.status;
    if (g_run.helper) DestroyWindow(g_run.helper);
    if (IsWindow(frame)) DestroyWindow(frame);

    if (o.shell) {
        const bool running = reaper.joinable() && shellGone.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
        if (running) {
            // The window is gone: hang up on the shell's session.
            kill(-child, SIGHUP);
            kill(child, SIGHUP);
        }
        WapiDestroyNullModemPair("COM1");
        if (running && shellGone.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
            // A shell that ignores the hang-up gets a firmer word (not yet
            // reaped, so the number is still its own).
            kill(-child, SIGKILL);
            kill(child, SIGKILL);
        }
        if (reaper.joinable()) reaper.join();
    }
    removeComDir();
    return status;
}
