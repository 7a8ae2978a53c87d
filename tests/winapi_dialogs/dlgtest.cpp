#include "dlgtest.h"

#include <png.h>

#include <mutex>

namespace dlgtest {

Template::Template(DWORD style, int cx, int cy, const char *title, bool extended, const char *font, int points,
                   const char *cls, int x, int y)
    : ex_(extended) {
    if (font) style |= DS_SETFONT;
    if (ex_) {
        word(1);
        word(0xFFFF);
        dword(0);
        dword(0);
        dword(style);
    } else {
        dword(style);
        dword(0);
    }
    countAt_ = w_.size();
    word(0);
    word(static_cast<WORD>(x));
    word(static_cast<WORD>(y));
    word(static_cast<WORD>(cx));
    word(static_cast<WORD>(cy));
    word(0);
    if (cls) text(cls);
    else word(0);
    text(title);
    if (font) {
        word(static_cast<WORD>(points));
        if (ex_) {
            word(FW_NORMAL);
            word(0);
        }
        text(font);
    }
}

void Template::text(const char *s) {
    for (; *s; s++) word(static_cast<BYTE>(*s));
    word(0);
}

Template &Template::item(const char *cls, const char *txt, WORD id, DWORD style, int x, int y, int cx, int cy,
                         DWORD exStyle) {
    if (w_.size() % 2) word(0);
    if (ex_) {
        dword(0);
        dword(exStyle);
        dword(style | WS_CHILD | WS_VISIBLE);
    } else {
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(exStyle);
    }
    word(static_cast<WORD>(x));
    word(static_cast<WORD>(y));
    word(static_cast<WORD>(cx));
    word(static_cast<WORD>(cy));
    if (ex_) dword(id);
    else word(id);
    if (IS_INTRESOURCE(cls)) {
        word(0xFFFF);
        word(LOWORD(reinterpret_cast<ULONG_PTR>(cls)));
    } else {
        text(cls);
    }
    text(txt);
    word(0);
    w_[countAt_]++;
    return *this;
}

Picture::Picture(HWND h) {
    HWND top = GetAncestor(h, GA_ROOT);
    settle(top);
    GetWindowRect(top, &top_);
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    std::string path = std::string(dir) + "dialog-test-" + std::to_string(GetCurrentThreadId()) + ".png";
    if (!WapiSnapshotWindow(top, path.c_str())) return;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&img, path.c_str())) {
        img.format = PNG_FORMAT_BGRA;
        px_.assign(PNG_IMAGE_SIZE(img) / 4, 0);
        if (png_image_finish_read(&img, nullptr, px_.data(), 0, nullptr)) {
            w_ = static_cast<int>(img.width);
            h_ = static_cast<int>(img.height);
        }
    }
    DeleteFileA(path.c_str());
}

COLORREF Picture::at(HWND h, int x, int y) const {
    POINT p{x, y};
    ClientToScreen(h, &p);
    int px = p.x - top_.left, py = p.y - top_.top;
    if (px < 0 || py < 0 || px >= w_ || py >= h_) return CLR_INVALID;
    uint32_t v = px_[static_cast<size_t>(py) * w_ + px]; // 0xAARRGGBB
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int Picture::countOnRow(HWND h, int y, COLORREF c) const {
    RECT r;
    GetClientRect(h, &r);
    int n = 0;
    for (int x = 0; x < r.right; x++) n += at(h, x, y) == c ? 1 : 0;
    return n;
}

Dialog::Dialog(const Template &t, const char *title, Hook hook, HWND owner)
    : hook_(std::move(hook)),
      app_([this, tmpl = t.get(), owner] {
          return DialogBoxIndirectParamA(nullptr, tmpl, owner, proc, reinterpret_cast<LPARAM>(this));
      }) {
    h_ = waitForWindow(title);
}

Dialog::~Dialog() {
    if (!app_.done() && IsWindow(h_)) PostMessageA(h_, WM_COMMAND, IDCANCEL, 0);
    app_.result(-999);
}

INT_PTR CALLBACK Dialog::proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrA(dlg, DWLP_USER, lp);
    auto *self = reinterpret_cast<Dialog *>(GetWindowLongPtrA(dlg, DWLP_USER));
    INT_PTR r = 0;
    if (self && self->hook_ && self->hook_(dlg, msg, wp, lp, &r)) return r;
    switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        noteCommand(wp);
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dlg, LOWORD(wp));
        return TRUE;
    case WM_APP:
        (*reinterpret_cast<const std::function<void()> *>(lp))();
        return TRUE;
    }
    return FALSE;
}

void Dialog::run(const std::function<void()> &fn) {
    SendMessageA(h_, WM_APP, 0, reinterpret_cast<LPARAM>(&fn));
    settle(h_);
}

HWND Dialog::focus() {
    HWND f = nullptr;
    run([&] { f = GetFocus(); });
    return f;
}

namespace {
std::mutex g_mu;
std::vector<Note> g_notes;
} // namespace

void noteCommand(WPARAM wp) {
    std::lock_guard<std::mutex> lk(g_mu);
    g_notes.push_back(Note{LOWORD(wp), HIWORD(wp)});
}

std::vector<Note> notes() {
    std::lock_guard<std::mutex> lk(g_mu);
    return g_notes;
}

void clearNotes() {
    std::lock_guard<std::mutex> lk(g_mu);
    g_notes.clear();
}

int countNotes(int id, int code) {
    int n = 0;
    for (const Note &x : notes()) n += (x.id == id && x.code == code) ? 1 : 0;
    return n;
}

} // namespace dlgtest
