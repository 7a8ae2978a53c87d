// The transfers that ask the user for their files (or take the folder
// given), for the exports and for the terminal's commands. Each returns
// the result of its export.
#pragma once

#include <windows.h>

namespace vorlex {

// Files chosen in an open dialog, sent as one batch.
LONG zmodemUploadChosen(LONG port, HWND window);
// Into a folder chosen in the folder browser.
LONG zmodemDownloadChosen(LONG port, HWND window);
// Into directory (blank: the current one), no questions.
LONG zmodemReceiveInto(LONG port, HWND window, LPCSTR directory);
// ASCII, Xmodem and Ymodem (protocol 0..5): the file or files chosen, or
// a file (a folder for Ymodem) to receive into.
LONG blockUploadChosen(LONG port, HWND owner, LONG protocol);
LONG blockDownloadChosen(LONG port, HWND owner, LONG protocol);

} // namespace vorlex
