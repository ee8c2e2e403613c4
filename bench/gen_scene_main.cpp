// tessel-gen-scene [--separators | --vrml2 | --vrml2-smooth] COUNT OUT.wrl: writes a large
// scene for benchmarks: COUNT triangles in a few big meshes, with
// --separators COUNT small Separators, each with a transform, a material and
// a small shape, or with --vrml2 COUNT triangles as a VRML 2.0 file of many
// Transforms (--vrml2-smooth: with a crease angle, shaded smooth).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gen_scene.h"

int main(int argc, char** argv) {
    const bool separators = argc == 4 && std::strcmp(argv[1], "--separators") == 0;
    const bool smooth = argc == 4 && std::strcmp(argv[1], "--vrml2-smooth") == 0;
    const bool vrml2 = smooth || (argc == 4 && std::strcmp(argv[1], "--vrml2") == 0);
    if (argc != 3 && !separators && !vrml2) {
        std::fputs("usage: tessel-gen-scene [--separators | --vrml2 | --vrml2-smooth] COUNT OUT.wrl\n", stderr);
        return 1;
    }
    const long long n = std::atoll(argv[argc - 2]);
    const char* out = argv[argc - 1];
    const long long written = separators ? tessel::bench::generate_separator_scene(out, n)
                              : vrml2    ? tessel::bench::generate_vrml97_scene(out, n, smooth)
                                         : tessel::bench::generate_scene(out, n);
    if (written < 0) {
        std::perror(out);
        return 1;
    }
    std::printf(separators ? "%lld separators\n" : "%lld triangles\n", written);
    return 0;
}
