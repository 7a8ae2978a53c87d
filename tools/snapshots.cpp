// Saves pictures of the library's windows as a person would see them, for
// looking at: the Communications Errors dialog, a message box, the Open,
// Save As and folder dialogs, the progress window's template filled in by
// hand and the real one part-way through an upload, the terminal's dialogs,
// the button pictures and the icon.
//
//   snapshots [DIRECTORY]     (default: the current directory)
//
// Each window is shown by an application thread, the same way the library
// shows it; this program waits until it has settled, saves it as a PNG
// file, and closes it.
#include <vorlex.h>
#include <winapi_ext.h>

#include <commctrl.h>
#include <commdlg.h>

#include "port/port.h"
#include "resources/resources.h"
#include "services/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

std::string g_dir = ".";
int g_failures = 0;

HWND waitFor(const char *title, const char *cls = "#32770") {
    for (int i = 0; i < 1000; i++) {
        HWND h = FindWindowA(cls, title);
        if (h && IsWindowVisible(h)) {
            WapiWaitForIdle(h, 5000);
            return h;
        }
        Sleep(5);
    }
    return nullptr;
}

void save(HWND window, const char *file) {
    const std::string path = g_dir + "/" + file;
    if (window && WapiSnapshotWindow(window, path.c_str())) {
        std::printf("%s\n", path.c_str());
    } else {
        std::fprintf(stderr, "snapshots: %s not saved\n", file);
        g_failures++;
    }
}

// Runs show on an application thread, saves the window titled title, then
// lets close end it.
void snapshot(const char *file, const char *title, const std::function<void()> &show,
              const std::function<void(HWND)> &close, const std::function<void(HWND)> &prepare = nullptr) {
    std::thread app(show);
    HWND window = waitFor(title);
    if (window && prepare) {
        prepare(window);
        WapiWaitForIdle(window, 5000);
    }
    save(window, file);
    if (window) close(window);
    app.join();
}

void press(HWND window, UINT vk) {
    WapiSendKey(window, vk, TRUE);
    WapiSendKey(window, vk, FALSE);
}

