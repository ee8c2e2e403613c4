#pragma once
// A loaded VRML97 world that moves: its parsed document, the files it
// named and its live events stay after the load, and each tick of its clock
// rebuilds the scene store from the nodes the events changed. A world in
// which nothing can move is not kept: its document goes once drawn.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"

namespace tessel {

namespace vrml {
struct node;
class geometry_sink;
struct moving_parts;
struct live_shapes;
}

class scene_world {
public:
    struct parts;
    explicit scene_world(std::unique_ptr<parts> p);
    ~scene_world();
    scene_world(const scene_world&) = delete;
    scene_world& operator=(const scene_world&) = delete;

    // Whether a later tick can still change the scene by itself (a
    // TimeSensor runs or waits to start).
    bool waiting() const;
    // Seconds since the load on the world's clock.
    double now() const;

    // One tick at `seconds` (never before the last one): the world's
    // sensors are sampled once and their events delivered; store is rebuilt
    // when a node that draws changed. True when store changed.
    bool tick(double seconds, scene_store& store);
    // The world at `seconds`, reached from where it is by ticks at 60 per
    // second (as the viewer samples it), the store rebuilt once at the end.
    bool play_to(double seconds, scene_store& store);
    // Back to the world as loaded, clock at 0.
    bool restart(scene_store& store);

    // Widens store's bounding sphere (the fitted view's frame) to where the
    // moving parts go in the sensors' first runs (up to half a minute),
    // found by running the world ahead and back; store's shapes are not
    // touched. Parts that change shape are framed as loaded.
    void frame_motion(scene_store& store);

    // Called once with the load's store: builds it again where the load
    // drew still what moves (the parts an Inlined file moves).
    void settle(scene_store& store);

    // What the world said while it ran (a fraction that is no number,
    // interpolators whose keys and values do not match), each once.
    const std::vector<std::string>& warnings() const;

    // Ticks run and stores rebuilt since the load; tests and benchmarks
    // read them.
    std::uint64_t ticks() const { return ticks_; }
    std::uint64_t rebuilds() const { return rebuilds_; }

private:
    void step(double seconds);
    void take(const std::vector<vrml::node*>& changed);
    void walk_again(vrml::geometry_sink& sink, vrml::moving_parts* moving, vrml::live_shapes* live);
    bool bring_up_to_date(scene_store& store);
    void place_parts(scene_store& store);
    bool redraw_shapes(scene_store& store);
    void update_views(scene_store& store);
    void bind_shown();
    void rebuild(scene_store& store);
    // After the view was found again into `store` from `before`: the viewer
    // keeps the camera it has (walked, perhaps) unless the world moved or
    // bound a viewpoint that jumps.
    void keep_viewer(const std::optional<scene_camera>& before, scene_store& store);
    std::unique_ptr<parts> p_;
    std::optional<scene_camera> found_;  // the camera the world's view gave last
    bool found_known_ = false;
    std::uint64_t ticks_ = 0;
    std::uint64_t rebuilds_ = 0;
    bool started_ = false;  // the tick at 0 has run
    bool dirty_ = false;  // a rebuild is due
    bool moved_ = false;  // moving parts are to be placed again
    std::vector<std::size_t> redraw_;  // shapes to draw again alone, by site
    bool views_ = false;  // the camera, background or headlight are to be found again
};

// Ticks per second of the world's clock when a time is reached headless.
inline constexpr double world_ticks_per_second = 60.0;
// The latest time a command line may ask for: a day of ticks.
inline constexpr double latest_world_time = 86400.0;

// Seconds as --time takes them: a plain number from 0 to latest_world_time.
bool parse_world_time(std::string_view text, double& seconds);

}  // namespace tessel
