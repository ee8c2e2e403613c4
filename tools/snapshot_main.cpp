// tessel-snapshot: the viewer's snapshot mode on its own, for machines and
// scripts that have no use for the panel.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "snapshot/snapshot.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: tessel-snapshot %s\n", tessel::snapshot_usage);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tessel-snapshot (tessel) %s\n", TESSEL_VERSION);
            return 0;
        }
    }
    // The same options as `tessel --snapshot OUT.png ... FILE`.
    return tessel::run_snapshot(std::vector<std::string>(argv + 1, argv + argc), "tessel-snapshot");
}
