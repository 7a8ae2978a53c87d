// Files of the transfers: opening what is sent and what is received,
// reading and writing them, and the checks on names that come from the
// other side.
#pragma once

#include "port/port.h"

#include <cstddef>

namespace vorlex {

// Opens a file to send: read access, shared with readers and writers.
// Takes its length and modification time (seconds since 1970). A directory,
// or a file of 4 GiB or more (sizes are unsigned 32-bit), is refused like a
// file that cannot be opened; *error then holds the Win32 reason.
HANDLE openFileToSend(LPCSTR path, DWORD *size, DWORD *time, DWORD *error);
// Creates (or empties) a received file: write access, others may read.
HANDLE createReceivedFile(LPCSTR path, DWORD *error);
// Up to count bytes; 0 at the end of the file or on a failure.
DWORD readFromFile(HANDLE file, void *buffer, DWORD count);
// The bytes written; fewer than count when the disk is full or failing.
DWORD writeToFile(HANDLE file, const void *buffer, DWORD count);
// Cuts the file to length when it is longer (never lengthens it).
void cutFile(HANDLE file, DWORD length);
void closeFile(HANDLE *file);

// directory + "\" + name, or name alone for a blank directory (null, empty,
// or starting with a space). False when it does not fit size (with the NUL).
bool joinPath(char *out, size_t size, LPCSTR directory, LPCSTR name);
// The part of a path after its drive prefix and its last "\" or "/".
LPCSTR bareName(LPCSTR path);
// The file name a receiver may write for a name the sender gave: the bare
// name, refused (false, *error set) when it is empty, "." or "..", holds a
// ':' or a control character, names a device (CON, NUL, COM1 ...), or is
// longer than size - 1.
bool receivedName(const char *sent, size_t sentLength, char *name, size_t size, DWORD *error);

// The system's text for a Win32 error, without a trailing line end.
void systemErrorText(DWORD error, char *text, size_t size);
// With the port's showFileErrors option: the message box of a file that
// could not be opened ("Unable To Open File!", the path, the system's text).
void showFileError(Session &s, LPCSTR caption, LPCSTR path, DWORD error);
// With the same option, when no progress window shows the failure: a
// second box that only says "Unable To Open File!".
void showFileErrorAlone(Session &s, LPCSTR caption);

} // namespace vorlex
