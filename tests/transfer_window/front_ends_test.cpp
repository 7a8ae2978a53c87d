// The interactive transfer exports against lrzsz, answered as a person
// would: the files picked in the open dialog, the name typed into Save As,
// the folder picked in the folder browser, each dialog cancelled. Around
// every transfer, what the application sees: its window disabled while the
// transfer runs, enabled again with the focus back afterwards, no window
// of the library left behind.
#include "transfer_app.h"

#include "lrzsz.h"
#include "support.h"

#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

using namespace tw;
using namespace gui;
using testsupport::PeerProgram;
using testsupport::PtyPort;
using testsupport::TempDir;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::shellQuote;

namespace {

using tw::App; // not gui::App: this one opens a port and keeps a window

constexpr int kCom = 142;
constexpr char kUploadTitle[] = "Select A File Or Group Of Files To Upload";

// ---- the person ------------------------------------------------------------

// Clicks the list's entry; with Ctrl held it is added to the selection.
bool clickEntry(HWND list, const std::string &entry, bool control = false) {
    const int i = listIndexOf(list, entry.c_str());
    if (i < 0) return false;
    if (control) WapiSendKey(list, VK_CONTROL, TRUE);
    click(list, 10, listItemY(list, i));
    if (control) WapiSendKey(list, VK_CONTROL, FALSE);
    return true;
}

// In an open dialog: opens the folder by typing its path, then clicks the
// files in the order given, holding Ctrl from the second on.
void pickFiles(HWND dialog, const std::string &folder, const std::vector<std::string> &names) {
    type(dialog, folder + "\n");
    HWND files = GetDlgItem(dialog, lst1);
    for (size_t i = 0; i < names.size(); i++) EXPECT_TRUE(clickEntry(files, names[i], i > 0)) << names[i];
}

// In the folder browser: picks the sub-folder of the open folder.
void pickFolder(HWND browser, const std::string &name) {
    HWND list = FindWindowExA(browser, nullptr, "ListBox", nullptr);
    ASSERT_TRUE(list);
    ASSERT_TRUE(clickEntry(list, "[" + name + "]"));
    click(GetDlgItem(browser, IDOK));
}

// Presses Esc on every dialog still up, so that a failed test does not
// leave its application waiting for ever.
void dismissDialogs() {
    for (int i = 0; i < 10; i++) {
        HWND h = FindWindowA("#32770", nullptr);
        if (!h) return;
        key(h, VK_ESCAPE);
    }
}

// The folder browser starts in the current directory when the port has
// no terminal: the application runs in this folder for a while.
class InFolder {
public:
    explicit InFolder(const std::string &path) {
        GetCurrentDirectoryA(sizeof old_, old_);
        SetCurrentDirectoryA(path.c_str());
    }
    ~InFolder() { SetCurrentDirectoryA(old_); }

private:
    char old_[MAX_PATH] = "";
};

// The receiver starts only once the library's sender is at its port.
struct Gate {
    TempDir dir;
    std::string wait() const { return "while [ ! -e " + shellQuote(dir.file("go")) + " ]; do sleep 0.01; done; "; }
    void open() const { std::ofstream(dir.file("go")).close(); }
};

// The names a verbose lrzsz receiver said it was receiving, in order.
std::vector<std::string> receivedNames(const std::string &log) {
    std::vector<std::string> out;
    std::string line;
    for (char c : log + "\n") {
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (line.rfind("Receiving: ", 0) == 0) out.push_back(line.substr(11));
        line.clear();
    }
    return out;
}

// Xmodem keeps the SUB padding of the last block.
::testing::AssertionResult xmodemFile(const std::string &got, const std::string &data) {
    if (got.size() < data.size() || got.size() > data.size() + 127)
        return ::testing::AssertionFailure() << "size " << got.size() << " for " << data.size();
    if (got.compare(0, data.size(), data) != 0) return ::testing::AssertionFailure() << "the bytes differ";
    for (size_t i = data.size(); i < got.size(); i++)
        if (got[i] != '\x1A') return ::testing::AssertionFailure() << "padding byte " << i << " is not SUB";
    return ::testing::AssertionSuccess();
}

// ---- what the application sees -----------------------------------------------

// Filled by the progress callback, on whichever thread runs the engine.
struct Watch {
    std::mutex lock;
    HWND owner = nullptr;
    std::string dialogTitle; // the progress dialog expected, or empty for none
    std::vector<std::string> announced;
    int reports = 0;
    int ownerEnabled = 0;  // reports made while the owner window was enabled
    int dialogShown = 0;   // reports made while the progress dialog was up
    int dataReports = 0;   // reports of bytes moved, which come from the engine
    int dataOnOwnerThread = 0; // of those, made on the thread of the owner window
};
Watch g_watch;

LONG WINAPI watchProgress(LONG, LONG, LPCSTR name, DWORD, DWORD bytes, DWORD, DWORD, LONG status) {
    std::lock_guard<std::mutex> hold(g_watch.lock);
    g_watch.reports++;
    if (status == 1 && name && *name) g_watch.announced.push_back(name);
    if (IsWindowEnabled(g_watch.owner)) g_watch.ownerEnabled++;
    if (!g_watch.dialogTitle.empty()) {
        HWND dialog = FindWindowA("ZmodemTransfer", g_watch.dialogTitle.c_str());
        if (dialog && IsWindowVisible(dialog)) g_watch.dialogShown++;
    }
    if (status != 1 && bytes > 0) {
        g_watch.dataReports++;
        if (GetWindowThreadProcessId(g_watch.owner, nullptr) == GetCurrentThreadId()) g_watch.dataOnOwnerThread++;
    }
    return 0;
}

// The windows of the calling thread that are visible, besides one.
std::vector<HWND> visibleWindowsBesides(HWND window) {
    struct Found {
        HWND except;
        std::vector<HWND> list;
    } found{window, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM p) -> BOOL {
            auto *f = reinterpret_cast<Found *>(p);
            if (h != f->except && IsWindowVisible(h)) f->list.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.list;
}

// What the application found right after the export returned.
struct After {
    HWND focus = nullptr;
    HWND active = nullptr;
    size_t windowsLeft = 0;
};

// The body of an application that installs the progress callback, calls
// one front-end and looks around once it has returned.
std::function<LONG(LONG, HWND)> calling(std::function<LONG(LONG, HWND)> frontEnd, After &after,
                                         const char *progressTitle) {
    return [frontEnd, &after, progressTitle](LONG port, HWND window) {
        {
            std::lock_guard<std::mutex> hold(g_watch.lock);
            g_watch.owner = window;
            g_watch.dialogTitle = progressTitle ? progressTitle : "";
            g_watch.announced.clear();
            g_watch.reports = g_watch.ownerEnabled = g_watch.dialogShown = 0;
            g_watch.dataReports = g_watch.dataOnOwnerThread = 0;
        }
        Func085(port, watchProgress);
        const LONG result = frontEnd(port, window);
        after.focus = GetFocus();
        after.active = GetActiveWindow();
        after.windowsLeft = visibleWindowsBesides(window).size();
        return result;
    };
}

// Enabled again, the focus back on it, nothing of the library left.
void expectHandedBack(App &app, const After &after) {
    EXPECT_TRUE(app.enabledAfter()) << "the application's window stayed disabled";
    EXPECT_EQ(after.focus, app.window()) << "the focus did not come back to the application's window";
    EXPECT_EQ(after.active, app.window());
    EXPECT_EQ(after.windowsLeft, 0u) << "a window of the transfer was left on the screen";
    EXPECT_FALSE(FindWindowA("ZmodemTransfer", nullptr));
}

// The transfer ran with the owner disabled all along: the engine on a
// worker thread under the progress dialog, or on the application's thread
// without one. (Opening and announcing a file to send, and closing a
// batch, are the front-end's own work, on the application's thread; the
// callback then hears the last file's bytes again.)
void expectRanHeld(bool progressWindow) {
    std::lock_guard<std::mutex> hold(g_watch.lock);
    ASSERT_GT(g_watch.dataReports, 0) << "the callback heard of no bytes";
    EXPECT_EQ(g_watch.ownerEnabled, 0) << "the owner window was usable during the transfer";
    if (progressWindow) {
        EXPECT_EQ(g_watch.dialogShown, g_watch.reports) << "a report came without the progress dialog up";
        EXPECT_LT(g_watch.dataOnOwnerThread, g_watch.dataReports) << "the engine ran on the application's thread";
    } else {
        EXPECT_EQ(g_watch.dataOnOwnerThread, g_watch.dataReports) << "the engine left the application's thread";
    }
}

std::vector<std::string> announced() {
    std::lock_guard<std::mutex> hold(g_watch.lock);
    return g_watch.announced;
}

// An upload's end as the application and the receiving program see it:
// result 0, the window handed back, the files announced and received in
// this order, the peer ended well (only after the batch's closing).
void expectBatchDelivered(App &app, const After &after, PeerProgram &peer, const std::vector<std::string> &names,
                          bool progressWindow, DWORD ms) {
    const LONG result = app.result(-999, ms);
    if (result == -999) dismissDialogs();
    EXPECT_EQ(result, 0);
    expectHandedBack(app, after);
    expectRanHeld(progressWindow);
    EXPECT_EQ(announced(), names);
    EXPECT_EQ(peer.wait(10000), 0) << peer.log();
    EXPECT_EQ(receivedNames(peer.log()), names);
}

// ---- Zmodem -----------------------------------------------------------------

TEST(ZmodemUploadDialog, OneChosenFileGoesToRzAndTheBatchEnds) {
    TempDir src, dst;
    const std::string data = randomBytes(3000, 11);
    writeFile(src.file("report.zip"), data);
    writeFile(src.file("notes.txt"), "not offered first");
    PeerProgram rz(kCom, "rz -vv", dst.path());
    After after;
    App app(kCom, calling(Func065, after, "Zmodem Send"));
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow(kUploadTitle, "#32770");
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowEnabled(app.window()));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), app.window());
    pickFiles(dialog, src.path(), {"report.zip"});
    EXPECT_EQ(listItems(GetDlgItem(dialog, lst1)), std::vector<std::string>{"report.zip"});
    click(GetDlgItem(dialog, IDOK));

    // rz ends well only after the closing ZFIN exchange.
    expectBatchDelivered(app, after, rz, std::vector<std::string>{"report.zip"}, true, 20000);
    EXPECT_TRUE(readFile(dst.file("report.zip")) == data);
    EXPECT_FALSE(fileExists(dst.file("notes.txt")));
}

