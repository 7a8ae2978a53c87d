// The Open and Save As dialogs: a file name field, the files of the open
// folder that match the chosen type, its folders ("[..]" goes up), the list
// of types, and OK/Cancel. Names are checked as the flags ask (the path or
// the file must exist, replacing a file needs a yes) and the result is
// written in the form the flags ask for (one path, or the folder and the
// names of a multiple selection).
#include "paths.h"

#include "../user/dialog.h"

#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace winapi::shell {

namespace {

thread_local DWORD t_error = 0;

struct FileDialog {
    OPENFILENAMEA *ofn = nullptr;
    bool save = false;
    bool multi = false;
    std::string dir;
    std::string pattern;
    std::vector<std::pair<std::string, std::string>> filters;
    int filter = 0;   // index into filters
    std::string initialName;
    std::string title;
};

FileDialog *stateOf(HWND dlg) { return reinterpret_cast<FileDialog *>(GetWindowLongPtrA(dlg, DWLP_USER)); }

std::string itemText(HWND dlg, int id) {
    HWND c = GetDlgItem(dlg, id);
    int n = GetWindowTextLengthA(c);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    GetWindowTextA(c, s.data(), n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    size_t e = s.find_last_not_of(" \t");
    s.erase(e == std::string::npos ? 0 : e + 1);
    return s;
}

// Names as typed: one name, or several in double quotes.
std::vector<std::string> parseNames(const std::string &text, bool multi) {
    std::vector<std::string> out;
    if (!multi || text.find('"') == std::string::npos) {
        std::string t = text;
        if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
        out.push_back(t);
        return out;
    }
    size_t i = 0;
    while (i < text.size()) {
        size_t q = text.find('"', i);
        if (q == std::string::npos) {
            std::string rest = trim(text.substr(i));
            if (!rest.empty()) out.push_back(rest);
            break;
        }
        std::string before = trim(text.substr(i, q - i));
        if (!before.empty()) out.push_back(before);
        size_t e = text.find('"', q + 1);
        if (e == std::string::npos) e = text.size();
        std::string name = text.substr(q + 1, e - q - 1);
        if (!name.empty()) out.push_back(name);
        i = e + 1;
    }
    return out;
}

void fillLists(HWND dlg, FileDialog *d) {
    SetDlgItemTextA(dlg, stc1, d->dir.c_str());
    bool hidden = (d->ofn->Flags & OFN_FORCESHOWHIDDEN) != 0;
    HWND folders = GetDlgItem(dlg, lst2), files = GetDlgItem(dlg, lst1);
    SendMessageA(folders, WM_SETREDRAW, FALSE, 0);
    SendMessageA(folders, LB_RESETCONTENT, 0, 0);
    if (d->dir != "/") SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("[..]"));
    for (auto &f : subfolders(d->dir, hidden))
        SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("[" + f + "]").c_str()));
    SendMessageA(folders, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(folders, nullptr, TRUE);
    SendMessageA(files, WM_SETREDRAW, FALSE, 0);
    SendMessageA(files, LB_RESETCONTENT, 0, 0);
    for (auto &f : filesMatching(d->dir, d->pattern, hidden))
        SendMessageA(files, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
    SendMessageA(files, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(files, nullptr, TRUE);
}

void enterFolder(HWND dlg, FileDialog *d, const std::string &path) {
    d->dir = normalize(path);
    fillLists(dlg, d);
}

// The chosen files' names go into the name field.
void showSelectedFiles(HWND dlg, FileDialog *d) {
    HWND files = GetDlgItem(dlg, lst1);
    std::vector<int> sel;
    if (d->multi) {
        int n = static_cast<int>(SendMessageA(files, LB_GETSELCOUNT, 0, 0));
        if (n > 0) {
            sel.resize(static_cast<size_t>(n));
            SendMessageA(files, LB_GETSELITEMS, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(sel.data()));
        }
    } else {
        int i = static_cast<int>(SendMessageA(files, LB_GETCURSEL, 0, 0));
        if (i >= 0) sel.push_back(i);
    }
    if (sel.empty()) return;
    std::string text;
    for (int i : sel) {
        char name[MAX_PATH * 2];
        SendMessageA(files, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
        if (sel.size() == 1) text = name;
        else text += (text.empty() ? "\"" : " \"") + std::string(name) + "\"";
    }
    SetDlgItemTextA(dlg, edt1, text.c_str());
}

int ask(HWND dlg, FileDialog *d, const std::string &text, UINT type) {
    return MessageBoxA(dlg, text.c_str(), d->title.c_str(), type);
}

bool store(FileDialog *d, const std::string &result) {
    OPENFILENAMEA *o = d->ofn;
    if (result.size() > o->nMaxFile) {
        // Too small: the first two bytes tell the size that is needed.
        if (o->nMaxFile >= 2) {
            WORD need = static_cast<WORD>(std::min<size_t>(result.size(), 0xFFFF));
            std::memcpy(o->lpstrFile, &need, sizeof need);
        }
        t_error = FNERR_BUFFERTOOSMALL;
        return false;
    }
    std::memcpy(o->lpstrFile, result.data(), result.size());
    return true;
}

void finish(HWND dlg, FileDialog *d, const std::string &folder, const std::vector<std::string> &names) {
    OPENFILENAMEA *o = d->ofn;
    std::string result;
    if (names.size() == 1) {
        std::string path = joinPath(folder, names[0]);
        result = path + std::string(1, '\0');
        if (d->multi && (o->Flags & OFN_EXPLORER)) result += '\0';
        if (!store(d, result)) {
            EndDialog(dlg, 0);
            return;
        }
        size_t slash = path.rfind('/');
        o->nFileOffset = static_cast<WORD>(slash + 1);
        std::string base = path.substr(slash + 1);
        size_t dot = base.rfind('.');
        o->nFileExtension = dot == std::string::npos ? 0 : static_cast<WORD>(slash + 1 + dot + 1);
        if (o->lpstrFileTitle && o->nMaxFileTitle) lstrcpynA(o->lpstrFileTitle, base.c_str(), static_cast<int>(o->nMaxFileTitle));
        if (o->lpstrDefExt && dot != std::string::npos && lstrcmpiA(base.c_str() + dot + 1, o->lpstrDefExt))
            o->Flags |= OFN_EXTENSIONDIFFERENT;
        else
            o->Flags &= ~static_cast<DWORD>(OFN_EXTENSIONDIFFERENT);
    } else {
        bool explorer = (o->Flags & OFN_EXPLORER) != 0;
        result = folder;
        for (auto &n : names) result += (explorer ? std::string(1, '\0') : std::string(" ")) + n;
        result += '\0';
        if (explorer) result += '\0';
        if (!store(d, result)) {
            EndDialog(dlg, 0);
            return;
        }
        o->nFileOffset = static_cast<WORD>(folder.size() + 1);
        o->nFileExtension = 0;
        if (o->lpstrFileTitle && o->nMaxFileTitle) o->lpstrFileTitle[0] = 0;
    }
    if (IsWindowVisible(GetDlgItem(dlg, chx1)) && IsDlgButtonChecked(dlg, chx1)) o->Flags |= OFN_READONLY;
    else o->Flags &= ~static_cast<DWORD>(OFN_READONLY);
    o->nFilterIndex = d->filters.empty() ? 0 : static_cast<DWORD>(d->filter + 1);
    if (!(o->Flags & OFN_NOCHANGEDIR)) SetCurrentDirectoryA(folder.c_str());
    t_error = 0;
    EndDialog(dlg, 1);
}

void onOk(HWND dlg, FileDialog *d) {
    OPENFILENAMEA *o = d->ofn;
    HWND folders = GetDlgItem(dlg, lst2);
    // Enter in the folder list opens the folder.
    if (GetFocus() == folders) {
        int i = static_cast<int>(SendMessageA(folders, LB_GETCURSEL, 0, 0));
        if (i >= 0) {
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(lst2, LBN_DBLCLK), reinterpret_cast<LPARAM>(folders));
            return;
        }
    }
    std::string text = trim(itemText(dlg, edt1));
    if (text.empty()) {
        MessageBeep(MB_OK);
        return;
    }
    std::vector<std::string> names = parseNames(text, d->multi);
    if (names.empty()) return;
    if (names.size() == 1) {
        std::string name = names[0];
        if (hasWildcard(name)) {
            // A pattern: a new filter, perhaps in another folder.
            size_t slash = name.find_last_of("/\\");
            if (slash != std::string::npos) {
                std::string folder = joinPath(d->dir, name.substr(0, slash + 1));
                if (!isDirectory(folder)) {
                    ask(dlg, d, folder + "\nPath not found.\nPlease verify the correct path was given.", MB_OK | MB_ICONEXCLAMATION);
                    return;
                }
                d->dir = folder;
                name = name.substr(slash + 1);
            }
            d->pattern = name;
            SetDlgItemTextA(dlg, edt1, name.c_str());
            fillLists(dlg, d);
            return;
        }
        std::string path = joinPath(d->dir, name);
        if (isDirectory(path)) {
            enterFolder(dlg, d, path);
            SetDlgItemTextA(dlg, edt1, d->pattern.c_str());
            return;
        }
        std::string folder = parentOf(path);
        if (!isDirectory(folder)) {
            ask(dlg, d, path + "\nPath not found.\nPlease verify the correct path was given.", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        std::string base = baseName(path);
        if (d->save && o->lpstrDefExt && *o->lpstrDefExt && base.find('.') == std::string::npos) {
            path += "." + std::string(o->lpstrDefExt);
            base = baseName(path);
        }
        bool there = exists(path);
        if (!d->save && (o->Flags & OFN_FILEMUSTEXIST) && !there) {
            ask(dlg, d, base + "\nFile not found.\nPlease verify the correct file name was given.", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        if (!there && (o->Flags & OFN_CREATEPROMPT) &&
            ask(dlg, d, path + "\nThis file does not exist.\nDo you want to create it?", MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        if (d->save && there && (o->Flags & OFN_OVERWRITEPROMPT) &&
            ask(dlg, d, path + " already exists.\nDo you want to replace it?", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
            return;
        finish(dlg, d, folder, {base});
        return;
    }
    // Several files: all of them in the open folder.
    for (auto &n : names) {
        if (n.find_first_of("/\\") != std::string::npos || hasWildcard(n)) {
            ask(dlg, d, n + "\nThe file name is not valid.", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        if ((o->Flags & OFN_FILEMUSTEXIST) && !exists(joinPath(d->dir, n))) {
            ask(dlg, d, n + "\nFile not found.\nPlease verify the correct file name was given.", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    finish(dlg, d, d->dir, names);
}

void centre(HWND dlg, HWND owner) {
    RECT r, ref;
    GetWindowRect(dlg, &r);
    if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &ref);
    else SystemParametersInfoA(SPI_GETWORKAREA, 0, &ref, 0);
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = ref.left + ((ref.right - ref.left) - w) / 2, y = ref.top + ((ref.bottom - ref.top) - h) / 2;
    x = std::max(0, std::min(x, GetSystemMetrics(SM_CXSCREEN) - w));
    y = std::max(0, std::min(y, GetSystemMetrics(SM_CYSCREEN) - h));
    MoveWindow(dlg, x, y, w, h, FALSE);
}

INT_PTR CALLBACK fileDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        auto *d = reinterpret_cast<FileDialog *>(lp);
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        centre(dlg, d->ofn->hwndOwner);
        HWND types = GetDlgItem(dlg, cmb1);
        for (auto &f : d->filters) SendMessageA(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.first.c_str()));
        SendMessageA(types, CB_SETCURSEL, static_cast<WPARAM>(d->filter), 0);
        if (d->ofn->Flags & OFN_HIDEREADONLY) ShowWindow(GetDlgItem(dlg, chx1), SW_HIDE);
        else CheckDlgButton(dlg, chx1, (d->ofn->Flags & OFN_READONLY) ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(dlg, edt1, d->initialName.empty() ? d->pattern.c_str() : d->initialName.c_str());
        fillLists(dlg, d);
        return TRUE;
    }
    case WM_COMMAND: {
        FileDialog *d = stateOf(dlg);
        if (!d) return FALSE;
        int id = LOWORD(wp), code = HIWORD(wp);
        switch (id) {
        case IDOK:
            onOk(dlg, d);
            return TRUE;
        case IDCANCEL:
            t_error = 0;
            EndDialog(dlg, 0);
            return TRUE;
        case lst1:
            if (code == LBN_SELCHANGE) showSelectedFiles(dlg, d);
            if (code == LBN_DBLCLK) {
                showSelectedFiles(dlg, d);
                onOk(dlg, d);
            }
            return TRUE;
        case lst2:
            if (code == LBN_DBLCLK) {
                HWND folders = GetDlgItem(dlg, lst2);
                int i = static_cast<int>(SendMessageA(folders, LB_GETCURSEL, 0, 0));
                if (i < 0) return TRUE;
                char name[MAX_PATH * 2];
                SendMessageA(folders, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
                std::string n = name;
                if (n.size() >= 2 && n.front() == '[' && n.back() == ']') n = n.substr(1, n.size() - 2);
                enterFolder(dlg, d, n == ".." ? parentOf(d->dir) : joinPath(d->dir, n));
            }
            return TRUE;
        case cmb1:
            if (code == CBN_SELCHANGE) {
                int i = static_cast<int>(SendDlgItemMessageA(dlg, cmb1, CB_GETCURSEL, 0, 0));
                if (i >= 0 && i < static_cast<int>(d->filters.size())) {
                    d->filter = i;
                    d->pattern = d->filters[static_cast<size_t>(i)].second;
                    SetDlgItemTextA(dlg, edt1, d->pattern.c_str());
                    fillLists(dlg, d);
                }
            }
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

const DLGTEMPLATE *buildTemplate(user::TemplateBuilder &t, bool multi, bool save) {
    const DWORD tab = WS_VISIBLE | WS_TABSTOP;
    t.add(MAKEINTRESOURCEA(0x82), "File &name:", stc3, WS_VISIBLE | SS_LEFT, 6, 6, 96, 9);
    t.add(MAKEINTRESOURCEA(0x81), "", edt1, tab | WS_GROUP | WS_BORDER | ES_AUTOHSCROLL, 6, 16, 96, 12);
    t.add(MAKEINTRESOURCEA(0x83), "", lst1,
          tab | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | (multi ? LBS_EXTENDEDSEL : 0), 6,
          32, 96, 78);
    t.add(MAKEINTRESOURCEA(0x82), "&Folders:", stc4, WS_VISIBLE | SS_LEFT | WS_GROUP, 110, 6, 96, 9);
    t.add(MAKEINTRESOURCEA(0x82), "", stc1, WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 110, 18, 96, 9);
    t.add(MAKEINTRESOURCEA(0x83), "", lst2,
          tab | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 110, 32, 96, 78);
    t.add(MAKEINTRESOURCEA(0x82), save ? "Save file as &type:" : "List files of &type:", stc2,
          WS_VISIBLE | SS_LEFT | WS_GROUP, 6, 114, 96, 9);
    t.add(MAKEINTRESOURCEA(0x85), "", cmb1, tab | CBS_DROPDOWNLIST | WS_VSCROLL, 6, 124, 96, 80);
    t.add(MAKEINTRESOURCEA(0x80), "&Read only", chx1, tab | BS_AUTOCHECKBOX, 110, 126, 60, 10);
    t.add(MAKEINTRESOURCEA(0x80), save ? "&Save" : "&Open", IDOK, tab | WS_GROUP | BS_DEFPUSHBUTTON, 214, 6, 50, 14);
    t.add(MAKEINTRESOURCEA(0x80), "Cancel", IDCANCEL, tab | BS_PUSHBUTTON, 214, 24, 50, 14);
    return t.get();
}

BOOL run(OPENFILENAMEA *o, bool save) {
    t_error = 0;
    if (!o) {
        t_error = CDERR_INITIALIZATION;
        return FALSE;
    }
    if (o->lStructSize != sizeof(OPENFILENAMEA) && o->lStructSize != OPENFILENAME_SIZE_VERSION_400A) {
        t_error = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!o->lpstrFile || o->nMaxFile == 0) {
        t_error = CDERR_INITIALIZATION;
        return FALSE;
    }
    FileDialog d;
    d.ofn = o;
    d.save = save;
    d.multi = !save && (o->Flags & OFN_ALLOWMULTISELECT);
    d.title = o->lpstrTitle ? o->lpstrTitle : (save ? "Save As" : "Open");
    if (o->lpstrFilter) {
        for (const char *p = o->lpstrFilter; *p;) {
            std::string name = p;
            p += name.size() + 1;
            std::string pat = p;
            p += pat.size() + (*p || !pat.empty() ? 1 : 0);
            d.filters.emplace_back(name, pat.empty() ? "*.*" : pat);
            if (pat.empty()) break;
        }
    }
    if (!d.filters.empty()) {
        int i = static_cast<int>(o->nFilterIndex) - 1;
        if (i < 0 || i >= static_cast<int>(d.filters.size())) i = 0;
        d.filter = i;
        d.pattern = d.filters[static_cast<size_t>(i)].second;
    } else {
        d.pattern = "*.*";
    }
    // The initial name may carry a folder, or be a pattern.
    std::string initial(o->lpstrFile, strnlen(o->lpstrFile, o->nMaxFile));
    std::string folder;
    if (!initial.empty()) {
        size_t slash = initial.find_last_of("/\\");
        if (slash != std::string::npos) {
            std::string part = joinPath(currentDir(), initial.substr(0, slash + 1));
            if (isDirectory(part)) folder = part;
            initial = initial.substr(slash + 1);
        }
        if (hasWildcard(initial)) d.pattern = initial;
        d.initialName = initial;
    }
    if (o->lpstrInitialDir && *o->lpstrInitialDir && isDirectory(normalize(o->lpstrInitialDir)))
        d.dir = normalize(o->lpstrInitialDir);
    else if (!folder.empty())
        d.dir = folder;
    else
        d.dir = currentDir();

    user::TemplateBuilder t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | WS_VISIBLE, 0, 0, 0, 270, 144,
                            d.title.c_str());
    INT_PTR r = DialogBoxIndirectParamA(nullptr, buildTemplate(t, d.multi, save), o->hwndOwner, fileDialogProc,
                                        reinterpret_cast<LPARAM>(&d));
    if (r == -1) {
        t_error = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    return r > 0 ? TRUE : FALSE;
}

} // namespace

} // namespace winapi::shell

extern "C" {

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA o) { return winapi::shell::run(o, false); }
BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA o) { return winapi::shell::run(o, true); }
DWORD WINAPI CommDlgExtendedError(void) { return winapi::shell::t_error; }

short WINAPI GetFileTitleA(LPCSTR file, LPSTR buf, WORD size) {
    if (!file) return -1;
    std::string base = winapi::shell::baseName(file);
    if (base.empty() || winapi::shell::hasWildcard(base)) return -1;
    if (!buf || size < base.size() + 1) return static_cast<short>(base.size() + 1);
    lstrcpynA(buf, base.c_str(), size);
    return 0;
}

} // extern "C"
