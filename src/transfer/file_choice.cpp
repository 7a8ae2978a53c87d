// The user's choice of files and folders for the interactive transfers;
// the dialogs start in the port's terminal's directories when it has one.
#include "file_choice.h"

#include "services/file_utils.h"

#include <commdlg.h>

#include <cstring>

namespace vorlex {

namespace {

// What the dialogs may write into pathList; the rest of it leaves room to
// split a root directory from its name.
constexpr DWORD kChoiceChars = 2544;
static_assert(kChoiceChars + 8 <= sizeof(TransferRecord::pathList), "room to split the choice");

const char kTextFilters[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
const char kFileFilters[] = "Zipped Files (*.zip)\0*.zip\0Text Files (*.txt;*.doc)\0*.txt;*.doc\0"
                            "All Files (*.*)\0*.*\0";

OPENFILENAMEA dialogFor(HWND owner, TransferRecord *t, LPCSTR title, bool ascii, LPCSTR start) {
    OPENFILENAMEA dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = ascii ? kTextFilters : kFileFilters;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = t->pathList;
    dialog.nMaxFile = kChoiceChars;
    dialog.lpstrTitle = title;
    dialog.lpstrInitialDir = start && *start ? start : nullptr;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NONETWORKBUTTON | OFN_NOCHANGEDIR;
    t->pathList[0] = '\0';
    return dialog;
}

} // namespace

char *splitSelection(char *list, size_t size, WORD nameOffset) {
    const size_t offset = nameOffset;
    if (offset == 0 || offset >= size) return nullptr;
    char *name = list + offset;
    size_t length = 0;
    while (offset + length < size && name[length]) length++;
    char *separator = name - 1;
    if (*separator != '\0') {
        // "\name" or "C:\name": the directory is the root itself.
        const bool root = offset == 1 || (offset == 3 && list[1] == ':');
        if (root) {
            if (offset + length + 3 > size) return nullptr;
            std::memmove(name + 1, name, length);
            *name++ = '\0';
        } else {
            if (offset + length + 2 > size) return nullptr;
            *separator = '\0';
        }
        // A single path ends with one NUL: end the list after it.
        name[length] = '\0';
        name[length + 1] = '\0';
    }
    return *name ? name : nullptr;
}

char *nextSelected(char *name) {
    char *next = name + std::strlen(name) + 1;
    return *next ? next : nullptr;
}

bool chooseFilesToSend(HWND owner, TransferRecord *t, LPCSTR title, bool ascii, bool several, char **first,
                       LPCSTR start) {
    OPENFILENAMEA dialog = dialogFor(owner, t, title, ascii, start);
    dialog.Flags |= OFN_FILEMUSTEXIST;
    // Explorer style: names are separated by NULs, so a name may hold spaces.
    if (several) dialog.Flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    *first = nullptr;
    if (!GetOpenFileNameA(&dialog)) return false;
    *first = splitSelection(t->pathList, sizeof t->pathList, dialog.nFileOffset);
    return true;
}

char *chooseFileToReceive(HWND owner, TransferRecord *t, LPCSTR title, bool ascii, LPCSTR start) {
    OPENFILENAMEA dialog = dialogFor(owner, t, title, ascii, start);
    dialog.Flags |= OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameA(&dialog)) return nullptr;
    return splitSelection(t->pathList, sizeof t->pathList, dialog.nFileOffset);
}

bool chooseFolderToReceive(HWND owner, TransferRecord *t, LPCSTR start) {
    char folder[MAX_PATH] = "";
    if (start) lstrcpynA(folder, start, sizeof folder);
    if (!chooseFolder(owner, "Directory to Save File in", folder)) return false;
    std::strcpy(t->pathList, folder);
    return true;
}

} // namespace vorlex
