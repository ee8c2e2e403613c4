#pragma once
// What a kept world holds: shared by the load that makes it (read.cpp) and
// the world that runs it (world.cpp); nothing else includes it.

#include <cstdint>
#include <memory>
#include <string>

#include "formats/node.h"
#include "formats/vrml1/parse1.h"
#include "formats/vrml1/traverse1.h"
#include "formats/vrml97/parse2.h"
#include "formats/vrml97/node_types2.h"
#include "formats/vrml97/traverse2.h"
#include "formats/x3d/xml_to_classic.h"
#include "open/world.h"
#include "world/documents.h"
#include "world/events.h"

namespace tessel {

struct scene_world::parts {
    std::string path;
    vrml::document doc;
    // Warnings of the running world: events that make no sense show up
    // only once time runs.
    vrml::warning_list later;
    std::unique_ptr<vrml::file_documents> files;
    std::unique_ptr<vrml::event_world> events;
    // The Transforms events move are drawn as moving parts: a tick that
    // only moves them changes their places, not the store's shapes.
    vrml::moving_parts moving;
    // Shapes whose other nodes events write: drawn again alone.
    vrml::live_shapes live;
    std::int64_t budget_limit = 0;  // of the load; each rebuild gets as much
    // The load drew parts still that move (an Inlined file's): the store is
    // built again before it is shown.
    bool drawn_still = false;
    // VRML 1.0 files the world inlines, walked by their own reading.
    vrml::other_reading vrml1;

    parts(const std::string& file, vrml::warning_list& warnings, reader::load_budget* budget) : path(file), later(file) {
        doc.file = file;
        files = std::make_unique<vrml::file_documents>(
            warnings, budget,
            [](vrml::scene_format format, std::string_view text, vrml::document& d, vrml::file_documents& self) {
                if (format == vrml::scene_format::vrml1 || format == vrml::scene_format::inventor_ascii) {
                    vrml::parse_vrml1(text.data(), text.data() + text.size(), d, self.warnings(), {}, self.budget());
                    return;
                }
                // XML is rewritten as the classic encoding, which the VRML97 parser reads.
                std::string classic, error;
                if (format == vrml::scene_format::x3d_xml) {
                    if (!vrml::x3d_xml_to_classic(text, vrml::x3d_node_type, classic, self.warnings(), error)) {
                        self.warnings().add({}, "not read: " + error);
                        return;
                    }
                    text = classic;
                }
                vrml::parse_vrml2(text.data(), text.data() + text.size(), d, self.warnings(), {}, &self, self.budget());
                vrml::apply_angle_unit(d);
            });
        vrml1 = [this](const vrml::document& d, vrml::geometry_sink& sink, vrml::warning_list& w) {
            vrml::traverse_vrml1(d, sink, w, files.get());
        };
    }
};

}  // namespace tessel
