/* Extensions of the POSIX layer that Win32 does not have: in-process
   null-modem pairs and adopted pseudo-terminals. Nothing here exists on
   Windows; programs use it to set up the devices they then open with
   CreateFileA. */
#ifndef WINAPI_EXT_H
#define WINAPI_EXT_H

#include "windows.h"

WINAPI_BEGIN_C

/* How the line between the two ends behaves. Zeroes give an ideal line:
   bytes cross at once, without loss. */
typedef struct WAPI_LINE_OPTIONS {
    DWORD bytesPerSecond;    /* each direction; 0 = no limit */
    DWORD latencyMs;         /* added to every byte's travel */
    DWORD bitErrorInterval;  /* on average one bit in this many is flipped; 0 = none */
    DWORD seed;              /* for the error pattern; 0 picks a fixed default */
} WAPI_LINE_OPTIONS;

/* Joins two names (for instance "COM5" and "COM6", or any other text) like
   a null-modem cable: DTR drives the peer's DSR and carrier detect, RTS the
   peer's CTS, a break the peer's break event. CreateFileA on either name
   (also as \\.\NAME) opens that end, exclusively. Names are compared without
   regard to case. options may be NULL. Fails with ERROR_ALREADY_EXISTS when
   a name is taken. */
WINAPI_VISIBLE BOOL WINAPI WapiCreateNullModemPair(LPCSTR nameA, LPCSTR nameB, const WAPI_LINE_OPTIONS *options);
/* Removes the pair that has this name; fails with ERROR_BUSY while an end is open. */
WINAPI_VISIBLE BOOL WINAPI WapiDestroyNullModemPair(LPCSTR name);
/* Changes the line of an existing pair. */
WINAPI_VISIBLE BOOL WINAPI WapiSetNullModemLine(LPCSTR name, const WAPI_LINE_OPTIONS *options);
/* Drives the ring indicator that the end with this name sees. */
WINAPI_VISIBLE BOOL WINAPI WapiSetNullModemRing(LPCSTR name, BOOL on);

/* Makes a pseudo-terminal pair: nameMaster opens the master side, nameSlave
   the slave side; bytes written to one are read from the other. Writes the
   slave's device path to slavePath (at least 64 bytes) when it is not NULL.
   Removed with WapiDestroyNullModemPair on either name. */
WINAPI_VISIBLE BOOL WINAPI WapiCreatePseudoTerminalPair(LPCSTR nameMaster, LPCSTR nameSlave, LPSTR slavePath);

/* The device path a COM name resolves to (VORLEX_COMDIR rule), or the
   registered name itself; returns the length written, 0 if it is no COM
   name and not registered. */
WINAPI_VISIBLE DWORD WINAPI WapiResolveCommName(LPCSTR name, LPSTR buffer, DWORD size);

/* The sound of the last MessageBeep (its uType), or 0xFFFFFFFF when none
   was made yet. MessageBeep rings the terminal bell only when standard
   error is a terminal. */
WINAPI_VISIBLE UINT WINAPI WapiLastMessageBeep(void);

WINAPI_END_C

#endif