TEST(ZmodemUploadDialog, ThreeChosenFilesGoInTheDialogsOrderNamesWithSpacesWhole) {
    TempDir src, dst;
    const std::vector<std::string> names = {"alpha.zip", "beta gamma.zip", "delta.zip"};
    std::vector<std::string> contents;
    for (size_t i = 0; i < names.size(); i++) {
        contents.push_back(randomBytes(1500 + 700 * i, static_cast<unsigned>(20 + i)));
        writeFile(src.file(names[i]), contents.back());
    }
    PeerProgram rz(kCom, "rz -vv", dst.path());
    After after;
    App app(kCom, calling(Func065, after, "Zmodem Send"));
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow(kUploadTitle, "#32770");
    ASSERT_TRUE(dialog);
    // Picked in another order than the list's.
    pickFiles(dialog, src.path(), {"delta.zip", "alpha.zip", "beta gamma.zip"});
    EXPECT_EQ(itemText(dialog, edt1), "\"alpha.zip\" \"beta gamma.zip\" \"delta.zip\"");
    click(GetDlgItem(dialog, IDOK));

    HWND progress = waitForWindow("Zmodem Send", "ZmodemTransfer", 5000);
    ASSERT_TRUE(progress);
    EXPECT_EQ(GetWindow(progress, GW_OWNER), app.window());
    expectBatchDelivered(app, after, rz, names, true, 25000);
    for (size_t i = 0; i < names.size(); i++) EXPECT_TRUE(readFile(dst.file(names[i])) == contents[i]) << names[i];
    // The name was not split at its space.
    EXPECT_FALSE(fileExists(dst.file("beta")));
    EXPECT_FALSE(fileExists(dst.file("gamma.zip")));
}

