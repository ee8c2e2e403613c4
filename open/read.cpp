#include "open/read.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "input/budget.h"
#include "input/text.h"
#include "input/threads.h"
#include "formats/format.h"
#include "formats/node.h"
#include "formats/text_parts.h"
#include "formats/vrml1/parse1.h"
#include "formats/vrml97/parse2.h"
#include "formats/vrml1/traverse1.h"
#include "formats/vrml97/node_types2.h"
#include "formats/vrml97/traverse2.h"
#include "formats/x3d/xml_to_classic.h"
#include "open/world_parts.h"
#include "world/documents.h"
#include "world/events.h"
#include "world/urls.h"

namespace tessel::vrml {

namespace {

// The first line as a message can show it: short, printable.
std::string shown_line(std::string_view line) {
    std::string out;
    for (const char c : line.substr(0, 60)) out.push_back(c >= ' ' && c < 0x7f ? c : '?');
    if (line.size() > 60) out += "...";
    return out;
}

// Why a text cannot be read by the standard reading, or empty when it can.
std::string format_problem(std::string_view text, const std::string& path) {
    const std::string head = "Cannot load \"" + path + "\": ";
    switch (detect_scene_format(text)) {
    case scene_format::vrml1:
    case scene_format::inventor_ascii:
    case scene_format::vrml2:
    case scene_format::x3d:
    case scene_format::x3d_xml: return {};
    case scene_format::inventor_binary:
        return head + "it is a binary Inventor file; only Inventor ascii and VRML 1.0 files can be read";
    case scene_format::unknown: break;
    }
    const std::string_view line = first_line(text);
    const std::string found = line.empty() ? "its first line is empty" : "its first line is \"" + shown_line(line) + "\"";
    return head + found +
           ", but a VRML file starts with \"#VRML V2.0 utf8\" or \"#VRML V1.0 ascii\" (an X3D file with \"#X3D V3.3 "
           "utf8\", an Inventor file with \"#Inventor V2.1 ascii\"). The classic reading may still read it.";
}

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point& last) {
    const auto now = clock_type::now();
    const double s = std::chrono::duration<double>(now - last).count();
    last = now;
    return s;
}

void notify(const progress_sink& sink, int percent) {
    if (sink) sink(percent);
}

// Joins the ROUTEs of `doc` that name nodes it IMPORTs to the nodes its
// Inlines' files EXPORT.
void link_imports(event_world& events, const document& doc, file_documents& files, warning_list& warnings) {
    warnings.set_file(doc.file);
    events.add_imported(doc, [&](const node& inline_node) { return files.already_read(doc, inline_file_name(inline_node)); });
}

// Parses and walks a text whose format has been checked. The text may be
// released by the caller once `parsed` has run. A VRML97 world that can
// move is handed to `keep` when it is given, with its document and files.
template <class Release>
void read_checked(std::string_view text, const std::string& path, geometry_sink& sink, warning_list& warnings,
                  const progress_sink& reading, const progress_sink& processing, load_timings* timings,
                  clock_type::time_point& lap, reader::load_budget* budget, Release release,
                  std::unique_ptr<scene_world>* keep) {
    auto world = std::make_unique<scene_world::parts>(path, warnings, budget);
    document& doc = world->doc;
    file_documents& files = *world->files;
    warnings.set_file(path);
    const std::string_view body = skip_bom(text);
    const scene_format format = detect_scene_format(text);
    const bool x3d = format == scene_format::x3d;
    const bool vrml2 = format == scene_format::vrml2 || x3d;
    files.add(path, doc);
    int shown_reading = -1;
    const auto progress = reading ? std::function<void(int)>([&](int percent) {
        shown_reading = percent;
        reading(percent);
    })
                                  : std::function<void(int)>();
    // A large text is read on every core the load may use.
    parse_in_shares(body.data(), body.data() + body.size(), doc, warnings, budget, reader::load_threads(),
                    [&](const char* b, const char* e, document& into, warning_list& w, reader::load_budget* spend,
                        text_part* part) {
                        const bool beside = part && part->beside;
                        const auto shown = beside ? std::function<void(int)>() : progress;
                        into.x3d = x3d;  // a later share has no header of its own
                        if (vrml2) parse_vrml2(b, e, into, w, shown, beside ? nullptr : &files, spend, part);
                        else parse_vrml1(b, e, into, w, shown, spend, part);
                    });
    // The first share reports only its own part of the text.
    if (progress && shown_reading < 100) progress(100);
    if (vrml2) apply_angle_unit(doc);
    release();  // nothing reads the text after the parse
    if (timings) timings->scan = seconds_since(lap);
    notify(processing, 30);
    if (vrml2 && keep) world->events = std::make_unique<event_world>(doc, warnings);
    bool lives = world->events && world->events->lives();
    const auto sort_targets = [&] {
        const std::size_t before = world->moving.transforms.size() + world->live.nodes.size();
        for (const node* n : world->events->targets())
            (n->type->kind == node_kind::v2_transform ? world->moving.transforms : world->live.nodes).insert(n);
        return world->moving.transforms.size() + world->live.nodes.size() != before;
    };
    if (lives) sort_targets();
    // Inlined files may move by themselves, which shows only once they are
    // read: a world that inlines keeps its document until then.
    bool inlines = false;
    if (world->events)
        each_node(doc, [&inlines](const node& n) { inlines = inlines || (n.type && n.type->kind == node_kind::v2_inline); });
    // A world that stays still is drawn once: its arrays may go as drawn.
    if (vrml2)
        traverse_vrml2(doc, sink, warnings, &files, {}, !lives && !inlines, lives ? &world->moving : nullptr,
                       lives ? &world->live : nullptr, &world->vrml1);
    else traverse_vrml1(doc, sink, warnings, &files);
    if (inlines) {
        const std::vector<document*> read = files.read_files();
        // An exported node may be a sensor that only the file importing it
        // routes from.
        for (document* file : read)
            if (file->vrml2 && (!file->routes.empty() || !file->exports.empty())) {
                warnings.set_file(file->file);
                world->events->add(*file);
            }
        for (document* file : read)
            if (file->vrml2 && !file->imported_routes.empty()) link_imports(*world->events, *file, files, warnings);
        if (!doc.imported_routes.empty()) link_imports(*world->events, doc, files, warnings);
        warnings.set_file(path);
        // What the inlined files move was drawn still: the world is drawn
        // again with it moving, once the load is done.
        if (world->events->lives()) world->drawn_still = sort_targets() || !lives;
        lives = world->events->lives();
    }
    warnings.set_file(path);
    if (timings) timings->rebuild = seconds_since(lap);
    notify(processing, 90);
    if (lives) {
        world->budget_limit = budget ? budget->limit() : 0;
        files.rebind(world->later, nullptr);
        world->events->rebind(world->later);
        *keep = std::make_unique<scene_world>(std::move(world));
    }
}

}  // namespace

