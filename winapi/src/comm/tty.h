// The tty backend.
#pragma once

#include "device.h"

namespace winapi::comm {

// Opens path (or adopts fd) as a communications device. Returns false when
// the path is not a terminal, leaving it to be opened as a plain file;
// otherwise *out is the handle or INVALID_HANDLE_VALUE with the last error set.
bool openTty(const char *path, bool overlapped, bool adoptFd, int fd, HANDLE *out);

} // namespace winapi::comm