TEST(ZmodemUploadDialog, ATypedPathWithASpaceGoesWholeWithoutAProgressWindow) {
    TempDir src, dst;
    const std::string data = randomBytes(2500, 31);
    writeFile(src.file("my file.zip"), data);
    PeerProgram rz(kCom, "rz -vv", dst.path());
    After after;
    App app(kCom, calling(Func065, after, nullptr), true);
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow(kUploadTitle, "#32770");
    ASSERT_TRUE(dialog);
    type(dialog, src.file("my file.zip") + "\n");
    expectBatchDelivered(app, after, rz, std::vector<std::string>{"my file.zip"}, false, 20000);
    EXPECT_TRUE(readFile(dst.file("my file.zip")) == data);
    EXPECT_FALSE(fileExists(dst.file("my")));
}

TEST(ZmodemDownloadDialog, SzsFilesLandInTheChosenFolder) {
    TempDir src, work;
    const std::string one = randomBytes(4000, 41), two = randomBytes(900, 42);
    writeFile(src.file("one.bin"), one);
    writeFile(src.file("two words.bin"), two);
    CreateDirectoryA(work.file("inbox").c_str(), nullptr);
    CreateDirectoryA(work.file("other").c_str(), nullptr);
    InFolder in(work.path());
    PeerProgram sz(kCom, "sz -q one.bin 'two words.bin'", src.path());
    After after;
    App app(kCom, calling(Func114, after, "Zmodem Receive"));
    ASSERT_TRUE(app.opened());
    HWND browser = waitForWindow("Browse for Folder", "#32770");
    ASSERT_TRUE(browser);
    EXPECT_TRUE(FindWindowExA(browser, nullptr, "Static", "Directory to Save File in"));
    EXPECT_FALSE(IsWindowEnabled(app.window()));
    pickFolder(browser, "inbox");
    const LONG result = app.result(-999, 20000);
    if (result == -999) dismissDialogs();
    EXPECT_EQ(result, 0);
    expectHandedBack(app, after);
    expectRanHeld(true);
    EXPECT_EQ(sz.wait(10000), 0) << sz.log();
    EXPECT_TRUE(readFile(work.file("inbox/one.bin")) == one);
    EXPECT_TRUE(readFile(work.file("inbox/two words.bin")) == two);
    // Not where the browser started.
    EXPECT_FALSE(fileExists(work.file("one.bin")));
}

