/* The Win32 API subset of the POSIX layer. */
#ifndef WINAPI_WINDOWS_H
#define WINAPI_WINDOWS_H

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "wingdi.h"
#include "winuser.h"

#endif
