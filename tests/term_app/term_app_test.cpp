// The vorlex program's terminal as a person uses it: `vorlex term --shell`
// runs as a child process with its window on an Xvfb server this suite
// starts; xdotool types into it, the server's pixels tell what it shows,
// and lrzsz's sz in the shell starts a download by itself.
// The usage cases need no server.
#include "xvfb.h"

#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) would break its templates.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

testsupport::XvfbServer g_xvfb;
std::string g_skip;    // why the X cases cannot run here
std::string g_display; // ":N" of the suite's server
using testsupport::onPath;

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_xvfb.start();
        g_skip = g_xvfb.skip();
        g_display = g_xvfb.display();
    }
    void TearDown() override { g_xvfb.stop(); }
};
const auto *g_env = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

std::string tempDir(const char *tag) {
    std::string t = std::string("/tmp/vorlex-termapp-") + tag + "-XXXXXX";
    return mkdtemp(&t[0]) ? t : std::string();
}

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The vorlex program as a child: its output in files, its end waited for
// with a bound.
struct Program {
    pid_t pid = -1;
    int pidfd = -1;
    std::string out, err;
    int status = -1;

    // env: "NAME=value" to set, "NAME" to remove.
    void start(const std::vector<std::string> &args, const std::vector<std::string> &env, const std::string &cwd = "") {
        static int serial = 0;
        const std::string base = "/tmp/vorlex-termapp-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        out = base + ".out";
        err = base + ".err";
        pid = fork();
        if (pid == 0) {
            for (const std::string &e : env) {
                size_t eq = e.find('=');
                if (eq == std::string::npos)
                    unsetenv(e.c_str());
                else
                    setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
            if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
            int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            std::vector<char *> argv{const_cast<char *>(VORLEX_PROGRAM)};
            for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(VORLEX_PROGRAM, argv.data());
            _exit(127);
        }
        pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    }
    // The exit status, or -1 when it has not ended within ms (then killed).
    int wait(int ms) {
        pollfd p{pidfd, POLLIN, 0};
        if (pidfd < 0 || poll(&p, 1, ms) != 1) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
            return -1;
        }
        int s;
        waitpid(pid, &s, 0);
        pid = -1;
        status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
        return status;
    }
    ~Program() {
        if (pid > 0) wait(0);
        if (pidfd >= 0) close(pidfd);
        unlink(out.c_str());
        unlink(err.c_str());
    }
};

// ---- usage, without a server ----------------------------------------------

TEST(TermAppUsage, HelpAnswersAndMistakesFail) {
    struct Case {
        std::vector<std::string> args;
        bool ok;            // exit 0, else non-zero
        const char *stream; // "out" or "err"
        const char *text;   // found there
    };
    const Case cases[] = {
        {{"--help"}, true, "out", "term "},
        {{"help"}, true, "out", "usage: vorlex"},
        {{"help", "term"}, true, "out", "--receive-dir"},
        {{"term", "--help"}, true, "out", "--snapshot"},
        {{"loop", "--help"}, true, "out", "usage: vorlex loop"}, // not the loop check itself
        {{"send", "--help"}, true, "out", "usage: vorlex send"},
        {{"help", "nosuch"}, false, "err", "usage: vorlex"},
        {{"nosuch"}, false, "err", "unknown command"},
        {{"--nosuch"}, false, "err", "unknown option"},
        {{"loop", "extra"}, false, "err", "usage: vorlex loop"},
        {{"term", "--nosuch", "COM1"}, false, "err", "usage: vorlex term"},
        {{"term", "--parity", "sideways", "COM1"}, false, "err", "bad parity"},
        {{"term", "--speed"}, false, "err", "needs a value"},
        {{"term", "--type", "vt100", "COM1"}, false, "err", "keyboard map"},
        {{"term", "COM1", "--shell"}, false, "err", "PORT or --shell"},
        {{"term"}, false, "err", "PORT or --shell"},
    };
    for (const Case &c : cases) {
        std::string joined;
        for (const std::string &a : c.args) joined += a + " ";
        Program p;
        p.start(c.args, {"DISPLAY", "WAPI_DISPLAY=headless"});
        const int status = p.wait(10000);
        EXPECT_EQ(status == 0, c.ok) << joined << "-> " << status;
        EXPECT_NE(status, -1) << joined;
        const std::string text = slurp(std::string(c.stream) == "out" ? p.out : p.err);
        EXPECT_NE(text.find(c.text), std::string::npos) << joined << "printed:\n" << text;
    }
}

