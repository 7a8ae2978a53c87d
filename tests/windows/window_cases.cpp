// The library's windows on a real window system: message boxes, the
// Communications Errors dialog, the file and folder dialogs and the
// progress window of a running Zmodem upload, each found and answered by a
// robot thread through Win32 calls as a person would. Under Wine the
// windows are also saved as pictures.
#include "check.h"
#include "peer.h"

#include <vorlex.h>

#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

constexpr DWORD kOwner = 0x51;
constexpr int kCom = 4;
const LONG kPort = peer::portOf(kCom);

// Runs the robot's work on a thread of its own while the case's thread sits
// in the library's modal loop.
class Robot {
public:
    explicit Robot(std::function<void()> work) : work_(std::move(work)) {
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~Robot() {
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }

private:
    static DWORD WINAPI run(void *self) {
        static_cast<Robot *>(self)->work_();
        return 0;
    }
    std::function<void()> work_;
    HANDLE thread_;
};

// The top-level window with this title, waited for up to ms.
HWND findTitled(const char *title, int ms = 10000) {
    for (int waited = 0; waited < ms; waited += 50) {
        HWND w = FindWindowA(nullptr, title);
        if (w && IsWindowVisible(w)) return w;
        Sleep(50);
    }
    return nullptr;
}

std::string itemText(HWND dialog, int id) {
    char buf[512] = "";
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

// Cancels the dialog with this title until it has gone; whether it was seen.
bool cancelTitled(const char *title) {
    bool seen = false;
    for (int waited = 0; waited < 30000; waited += 100) {
        HWND d = FindWindowA(nullptr, title);
        if (d) {
            seen = true;
            PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        } else if (seen) {
            break;
        }
        Sleep(100);
    }
    return seen;
}

// Presses a dialog's button the way a click does.
void press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))); }

// Saves the window as a PNG-ready 32-bit BMP in VORLEX_SHOTS (Wine only:
// our own layer's pictures come from tools/snapshots).
void picture(HWND w, const char *name) {
#ifdef _WIN32
    const char *dir = std::getenv("VORLEX_SHOTS");
    if (!dir || !w) return;
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r;
    GetWindowRect(w, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    std::string data(static_cast<size_t>(width) * height * 4, '\0');
    memcpy(&data[0], bits, data.size());
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(14 + 40 + data.size()), 0, 0, 14 + 40};
    std::string file(reinterpret_cast<const char *>(&fh), 14);
    file.append(reinterpret_cast<const char *>(&bi.bmiHeader), 40);
    file += data;
    peer::writeFile(peer::local(std::string(dir) + "/" + name + ".bmp"), file);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
#else
    (void)w;
    (void)name;
#endif
}

} // namespace

CASE(window_message_boxes) {
    std::string text;
    {
        Robot robot([&] {
            HWND box = findTitled("Robot Box");
            CHECK(box != nullptr);
            text = itemText(box, 0xFFFF); // the message's static, as Windows numbers it
            picture(box, "message_box");
            press(box, IDNO);
        });
        CHECK_EQ(Func033(nullptr, "Robot Box", MB_YESNO | MB_ICONQUESTION, "Send %d files to %s?", 3, "COM4"), IDNO);
    }
    CHECK_EQ(text, "Send 3 files to COM4?");
    // The open result's text, in the library's own box.
    std::string openText;
    {
        Robot robot([&] {
            HWND box = nullptr;
            for (int i = 0; i < 200 && !box; i++) {
                box = GetForegroundWindow();
                char cls[64] = "";
                if (box) GetClassNameA(box, cls, sizeof cls);
                if (std::string(cls) != "#32770") box = nullptr, Sleep(50);
            }
            CHECK(box != nullptr);
            if (!box) return;
            openText = itemText(box, 0xFFFF);
            press(box, IDOK);
        });
        CHECK_EQ(Func034(VORLEX_OPEN_IN_USE), IDOK);
    }
    CHECK(!openText.empty());
}

