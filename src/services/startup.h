// The library's start-up: its module handle, kept for its resources and
// window classes.
#pragma once

#include <windows.h>

namespace vorlex {

// The library's module, set once at the first process attach.
extern HINSTANCE libraryInstance;

} // namespace vorlex
