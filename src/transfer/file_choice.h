// The user's choice of what to send and where to receive, for the
// interactive transfer exports: the open and save dialogs and the folder
// browser, answered into the transfer record's pathList.
#pragma once

#include "transfer.h"

namespace vorlex {

// Each dialog starts in start when it is not empty (the terminal's
// directories), else where the system starts it.
// An open dialog over pathList: several files in the Explorer form when
// several is set. False when the user cancelled; else pathList holds the
// directory and *first the first name of the list (see nextSelected), or
// null for an empty selection.
bool chooseFilesToSend(HWND owner, TransferRecord *t, LPCSTR title, bool ascii, bool several, char **first,
                       LPCSTR start);
// A save dialog titled title: pathList keeps the directory; the chosen
// name, or null when the user cancelled.
char *chooseFileToReceive(HWND owner, TransferRecord *t, LPCSTR title, bool ascii, LPCSTR start);
// The folder browser, titled "Directory to Save File in"; the folder goes
// to pathList. False when the user cancelled.
bool chooseFolderToReceive(HWND owner, TransferRecord *t, LPCSTR start);

// The name after name in a chosen list, or null after the last.
char *nextSelected(char *name);
// Splits what a file dialog wrote at the offset of its first name: the
// directory is cut off before that name (a root keeps its separator) and
// the names follow, each ended by a NUL, the list by an empty name. The
// first name, or null when the offset does not fit the text.
char *splitSelection(char *list, size_t size, WORD nameOffset);

} // namespace vorlex