CASE(window_errors_dialog) {
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
    std::string first;
    bool found = false;
    {
        Robot robot([&] {
            HWND d = findTitled("Communications Errors");
            found = d != nullptr;
            if (!d) return;
            first = itemText(d, 102); // CTS time-outs
            picture(d, "errors_dialog");
            press(d, IDOK);
        });
        Func013(kPort, nullptr);
    }
    CHECK(found);
    CHECK_EQ(first, "0");
    Func122(kPort, kOwner);
}

CASE(window_file_dialogs_cancelled) {
    char file[278] = "start.txt", name[278] = "x";
    bool seen = false;
    {
        Robot robot([&] { seen = cancelTitled("Robot Save"); });
        CHECK_EQ(Func046(nullptr, "Robot Save", file, "Text|*.txt|All|*.*", name, 1, 0), 0);
    }
    CHECK(seen);
    CHECK_EQ(std::string(name), "");
    char folder[MAX_PATH] = "";
    seen = false;
    {
        // As on Windows, the caption is the system's; the title is a text inside.
        Robot robot([&] { seen = cancelTitled("Browse for Folder"); });
        CHECK_EQ(Func043(nullptr, "Robot Folder", folder), 0);
    }
    CHECK(seen);
}

// The progress window of a real upload to rz, its fields and bar read back
// part-way, then its Cancel button pressed: the transfer stops and rz is told.
CASE(window_progress_during_zmodem) {
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
    Func001(kPort, 115200, NOPARITY, 8, 1);
    Func090(kPort, 0, 1, 0, 1, 60); // with the progress window; no carrier on a pseudo-terminal
    std::string src = peer::work(), dst = peer::work();
    const DWORD size = 1000000;
    CHECK(peer::writeFile(peer::local(src + "/big.bin"), peer::pattern(size, 7)));
    peer::drain(kCom);
    std::string fileName, fileSize, status;
    DWORD bytes = 0, position = 0, upper = 0;
    bool found = false;
    LONG result;
    {
        Robot robot([&] {
            HWND d = findTitled("Zmodem Send");
            found = d != nullptr;
            if (!d) return;
            peer::run(kCom, dst, "rz -y -q");
            HWND bar = GetDlgItem(d, 1003);
            // Part-way: some bytes sent, not all.
            for (int i = 0; i < 400; i++) {
                bytes = std::strtoul(itemText(d, 1002).c_str(), nullptr, 10);
                if (bytes > 100000) break;
                Sleep(25);
            }
            fileName = itemText(d, 1000);
            fileSize = itemText(d, 1001);
            status = itemText(d, 1006);
            position = static_cast<DWORD>(SendMessageA(bar, PBM_GETPOS, 0, 0));
            upper = static_cast<DWORD>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
            picture(d, "progress_window");
            press(d, IDCANCEL);
        });
        result = Func037(kPort, nullptr, peer::local(src).c_str(), "big.bin", 0);
        Func037(kPort, nullptr, nullptr, nullptr, -1);
    }
    CHECK(found);
    CHECK(result == VORLEX_TRANSFER_CANCELLED || result == VORLEX_TRANSFER_REMOTE_CANCEL);
    CHECK_EQ(fileName, "big.bin");
    CHECK_EQ(fileSize, std::to_string(size));
    CHECK_EQ(status, "Sending File");
    CHECK(bytes > 100000 && bytes < size);
    // The bar shows the true proportion (within a step).
    CHECK(upper > 0);
    if (upper) {
        double shown = static_cast<double>(position) / upper, sent = static_cast<double>(bytes) / size;
        CHECK(shown > sent - 0.1 && shown < sent + 0.1);
    }
    int rz = peer::wait(kCom, 15000);
    CHECK(rz > 0);
    if (rz < 0) peer::kill(kCom);
    Func122(kPort, kOwner);
}
