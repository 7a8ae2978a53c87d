// The folders a port's terminal keeps for the transfers its user starts
// (Func078): the upload dialog and the download's folder or file choice
// begin there.
#pragma once

#include <windows.h>

namespace vorlex {

constexpr size_t kTerminalDirectorySize = 256;

// Copies the terminal's send and receive directories (empty texts when
// the port has no terminal) into buffers of kTerminalDirectorySize.
void terminalDirectories(LONG port, char *sendDirectory, char *receiveDirectory);

} // namespace vorlex
