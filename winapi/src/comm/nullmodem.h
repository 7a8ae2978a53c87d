// The null-modem backend and the registry of names that Win32 does not know.
#pragma once

#include "device.h"

#include <winapi_ext.h>

#include <memory>
#include <string>

namespace winapi::comm {

class NullModemPair;

struct RegisteredEnd {
    bool found = false;
    std::shared_ptr<NullModemPair> pair; // a null-modem end
    int side = 0;
    int ptyMasterFd = -1;                // a pseudo-terminal master kept open
    std::string path;                    // a device to open by path
};

// Upper case, without a \\.\ prefix or a trailing colon.
std::string normalizeName(const char *name);
RegisteredEnd lookupRegistered(const char *name);
bool registerPair(const char *a, const char *b, std::shared_ptr<NullModemPair> pair, int master, const std::string &slave,
                  int keep);
HANDLE openNullModemEnd(const std::shared_ptr<NullModemPair> &pair, int side, bool overlapped);

} // namespace winapi::comm