namespace {

// X3D's XML encoding, rewritten as its classic one into `classic`, which
// `text` then views; other texts stay as they are. False, with `error`, for
// XML that cannot be read.
bool as_classic(std::string_view& text, const std::string& file, std::string& classic, warning_list& warnings,
                std::string& error) {
    if (detect_scene_format(text) != scene_format::x3d_xml) return true;
    warnings.set_file(file);
    if (!x3d_xml_to_classic(text, x3d_node_type, classic, warnings, error)) return false;
    text = classic;
    return true;
}

bool read_file(const std::string& path, geometry_sink& sink, warning_list& warnings, std::string& error,
               const progress_sink& reading, const progress_sink& processing, load_timings* timings,
               reader::load_budget* budget, std::unique_ptr<scene_world>* keep) {
    auto lap = clock_type::now();
    reader::scene_text text;
    if (!reader::read_scene_text(path, text, error, budget)) return false;
    std::string_view view(text.bytes.get(), static_cast<std::size_t>(text.length));
    error = format_problem(view, path);
    if (!error.empty()) return false;
    std::string classic;
    if (!as_classic(view, path, classic, warnings, error)) return false;
    if (!classic.empty()) text.bytes.reset();  // the XML is read no more
    if (timings) timings->read = seconds_since(lap);
    notify(processing, 10);
    read_checked(view, path, sink, warnings, reading, processing, timings, lap, budget,
                 [&] {
                     text.bytes.reset();
                     std::string().swap(classic);
                 },
                 keep);
    return true;
}

}  // namespace

bool read_standard_file(const std::string& path, geometry_sink& sink, warning_list& warnings, std::string& error,
                        const progress_sink& reading, const progress_sink& processing, load_timings* timings,
                        reader::load_budget* budget) {
    return read_file(path, sink, warnings, error, reading, processing, timings, budget, nullptr);
}

bool read_standard_world(const std::string& path, geometry_sink& sink, warning_list& warnings, std::string& error,
                         const progress_sink& reading, const progress_sink& processing, load_timings* timings,
                         reader::load_budget* budget, std::unique_ptr<scene_world>& world) {
    world.reset();
    return read_file(path, sink, warnings, error, reading, processing, timings, budget, &world);
}

bool read_standard_text(std::string_view text, const std::string& file, geometry_sink& sink,
                        warning_list& warnings, std::string& error, reader::load_budget* budget) {
    error = format_problem(text, file);
    if (!error.empty()) return false;
    std::string classic;
    if (!as_classic(text, file, classic, warnings, error)) return false;
    auto lap = clock_type::now();
    read_checked(text, file, sink, warnings, {}, {}, nullptr, lap, budget, [] {}, nullptr);
    return true;
}

}  // namespace tessel::vrml
