// The commands of the vorlex program.
#pragma once

int cmdPorts(int argc, char **argv);
int cmdLoop(int argc, char **argv);
int cmdSend(int argc, char **argv);
int cmdReceive(int argc, char **argv);
int cmdKbd(int argc, char **argv);
int cmdTerm(int argc, char **argv);
