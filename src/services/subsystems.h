// The start-up work of each subsystem, run once by the library's entry
// point in this order: each registers its own window classes and prepares
// what it needs.
#pragma once

#include <windows.h>

namespace vorlex {

// The terminal: its four window classes.
void startTerminals(HINSTANCE instance);
// Transfers: the progress window's class and the Zmodem header secret.
void startTransfers(HINSTANCE instance);

} // namespace vorlex