void commErrors() {
    const LONG port = 200; // COM201, its peer COM202
    if (!WapiCreateNullModemPair("COM201", "COM202", nullptr) || Func041(port, 1) != VORLEX_OPEN_OK) {
        std::fprintf(stderr, "snapshots: no null-modem port\n");
        g_failures++;
        return;
    }
    HANDLE peer = CreateFileA("COM202", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EscapeCommFunction(peer, SETDTR);
    EscapeCommFunction(peer, SETRTS);
    if (vorlex::PortRecord *r = vorlex::portRecord(port)) {
        r->overrunErrors = 3;
        r->rxQueueOverruns = 12;
        r->ctsTimeouts = 999999;
    }
    snapshot("comm_errors.png", "Communications Errors", [&] { Func013(port, nullptr); },
             [](HWND h) { press(h, VK_RETURN); });
    Func122(port, 1);
    CloseHandle(peer);
    WapiDestroyNullModemPair("COM201");
}

void messageBox() {
    snapshot("message_box.png", "Port Open Error", [] { Func034(7); }, [](HWND h) { press(h, VK_RETURN); });
}

void fileDialogs(const std::string &folder) {
    static char file[278], name[278];
    std::snprintf(file, sizeof file, "%s/", folder.c_str());
    snapshot("open_dialog.png", "Select KeyBoard File",
             [&] { Func046(nullptr, "Select KeyBoard File", file, "KeyBoard Files (*.kbd)|*.kbd", name, 0, 1); },
             [](HWND h) { press(h, VK_ESCAPE); });
    std::snprintf(file, sizeof file, "%s/session.cap", folder.c_str());
    snapshot("save_dialog.png", "Save Capture As",
             [&] {
                 Func046(nullptr, "Save Capture As", file, "Capture Files (*.cap)|*.cap|All Files (*.*)|*.*", name, 1,
                         0);
             },
             [](HWND h) { press(h, VK_ESCAPE); });
    static char start[MAX_PATH];
    std::snprintf(start, sizeof start, "%s", folder.c_str());
    snapshot("folder_dialog.png", "Browse for Folder", [&] { Func043(nullptr, "Select Download Directory", start); },
             [](HWND h) { press(h, VK_ESCAPE); });
}

// A dialog of the library's own made from its template, modeless, filled
// by fill, saved, destroyed.
void templateSnapshot(const char *file, WORD id, const std::function<void(HWND)> &fill) {
    HWND d = CreateDialogParamA(vorlex::libraryInstance, MAKEINTRESOURCEA(id), nullptr, nullptr, 0);
    if (!d) {
        std::fprintf(stderr, "snapshots: dialog %u not made\n", id);
        g_failures++;
        return;
    }
    fill(d);
    ShowWindow(d, SW_SHOW);
    UpdateWindow(d);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    save(d, file);
    DestroyWindow(d);
}

void progressTemplates() {
    templateSnapshot("progress_send_template.png", vorlex::resources::kDialogTransferSend, [](HWND d) {
        SetDlgItemTextA(d, 1000, "REPORT.TXT");
        SetDlgItemTextA(d, 1001, "1000000");
        SetDlgItemTextA(d, 1002, "415744");
        SetDlgItemTextA(d, 1004, "11264");
        SetDlgItemTextA(d, 1005, "2");
        SetDlgItemTextA(d, 1006, "Sending File");
        SendDlgItemMessageA(d, 1003, PBM_SETRANGE32, 0, 1000000);
        SendDlgItemMessageA(d, 1003, PBM_SETPOS, 415744, 0);
    });
    templateSnapshot("progress_receive_template.png", vorlex::resources::kDialogTransferReceive, [](HWND d) {
        SetDlgItemTextA(d, 1006, "Waiting For FileName");
    });
}

// The progress window of a real Zmodem upload to our own receiver over a
// paced null-modem pair, taken once the bytes passed 40% of the file. The
// line slows down for the picture, so that the fields agree with the bar.
void liveUpload(const std::string &folder) {
    const LONG sender = 202, receiver = 203; // COM203 and COM204
    WAPI_LINE_OPTIONS line{};
    line.bytesPerSecond = 400000;
    if (!WapiCreateNullModemPair("COM203", "COM204", &line)) {
        std::fprintf(stderr, "snapshots: no null-modem pair for the upload\n");
        g_failures++;
        return;
    }
    const std::string received = folder + "/downloads";
    const DWORD size = 1500000;
    {
        std::string data(size, '\0');
        for (DWORD i = 0; i < size; i++) data[i] = static_cast<char>("0123456789ABCDEF\r\n"[i % 18]);
        HANDLE h = CreateFileA((folder + "/uploads/REPORT.TXT").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
        DWORD written = 0;
        WriteFile(h, data.data(), size, &written, nullptr);
        CloseHandle(h);
    }
    std::thread app([&] {
        if (Func041(sender, 2) != VORLEX_OPEN_OK) return;
        Func056(sender, 1); // DTR: the receiver's carrier
        Func037(sender, nullptr, (folder + "/uploads").c_str(), "REPORT.TXT", 0);
        Func037(sender, nullptr, nullptr, nullptr, -1);
        Func122(sender, 2);
    });
    HWND dialog = waitFor("Zmodem Send", "ZmodemTransfer");
    // Started once the sender's carrier is up, or it would give up at once.
    std::thread far([&] {
        if (Func041(receiver, 2) != VORLEX_OPEN_OK) return;
        Func056(receiver, 1);
        Func090(receiver, 1, 0, 0, 0, 60);
        Func024(receiver, nullptr, received.c_str());
        Func122(receiver, 2);
    });
    bool taken = false;
    for (int i = 0; dialog && i < 3000 && IsWindow(dialog); i++) {
        char bytes[32] = "";
        GetDlgItemTextA(dialog, 1002, bytes, sizeof bytes);
        if (std::strtoul(bytes, nullptr, 10) >= size * 2 / 5) {
            line.bytesPerSecond = 20000;
            WapiSetNullModemLine("COM203", &line);
            Sleep(200);
            WapiWaitForIdle(dialog, 5000);
            save(dialog, "progress_send_live.png");
            taken = true;
            line.bytesPerSecond = 400000;
            WapiSetNullModemLine("COM203", &line);
            break;
        }
        Sleep(10);
    }
    if (!taken) {
        std::fprintf(stderr, "snapshots: the upload never reached 40%%\n");
        g_failures++;
    }
    app.join();
    far.join();
    WapiDestroyNullModemPair("COM203");
}

void terminalDialogs() {
    templateSnapshot("session_parameters.png", vorlex::resources::kDialogSessionParameters, [](HWND d) {
        for (const char *b : {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"})
            SendDlgItemMessageA(d, 1016, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(b));
        SendDlgItemMessageA(d, 1016, LB_SETCURSEL, 4, 0);
        CheckRadioButton(d, 1009, 1010, 1010);
        CheckRadioButton(d, 1014, 1015, 1014);
        CheckRadioButton(d, 1011, 1013, 1011);
    });
    templateSnapshot("select_protocol.png", vorlex::resources::kDialogSelectProtocol, [](HWND d) {
        for (const char *p : {"ASCII", "Xmodem", "Xmodem 1K", "Xmodem 1K-G", "Ymodem", "Ymodem-G", "Zmodem"})
            SendDlgItemMessageA(d, 1008, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p));
        SendDlgItemMessageA(d, 1008, LB_SETCURSEL, 6, 0);
    });
    templateSnapshot("terminal_type.png", vorlex::resources::kDialogTerminalType, [](HWND d) {
        for (const char *t : {"IBM ANSI", "TTY", "VT100", "IBM3161", "ANSI EX", "TTY EX"})
            SendDlgItemMessageA(d, 1024, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
        SendDlgItemMessageA(d, 1024, CB_SETCURSEL, 2, 0);
        SetDlgItemTextA(d, 1026, "C:\\VORLEX\\VT100.KBD");
    });
}

// The button pictures and the icon on a window of their own, enlarged.
LRESULT CALLBACK pictureProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return DefWindowProcA(h, msg, wp, lp);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    HBITMAP buttons = LoadBitmapA(vorlex::libraryInstance, MAKEINTRESOURCEA(vorlex::resources::kBitmapButtons));
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, buttons);
    // As the button bar shows them, then twice the size.
    for (int row = 0; row < 3; row++)
        for (int i = 0; i < 7; i++) BitBlt(dc, 8 + 44 * i, 8 + 44 * row, 38, 38, mem, 37 * i, 37 * row, SRCCOPY);
    StretchBlt(dc, 8, 150, 520, 224, mem, 0, 0, 260, 112, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(buttons);
    HICON icon = LoadIconA(vorlex::libraryInstance, MAKEINTRESOURCEA(vorlex::resources::kIconTerminal));
    DrawIconEx(dc, 330, 10, icon, 32, 32, 0, nullptr, DI_NORMAL);
    DrawIconEx(dc, 380, 10, icon, 64, 64, 0, nullptr, DI_NORMAL);
    EndPaint(h, &ps);
    return 0;
}

void pictures() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = pictureProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VorlexSnapshotPictures";
    RegisterClassA(&wc);
    HWND h = CreateWindowExA(0, wc.lpszClassName, "Terminal Pictures", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 560,
                             420, nullptr, nullptr, nullptr, nullptr);
    UpdateWindow(h);
    save(h, "terminal_pictures.png");
    DestroyWindow(h);
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1) g_dir = argv[1];
    CreateDirectoryA(g_dir.c_str(), nullptr);
    // Somewhere with a few files and folders for the file dialogs to show.
    const std::string sample = g_dir + "/sample";
    CreateDirectoryA(sample.c_str(), nullptr);
    CreateDirectoryA((sample + "/downloads").c_str(), nullptr);
    CreateDirectoryA((sample + "/uploads").c_str(), nullptr);
    for (const char *f : {"ansi.kbd", "vt100.kbd", "session.cap", "readme.txt"}) {
        HANDLE h = CreateFileA((sample + "/" + f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    }
    commErrors();
    messageBox();
    fileDialogs(sample);
    progressTemplates();
    liveUpload(sample);
    terminalDialogs();
    pictures();
    return g_failures ? 1 : 0;
}
