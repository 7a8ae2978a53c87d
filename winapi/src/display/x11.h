// The X11 presenter (x11.cpp): shows the layer's top-level windows on an X
// server and brings its input back as Win32 input.
#pragma once

#include "display.h"

namespace winapi::display {

// Connects to $DISPLAY; null when it cannot (or the layer was built without
// X11), saying why on standard error when complain is set.
std::unique_ptr<Presenter> openX11Presenter(bool complain);

} // namespace winapi::display
