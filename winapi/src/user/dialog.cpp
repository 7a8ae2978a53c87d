// The dialog manager: dialogs from DLGTEMPLATE and DLGTEMPLATEEX templates
// (in memory or as module resources), dialog units from the dialog font,
// modal loops, DefDlgProc, IsDialogMessage's keyboard interface (Tab,
// arrows in groups, Enter, Esc, mnemonics) and the dialog item helpers.
#include "dialog.h"

#include "window.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace winapi::user {

namespace {

// What the dialog manager keeps for each dialog. Found by handle; entries of
// dialogs that are gone are dropped when the next dialog is made (handles
// are never reused).
struct DialogInfo {
    HFONT font = nullptr;
    int baseX = 0, baseY = 0;
    int defId = 0;            // DM_SETDEFID / the template's default button
    HWND savedFocus = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    HWND disabledOwner = nullptr; // re-enabled by EndDialog
};

std::mutex &infoMutex() {
    static auto *m = new std::mutex;
    return *m;
}
std::map<HWND, std::shared_ptr<DialogInfo>> &infos() {
    static auto *m = new std::map<HWND, std::shared_ptr<DialogInfo>>;
    return *m;
}

std::shared_ptr<DialogInfo> infoOf(HWND h) {
    std::lock_guard<std::mutex> lk(infoMutex());
    auto it = infos().find(h);
    return it == infos().end() ? nullptr : it->second;
}

std::shared_ptr<DialogInfo> newInfo(HWND h) {
    auto info = std::make_shared<DialogInfo>();
    std::lock_guard<std::mutex> lk(infoMutex());
    for (auto it = infos().begin(); it != infos().end();)
        it = IsWindow(it->first) ? std::next(it) : infos().erase(it);
    infos()[h] = info;
    return info;
}

// Dialog fonts are shared by every dialog that asks for the same one and
// live as long as the process (a dialog of another class may never tell us
// that it went).
HFONT dialogFontFor(const std::string &face, int points, int weight, bool italic, BYTE charset) {
    static std::mutex mu;
    static auto *cache = new std::map<std::string, HFONT>;
    std::string k = face + "/" + std::to_string(points) + "/" + std::to_string(weight) + "/" + (italic ? "i" : "") +
                    "/" + std::to_string(charset);
    std::lock_guard<std::mutex> lk(mu);
    auto it = cache->find(k);
    if (it != cache->end()) return it->second;
    LOGFONTA lf{};
    lf.lfHeight = -((points * 96 + 36) / 72);
    lf.lfWeight = weight ? weight : FW_NORMAL;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfCharSet = charset;
    lstrcpynA(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    HFONT f = CreateFontIndirectA(&lf);
    (*cache)[k] = f;
    return f;
}

// Windows' rule: the average width of the 52 letters, rounded, and the
// cell height.
void baseUnitsOf(HFONT font, int *x, int *y) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    SIZE s{};
    GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &s);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    *x = (s.cx / 26 + 1) / 2;
    *y = tm.tmHeight;
    if (*x <= 0) *x = 1;
    if (*y <= 0) *y = 1;
}

int mulDiv(int a, int b, int c) {
    long long v = static_cast<long long>(a) * b;
    // Rounded half away from zero, as MulDiv.
    return static_cast<int>(v >= 0 ? (v + c / 2) / c : (v - c / 2) / c);
}

// ---- templates ----------------------------------------------------------------

struct ItemTemplate {
    DWORD style = 0, exStyle = 0, helpId = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string cls;           // class name
    std::string text;          // window text; an ordinal as "\xFF" lo hi
    bool textIsOrdinal = false;
    const void *data = nullptr; // creation data (starting with its size word)
};

struct DialogTemplateInfo {
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    WORD menuId = 0;
    std::string cls;
    WORD clsAtom = 0;
    std::string title;
    bool hasFont = false;
    int points = 0, weight = 0;
    bool italic = false;
    BYTE charset = DEFAULT_CHARSET;
    std::string face;
    std::vector<ItemTemplate> items;
};

const WORD *alignDword(const WORD *p) {
    uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<const WORD *>((v + 3) & ~uintptr_t(3));
}

// sz_Or_Ord: 0 none, 0xFFFF + ordinal, or a NUL-terminated UTF-16 text.
const WORD *readSzOrOrd(const WORD *p, std::string *text, WORD *ord) {
    *ord = 0;
    text->clear();
    if (*p == 0) return p + 1;
    if (*p == 0xFFFF) {
        *ord = p[1];
        return p + 2;
    }
    const WORD *end;
    *text = narrow(p, &end);
    return end;
}

std::string predefinedClass(WORD atom) {
    switch (atom) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    }
    return std::string();
}