TEST(TermAppUsage, NoDisplaySaysSoInOneLine) {
    Program p;
    p.start({"term", "--shell", "sh"}, {"DISPLAY", "WAPI_DISPLAY"});
    EXPECT_EQ(p.wait(10000), 1);
    const std::string err = slurp(p.err);
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// The width and height of a PNG file; 0, 0 when it is none.
std::pair<unsigned, unsigned> pngSize(const std::string &path) {
    const std::string d = slurp(path);
    if (d.size() < 24 || d.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
    auto be = [&](size_t at) {
        return unsigned(uint8_t(d[at])) << 24 | unsigned(uint8_t(d[at + 1])) << 16 | unsigned(uint8_t(d[at + 2])) << 8 |
               unsigned(uint8_t(d[at + 3]));
    };
    return {be(16), be(20)};
}

// Headless with --snapshot: the frame as a PNG, on a shell and on a device
// path (a pseudo-terminal's slave opened through the private COM directory);
// a device that does not open fails.
TEST(TermAppUsage, SnapshotWithoutDisplay) {
    const std::string dir = tempDir("snap");
    ASSERT_FALSE(dir.empty());
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"term", "--shell", "printf hello; sleep 5", "--snapshot", dir + "/shell.png", "--after", "300"}, 0},
        {{"term", slave, "--speed", "19200", "--parity", "even", "--data", "7", "--snapshot", dir + "/device.png",
          "--after", "300"},
         0},
        {{"term", dir + "/no-such-device", "--snapshot", dir + "/none.png", "--after", "300"}, 1},
    };
    for (const Case &c : cases) {
        Program p;
        p.start(c.args, {"DISPLAY", "WAPI_DISPLAY"});
        EXPECT_EQ(p.wait(10000), c.status) << c.args[1] << ": " << slurp(p.err);
        const auto size = pngSize(c.args[c.args.size() - 3]);
        if (c.status == 0)
            EXPECT_TRUE(size.first >= 600 && size.second >= 400) << c.args[1] << ": " << size.first << "x" << size.second;
        else
            EXPECT_EQ(size.first, 0u);
    }
    close(master);
    std::system(("rm -rf " + dir).c_str());
}

// ---- the window under Xvfb ------------------------------------------------

std::string run(const std::string &cmd) {
    std::string out;
    if (FILE *f = popen(("DISPLAY=" + g_display + " timeout 10 " + cmd + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, f)) out += buf;
        pclose(f);
    }
    return out;
}

// The visible windows whose names match a pattern.
std::vector<unsigned long> windowsNamed(const char *pattern) {
    std::vector<unsigned long> ids;
    std::istringstream s(run(std::string("xdotool search --onlyvisible --name '") + pattern + "'"));
    for (unsigned long id; s >> id;) ids.push_back(id);
    return ids;
}

struct Rgb {
    int r, g, b;
};

