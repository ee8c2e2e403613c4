// tessel-gen-scene [--separators | --vrml2 | --vrml2-smooth | --copies] COUNT OUT.wrl:
// writes a large scene for benchmarks: COUNT triangles in a few big meshes,
// with --separators COUNT small Separators, each with a transform, a
// material and a small shape, or with --vrml2 COUNT triangles as a VRML 2.0
// file of many Transforms (--vrml2-smooth: with a crease angle, shaded
// smooth). --copies COUNT writes a VRML 2.0 file that defines one part of
// 10000 triangles and places it COUNT times by USE on a grid.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gen_scene.h"

int main(int argc, char** argv) {
    const bool separators = argc == 4 && std::strcmp(argv[1], "--separators") == 0;
    const bool copies = argc == 4 && std::strcmp(argv[1], "--copies") == 0;
    const bool smooth = argc == 4 && std::strcmp(argv[1], "--vrml2-smooth") == 0;
    const bool vrml2 = smooth || (argc == 4 && std::strcmp(argv[1], "--vrml2") == 0);
    if (argc != 3 && !separators && !copies && !vrml2) {
        std::fputs("usage: tessel-gen-scene [--separators | --vrml2 | --vrml2-smooth | --copies] COUNT OUT.wrl\n"
                   "  (none)          COUNT triangles in a few big meshes, VRML 1.0\n"
                   "  --separators    COUNT small Separators, each with its own shape, VRML 1.0\n"
                   "  --vrml2         COUNT triangles in parts of 1000, each under its Transform, VRML 2.0\n"
                   "  --vrml2-smooth  as --vrml2, with a crease angle: shaded smooth\n"
                   "  --copies        one part of 10000 triangles placed COUNT times by USE, VRML 2.0\n",
                   stderr);
        return 1;
    }
    const long long n = std::atoll(argv[argc - 2]);
    const char* out = argv[argc - 1];
    const long long written = separators ? tessel::bench::generate_separator_scene(out, n)
                              : copies   ? tessel::bench::generate_vrml97_copies_scene(out, n)
                              : vrml2    ? tessel::bench::generate_vrml97_scene(out, n, smooth)
                                         : tessel::bench::generate_scene(out, n);
    if (written < 0) {
        std::perror(out);
        return 1;
    }
    std::printf(separators ? "%lld separators\n" : "%lld triangles\n", written);
    return 0;
}
