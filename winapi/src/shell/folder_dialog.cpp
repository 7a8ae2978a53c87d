// The folder browser (SHBrowseForFolderA): the open folder's path above the
// list of its folders; a double click (or Enter) opens one, "[..]" goes up.
// The folder chosen is the highlighted one, else the open one; the
// application's callback hears BFFM_INITIALIZED and BFFM_SELCHANGED and may
// send BFFM_SETSELECTIONA, BFFM_SETSTATUSTEXTA and BFFM_ENABLEOK. Item
// lists are allocations of the shell's allocator holding the path; the
// allocator is a process-wide IMalloc over malloc.
#include "paths.h"

#include "../user/dialog.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace winapi::shell {

namespace {

// ---- the allocator and item lists ---------------------------------------------

// Every block starts with its size, so that GetSize can tell it.
struct alignas(16) BlockHeader {
    SIZE_T size;
    DWORD magic;
};
constexpr DWORD kBlockMagic = 0x4D414C43; // "CLAM"

BlockHeader *headerOf(void *p) {
    if (!p) return nullptr;
    auto *h = static_cast<BlockHeader *>(p) - 1;
    return h->magic == kBlockMagic ? h : nullptr;
}

void *allocBlock(SIZE_T n) {
    auto *h = static_cast<BlockHeader *>(std::malloc(sizeof(BlockHeader) + (n ? n : 1)));
    if (!h) return nullptr;
    h->size = n;
    h->magic = kBlockMagic;
    return h + 1;
}

void freeBlock(void *p) {
    BlockHeader *h = headerOf(p);
    if (!h) return;
    h->magic = 0;
    std::free(h);
}

class ShellMalloc final : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override {
        if (!out) return E_INVALIDARG;
        *out = this;
        return S_OK;
    }
    // One allocator for the whole process: counting references is moot.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    void *STDMETHODCALLTYPE Alloc(SIZE_T n) override { return allocBlock(n); }
    void *STDMETHODCALLTYPE Realloc(void *p, SIZE_T n) override {
        if (!p) return allocBlock(n);
        if (!n) {
            freeBlock(p);
            return nullptr;
        }
        BlockHeader *h = headerOf(p);
        if (!h) return nullptr;
        void *q = allocBlock(n);
        if (!q) return nullptr;
        std::memcpy(q, p, std::min(n, h->size));
        freeBlock(p);
        return q;
    }
    void STDMETHODCALLTYPE Free(void *p) override { freeBlock(p); }
    SIZE_T STDMETHODCALLTYPE GetSize(void *p) override {
        BlockHeader *h = headerOf(p);
        return h ? h->size : static_cast<SIZE_T>(-1);
    }
    int STDMETHODCALLTYPE DidAlloc(void *p) override { return p ? (headerOf(p) ? 1 : 0) : -1; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

ShellMalloc g_malloc;

// An item list of one item: its bytes are a tag and the path, then the
// empty item that ends every list.
constexpr char kTag[4] = {'P', 'A', 'T', 'H'};

PIDLIST_ABSOLUTE makeIdList(const std::string &path) {
    size_t item = sizeof(USHORT) + sizeof kTag + path.size() + 1;
    if (item > 0xFFFF) return nullptr;
    auto *p = static_cast<BYTE *>(allocBlock(item + sizeof(USHORT)));
    if (!p) return nullptr;
    USHORT cb = static_cast<USHORT>(item);
    std::memcpy(p, &cb, sizeof cb);
    std::memcpy(p + sizeof cb, kTag, sizeof kTag);
    std::memcpy(p + sizeof cb + sizeof kTag, path.c_str(), path.size() + 1);
    USHORT end = 0;
    std::memcpy(p + item, &end, sizeof end);
    return reinterpret_cast<PIDLIST_ABSOLUTE>(p);
}

bool pathOf(PCIDLIST_ABSOLUTE pidl, std::string *out) {
    if (!pidl) return false;
    auto *p = reinterpret_cast<const BYTE *>(pidl);
    USHORT cb;
    std::memcpy(&cb, p, sizeof cb);
    if (cb < sizeof(USHORT) + sizeof kTag + 1 || std::memcmp(p + sizeof cb, kTag, sizeof kTag)) return false;
    const char *s = reinterpret_cast<const char *>(p + sizeof cb + sizeof kTag);
    size_t max = cb - sizeof cb - sizeof kTag;
    size_t n = strnlen(s, max);
    if (n == max) return false;
    *out = std::string(s, n);
    return true;
}

// ---- the dialog ------------------------------------------------------------------

constexpr int kTitle = 0x3742, kStatus = 0x3743, kPath = 0x3744, kList = 0x3741;

struct Browser {
    BROWSEINFOA *bi = nullptr;
    std::string root;     // not above this folder
    std::string folder;   // the open folder
    std::string selected; // what OK gives
};

Browser *stateOf(HWND dlg) { return reinterpret_cast<Browser *>(GetWindowLongPtrA(dlg, DWLP_USER)); }

void callback(HWND dlg, Browser *b, UINT msg, LPARAM lp) {
    if (b->bi->lpfn) b->bi->lpfn(dlg, msg, lp, b->bi->lParam);
}

void select(HWND dlg, Browser *b, const std::string &path) {
    if (path == b->selected) return;
    b->selected = path;
    PIDLIST_ABSOLUTE pidl = makeIdList(path);
    callback(dlg, b, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl));
    freeBlock(pidl);
}

bool underRoot(const Browser *b, const std::string &path) {
    if (b->root == "/") return true;
    return path == b->root || path.rfind(b->root + "/", 0) == 0;
}

void open(HWND dlg, Browser *b, const std::string &path) {
    b->folder = normalize(path);
    SetDlgItemTextA(dlg, kPath, b->folder.c_str());
    HWND list = GetDlgItem(dlg, kList);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    if (b->folder != "/" && b->folder != b->root) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("[..]"));
    for (auto &f : subfolders(b->folder, false))
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("[" + f + "]").c_str()));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    select(dlg, b, b->folder);
}

