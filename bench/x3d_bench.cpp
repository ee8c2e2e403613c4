// tessel-x3d-bench [TRIANGLES [DIR]]: the same large scene (one Transform, Shape
// and IndexedFaceSet per 1000 triangles, as tessel-gen-scene --vrml97 writes
// it) in X3D's XML encoding and in the classic encoding, each parsed into a
// document, best of three runs: the XML's time (rewriting included) over the
// classic's is the cost of the encoding. Defaults to 2 million triangles.
// With DIR, the two texts are also written there as bench.wrl and bench.x3d,
// to time whole loads of each with tessel-scan.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "formats/node.h"
#include "formats/vrml97/node_types2.h"
#include "formats/vrml97/parse2.h"
#include "formats/x3d/xml_to_classic.h"
#include "gen_scene.h"

namespace {

using clock_type = std::chrono::steady_clock;

// The parts of generate_vrml97_scene, written as XML: the same numbers in
// the same layout, one value group per line.
std::string xml_scene(std::int64_t triangles) {
    const std::int64_t parts = tessel::bench::torus_part_count(triangles);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<X3D profile=\"Interchange\" version=\"3.3\">\n<Scene>\n";
    char line[1024];
    for (std::int64_t p = 0; p < parts; ++p) {
        const tessel::bench::torus_part part = tessel::bench::torus_part_at(p, parts);
        std::snprintf(line, sizeof line,
                      "<Transform translation=\"%lld %lld 0\">\n  <Shape>\n    <Appearance>\n"
                      "      <Material diffuseColor=\"%.3f %.3f %.3f\"/>\n    </Appearance>\n"
                      "    <IndexedFaceSet coordIndex=\"\n",
                      part.x, part.y, part.colour[0], part.colour[1], part.colour[2]);
        out += line;
        tessel::bench::append_torus_faces(out);
        out += "        \">\n      <Coordinate point=\"\n";
        tessel::bench::append_torus_points(out);
        out += "          \"/>\n    </IndexedFaceSet>\n  </Shape>\n</Transform>\n";
    }
    out += "</Scene>\n</X3D>\n";
    return out;
}

std::size_t parse(const std::string& text) {
    tessel::vrml::document doc;
    doc.file = "bench";
    tessel::vrml::warning_list warnings("bench");
    tessel::vrml::parse_vrml2(text.data(), text.data() + text.size(), doc, warnings, {});
    if (warnings.count() > 0) std::fprintf(stderr, "warning: %s\n", warnings.texts()[0].c_str());
    return doc.nodes.size();
}

template <class F>
double best_of_three(F&& run) {
    double best = 1e30;
    for (int r = 0; r < 3; ++r) {
        const auto t0 = clock_type::now();
        run();
        best = std::min(best, std::chrono::duration<double>(clock_type::now() - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t triangles = argc > 1 ? std::atoll(argv[1]) : 2000000;
    const std::string path = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : "/tmp") + "/tessel-x3d-bench.wrl";
    if (tessel::bench::generate_vrml97_scene(path, triangles) < 0) return std::perror(path.c_str()), 1;
    std::stringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    std::remove(path.c_str());
    const std::string classic = read.str();
    const std::string xml = xml_scene(triangles);
    if (argc > 2) {
        const std::string dir = argv[2];
        std::ofstream(dir + "/bench.wrl", std::ios::binary) << classic;
        std::ofstream(dir + "/bench.x3d", std::ios::binary) << xml;
    }

    std::size_t classic_nodes = 0, xml_nodes = 0;
    std::string rewritten;
    const double t_classic = best_of_three([&] { classic_nodes = parse(classic); });
    double t_rewrite = 1e30;
    const double t_xml = best_of_three([&] {
        tessel::vrml::warning_list warnings("bench.x3d");
        std::string error;
        const auto t0 = clock_type::now();
        if (!tessel::vrml::x3d_xml_to_classic(xml, tessel::vrml::vrml2_node_type, rewritten, warnings, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        t_rewrite = std::min(t_rewrite, std::chrono::duration<double>(clock_type::now() - t0).count());
        // X3D's header statement, which this parser does not read yet.
        const std::size_t profile = rewritten.find("PROFILE");
        std::fill(rewritten.begin() + static_cast<std::ptrdiff_t>(profile),
                  rewritten.begin() + static_cast<std::ptrdiff_t>(rewritten.find('\n', profile)), ' ');
        xml_nodes = parse(rewritten);
    });
    std::printf("classic: %.1f MB, %zu nodes, parsed in %.3f s\n", static_cast<double>(classic.size()) / 1e6,
                classic_nodes, t_classic);
    std::printf("xml:     %.1f MB, %zu nodes, rewritten in %.3f s, rewritten and parsed in %.3f s\n",
                static_cast<double>(xml.size()) / 1e6, xml_nodes, t_rewrite, t_xml);
    std::printf("ratio xml/classic: %.2f\n", t_xml / t_classic);
    return classic_nodes == xml_nodes ? 0 : 1;
}
