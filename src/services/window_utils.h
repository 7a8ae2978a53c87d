// Window helpers shared inside the library.
#pragma once

#include <windows.h>

namespace vorlex {

// Moves the window, keeping its size and without repainting, so that its
// centre lies on the reference window's centre; the MoveWindow result, or
// FALSE when either window has no rectangle.
BOOL centreOver(HWND reference, HWND window);
// The outermost ancestor of the window (itself when it has no parent).
HWND topLevelWindow(HWND window);
// Func121: whether the display uses small fonts (system text 16 pixels or less).
bool smallFonts();

} // namespace vorlex
