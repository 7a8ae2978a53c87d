// What other kernel parts need of files opened with CreateFileA.
#pragma once

#include "object.h"

#include <vector>

namespace winapi {

// The descriptor behind a file handle (files and devices opened as files),
// or -1. keep receives a hold on the file while the descriptor is in use.
int fileDescriptorOf(HANDLE h, std::vector<Ref<Object>> &keep);

// The descriptors of files opened with an inheritable handle
// (SECURITY_ATTRIBUTES.bInheritHandle); keep holds their files.
std::vector<int> inheritableDescriptors(std::vector<Ref<Object>> &keep);

} // namespace winapi