class TermApp : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_skip.empty()) GTEST_SKIP() << g_skip;
        dpy = XOpenDisplay(g_display.c_str());
        ASSERT_NE(dpy, nullptr);
        work = tempDir("work");
        received = tempDir("received");
        outbox = tempDir("outbox");
        ASSERT_FALSE(work.empty() || received.empty() || outbox.empty());
    }
    void TearDown() override {
        if (dpy) XCloseDisplay(dpy);
        if (!work.empty()) std::system(("rm -rf " + work + " " + received + " " + outbox).c_str());
    }

    // Starts the terminal on a shell and waits for its frame.
    void startShell(const std::string &command, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"term", "--shell", command, "--receive-dir", received, "--send-dir", outbox};
        args.insert(args.end(), more.begin(), more.end());
        app.start(args,
                  {"DISPLAY=" + g_display, "WAPI_DISPLAY=x11", "SHELL=/bin/sh", "PS1=$ "}, work);
        for (int i = 0; i < 50 && !frame; i++) {
            auto ids = windowsNamed("^Terminal$");
            if (!ids.empty()) frame = ids[0];
            else std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_NE(frame, 0u) << "no Terminal window came\n" << slurp(app.err);
        run("xdotool windowfocus " + std::to_string(frame));
    }
    void type(const std::string &text) {
        ASSERT_TRUE(std::system(("DISPLAY=" + g_display + " timeout 20 xdotool type --delay 8 '" + text + "'").c_str()) ==
                    0);
        ASSERT_EQ(std::system(("DISPLAY=" + g_display + " timeout 5 xdotool key Return").c_str()), 0);
    }

    // The frame's pixels as the server has them.
    std::vector<Rgb> pixels(int *w, int *h) {
        XWindowAttributes a;
        std::vector<Rgb> px;
        if (!XGetWindowAttributes(dpy, frame, &a)) return px;
        XImage *img = XGetImage(dpy, frame, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        if (!img) return px;
        *w = a.width;
        *h = a.height;
        px.resize(static_cast<size_t>(a.width) * a.height);
        for (int y = 0; y < a.height; y++)
            for (int x = 0; x < a.width; x++) {
                unsigned long v = XGetPixel(img, x, y);
                px[y * a.width + x] = {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)};
            }
        XDestroyImage(img);
        return px;
    }

    // The longest horizontal and vertical runs of pixels that pass a test,
    // and how many pass.
    template <class F>
    void measure(F is, int *across, int *down, int *count) {
        int w = 0, h = 0;
        std::vector<Rgb> px = pixels(&w, &h);
        *across = *down = *count = 0;
        std::vector<int> col(w, 0);
        for (int y = 0; y < h; y++) {
            int run = 0;
            for (int x = 0; x < w; x++) {
                const bool hit = is(px[y * w + x]);
                run = hit ? run + 1 : 0;
                col[x] = hit ? col[x] + 1 : 0;
                *across = std::max(*across, run);
                *down = std::max(*down, col[x]);
                *count += hit;
            }
        }
    }

    bool waitWindow(const char *pattern) {
        for (int i = 0; i < 50; i++) {
            if (!windowsNamed(pattern).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // Waits for the on-line question after a close and says yes to it.
    void answerYes() {
        std::vector<unsigned long> ids;
        for (int i = 0; i < 50; i++) {
            ids = windowsNamed("^Terminal$");
            if (ids.size() >= 2) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_GE(ids.size(), 2u) << "no on-line question came";
        for (unsigned long id : ids)
            if (id != frame) run("xdotool windowfocus " + std::to_string(id) + " key Return");
    }

    Display *dpy = nullptr;
    Program app;
    unsigned long frame = 0;
    std::string work, received, outbox;
};

bool isGreen(const Rgb &p) { return p.g >= 100 && p.r < 80 && p.b < 80; }
bool isRedBackground(const Rgb &p) { return p.r >= 100 && p.g < 60 && p.b < 60; }

// Typed bytes reach the shell; its colours and PC line drawing reach the
// screen; sz in the shell starts a download that arrives whole, Alt+U an
// upload to rz; Alt+X and yes to the on-line question end the program with
// status 0.
TEST_F(TermApp, ShellDrawsTransfersAndExits) {
    {
        std::ofstream s(work + "/draw.sh");
        s << "printf '\\033[41m          \\033[0m\\r\\n'\n"
             "printf '\\033[32m\\332'; i=0; while [ $i -lt 30 ]; do printf '\\304'; i=$((i+1)); done; printf '\\277\\r\\n'\n"
             "for r in 1 2 3 4 5 6; do printf '\\263                              \\263\\r\\n'; done\n"
             "printf '\\300'; i=0; while [ $i -lt 30 ]; do printf '\\304'; i=$((i+1)); done; printf '\\331\\033[0m\\r\\n'\n";
    }
    ASSERT_NO_FATAL_FAILURE(startShell("/bin/sh"));
    int across0, down0, red0, greenAcross0, greenDown0, green0;
    measure(isRedBackground, &across0, &down0, &red0);
    measure(isGreen, &greenAcross0, &greenDown0, &green0);
    ASSERT_NO_FATAL_FAILURE(type("sh draw.sh"));
    int across = 0, down = 0, red = 0, gAcross = 0, gDown = 0, green = 0;
    for (int i = 0; i < 50 && (red - red0 < 1000 || gDown < 100); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        measure(isRedBackground, &across, &down, &red);
        measure(isGreen, &gAcross, &gDown, &green);
    }
    // Ten cells of red background; a green box 32 cells wide and 8 rows
    // high drawn with the PC's line characters as unbroken lines.
    EXPECT_GE(red - red0, 10 * 6 * 10) << "no red background appeared";
    EXPECT_GE(gAcross, 32 * 6) << "the box's horizontal lines are not unbroken";
    EXPECT_GE(gDown, 8 * 10) << "the box's vertical lines are not unbroken";

    if (!onPath("sz")) {
        GTEST_SKIP() << "lrzsz's sz is not installed: no download checked";
    }
    std::string data(1 << 20, '\0');
    std::mt19937 rng(7);
    for (char &c : data) c = static_cast<char>(rng());
    std::ofstream(work + "/big.bin", std::ios::binary).write(data.data(), data.size());
    ASSERT_NO_FATAL_FAILURE(type("sz big.bin && echo SENT-OK"));
    const std::string got = received + "/big.bin";
    bool whole = false;
    for (int i = 0; i < 300 && !whole; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        struct stat st;
        whole = stat(got.c_str(), &st) == 0 && st.st_size == static_cast<off_t>(data.size()) && slurp(got) == data;
    }
    EXPECT_TRUE(whole) << "the file did not arrive whole in 30 s";
    // The progress window goes (the file is whole a little before the
    // session's end); the frame has the keyboard again.
    bool alone = false;
    for (int i = 0; i < 100 && !alone; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        alone = windowsNamed(".").size() == 1;
    }
    EXPECT_TRUE(alone) << "the progress window stayed: "
                       << run("xdotool search --onlyvisible --name . getwindowname %@");
    // Alt+U with rz in the shell: the protocol (Zmodem chosen), the file
    // dialog in --send-dir, and the file arrives in the shell's directory.
    std::string up(200000, '\0');
    for (char &c : up) c = static_cast<char>(rng());
    std::ofstream(outbox + "/up.bin", std::ios::binary).write(up.data(), up.size());
    ASSERT_NO_FATAL_FAILURE(type("rz"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    run("xdotool windowfocus " + std::to_string(frame) + " key alt+u");
    ASSERT_TRUE(waitWindow("^Select A Protocol$")) << "no protocol dialog";
    run("xdotool key Return");
    ASSERT_TRUE(waitWindow("^Select A File")) << "no file dialog";
    ASSERT_NO_FATAL_FAILURE(type("up.bin"));
    // rz announced itself to the terminal, not to the sender, so the sender
    // first waits out its start pause (about 4 s); sanitizer builds under
    // load take some seconds more.
    whole = false;
    for (int i = 0; i < 300 && !whole; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        whole = slurp(work + "/up.bin") == up;
    }
    EXPECT_TRUE(whole) << "the upload did not arrive whole in 30 s";
    alone = false;
    for (int i = 0; i < 100 && !alone; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        alone = windowsNamed(".").size() == 1;
    }

    run("xdotool windowfocus " + std::to_string(frame) + " key alt+x");
    ASSERT_NO_FATAL_FAILURE(answerYes());
    EXPECT_EQ(app.wait(10000), 0) << slurp(app.err);
}

// Keys pressed on the X server reach the other end as the terminal type
// sends them: a VT100 map's cursor and PF keys, Return, Ctrl combinations;
// then IBM ANSI in DoorWay mode (Alt+=) sends a function key's scan code.
TEST_F(TermApp, KeysReachTheLineAsTheTypeSendsThem) {
    const struct {
        std::vector<std::string> options;
        const char *keys;
        std::string bytes;
    } cases[] = {
        {{"--type", "vt100", "--kbd", VORLEX_KEYMAP_DIR "/vt100.kbd"}, "a Return Up F1 ctrl+c",
         "a\r\x1b[A\x1bOP\x03"},
        {{}, "alt+equal F1 b", std::string("\0;b", 3)},
    };
    for (const auto &c : cases) {
        ASSERT_NO_FATAL_FAILURE(startShell("stty raw -echo; exec cat > keys.bin", c.options));
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // stty has run
        run("xdotool windowfocus " + std::to_string(frame) + " key --delay 50 " + c.keys);
        std::string got;
        for (int i = 0; i < 50 && got.size() < c.bytes.size(); i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            got = slurp(work + "/keys.bin");
        }
        EXPECT_EQ(got, c.bytes) << c.keys;
        run("xdotool windowfocus " + std::to_string(frame) + " key alt+x");
        ASSERT_NO_FATAL_FAILURE(answerYes());
        EXPECT_EQ(app.wait(10000), 0) << slurp(app.err);
        frame = 0;
        std::remove((work + "/keys.bin").c_str());
    }
}

// The shell's end closes the window without a question.
TEST_F(TermApp, ShellExitEndsProgram) {
    ASSERT_NO_FATAL_FAILURE(startShell("/bin/sh"));
    ASSERT_NO_FATAL_FAILURE(type("exit 3"));
    EXPECT_EQ(app.wait(10000), 0) << slurp(app.err);
}

// The window manager's close: the on-line question, then status 0, and the
// shell is hung up on.
TEST_F(TermApp, WindowManagerCloseEndsProgramAndShell) {
    ASSERT_NO_FATAL_FAILURE(startShell("echo $$ > shell.pid; exec sleep 600"));
    std::string pid;
    for (int i = 0; i < 50 && pid.empty(); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pid = slurp(work + "/shell.pid");
    }
    ASSERT_FALSE(pid.empty());
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = frame;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, frame, False, NoEventMask, &e);
    XFlush(dpy);
    ASSERT_NO_FATAL_FAILURE(answerYes());
    EXPECT_EQ(app.wait(10000), 0) << slurp(app.err);
    EXPECT_NE(kill(std::atoi(pid.c_str()), 0), 0) << "the shell still runs";
}

} // namespace
