// Replays fuzz inputs (the examples and every crash kept as a regression
// fixture) through the same checks as the fuzz target, without libFuzzer.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_load.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fuzz_load_one(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%d inputs replayed\n", argc - 1);
    return 0;
}