// The folder of a list entry, or "" for none.
std::string entryPath(HWND dlg, Browser *b, int i) {
    if (i < 0) return std::string();
    char name[MAX_PATH * 2];
    if (SendDlgItemMessageA(dlg, kList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name)) == LB_ERR)
        return std::string();
    std::string n = name;
    if (n.size() >= 2 && n.front() == '[' && n.back() == ']') n = n.substr(1, n.size() - 2);
    return n == ".." ? parentOf(b->folder) : joinPath(b->folder, n);
}

INT_PTR CALLBACK browserProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        auto *b = reinterpret_cast<Browser *>(lp);
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        RECT r, ref;
        GetWindowRect(dlg, &r);
        HWND owner = b->bi->hwndOwner;
        if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &ref);
        else SystemParametersInfoA(SPI_GETWORKAREA, 0, &ref, 0);
        int w = r.right - r.left, h = r.bottom - r.top;
        MoveWindow(dlg, std::max<LONG>(0, ref.left + ((ref.right - ref.left) - w) / 2),
                   std::max<LONG>(0, ref.top + ((ref.bottom - ref.top) - h) / 2), w, h, FALSE);
        open(dlg, b, b->folder);
        callback(dlg, b, BFFM_INITIALIZED, 0);
        return TRUE;
    }
    case WM_COMMAND: {
        Browser *b = stateOf(dlg);
        if (!b) return FALSE;
        switch (LOWORD(wp)) {
        case IDOK: {
            HWND list = GetDlgItem(dlg, kList);
            if (GetFocus() == list) {
                // Enter in the list opens the folder.
                std::string p = entryPath(dlg, b, static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)));
                if (!p.empty()) {
                    open(dlg, b, p);
                    return TRUE;
                }
            }
            EndDialog(dlg, 1);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dlg, 0);
            return TRUE;
        case kList: {
            int i = static_cast<int>(SendDlgItemMessageA(dlg, kList, LB_GETCURSEL, 0, 0));
            std::string p = entryPath(dlg, b, i);
            if (HIWORD(wp) == LBN_SELCHANGE && !p.empty()) select(dlg, b, p);
            if (HIWORD(wp) == LBN_DBLCLK && !p.empty()) open(dlg, b, p);
            return TRUE;
        }
        }
        return FALSE;
    }
    case BFFM_SETSELECTIONA: {
        Browser *b = stateOf(dlg);
        if (!b) return TRUE;
        std::string p;
        if (wp) p = lp ? normalize(reinterpret_cast<const char *>(lp)) : std::string();
        else pathOf(reinterpret_cast<PCIDLIST_ABSOLUTE>(lp), &p);
        if (!p.empty() && isDirectory(p) && underRoot(b, p)) open(dlg, b, p);
        return TRUE;
    }
    case BFFM_SETSTATUSTEXTA:
        SetDlgItemTextA(dlg, kStatus, lp ? reinterpret_cast<const char *>(lp) : "");
        return TRUE;
    case BFFM_ENABLEOK:
        EnableWindow(GetDlgItem(dlg, IDOK), lp != 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

} // namespace winapi::shell

