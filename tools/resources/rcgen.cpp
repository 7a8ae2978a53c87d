// Writes the library's resources for the Windows resource compiler: one
// file of raw bytes per resource and a script (vorlex.rc) that names each
// by its type and number, so that vorlex.dll carries exactly the bytes
// that the POSIX build registers at start-up.
//
//   rcgen DIRECTORY
#include "resources/resources.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rcgen DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::string script = "// Written by rcgen from src/resources; do not edit.\n";
    for (const auto &r : vorlex::resources::libraryResources()) {
        const std::string name = "res_" + std::to_string(r.type) + "_" + std::to_string(r.id) + ".bin";
        std::FILE *f = std::fopen((dir + "/" + name).c_str(), "wb");
        if (!f || std::fwrite(r.bytes.data(), 1, r.bytes.size(), f) != r.bytes.size() || std::fclose(f) != 0) {
            std::perror(name.c_str());
            return 1;
        }
        // A numeric type takes the file's bytes as they stand.
        script += std::to_string(r.id) + " " + std::to_string(r.type) + " \"" + dir + "/" + name + "\"\n";
    }
    std::FILE *f = std::fopen((dir + "/vorlex.rc").c_str(), "w");
    if (!f || std::fputs(script.c_str(), f) < 0 || std::fclose(f) != 0) {
        std::perror("vorlex.rc");
        return 1;
    }
    return 0;
}
