// The commands of the vorlex program.
#pragma once

int cmdPorts(int argc, char **argv);
int cmdLoop(int argc, char **argv);