void parseTemplate(const void *tmpl, DialogTemplateInfo &t) {
    const WORD *p = static_cast<const WORD *>(tmpl);
    bool ex = p[0] == 1 && p[1] == 0xFFFF;
    int count;
    auto dw = [](const WORD *q) { return static_cast<DWORD>(q[0]) | (static_cast<DWORD>(q[1]) << 16); };
    if (ex) {
        t.exStyle = dw(p + 4);
        t.style = dw(p + 6);
        count = p[8];
        t.x = static_cast<SHORT>(p[9]);
        t.y = static_cast<SHORT>(p[10]);
        t.cx = static_cast<SHORT>(p[11]);
        t.cy = static_cast<SHORT>(p[12]);
        p += 13;
    } else {
        t.style = dw(p);
        t.exStyle = dw(p + 2);
        count = p[4];
        t.x = static_cast<SHORT>(p[5]);
        t.y = static_cast<SHORT>(p[6]);
        t.cx = static_cast<SHORT>(p[7]);
        t.cy = static_cast<SHORT>(p[8]);
        p += 9;
    }
    p = readSzOrOrd(p, &t.menu, &t.menuId);
    p = readSzOrOrd(p, &t.cls, &t.clsAtom);
    WORD ignored;
    p = readSzOrOrd(p, &t.title, &ignored);
    if (t.style & DS_SETFONT) {
        t.hasFont = true;
        t.points = p[0];
        p++;
        if (ex) {
            t.weight = p[0];
            t.italic = (p[1] & 0xFF) != 0;
            t.charset = static_cast<BYTE>(p[1] >> 8);
            p += 2;
        }
        const WORD *end;
        t.face = narrow(p, &end);
        p = end;
    }
    for (int i = 0; i < count; i++) {
        p = alignDword(p);
        ItemTemplate it;
        if (ex) {
            it.helpId = dw(p);
            it.exStyle = dw(p + 2);
            it.style = dw(p + 4);
            it.x = static_cast<SHORT>(p[6]);
            it.y = static_cast<SHORT>(p[7]);
            it.cx = static_cast<SHORT>(p[8]);
            it.cy = static_cast<SHORT>(p[9]);
            it.id = dw(p + 10);
            p += 12;
        } else {
            it.style = dw(p);
            it.exStyle = dw(p + 2);
            it.x = static_cast<SHORT>(p[4]);
            it.y = static_cast<SHORT>(p[5]);
            it.cx = static_cast<SHORT>(p[6]);
            it.cy = static_cast<SHORT>(p[7]);
            it.id = p[8];
            p += 9;
        }
        WORD ord;
        p = readSzOrOrd(p, &it.cls, &ord);
        if (ord) it.cls = predefinedClass(ord);
        p = readSzOrOrd(p, &it.text, &ord);
        if (ord) {
            // Windows hands an ordinal text to the control as 0xFFFF and the
            // number; the ANSI form here is 0xFF and the number's two bytes.
            it.textIsOrdinal = true;
            it.text = std::string("\xFF") + static_cast<char>(ord & 0xFF) + static_cast<char>(ord >> 8);
        }
        WORD extra = *p;
        if (extra) it.data = p;
        p = reinterpret_cast<const WORD *>(reinterpret_cast<const BYTE *>(p) + sizeof(WORD) + extra);
        t.items.push_back(std::move(it));
    }
}

// ---- tab order and groups ------------------------------------------------------------

// The dialog's controls in tab order, descending into controls that are
// dialogs of their own (WS_EX_CONTROLPARENT).
void collectControls(HWND parent, std::vector<HWND> &out) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(c);
        if ((GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) && (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE) &&
            !(GetWindowLongA(c, GWL_STYLE) & WS_DISABLED))
            collectControls(c, out);
    }
}

// The entry of the list that is ctl or holds it (a combo box's edit field).
int indexOf(const std::vector<HWND> &list, HWND ctl) {
    for (HWND h = ctl; h; h = GetParent(h)) {
        auto it = std::find(list.begin(), list.end(), h);
        if (it != list.end()) return static_cast<int>(it - list.begin());
        if (!(GetWindowLongA(h, GWL_STYLE) & WS_CHILD)) break;
    }
    return -1;
}

bool usable(HWND h) {
    LONG s = GetWindowLongA(h, GWL_STYLE);
    return (s & WS_VISIBLE) && !(s & WS_DISABLED);
}

UINT dlgCode(HWND h, WPARAM wp = 0, LPARAM lp = 0) {
    return static_cast<UINT>(SendMessageA(h, WM_GETDLGCODE, wp, lp));
}

