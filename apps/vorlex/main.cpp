// vorlex: the library's command-line program.
#include "commands.h"

#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char *name;
    int (*run)(int, char **);
    const char *help;
};

const Command kCommands[] = {
    {"loop", cmdLoop, "drive a null-modem pair and a pseudo-terminal pair through the library (the default)"},
    {"ports", cmdPorts, "list the COM names that resolve and what each opens"},
    {"send", cmdSend, "send files: [--protocol P] [--speed N] PORT FILE..."},
    {"receive", cmdReceive, "receive files: [--protocol P] [--speed N] PORT DIR-or-FILE"},
    {"kbd", cmdKbd, "keyboard map files: compile IN.txt OUT.kbd | dump IN.kbd [OUT.txt] (kbd --help)"},
};

void usage() {
    std::printf("usage: vorlex [command] [arguments]\n\ncommands:\n");
    for (const Command &c : kCommands) std::printf("  %-8s %s\n", c.name, c.help);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) return cmdLoop(0, nullptr);
    if (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "help")) {
        usage();
        return 0;
    }
    for (const Command &c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "vorlex: unknown command '%s'\n\n", argv[1]);
    usage();
    return 2;
}
