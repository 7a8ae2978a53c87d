// File and directory helpers shared inside the library.
#pragma once

#include <vorlex.h>

namespace vorlex {

// Makes the directory and the parents it needs: VORLEX_DIR_OK when it
// exists as a directory afterwards, else VORLEX_DIR_FAILED.
LONG makeDirectory(LPCSTR path);
// The folder browser, starting at folder when it is not empty; 1 and the
// chosen path in folder (MAX_PATH bytes), or 0.
LONG chooseFolder(HWND owner, LPCSTR title, LPSTR folder);
// Func046: an open (save 0) or save dialog; filter pairs separated by '|'.
// Non-zero with the path in file and its name in name, or 0.
LONG chooseFile(HWND owner, LPCSTR title, LPSTR file, LPCSTR filter, LPSTR name, LONG save, LONG mustExist);

} // namespace vorlex
