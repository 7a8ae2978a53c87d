// Messages between a combo box and its drop-down list (the class of both is
// the layer's own, so these numbers are theirs to use).
#pragma once

#include <windows.h>

namespace winapi::user {

constexpr UINT kComboListChanged = WM_USER + 0x200; // the highlighted item moved
constexpr UINT kComboListChosen = WM_USER + 0x201;  // an item was clicked
constexpr UINT kComboListCancel = WM_USER + 0x202;  // a press outside (lParam: screen point)

} // namespace winapi::user
