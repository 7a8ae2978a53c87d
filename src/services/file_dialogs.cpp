// The file dialog and the folder browser, as the transfer front-ends and
// the terminal ask the user for files and folders.
#include <vorlex.h>

#include "services/file_utils.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

// The file buffer's size, as applications give it.
constexpr DWORD kFileBufferChars = 278;

// "text|pattern|text|pattern" as the dialog wants it: NUL between the
// parts and two at the end. Built in a buffer of our own, so the caller's
// text is neither changed nor written past.
std::string filterList(LPCSTR filter) {
    std::string list = filter ? filter : "";
    for (char &c : list)
        if (c == '|') c = '\0';
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

// The name after the path's last separator (either kind: the file system
// takes both), or the whole path when it has none.
LPCSTR nameOf(LPCSTR path) {
    LPCSTR name = path;
    for (LPCSTR p = path; *p; p++)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

// Opens the browser at the folder given.
int CALLBACK browseCallback(HWND browser, UINT message, LPARAM, LPARAM folder) {
    if (message == BFFM_INITIALIZED && folder) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, folder);
    return 0;
}

} // namespace

namespace vorlex {

LONG chooseFolder(HWND owner, LPCSTR title, LPSTR folder) {
    if (!folder) return 0;
    IMalloc *allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return 0;
    BROWSEINFOA browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = browseCallback;
    // The browser starts at the folder given, when one is.
    browse.lParam = folder[0] ? reinterpret_cast<LPARAM>(folder) : 0;
    LONG result = 0;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse)) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(chosen, path)) {
            std::strcpy(folder, path);
            result = 1;
        }
        allocator->Free(chosen);
    }
    allocator->Release();
    return result;
}

LONG chooseFile(HWND owner, LPCSTR title, LPSTR file, LPCSTR filter, LPSTR name, LONG save, LONG mustExist) {
    if (!file) return 0;
    const std::string filters = filterList(filter);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = kFileBufferChars;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    if (mustExist) dialog.Flags |= OFN_FILEMUSTEXIST;
    const BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (!chosen) {
        if (name) name[0] = '\0';
        return 0;
    }
    if (name) std::strcpy(name, nameOf(file));
    return chosen;
}

} // namespace vorlex

extern "C" {

LONG WINAPI Func046(HWND owner, LPCSTR title, LPSTR file, LPCSTR filter, LPSTR name, LONG save, LONG mustExist) {
    return vorlex::chooseFile(owner, title, file, filter, name, save, mustExist);
}

LONG WINAPI Func043(HWND owner, LPCSTR title, LPSTR folder) { return vorlex::chooseFolder(owner, title, folder); }

} // extern "C"
