#pragma once
// A lighter stand-in for a heavy scene, which the viewer's window draws
// while the view or the world moves: for each large triangle shape, a
// coarser list of triangles over the shape's own points, so that its
// normals, colours and texture coordinates stay what they are. Still
// pictures and snapshots never draw it.
//
// It is made after the load on a thread of its own, from copies of the
// points and corners it reduces taken when it starts: the thread never
// reads the store, which the GUI thread may replace or change in place at
// any time between frames. Knows nothing of OpenGL, so it is tested without
// a display.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "render/prepared_scene.h"
#include "scene/scene.h"

namespace tessel {

struct stand_in_limits {
    // Scenes of more triangles than this get a stand-in. Software GL draws
    // about 17 million triangles a second here (2 million in 116 ms), so
    // below this a full frame takes under 20 ms and needs no stand-in.
    std::int64_t scene_triangles = 300'000;
    // The most triangles the stand-in has in all: shapes too small to reduce
    // count in full, the large ones share what is left.
    std::int64_t triangles = 200'000;
    // Shapes of fewer triangles are drawn in full: a tenth of them no longer
    // shows their form, and they cost a frame little beside their state
    // changes. Exporters often write parts of 1,000 triangles.
    std::int64_t shape_triangles = 256;
};

// One shape to reduce, and to about how many triangles.
struct stand_in_target {
    std::size_t shape = 0;
    std::size_t triangles = 0;
};

// Which triangle shapes of the prepared arrays to reduce, and how far;
// empty when the scene is small enough to draw in full, or too fragmented
// into small shapes for reducing the large ones to help.
std::vector<stand_in_target> plan_stand_in(const scene_store& store, const std::vector<prepared_shape>& arrays,
                                           const stand_in_limits& limits = {});

// About `triangles` triangles (3 corners each) that look like the given
// ones from afar, naming the same points; empty when none come out.
std::vector<std::uint32_t> reduce_triangles(std::span<const float> points, std::span<const std::uint32_t> corners,
                                            std::size_t triangles);

// One shape's stand-in, and what it was made from: a frame takes it only for
// a shape whose revision and point count are still these.
struct stand_in_shape {
    std::size_t shape = 0;
    std::uint64_t revision = 0;
    std::size_t points = 0;
    std::int64_t full_triangles = 0;  // the shape's own
    corner_list corners;              // triangles; 16 bits where every corner fits
};

// What a finished stand-in holds, for the frame statistics.
struct stand_in_summary {
    std::uint64_t generation = 0;     // of the store it was made for
    std::int64_t scene_triangles = 0; // every triangle of that store
    std::int64_t triangles = 0;       // what a frame draws with the stand-in
    std::size_t shapes = 0;           // shapes reduced
    double copy_milliseconds = 0;     // copying on the frame that started it
    double make_milliseconds = 0;     // reducing, on the thread
};

// Makes one store's stand-in at a time on a thread of its own.
class stand_in_maker {
public:
    stand_in_maker() = default;
    ~stand_in_maker();  // cancels and joins
    stand_in_maker(const stand_in_maker&) = delete;
    stand_in_maker& operator=(const stand_in_maker&) = delete;

    // Cancels and joins what was under way and forgets what it made; then,
    // when plan_stand_in finds shapes to reduce in the prepared arrays of
    // store (up to date with it), copies their points and corners and
    // starts reducing the copies on a thread. False when nothing started
    // (a small scene, or no memory for the copies).
    bool start(const scene_store& store, const std::vector<prepared_shape>& arrays,
               const stand_in_limits& limits = {});
    // Cancels (between shapes) and joins; forgets everything.
    void stop();

    // Whether the thread has finished, joining it when it has; never waits
    // for it. The shapes below are there only once this said true.
    bool ready();
    // Waits for the thread to finish (tests and benchmarks); then ready().
    void wait();
    // Whether a thread is at work now.
    bool busy() const { return thread_.joinable(); }
    // The finished stand-in (empty before), for the store of generation().
    const std::vector<stand_in_shape>& shapes() const;
    std::uint64_t generation() const { return generation_; }
    const stand_in_summary& summary() const;
    // Stand-ins finished since this maker was made; tells a new one from
    // the last one seen.
    std::uint64_t finished() const { return finished_; }

private:
    struct source {
        std::size_t shape = 0;
        std::uint64_t revision = 0;
        std::size_t target = 0;
        std::int64_t placed = 1;            // drawn this often: with the copies placed again
        std::vector<float> points;          // the copy the thread reads
        std::vector<std::uint32_t> corners;
    };
    struct job {
        std::vector<source> sources;        // the thread's alone while it runs
        std::vector<stand_in_shape> shapes; // written by the thread, read once it is joined
        stand_in_summary summary;
        std::atomic<bool> cancel{false};
        std::atomic<bool> done{false};
    };
    static void run(job& work);

    std::unique_ptr<job> job_;
    std::thread thread_;
    std::uint64_t generation_ = 0;  // of the store the thread works for, 0 for none
    bool ready_ = false;
    std::uint64_t finished_ = 0;
};

// Per shape of the prepared arrays, the stand-in a moving frame may draw
// instead: the maker's, when it is ready and was made for this store's
// generation, and then per shape only while the shape has the revision and
// the point count it was made from; an empty view elsewhere. `out` is left
// empty when no shape has one.
void choose_stand_ins(const stand_in_maker& made, const scene_store& store, const std::vector<prepared_shape>& arrays,
                      std::vector<corner_view>& out);

}  // namespace tessel
