// The library's own resources: the terminal's menu, icon and button images
// and the dialog templates. They are built here, once, as the bytes a
// resource compiler would put in the image; the Windows build writes them
// into vorlex.dll's resource section (tools/resources/rcgen.cpp) and the
// POSIX build hands the same bytes to its module at start-up.
#pragma once

#include <windows.h>

#include <vector>

namespace vorlex::resources {

// Resource numbers.
constexpr WORD kIconTerminal = 110;
constexpr WORD kMenuTerminal = 111;
constexpr WORD kBitmapButtons = 112;
constexpr WORD kDialogCommErrors = 122;
constexpr WORD kDialogSessionParameters = 123;
constexpr WORD kDialogSelectProtocol = 124;
constexpr WORD kDialogTransferReceive = 125;
constexpr WORD kDialogTransferSend = 126;
constexpr WORD kDialogTerminalType = 1548;

// The images of the icon group (RT_ICON numbers).
constexpr WORD kIconImageLarge = 1;
constexpr WORD kIconImageSmall = 2;

// Geometry of the button bitmap: seven cells of 37 pixels, normal images
// in the first row of cells, pressed in the second, disabled in the third.
// A button shows 38 x 38 pixels from its cell, so the bitmap has one more
// column and row to close the last cells' frames.
constexpr int kButtonCount = 7;
constexpr int kButtonCell = 37;
constexpr int kButtonBitmapWidth = kButtonCount * kButtonCell + 1;
constexpr int kButtonBitmapHeight = 3 * kButtonCell + 1;

struct Resource {
    WORD type; // RT_ number
    WORD id;
    std::vector<BYTE> bytes;
};

// Every resource of the library, built on first use and kept for the life
// of the process (module resources must stay where they are).
const std::vector<Resource> &libraryResources();

// The pieces, for the catalogue and for tests.
std::vector<BYTE> dialogTemplate(WORD id); // empty for an unknown number
std::vector<BYTE> terminalMenu();
std::vector<BYTE> buttonBitmap();          // a packed DIB (no file header)
std::vector<BYTE> iconImage(int size);     // 32 or 16: an RT_ICON image
std::vector<BYTE> iconGroup();             // RT_GROUP_ICON naming both images

} // namespace vorlex::resources
