// The commands of the vorlex program.
#pragma once

#include <windows.h>

int cmdPorts(int argc, char **argv);
int cmdLoop(int argc, char **argv);
int cmdSend(int argc, char **argv);
int cmdReceive(int argc, char **argv);
int cmdKbd(int argc, char **argv);
int cmdTerm(int argc, char **argv);

// "COMn" in any case, n = 1..255: the port number n - 1.
bool comNumber(const char *s, LONG *port);
