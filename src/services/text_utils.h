// Text helpers shared inside the library.
#pragma once

#include <windows.h>

namespace vorlex {

// A text that is null, empty or starts with a space stands for "not given".
inline bool isBlankText(LPCSTR text) { return !text || text[0] == '\0' || text[0] == ' '; }

} // namespace vorlex