bool isPushButton(UINT code) { return (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0; }

// The default push button's look follows the focus: a focused push button
// looks like the default one; elsewhere the dialog's default does.
void updateDefaultButton(HWND dlg, HWND focus) {
    auto info = infoOf(dlg);
    if (!info) return;
    HWND want = nullptr;
    if (focus && IsChild(dlg, focus) && isPushButton(dlgCode(focus))) want = focus;
    else if (info->defId) want = GetDlgItem(dlg, info->defId);
    if (want && !isPushButton(dlgCode(want))) want = nullptr;
    std::vector<HWND> all;
    collectControls(dlg, all);
    for (HWND c : all) {
        UINT code = dlgCode(c);
        if ((code & DLGC_DEFPUSHBUTTON) && c != want) SendMessageA(c, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    if (want && (dlgCode(want) & DLGC_UNDEFPUSHBUTTON)) SendMessageA(want, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// Activation gives the focus back as it was; anything else (or a control
// that went) picks the first tab stop as the dialog manager does.
void restoreFocus(HWND dlg, DialogInfo &info, bool activating) {
    HWND f = info.savedFocus;
    if (f && IsWindow(f) && IsChild(dlg, f) && usable(f)) {
        if (activating) SetFocus(f);
        else dialogSetFocus(dlg, f);
        return;
    }
    f = GetNextDlgTabItem(dlg, nullptr, FALSE);
    if (f && f != dlg) dialogSetFocus(dlg, f);
}

void saveFocus(HWND dlg, DialogInfo &info) {
    HWND f = GetFocus();
    if (f && IsChild(dlg, f)) info.savedFocus = f;
}

// ---- mnemonics ------------------------------------------------------------------------

bool hasMnemonic(HWND h, char ch) {
    char text[256];
    if (GetWindowTextA(h, text, sizeof text) <= 0) return false;
    for (const char *p = text; *p; p++) {
        if (*p != '&') continue;
        if (p[1] == '&') {
            p++;
            continue;
        }
        char a = p[1], b = ch;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        return a == b && a;
    }
    return false;
}

bool doMnemonic(HWND dlg, HWND from, char ch) {
    std::vector<HWND> all;
    collectControls(dlg, all);
    if (all.empty()) return false;
    int start = indexOf(all, from);
    int n = static_cast<int>(all.size());
    for (int k = 1; k <= n; k++) {
        HWND c = all[(start + k + n) % n];
        if (!(GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE)) continue;
        UINT code = dlgCode(c);
        if (!(code & (DLGC_BUTTON | DLGC_STATIC))) continue;
        if ((code & DLGC_STATIC) && (GetWindowLongA(c, GWL_STYLE) & SS_NOPREFIX) &&
            (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) <= SS_RIGHT)
            continue;
        if (!hasMnemonic(c, ch)) continue;
        if (code & DLGC_STATIC) {
            // A label or group box gives the focus to the control after it.
            int i = indexOf(all, c);
            for (int j = 1; j < n; j++) {
                HWND next = all[(i + j) % n];
                if (!usable(next) || (dlgCode(next) & DLGC_STATIC)) continue;
                if (GetWindowLongA(next, GWL_STYLE) & WS_TABSTOP || (dlgCode(next) & DLGC_RADIOBUTTON)) {
                    UINT nc = dlgCode(next);
                    if (nc & DLGC_RADIOBUTTON) {
                        // Into a group of option buttons: the checked one.
                        HWND g = next;
                        for (HWND h = next;;) {
                            if (SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                                g = h;
                                break;
                            }
                            h = GetNextDlgGroupItem(dlg, h, FALSE);
                            if (!h || h == next) break;
                        }
                        next = g;
                    }
                    SendMessageA(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
                    return true;
                }
            }
            return true;
        }
        if (!usable(c)) return true;
        SendMessageA(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(c), TRUE);
        SendMessageA(c, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

// ---- creation -----------------------------------------------------------------------------

// Top-level dialogs stay on the screen.
void fitOnScreen(RECT &r) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (r.right > sw) OffsetRect(&r, sw - r.right, 0);
    if (r.bottom > sh) OffsetRect(&r, 0, sh - r.bottom);
    if (r.left < 0) OffsetRect(&r, -r.left, 0);
    if (r.top < 0) OffsetRect(&r, 0, -r.top);
}

HWND createFromTemplate(HINSTANCE inst, const void *tmpl, HWND parent, DLGPROC proc, LPARAM param, bool modal,
                        HWND *disabledOwner) {
    registerControlClasses();
    if (!tmpl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DialogTemplateInfo t;
    parseTemplate(tmpl, t);

    HFONT font = nullptr;
    if (t.hasFont) {
        if (t.points == 0x7FFF) {
            NONCLIENTMETRICSA ncm{};
            ncm.cbSize = sizeof ncm;
            SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
            font = CreateFontIndirectA(&ncm.lfMessageFont);
        } else {
            font = dialogFontFor(t.face, t.points, t.weight, t.italic, t.charset);
        }
    }
    int bx, by;
    baseUnitsOf(font, &bx, &by);

    DWORD style = t.style, exStyle = t.exStyle;
    if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
    if (style & DS_CONTROL) {
        style &= ~(WS_CAPTION | WS_SYSMENU);
        exStyle |= WS_EX_CONTROLPARENT;
    }
    HWND owner = parent;
    if (!(style & WS_CHILD) && parent) owner = GetAncestor(parent, GA_ROOT);
    if ((style & WS_CHILD) && !parent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    HMENU menu = nullptr;
    if (!(style & WS_CHILD) && (t.menuId || !t.menu.empty()))
        menu = LoadMenuA(inst, t.menuId ? MAKEINTRESOURCEA(t.menuId) : t.menu.c_str());

    RECT r{0, 0, mulDiv(t.cx, bx, 4), mulDiv(t.cy, by, 8)};
    AdjustWindowRectEx(&r, style, menu != nullptr, exStyle);
    int w = r.right - r.left, h = r.bottom - r.top;
    POINT pos;
    if (style & DS_CENTER) {
        RECT work;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        pos.x = work.left + ((work.right - work.left) - w) / 2;
        pos.y = work.top + ((work.bottom - work.top) - h) / 2;
    } else if (static_cast<SHORT>(t.x) == static_cast<SHORT>(0x8000)) {
        pos.x = CW_USEDEFAULT;
        pos.y = CW_USEDEFAULT;
    } else {
        pos.x = mulDiv(t.x, bx, 4);
        pos.y = mulDiv(t.y, by, 8);
        if (!(style & WS_CHILD)) {
            // Placed in the owner's client coordinates, the frame outside.
            pos.x += r.left;
            pos.y += r.top;
            if (owner && !(style & DS_ABSALIGN)) ClientToScreen(owner, &pos);
        }
    }
    if (!(style & WS_CHILD) && pos.x != CW_USEDEFAULT) {
        RECT wr{pos.x, pos.y, pos.x + w, pos.y + h};
        fitOnScreen(wr);
        pos.x = wr.left;
        pos.y = wr.top;
    }

    LPCSTR cls = "#32770";
    if (t.clsAtom) cls = MAKEINTATOM(t.clsAtom);
    else if (!t.cls.empty()) cls = t.cls.c_str();

    HWND dlg = CreateWindowExA(exStyle, cls, t.title.c_str(), style & ~WS_VISIBLE, pos.x, pos.y, w, h,
                               (style & WS_CHILD) ? parent : owner, menu, inst, nullptr);
    if (!dlg) {
        if (menu) DestroyMenu(menu);
        return nullptr;
    }
    auto info = newInfo(dlg);
    info->font = font;
    info->baseX = bx;
    info->baseY = by;
    {
        UserLock lk(userMutex());
        if (Window *wnd = windowLocked(dlg)) wnd->dialog = true;
    }
    if (proc) SetWindowLongPtrA(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    if (modal && owner && !(style & WS_CHILD) && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        info->disabledOwner = owner;
        *disabledOwner = owner;
    }
    if (font) SendMessageA(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    for (const ItemTemplate &it : t.items) {
        if (!IsWindow(dlg)) return nullptr;
        DWORD cs = it.style | WS_CHILD, cex = it.exStyle | WS_EX_NOPARENTNOTIFY;
        // The three-dimensional look: bordered fields get a sunken edge.
        if ((cs & WS_BORDER) && (!lstrcmpiA(it.cls.c_str(), "Edit") || !lstrcmpiA(it.cls.c_str(), "ListBox"))) {
            cs &= ~WS_BORDER;
            cex |= WS_EX_CLIENTEDGE;
        }
        HWND c = CreateWindowExA(cex, it.cls.c_str(), it.text.c_str(), cs, mulDiv(it.x, bx, 4), mulDiv(it.y, by, 8),
                                 mulDiv(it.cx, bx, 4), mulDiv(it.cy, by, 8), dlg,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(it.id)), inst,
                                 const_cast<void *>(it.data));
        if (!c) {
            if (style & DS_NOFAILCREATE) continue;
            if (info->disabledOwner) EnableWindow(info->disabledOwner, TRUE);
            *disabledOwner = nullptr;
            DestroyWindow(dlg);
            return nullptr;
        }
        if (font) SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (dlgCode(c) & DLGC_DEFPUSHBUTTON) info->defId = static_cast<int>(it.id);
    }
    if (!IsWindow(dlg)) return nullptr;

    HWND focus = GetNextDlgTabItem(dlg, nullptr, FALSE);
    LRESULT wantsFocus = SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
    if (!IsWindow(dlg)) return nullptr;
    // A dialog ended in WM_INITDIALOG is never shown.
    if (info->ended) return dlg;
    if (wantsFocus && (!(t.style & DS_CONTROL) || (t.style & WS_VISIBLE))) {
        // WM_INITDIALOG may have changed the order: look again.
        focus = GetNextDlgTabItem(dlg, nullptr, FALSE);
        if (focus && focus != dlg) dialogSetFocus(dlg, focus);
    }
    if ((t.style & WS_VISIBLE) && !(GetWindowLongA(dlg, GWL_STYLE) & WS_VISIBLE)) {
        ShowWindow(dlg, SW_SHOWNORMAL);
        UpdateWindow(dlg);
    }
    return dlg;
}

const void *templateOf(HINSTANCE inst, LPCSTR name) {
    HRSRC r = FindResourceA(inst, name, RT_DIALOG);
    if (!r) return nullptr;
    HGLOBAL g = LoadResource(inst, r);
    return g ? LockResource(g) : nullptr;
}

INT_PTR runModal(HWND dlg) {
    auto info = infoOf(dlg);
    bool quit = false;
    int quitCode = 0;
    while (info && !info->ended && IsWindow(dlg)) {
        MSG m;
        if (!PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            // The dialog shows itself when its queue first runs dry.
            if (!(GetWindowLongA(dlg, GWL_STYLE) & WS_VISIBLE)) {
                ShowWindow(dlg, SW_SHOWNORMAL);
                continue;
            }
            if (!(GetWindowLongA(dlg, GWL_STYLE) & DS_NOIDLEMSG)) {
                HWND owner = GetWindow(dlg, GW_OWNER);
                if (owner) SendMessageA(owner, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(dlg));
            }
            if (info->ended || !IsWindow(dlg)) break;
            BOOL got = GetMessageA(&m, nullptr, 0, 0);
            if (!got || got == -1) {
                quit = true;
                quitCode = static_cast<int>(m.wParam);
                break;
            }
        } else if (m.message == WM_QUIT) {
            quit = true;
            quitCode = static_cast<int>(m.wParam);
            break;
        }
        if (!IsDialogMessageA(dlg, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    INT_PTR result = info ? info->result : -1;
    if (info && info->disabledOwner && !info->ended) EnableWindow(info->disabledOwner, TRUE);
    if (IsWindow(dlg)) DestroyWindow(dlg);
    // The loop ends on WM_QUIT; the caller's loop must see it too.
    if (quit) PostQuitMessage(quitCode);
    return result;
}

} // namespace

// ---- shared with the controls and the layer's own dialogs ---------------------------

namespace {
// Unicode of the bytes 0x80..0x9F of code page 1252 (0: unused).
const WORD kCp1252High[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                              0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                              0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
} // namespace

std::string narrow(const WORD *s, const WORD **end) {
    std::string out;
    while (*s) {
        WORD c = *s++;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char ch = '?';
        for (int i = 0; i < 32; i++)
            if (kCp1252High[i] == c) ch = static_cast<char>(0x80 + i);
        out += ch;
    }
    if (end) *end = s + 1;
    return out;
}

bool dialogBaseUnits(HWND dlg, int *x, int *y) {
    auto info = infoOf(dlg);
    if (!info) return false;
    *x = info->baseX;
    *y = info->baseY;
    return true;
}

void dialogSetFocus(HWND dlg, HWND ctl) {
    if (dlgCode(ctl) & DLGC_HASSETSEL) SendMessageA(ctl, EM_SETSEL, 0, -1);
    SetFocus(ctl);
    updateDefaultButton(dlg, ctl);
}

TemplateBuilder::TemplateBuilder(DWORD style, DWORD exStyle, int x, int y, int cx, int cy, const char *title,
                                 const char *font, int pointSize, const char *className) {
    word(1);
    word(0xFFFF);
    dword(0);
    dword(exStyle);
    dword(style | (font ? DS_SETFONT : 0));
    countAt_ = data_.size();
    word(0);
    word(static_cast<WORD>(x));
    word(static_cast<WORD>(y));
    word(static_cast<WORD>(cx));
    word(static_cast<WORD>(cy));
    word(0); // no menu
    if (className) text(className);
    else word(0);
    text(title ? title : "");
    if (font) {
        word(static_cast<WORD>(pointSize));
        word(FW_NORMAL);
        word(0x0100 * DEFAULT_CHARSET);
        text(font);
    }
}

void TemplateBuilder::text(const char *s) {
    for (; *s; s++) {
        BYTE c = static_cast<BYTE>(*s);
        word(c >= 0x80 && c < 0xA0 && kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c);
    }
    word(0);
}

void TemplateBuilder::add(const char *cls, const char *txt, DWORD id, DWORD style, int x, int y, int cx, int cy,
                          DWORD exStyle) {
    align();
    dword(0);
    dword(exStyle);
    dword(style | WS_CHILD);
    word(static_cast<WORD>(x));
    word(static_cast<WORD>(y));
    word(static_cast<WORD>(cx));
    word(static_cast<WORD>(cy));
    dword(id);
    if (IS_INTRESOURCE(cls)) {
        word(0xFFFF);
        word(LOWORD(reinterpret_cast<ULONG_PTR>(cls)));
    } else {
        text(cls);
    }
    text(txt ? txt : "");
    word(0);
    data_[countAt_] = ++count_;
}

const DLGTEMPLATE *TemplateBuilder::get() {
    // The template needs DWORD alignment; a vector of WORDs gives at least that.
    return reinterpret_cast<const DLGTEMPLATE *>(data_.data());
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE inst, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc, LPARAM param) {
    HWND disabled = nullptr;
    return createFromTemplate(inst, tmpl, parent, proc, param, false, &disabled);
}

HWND WINAPI CreateDialogParamA(HINSTANCE inst, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    const void *t = templateOf(inst, name);
    if (!t) return nullptr;
    HWND disabled = nullptr;
    return createFromTemplate(inst, t, parent, proc, param, false, &disabled);
}

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE inst, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc, LPARAM param) {
    HWND disabled = nullptr;
    HWND dlg = createFromTemplate(inst, tmpl, parent, proc, param, true, &disabled);
    if (!dlg) {
        if (disabled) EnableWindow(disabled, TRUE);
        return -1;
    }
    return runModal(dlg);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE inst, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    const void *t = templateOf(inst, name);
    if (!t) return -1;
    return DialogBoxIndirectParamA(inst, static_cast<LPCDLGTEMPLATEA>(t), parent, proc, param);
}

BOOL WINAPI EndDialog(HWND dlg, INT_PTR result) {
    auto info = infoOf(dlg);
    if (!info || !IsWindow(dlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    info->ended = true;
    info->result = result;
    HWND owner = info->disabledOwner;
    info->disabledOwner = nullptr;
    if (owner) EnableWindow(owner, TRUE);
    HWND f = GetFocus();
    if (f && IsChild(dlg, f)) SetFocus(dlg);
    SetWindowPos(dlg, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    if (GetActiveWindow() == dlg && owner && IsWindow(owner)) SetActiveWindow(owner);
    PostMessageA(dlg, WM_NULL, 0, 0);
    return TRUE;
}

LRESULT WINAPI DefDlgProcA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(h, DWLP_DLGPROC));
    INT_PTR r = 0;
    if (proc) {
        SetWindowLongPtrA(h, DWLP_MSGRESULT, 0);
        r = proc(h, msg, wp, lp);
    }
    if (!IsWindow(h)) return r;
    if (r) {
        switch (msg) {
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return r;
        }
        return GetWindowLongPtrA(h, DWLP_MSGRESULT);
    }
    auto info = infoOf(h);
    switch (msg) {
    case WM_ERASEBKGND: {
        HDC hdc = reinterpret_cast<HDC>(wp);
        auto brush = reinterpret_cast<HBRUSH>(SendMessageA(h, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(h)));
        if (!brush) brush = reinterpret_cast<HBRUSH>(DefWindowProcA(h, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(h)));
        RECT rc;
        GetClientRect(h, &rc);
        FillRect(hdc, &rc, brush);
        return 1;
    }
    case WM_SHOWWINDOW:
        if (!wp && info) saveFocus(h, *info);
        return DefWindowProcA(h, msg, wp, lp);
    case WM_ACTIVATE:
        if (info) {
            if (LOWORD(wp) != WA_INACTIVE) restoreFocus(h, *info, true);
            else saveFocus(h, *info);
        }
        return 0;
    case WM_SETFOCUS:
        if (info) restoreFocus(h, *info, false);
        return 0;
    case DM_SETDEFID:
        if (info) {
            info->defId = static_cast<int>(wp);
            updateDefaultButton(h, GetFocus());
        }
        return TRUE;
    case DM_GETDEFID: {
        if (!info) return 0;
        HWND f = GetFocus();
        // A push button with the focus is the default one meanwhile.
        if (f && IsChild(h, f) && (dlgCode(f) & DLGC_DEFPUSHBUTTON))
            return MAKELRESULT(GetDlgCtrlID(f), DC_HASDEFID);
        if (info->defId) return MAKELRESULT(info->defId, DC_HASDEFID);
        return 0;
    }
    case WM_NEXTDLGCTL: {
        HWND target;
        if (LOWORD(lp)) target = reinterpret_cast<HWND>(wp);
        else {
            HWND f = GetFocus();
            if (!f || !IsChild(h, f)) f = nullptr;
            target = GetNextDlgTabItem(h, f, wp != 0);
        }
        if (target && IsWindow(target)) dialogSetFocus(h, target);
        return 0;
    }
    case WM_GETFONT:
        return info ? reinterpret_cast<LRESULT>(info->font) : 0;
    case WM_SETFONT:
        if (info) info->font = reinterpret_cast<HFONT>(wp);
        return 0;
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(h, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    }
    return DefWindowProcA(h, msg, wp, lp);
}

BOOL WINAPI IsDialogMessageA(HWND dlg, LPMSG m) {
    if (!m || !dlg || !IsWindow(dlg)) return FALSE;
    if (m->hwnd != dlg && !IsChild(dlg, m->hwnd)) return FALSE;
    HWND target = m->hwnd;
    switch (m->message) {
    case WM_KEYDOWN: {
        UINT code = dlgCode(target, m->wParam, reinterpret_cast<LPARAM>(m));
        if (code & DLGC_WANTMESSAGE) break;
        switch (m->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB) break;
            SendMessageA(dlg, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
            return TRUE;
        case VK_RIGHT:
        case VK_DOWN:
        case VK_LEFT:
        case VK_UP: {
            if (code & DLGC_WANTARROWS) break;
            bool prev = m->wParam == VK_LEFT || m->wParam == VK_UP;
            HWND from = target == dlg ? GetFocus() : target;
            HWND next = GetNextDlgGroupItem(dlg, from, prev);
            if (next && next != from) {
                if ((dlgCode(next) & (DLGC_BUTTON | DLGC_RADIOBUTTON)) == (DLGC_BUTTON | DLGC_RADIOBUTTON)) {
                    SetFocus(next);
                    updateDefaultButton(dlg, next);
                    LONG type = GetWindowLongA(next, GWL_STYLE) & BS_TYPEMASK;
                    if (type == BS_AUTORADIOBUTTON && SendMessageA(next, BM_GETCHECK, 0, 0) != BST_CHECKED)
                        SendMessageA(next, BM_CLICK, 0, 0);
                } else {
                    SendMessageA(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
                }
            }
            return TRUE;
        }
        case VK_ESCAPE:
        case VK_CANCEL:
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
            return TRUE;
        case VK_RETURN:
        case VK_EXECUTE: {
            HWND f = GetFocus();
            if (f && IsChild(dlg, f) && (dlgCode(f) & DLGC_DEFPUSHBUTTON)) {
                SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(f), BN_CLICKED), reinterpret_cast<LPARAM>(f));
                return TRUE;
            }
            DWORD def = static_cast<DWORD>(SendMessageA(dlg, DM_GETDEFID, 0, 0));
            HWND defCtl = HIWORD(def) == DC_HASDEFID ? GetDlgItem(dlg, LOWORD(def)) : nullptr;
            if (defCtl) {
                if (IsWindowEnabled(defCtl))
                    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(LOWORD(def), BN_CLICKED), reinterpret_cast<LPARAM>(defCtl));
            } else {
                SendMessageA(dlg, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
            }
            return TRUE;
        }
        }
        break;
    }
    case WM_CHAR: {
        UINT code = dlgCode(target, m->wParam, reinterpret_cast<LPARAM>(m));
        if (code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) break;
        if (m->wParam == '\t' && (code & DLGC_WANTTAB)) break;
        // The keys that IsDialogMessage acted on as WM_KEYDOWN make no character.
        if (m->wParam == '\t' || m->wParam == '\r' || m->wParam == 0x1B) return TRUE;
        if (doMnemonic(dlg, target, static_cast<char>(m->wParam))) return TRUE;
        break;
    }
    case WM_SYSCHAR:
        if (doMnemonic(dlg, target, static_cast<char>(m->wParam))) return TRUE;
        break;
    }
    TranslateMessage(m);
    DispatchMessageA(m);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dlg, int id) {
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (static_cast<int>(static_cast<WORD>(GetDlgCtrlID(c))) == static_cast<int>(static_cast<WORD>(id)) ||
            GetDlgCtrlID(c) == id)
            return c;
    SetLastError(IsWindow(dlg) ? ERROR_CONTROL_ID_NOT_FOUND : ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wp, LPARAM lp) {
    HWND c = GetDlgItem(dlg, id);
    return c ? SendMessageA(c, msg, wp, lp) : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND dlg, int id, LPCSTR text) {
    HWND c = GetDlgItem(dlg, id);
    return c ? SetWindowTextA(c, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dlg, int id, LPSTR buf, int n) {
    if (buf && n > 0) buf[0] = 0;
    HWND c = GetDlgItem(dlg, id);
    if (!c || !buf || n <= 0) return 0;
    return static_cast<UINT>(SendMessageA(c, WM_GETTEXT, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(buf)));
}

BOOL WINAPI SetDlgItemInt(HWND dlg, int id, UINT value, BOOL isSigned) {
    char buf[16];
    wsprintfA(buf, isSigned ? "%d" : "%u", value);
    return SetDlgItemTextA(dlg, id, buf);
}

UINT WINAPI GetDlgItemInt(HWND dlg, int id, BOOL *ok, BOOL isSigned) {
    if (ok) *ok = FALSE;
    char buf[64];
    HWND c = GetDlgItem(dlg, id);
    if (!c) return 0;
    GetWindowTextA(c, buf, sizeof buf);
    const char *p = buf;
    while (*p == ' ') p++;
    bool neg = false;
    if (isSigned && (*p == '-' || *p == '+')) neg = *p++ == '-';
    if (*p < '0' || *p > '9') return 0;
    unsigned long long v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + static_cast<unsigned>(*p++ - '0');
        if (v > 0xFFFFFFFFull) return 0;
    }
    while (*p == ' ') p++;
    if (*p) return 0;
    if (isSigned) {
        if ((!neg && v > static_cast<unsigned long long>(INT_MAX)) ||
            (neg && v > static_cast<unsigned long long>(INT_MAX) + 1))
            return 0;
        if (ok) *ok = TRUE;
        return static_cast<UINT>(neg ? -static_cast<long long>(v) : static_cast<long long>(v));
    }
    if (ok) *ok = TRUE;
    return static_cast<UINT>(v);
}

BOOL WINAPI CheckDlgButton(HWND dlg, int id, UINT check) {
    HWND c = GetDlgItem(dlg, id);
    if (!c) return FALSE;
    SendMessageA(c, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dlg, int id) {
    HWND c = GetDlgItem(dlg, id);
    return c ? static_cast<UINT>(SendMessageA(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI CheckRadioButton(HWND dlg, int first, int last, int check) {
    bool found = false;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(c);
        if (id < first || id > last) continue;
        SendMessageA(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
        found = found || id == check;
    }
    if (!found) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return found ? TRUE : FALSE;
}

HWND WINAPI GetNextDlgTabItem(HWND dlg, HWND ctl, BOOL previous) {
    std::vector<HWND> all;
    collectControls(dlg, all);
    if (all.empty()) return nullptr;
    int n = static_cast<int>(all.size());
    int start = ctl ? indexOf(all, ctl) : -1;
    if (start < 0) start = previous ? 0 : n - 1;
    for (int k = 1; k <= n; k++) {
        int i = previous ? (start - k + 2 * n) % n : (start + k) % n;
        HWND c = all[i];
        if (usable(c) && (GetWindowLongA(c, GWL_STYLE) & WS_TABSTOP) &&
            !(GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT))
            return c;
    }
    return ctl;
}

HWND WINAPI GetNextDlgGroupItem(HWND dlg, HWND ctl, BOOL previous) {
    std::vector<HWND> all;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) all.push_back(c);
    if (all.empty()) return nullptr;
    int n = static_cast<int>(all.size());
    int at = ctl ? indexOf(all, ctl) : 0;
    if (at < 0) at = 0;
    // The group: from the control that starts it to the one before the next start.
    int first = at;
    while (first > 0 && !(GetWindowLongA(all[first], GWL_STYLE) & WS_GROUP)) first--;
    int last = at;
    while (last + 1 < n && !(GetWindowLongA(all[last + 1], GWL_STYLE) & WS_GROUP)) last++;
    int size = last - first + 1;
    for (int k = 1; k < size; k++) {
        int off = previous ? (at - first - k + size * 2) % size : (at - first + k) % size;
        HWND c = all[first + off];
        if (usable(c)) return c;
    }
    return ctl ? ctl : all[first];
}

BOOL WINAPI MapDialogRect(HWND dlg, LPRECT r) {
    int bx, by;
    if (!r || !dialogBaseUnits(dlg, &bx, &by)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    r->left = mulDiv(r->left, bx, 4);
    r->right = mulDiv(r->right, bx, 4);
    r->top = mulDiv(r->top, by, 8);
    r->bottom = mulDiv(r->bottom, by, 8);
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits(void) {
    static int x = 0, y = 0;
    if (!x) baseUnitsOf(nullptr, &x, &y);
    return MAKELONG(x, y);
}

} // extern "C"
