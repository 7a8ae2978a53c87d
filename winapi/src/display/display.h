// The display behind the window manager. Headless by default: windows draw
// into their own framebuffers and nothing is shown. A presenter (an X11 one,
// for instance) can be installed to be told what changed and to show it;
// composeScreen gives it the picture.
#pragma once

#include <windows.h>

#include "../gdi/gdi.h"

#include <memory>

namespace winapi::display {

class Presenter {
public:
    virtual ~Presenter() = default;
    // Pixels of a top-level window changed inside r (window coordinates).
    virtual void damaged(HWND top, const RECT &r) = 0;
    // A top-level window was shown, hidden, moved, resized or restacked.
    virtual void layoutChanged() = 0;
};

// Installs a presenter (null: headless again).
void setPresenter(std::unique_ptr<Presenter> p);
// No presenter: nobody sees the windows.
bool headless();

// The whole screen: the desktop and every visible top-level window in
// stacking order, with carets.
gdi::FbPtr composeScreen();
// One window as shown, with its children and caret; a child is cut from its
// top-level window.
gdi::FbPtr composeWindow(HWND h);

} // namespace winapi::display
