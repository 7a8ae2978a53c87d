#include "ui.h"

#include <png.h>

#include <filesystem>

namespace uitest {

namespace {
// Tasks go to a window of their own, so that they also run while the
// thread is in a modal loop (a menu, a dialog), which dispatches only
// window messages.
LRESULT CALLBACK taskProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP + 77) {
        (*reinterpret_cast<std::function<void()> *>(lp))();
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}
} // namespace

UiThread::UiThread() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = taskProc;
        wc.lpszClassName = "UiTask";
        RegisterClassA(&wc);
        registered = true;
    }
    std::promise<HWND> started;
    auto f = started.get_future();
    thread_ = std::thread([&started] {
        HWND task = CreateWindowExA(0, "UiTask", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        started.set_value(task);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0) > 0) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        DestroyWindow(task);
    });
    task_ = f.get();
    tid_ = GetWindowThreadProcessId(task_, nullptr);
}

UiThread::~UiThread() {
    PostThreadMessageA(tid_, WM_QUIT, 0, 0);
    thread_.join();
}

void UiThread::run(const std::function<void()> &fn) {
    std::promise<void> done;
    std::function<void()> task = [&] {
        fn();
        done.set_value();
    };
    PostMessageA(task_, WM_APP + 77, 0, reinterpret_cast<LPARAM>(&task));
    done.get_future().wait();
}

Recorder &Recorder::get() {
    static Recorder r;
    return r;
}

void Recorder::clear() {
    std::lock_guard<std::mutex> lk(mu_);
    recs_.clear();
}

void Recorder::add(const Rec &r) {
    std::lock_guard<std::mutex> lk(mu_);
    recs_.push_back(r);
}

std::vector<Rec> Recorder::all() {
    std::lock_guard<std::mutex> lk(mu_);
    return recs_;
}

std::vector<UINT> Recorder::messages(HWND h, bool skipNoise) {
    std::vector<UINT> out;
    for (const Rec &r : all()) {
        if (h && r.hwnd != h) continue;
        if (skipNoise && (r.msg == WM_NCHITTEST || r.msg == WM_SETCURSOR || r.msg == WM_GETTEXT ||
                          r.msg == WM_GETTEXTLENGTH || r.msg == WM_CTLCOLORDLG || r.msg == WM_GETICON))
            continue;
        out.push_back(r.msg);
    }
    return out;
}

std::vector<Rec> Recorder::of(UINT msg) {
    std::vector<Rec> out;
    for (const Rec &r : all())
        if (r.msg == msg) out.push_back(r);
    return out;
}

LRESULT CALLBACK recProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Recorder &r = Recorder::get();
    r.add(Rec{h, msg, wp, lp});
    LRESULT out = 0;
    if (r.hook && r.hook(h, msg, wp, lp, &out)) return out;
    return DefWindowProcA(h, msg, wp, lp);
}

void registerRecClass() {
    static bool done = false;
    if (done) return;
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = recProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "Rec";
    wc.cbWndExtra = 8;
    wc.cbClsExtra = 4;
    RegisterClassA(&wc);
    done = true;
}

bool readPng(const std::string &path, std::vector<uint32_t> &px, int &w, int &h) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_BGRA;
    px.assign(PNG_IMAGE_SIZE(img) / 4, 0);
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return false;
    for (auto &p : px) p &= 0xFFFFFF;
    w = static_cast<int>(img.width);
    h = static_cast<int>(img.height);
    return true;
}

std::string tempPath(const std::string &name) {
    auto dir = std::filesystem::temp_directory_path() / "winapi_user";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

} // namespace uitest
