// tessel-gen-scene TRIANGLES OUT.wrl: writes a large scene for benchmarks.
#include <cstdio>
#include <cstdlib>

#include "gen_scene.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tessel-gen-scene TRIANGLES OUT.wrl\n", stderr);
        return 1;
    }
    const long long n = std::atoll(argv[1]);
    const long long written = tessel::bench::generate_scene(argv[2], n);
    if (written < 0) {
        std::perror(argv[2]);
        return 1;
    }
    std::printf("%lld triangles\n", written);
    return 0;
}