using namespace winapi::shell;

extern "C" {

HRESULT WINAPI SHGetMalloc(LPMALLOC *out) {
    if (!out) return E_INVALIDARG;
    *out = &g_malloc;
    return S_OK;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T n) { return allocBlock(n); }
void WINAPI CoTaskMemFree(LPVOID p) { freeBlock(p); }
void WINAPI ILFree(PIDLIST_ABSOLUTE pidl) { freeBlock(pidl); }

BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR out) {
    if (!out) return FALSE;
    out[0] = 0;
    std::string p;
    if (!pathOf(pidl, &p) || p.size() >= MAX_PATH) return FALSE;
    lstrcpyA(out, p.c_str());
    return TRUE;
}

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderA(LPBROWSEINFOA bi) {
    if (!bi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Browser b;
    b.bi = bi;
    std::string root;
    b.root = bi->pidlRoot && pathOf(bi->pidlRoot, &root) && isDirectory(root) ? normalize(root) : std::string("/");
    b.folder = currentDir();
    if (!underRoot(&b, b.folder)) b.folder = b.root;
    winapi::user::TemplateBuilder t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | WS_VISIBLE, 0, 0, 0,
                                    212, 190, "Browse for Folder");
    const DWORD tab = WS_VISIBLE | WS_TABSTOP;
    t.add(MAKEINTRESOURCEA(0x82), bi->lpszTitle ? bi->lpszTitle : "", kTitle, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 8, 6,
          196, 18);
    // The status line takes room only when the application asks for it.
    int y = 25;
    if (bi->ulFlags & BIF_STATUSTEXT) {
        t.add(MAKEINTRESOURCEA(0x82), "", kStatus, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 8, y, 196, 9);
        y += 12;
    }
    t.add(MAKEINTRESOURCEA(0x82), "", kPath, WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS | SS_SUNKEN, 8, y, 196,
          10);
    t.add(MAKEINTRESOURCEA(0x83), "", kList,
          tab | WS_GROUP | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 8, y + 14, 196,
          162 - (y + 14));
    t.add(MAKEINTRESOURCEA(0x80), "OK", IDOK, tab | WS_GROUP | BS_DEFPUSHBUTTON, 98, 170, 50, 14);
    t.add(MAKEINTRESOURCEA(0x80), "Cancel", IDCANCEL, tab | BS_PUSHBUTTON, 154, 170, 50, 14);
    INT_PTR r = DialogBoxIndirectParamA(nullptr, t.get(), bi->hwndOwner, browserProc, reinterpret_cast<LPARAM>(&b));
    if (r <= 0 || b.selected.empty()) return nullptr;
    if (bi->pszDisplayName) {
        std::string name = b.selected == "/" ? "/" : baseName(b.selected);
        lstrcpynA(bi->pszDisplayName, name.c_str(), MAX_PATH);
    }
    return makeIdList(b.selected);
}

} // extern "C"
