// vorlex: the library's command-line program.
#include "commands.h"

#include <cstdio>
#include <cstring>

namespace {

// The commands without options of their own: only --help, nothing else.
int noOptions(const char *name, const char *text, int argc, char **argv) {
    if (argc == 0) return -1;
    const bool help = argc == 1 && (!std::strcmp(argv[0], "--help") || !std::strcmp(argv[0], "-h"));
    if (!help) std::fprintf(stderr, "vorlex %s: unexpected argument '%s'\n\n", name, argv[0]);
    std::fprintf(help ? stdout : stderr, "usage: vorlex %s\n  %s\n", name, text);
    return help ? 0 : 2;
}

const char kLoopText[] = "drive a null-modem pair and a pseudo-terminal pair through the library (the default)";
const char kPortsText[] = "list the COM names that resolve and what each opens";

int loop(int argc, char **argv) {
    int r = noOptions("loop", kLoopText, argc, argv);
    return r >= 0 ? r : cmdLoop(0, nullptr);
}
int ports(int argc, char **argv) {
    int r = noOptions("ports", kPortsText, argc, argv);
    return r >= 0 ? r : cmdPorts(0, nullptr);
}

struct Command {
    const char *name;
    int (*run)(int, char **);
    const char *help;
};

const Command kCommands[] = {
    {"loop", loop, kLoopText},
    {"ports", ports, kPortsText},
    {"send", cmdSend, "send files: [--protocol P] [--speed N] PORT FILE..."},
    {"receive", cmdReceive, "receive files: [--protocol P] [--speed N] PORT DIR-or-FILE"},
    {"term", cmdTerm, "a terminal window on PORT, or on a local shell with --shell [COMMAND]"},
    {"kbd", cmdKbd, "keyboard map files: compile IN.txt OUT.kbd | dump IN.kbd [OUT.txt]"},
};

void usage(FILE *to) {
    std::fprintf(to, "usage: vorlex [command] [arguments]\n\ncommands:\n");
    for (const Command &c : kCommands) std::fprintf(to, "  %-8s %s\n", c.name, c.help);
    std::fprintf(to, "\n`vorlex help COMMAND` or `vorlex COMMAND --help` tells a command's options.\n");
}

const Command *find(const char *name) {
    for (const Command &c : kCommands)
        if (!std::strcmp(name, c.name)) return &c;
    return nullptr;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) return cmdLoop(0, nullptr);
    const char *first = argv[1];
    if (!std::strcmp(first, "-h") || !std::strcmp(first, "--help") || !std::strcmp(first, "help")) {
        if (!std::strcmp(first, "help") && argc > 2) {
            const Command *c = find(argv[2]);
            if (!c || argc > 3) {
                std::fprintf(stderr, "vorlex: no command '%s'\n\n", argv[2]);
                usage(stderr);
                return 2;
            }
            char help[] = "--help";
            char *args[] = {help, nullptr};
            return c->run(1, args);
        }
        if (argc > 2) {
            std::fprintf(stderr, "vorlex: unexpected argument '%s'\n\n", argv[2]);
            usage(stderr);
            return 2;
        }
        usage(stdout);
        return 0;
    }
    if (const Command *c = find(first)) return c->run(argc - 2, argv + 2);
    std::fprintf(stderr, "vorlex: unknown %s '%s'\n\n", first[0] == '-' ? "option" : "command", first);
    usage(stderr);
    return 2;
}