// ---- Xmodem and Ymodem --------------------------------------------------------

TEST(BlockUploadDialog, YmodemSendsTheChosenFilesToRbInOrder) {
    TempDir src, dst;
    const std::vector<std::string> names = {"first.zip", "second part.zip", "third.zip"};
    std::vector<std::string> contents;
    for (size_t i = 0; i < names.size(); i++) {
        contents.push_back(randomBytes(1100 + 900 * i, static_cast<unsigned>(50 + i)));
        writeFile(src.file(names[i]), contents.back());
    }
    Gate gate;
    PeerProgram rb(kCom, gate.wait() + "rb -vv", dst.path());
    After after;
    App app(kCom, calling([](LONG port, HWND w) { return Func079(port, w, VORLEX_PROTOCOL_YMODEM); }, after,
                          "Ymodem Send"));
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow(kUploadTitle, "#32770");
    ASSERT_TRUE(dialog);
    pickFiles(dialog, src.path(), {"third.zip", "first.zip", "second part.zip"});
    click(GetDlgItem(dialog, IDOK));
    gate.open();
    // rb ends well only after the empty name that closes the batch.
    expectBatchDelivered(app, after, rb, names, true, 25000);
    for (size_t i = 0; i < names.size(); i++) EXPECT_TRUE(readFile(dst.file(names[i])) == contents[i]) << names[i];
}

TEST(BlockUploadDialog, XmodemSendsOneChosenFileToRx) {
    for (bool noProgressWindow : {false, true}) {
        SCOPED_TRACE(noProgressWindow ? "without a progress window" : "with a progress window");
        TempDir src, dst;
        const std::string data = randomBytes(1000, noProgressWindow ? 61 : 62);
        writeFile(src.file("single.zip"), data);
        Gate gate;
        PeerProgram rx(kCom, gate.wait() + "rx -c got.bin", dst.path());
        After after;
        App app(kCom,
                calling([](LONG port, HWND w) { return Func079(port, w, VORLEX_PROTOCOL_XMODEM); }, after,
                        noProgressWindow ? nullptr : "Xmodem Send"),
                noProgressWindow);
        ASSERT_TRUE(app.opened());
        // One file only: the single-choice title.
        HWND dialog = waitForWindow("Select A File To Upload", "#32770");
        ASSERT_TRUE(dialog);
        pickFiles(dialog, src.path(), {"single.zip"});
        click(GetDlgItem(dialog, IDOK));
        gate.open();
        const LONG result = app.result(-999, 20000);
        if (result == -999) dismissDialogs();
        EXPECT_EQ(result, 0);
        expectHandedBack(app, after);
        expectRanHeld(!noProgressWindow);
        EXPECT_EQ(rx.wait(10000), 0) << rx.log();
        EXPECT_TRUE(xmodemFile(readFile(dst.file("got.bin")), data));
    }
}

