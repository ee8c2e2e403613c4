#pragma once
// What every format's traversal shares: how far a walk may go (node visits,
// coordinates and indices handed to the sink), the warnings of the file
// being walked, the files open on the way down (an inline of a file that is
// still open, or too deep, is refused), and the lights in force, kept as a
// tree that the frames holding them share. Each format keeps only its own
// frames and what its nodes mean.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/node.h"
#include "formats/sources.h"
#include "geometry/geometry.h"

namespace tessel::vrml {

struct traversal_limits {
    std::int64_t nodes = 50'000'000;      // node visits, USE and inlines counted each time
    std::int64_t elements = 500'000'000;  // coordinates and indices handed to the sink
    int inline_depth = 16;
};

// GL guarantees eight lights; the viewer's headlight takes one.
constexpr std::int32_t lights_drawn = 7;

class traversal_core {
public:
    traversal_core(geometry_sink& sink, warning_list& warnings, inline_source* inlines,
                   const traversal_limits& limits);

    geometry_sink& sink() { return sink_; }
    inline_source* inlines() { return inlines_; }
    const traversal_limits& limits() const { return limits_; }

    // Starts a walk (again) over the world: its file is the one open, and
    // the counts start from nothing.
    void begin(const document& world);
    // Counts a node visited: false, after one warning, once the walk has
    // visited as many as it may.
    bool count_visit(const node& n);
    // Pays for elements about to go to the sink: false, after one warning,
    // once the walk has handed over as many as it may (the walk stops).
    bool spend(std::int64_t elements, const node& n);
    // Whether the walk must end: a limit was met, or the sink takes no more.
    bool stopped() const { return stopped_ || sink_.stopped(); }

    // Warnings about nodes of the file being walked; while quiet (a first
    // walk that the second repeats) none are given.
    void warn(const node& n, const std::string& message);
    void warn_once(const std::string& key, const node& n, const std::string& message);
    void set_quiet(bool quiet) { quiet_ = quiet; }
    warning_list& warnings() { return warnings_; }

    // The files open on the way down, the world first.
    enum class entry : std::uint8_t { allowed, already_open, too_deep };
    entry may_enter(const document& doc) const;
    void enter(const document& doc);
    void leave();
    const document& current() const { return *open_.back(); }
    bool in_world() const { return open_.size() == 1; }
    // After an inline_source has read a file (and warned in its name).
    void restore_file() { warnings_.set_file(open_.back()->file); }

    // Lights. A light is a link in a tree: `parent` is the link in force
    // where it stands (-1: none), and the lights that shine on a shape are
    // the scene-wide ones and those on the way from its link to the root.
    // Each returns false, after one warning, when more would shine on the
    // same shapes than the GL can draw.
    bool add_scene_light(const scene_light& light, const node& n);
    bool add_scoped_light(const scene_light& light, std::int32_t& link, const node& n);
    std::span<const std::int32_t> lights_in_force(std::int32_t link);

private:
    void too_many_lights(const node& n);

    geometry_sink& sink_;
    warning_list& warnings_;
    inline_source* inlines_;
    traversal_limits limits_;
    std::vector<const document*> open_;
    std::int64_t visits_ = 0;
    std::int64_t elements_ = 0;
    bool stopped_ = false;
    bool quiet_ = false;
    struct light_link {
        std::int32_t light;
        std::int32_t parent;
        std::int32_t count;  // lights on the way to the root, this one included
    };
    std::vector<light_link> links_;
    std::vector<std::int32_t> scene_lights_;
    std::int32_t lights_made_ = 0;
    std::vector<std::int32_t> list_;  // lights_in_force() of list_of_
    std::int32_t list_of_ = -2;       // -2: none made yet
};

}  // namespace tessel::vrml
