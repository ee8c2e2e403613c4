// tessel-snapshot: the viewer's snapshot mode on its own, for machines and
// scripts that have no use for the panel.
#include <string>
#include <vector>

#include "snapshot/snapshot.h"

int main(int argc, char** argv) {
    // The same options as `tessel --snapshot OUT.png ... FILE`.
    return tessel::run_snapshot(std::vector<std::string>(argv + 1, argv + argc));
}