TEST(BlockDownloadDialog, XmodemFromSxReplacesTheFileChosenInSaveAs) {
    TempDir src, dst;
    const std::string data = randomBytes(1000, 71);
    writeFile(src.file("out.bin"), data);
    // Longer than what comes: the old bytes must not survive.
    writeFile(dst.file("target.bin"), std::string(5000, 'o'));
    PeerProgram sx(kCom, "sx out.bin", src.path());
    After after;
    App app(kCom, calling([](LONG port, HWND w) { return Func047(port, w, VORLEX_PROTOCOL_XMODEM); }, after,
                          "Xmodem Receive"));
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Xmodem Receive", "#32770");
    ASSERT_TRUE(dialog);
    type(dialog, dst.file("target.bin") + "\n");
    HWND question = waitForOther("#32770", "Xmodem Receive", dialog, 3000);
    ASSERT_TRUE(question) << "replacing a file went without asking";
    EXPECT_NE(itemText(question, 0xFFFF).find("already exists"), std::string::npos);
    click(GetDlgItem(question, IDYES));
    const LONG result = app.result(-999, 20000);
    if (result == -999) dismissDialogs();
    EXPECT_EQ(result, 0);
    expectHandedBack(app, after);
    expectRanHeld(true);
    EXPECT_EQ(sx.wait(10000), 0) << sx.log();
    EXPECT_TRUE(xmodemFile(readFile(dst.file("target.bin")), data));
}

TEST(BlockDownloadDialog, YmodemFromSbIntoTheChosenFolder) {
    TempDir src, work;
    const std::string one = randomBytes(2100, 81), two = randomBytes(300, 82);
    writeFile(src.file("uno.bin"), one);
    writeFile(src.file("dos tres.bin"), two);
    CreateDirectoryA(work.file("inbox").c_str(), nullptr);
    InFolder in(work.path());
    PeerProgram sb(kCom, "sb -k uno.bin 'dos tres.bin'", src.path());
    After after;
    App app(kCom, calling([](LONG port, HWND w) { return Func047(port, w, VORLEX_PROTOCOL_YMODEM); }, after,
                          "Ymodem Receive"));
    ASSERT_TRUE(app.opened());
    HWND browser = waitForWindow("Browse for Folder", "#32770");
    ASSERT_TRUE(browser);
    EXPECT_TRUE(FindWindowExA(browser, nullptr, "Static", "Directory to Save File in"));
    pickFolder(browser, "inbox");
    const LONG result = app.result(-999, 20000);
    if (result == -999) dismissDialogs();
    EXPECT_EQ(result, 0);
    expectHandedBack(app, after);
    expectRanHeld(true);
    EXPECT_EQ(announced(), (std::vector<std::string>{"uno.bin", "dos tres.bin"}));
    EXPECT_EQ(sb.wait(10000), 0) << sb.log();
    EXPECT_TRUE(readFile(work.file("inbox/uno.bin")) == one);
    EXPECT_TRUE(readFile(work.file("inbox/dos tres.bin")) == two);
    EXPECT_FALSE(fileExists(work.file("uno.bin")));
}

// ---- refusals and second thoughts -----------------------------------------------

struct Choice {
    const char *what;
    const char *dialogTitle;
    std::function<LONG(LONG, HWND)> frontEnd;
    std::vector<std::string> filters; // none for the folder browser
};

const std::vector<std::string> kFileFilters = {"Zipped Files (*.zip)", "Text Files (*.txt;*.doc)", "All Files (*.*)"};
const std::vector<std::string> kTextFilters = {"Text Files (*.txt)", "All Files (*.*)"};

