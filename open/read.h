#pragma once
// The standard reading of one file, up to the geometry sink: the file's text,
// its format from the first line, the parser that format needs, and the
// traversal with the files its WWWInline nodes name.

#include <memory>
#include <string>
#include <string_view>

#include "formats/format.h"
#include "geometry/geometry.h"
#include "input/load_result.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel {
class scene_world;
}

namespace tessel::vrml {

// Reads path into sink. Returns false, with error naming the file and the
// reason, when the file cannot be read as a whole (unreadable, another
// format); problems inside the scene are warnings and never fail the read.
// "reading" follows the parse of the file; "processing" gets 10 once the
// text is in memory, 30 once it is parsed, 90 once every shape has gone to
// the sink. Timings: read = text, scan = parse, rebuild = traversal. With a
// budget, the text of every file read and the parsed nodes are taken from
// it (the sink takes the geometry).
bool read_standard_file(const std::string& path, geometry_sink& sink, warning_list& warnings, std::string& error,
                        const progress_sink& reading = {}, const progress_sink& processing = {},
                        load_timings* timings = nullptr, reader::load_budget* budget = nullptr);

// The same, keeping the world in `world` when it is a VRML97 world that
// can move (left empty otherwise). The world rebuilds stores the way this
// load built the first one.
bool read_standard_world(const std::string& path, geometry_sink& sink, warning_list& warnings, std::string& error,
                         const progress_sink& reading, const progress_sink& processing, load_timings* timings,
                         reader::load_budget* budget, std::unique_ptr<scene_world>& world);

// The same for a text held in memory (file only names it in warnings;
// inlines are read relatively to it).
bool read_standard_text(std::string_view text, const std::string& file, geometry_sink& sink,
                        warning_list& warnings, std::string& error, reader::load_budget* budget = nullptr);

}  // namespace tessel::vrml