TEST(FrontEndDialogs, CancellingTheChoiceSendsNothingAndHandsTheWindowBack) {
    const std::vector<Choice> choices = {
        {"Func065", kUploadTitle, Func065, kFileFilters},
        {"Func114", "Browse for Folder", Func114, {}},
        {"Func079 Ymodem", kUploadTitle, [](LONG p, HWND w) { return Func079(p, w, VORLEX_PROTOCOL_YMODEM); },
         kFileFilters},
        {"Func079 ASCII", "Select A File To Upload",
         [](LONG p, HWND w) { return Func079(p, w, VORLEX_PROTOCOL_ASCII); }, kTextFilters},
        {"Func047 Xmodem", "Xmodem Receive", [](LONG p, HWND w) { return Func047(p, w, VORLEX_PROTOCOL_XMODEM); },
         kFileFilters},
        {"Func047 ASCII", "ASCII Receive", [](LONG p, HWND w) { return Func047(p, w, VORLEX_PROTOCOL_ASCII); },
         kTextFilters},
        {"Func047 Ymodem", "Browse for Folder", [](LONG p, HWND w) { return Func047(p, w, VORLEX_PROTOCOL_YMODEM); },
         {}},
    };
    for (const Choice &choice : choices) {
        SCOPED_TRACE(choice.what);
        PtyPort line(kCom);
        After after;
        App app(kCom, calling(choice.frontEnd, after, nullptr));
        ASSERT_TRUE(app.opened());
        HWND dialog = waitForWindow(choice.dialogTitle, "#32770");
        ASSERT_TRUE(dialog);
        if (!choice.filters.empty()) {
            EXPECT_EQ(comboItems(GetDlgItem(dialog, cmb1)), choice.filters);
        }
        EXPECT_FALSE(IsWindowEnabled(app.window()));
        key(dialog, VK_ESCAPE);
        const LONG result = app.result(-999, 5000);
        if (result == -999) dismissDialogs();
        EXPECT_EQ(result, 0);
        expectHandedBack(app, after);
        EXPECT_EQ(line.drain(300), "") << "bytes went out after a cancelled choice";
        std::lock_guard<std::mutex> hold(g_watch.lock);
        EXPECT_EQ(g_watch.reports, 0);
    }
}

TEST(FrontEndDialogs, BadPortsAndProtocolsAreRefusedBeforeAnyDialog) {
    PtyPort line(kCom);
    struct Refusal {
        const char *what;
        LONG result;
        bool enabledAfter;
    };
    std::vector<Refusal> got;
    App app(kCom, [&](LONG port, HWND w) {
        auto note = [&](const char *what, LONG result) { got.push_back({what, result, IsWindowEnabled(w) != FALSE}); };
        const LONG closed = port + 1; // never opened
        const LONG bads[] = {-1, 255, closed};
        for (LONG bad : bads) {
            note("Func065", Func065(bad, w));
            note("Func114", Func114(bad, w));
            note("Func079", Func079(bad, w, VORLEX_PROTOCOL_YMODEM));
            note("Func047", Func047(bad, w, VORLEX_PROTOCOL_XMODEM));
        }
        // The record of a refused protocol is gone: the next call is not
        // told that a transfer runs.
        note("Func079 protocol 6", Func079(port, w, 6));
        note("Func047 protocol 6", Func047(port, w, 6));
        note("Func079 protocol 6 again", Func079(port, w, 6));
        return 0;
    });
    ASSERT_TRUE(app.opened());
    const LONG result = app.result(-999, 5000);
    if (result == -999) dismissDialogs();
    ASSERT_EQ(result, 0) << "a dialog was shown";
    const std::vector<LONG> badPort = {VORLEX_ZMODEM_BAD_PORT, VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, VORLEX_SEND_BAD_PORT,
                                       VORLEX_RECEIVE_DIALOG_BAD_PORT};
    ASSERT_EQ(got.size(), 15u);
    for (size_t i = 0; i < 12; i++) {
        SCOPED_TRACE(std::string(got[i].what) + " on bad port " + std::to_string(i / 4));
        EXPECT_EQ(got[i].result, badPort[i % 4]);
        EXPECT_TRUE(got[i].enabledAfter);
    }
    EXPECT_EQ(got[12].result, VORLEX_SEND_BAD_PROTOCOL);
    EXPECT_EQ(got[13].result, VORLEX_RECEIVE_BAD_PROTOCOL);
    EXPECT_EQ(got[14].result, VORLEX_SEND_BAD_PROTOCOL);
    for (size_t i = 12; i < 15; i++) EXPECT_TRUE(got[i].enabledAfter) << got[i].what;
    EXPECT_TRUE(app.enabledAfter());
    EXPECT_EQ(line.drain(300), "");
}

} // namespace
