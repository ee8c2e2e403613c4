#include "render/stand_in.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <chrono>
#include <new>

namespace tessel {

namespace {

using clock_type = std::chrono::steady_clock;

double milliseconds_since(clock_type::time_point start) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

// Classic shapes are always drawn as triangles, whatever their kind holds.
bool draws_triangles(const scene_store& store, const shape_record& shape) {
    return store.reading != scene_reading::standard || shape.kind == shape_kind::triangles;
}

}  // namespace

std::vector<stand_in_target> plan_stand_in(const scene_store& store, const std::vector<prepared_shape>& arrays,
                                           const stand_in_limits& limits) {
    const std::size_t count = std::min(arrays.size(), store.shapes.size());
    std::int64_t all = 0, large = 0;
    for (std::size_t s = 0; s < count; ++s) {
        if (!draws_triangles(store, store.shapes[s])) continue;
        const auto triangles = static_cast<std::int64_t>(arrays[s].indices.size() / 3);
        all += triangles;
        if (triangles >= limits.shape_triangles) large += triangles;
    }
    if (all <= limits.scene_triangles || large == 0) return {};
    // The small shapes stay whole; the large ones share what is left of the
    // budget, though never less than a quarter of it.
    const std::int64_t room = std::max(limits.triangles - (all - large), limits.triangles / 4);
    const double share = static_cast<double>(room) / static_cast<double>(large);
    // Reducing by less than a quarter saves too little to be worth a thread.
    if (share > 0.75) return {};
    std::vector<stand_in_target> plan;
    for (std::size_t s = 0; s < count; ++s) {
        // A copy placed again draws its source's stand-in.
        if (!draws_triangles(store, store.shapes[s]) || store.shapes[s].shares >= 0) continue;
        const std::size_t triangles = arrays[s].indices.size() / 3;
        if (static_cast<std::int64_t>(triangles) < limits.shape_triangles) continue;
        plan.push_back({s, std::max<std::size_t>(static_cast<std::size_t>(share * static_cast<double>(triangles)), 16)});
    }
    return plan;
}

std::vector<std::uint32_t> reduce_triangles(std::span<const float> points, std::span<const std::uint32_t> corners,
                                            std::size_t triangles) {
    const std::size_t whole = corners.size() / 3 * 3;
    if (whole == 0 || points.size() < 3) return {};
    // The sloppy simplifier merges the points of each cell of a grid whose
    // size it searches for the target count: it keeps no topology, but it
    // reaches the target on any mesh (split vertices, many pieces) in a
    // tenth of the edge-collapsing simplifier's time (35 ms against 390 ms
    // for 250,000 triangles here), which keeps a cancelled thread's join
    // short. Its triangles name points of the original mesh.
    std::vector<std::uint32_t> out(whole);
    const std::size_t kept =
        meshopt_simplifySloppy(out.data(), corners.data(), whole, points.data(), points.size() / 3,
                               3 * sizeof(float), std::min(triangles * 3, whole), 1.0f, nullptr);
    out.resize(kept / 3 * 3);
    out.shrink_to_fit();
    return out;
}

stand_in_maker::~stand_in_maker() { stop(); }

void stand_in_maker::stop() {
    if (job_) job_->cancel.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
    job_.reset();
    ready_ = false;
    generation_ = 0;
}

bool stand_in_maker::start(const scene_store& store, const std::vector<prepared_shape>& arrays,
                           const stand_in_limits& limits) {
    stop();
    const auto started = clock_type::now();
    const std::vector<stand_in_target> plan = plan_stand_in(store, arrays, limits);
    if (plan.empty()) return false;
    try {
        auto work = std::make_unique<job>();
        work->summary.generation = store.generation;
        const std::size_t count = std::min(arrays.size(), store.shapes.size());
        for (std::size_t s = 0; s < count; ++s)
            if (draws_triangles(store, store.shapes[s]))
                work->summary.scene_triangles += static_cast<std::int64_t>(arrays[s].indices.size() / 3);
        // How often each shape is drawn: itself, and the copies that share its arrays.
        std::vector<std::int64_t> placed(count, 1);
        for (std::size_t s = 0; s < count; ++s)
            if (const std::int32_t source = store.shapes[s].shares; source >= 0 && static_cast<std::size_t>(source) < s)
                ++placed[static_cast<std::size_t>(source)];
        work->sources.reserve(plan.size());
        for (const stand_in_target& target : plan) {
            // The prepared arrays name only points the shape has; the points
            // are the store's own, unscaled (a classic frame scales a copy).
            const prepared_shape& shape = arrays[target.shape];
            source& copy = work->sources.emplace_back();
            copy.shape = target.shape;
            copy.revision = store.shapes[target.shape].revision;
            copy.target = target.triangles;
            copy.placed = placed[target.shape];
            copy.points.assign(shape.stored_points.begin(), shape.stored_points.end());
            copy.corners.resize(shape.indices.size() / 3 * 3);
            std::copy_n(shape.indices.begin(), copy.corners.size(), copy.corners.begin());
        }
        work->summary.copy_milliseconds = milliseconds_since(started);
        job_ = std::move(work);
        generation_ = store.generation;
        thread_ = std::thread(&stand_in_maker::run, std::ref(*job_));
    } catch (const std::exception&) {
        // No memory for the copies, or no thread: the scene is drawn in
        // full while it moves, as it always was.
        job_.reset();
        generation_ = 0;
        return false;
    }
    return true;
}

void stand_in_maker::run(job& work) {
    const auto started = clock_type::now();
    std::int64_t triangles = work.summary.scene_triangles;
    try {
        for (source& from : work.sources) {
            if (work.cancel.load(std::memory_order_relaxed)) break;
            std::vector<std::uint32_t> reduced = reduce_triangles(from.points, from.corners, from.target);
            const std::size_t points = from.points.size() / 3;
            const auto full = static_cast<std::int64_t>(from.corners.size() / 3);
            // The copies are done with: their memory goes back at once.
            from.points = std::vector<float>();
            from.corners = std::vector<std::uint32_t>();
            if (reduced.empty()) continue;  // drawn in full rather than not at all
            stand_in_shape& made = work.shapes.emplace_back();
            made.shape = from.shape;
            made.revision = from.revision;
            made.points = points;
            made.full_triangles = full;
            made.corners.wide() = std::move(reduced);
            made.corners.pack();
            triangles += (static_cast<std::int64_t>(made.corners.size() / 3) - full) * from.placed;
        }
    } catch (const std::bad_alloc&) {
        work.shapes.clear();
    }
    work.sources.clear();
    work.summary.shapes = work.shapes.size();
    work.summary.triangles = triangles;
    work.summary.make_milliseconds = milliseconds_since(started);
    work.done.store(true, std::memory_order_release);
}

bool stand_in_maker::ready() {
    if (ready_) return true;
    if (!job_ || !job_->done.load(std::memory_order_acquire)) return false;
    thread_.join();
    ready_ = true;
    ++finished_;
    return true;
}

void stand_in_maker::wait() {
    if (ready_ || !job_) return;
    thread_.join();
    ready_ = true;
    ++finished_;
}

const std::vector<stand_in_shape>& stand_in_maker::shapes() const {
    static const std::vector<stand_in_shape> none;
    return ready_ ? job_->shapes : none;
}

const stand_in_summary& stand_in_maker::summary() const {
    static const stand_in_summary none;
    return ready_ ? job_->summary : none;
}

void choose_stand_ins(const stand_in_maker& made, const scene_store& store, const std::vector<prepared_shape>& arrays,
                      std::vector<corner_view>& out) {
    out.clear();
    if (made.generation() != store.generation) return;
    for (const stand_in_shape& shape : made.shapes()) {
        const std::size_t s = shape.shape;
        if (s >= arrays.size() || s >= store.shapes.size()) continue;
        if (store.shapes[s].revision != shape.revision || arrays[s].points.size() / 3 != shape.points ||
            arrays[s].stored_points.size() / 3 != shape.points)
            continue;
        if (out.empty()) out.resize(arrays.size());
        out[s] = shape.corners.view();
    }
    // Copies placed again draw the stand-in of the shape whose arrays they share.
    if (out.empty()) return;
    for (std::size_t s = 0; s < out.size() && s < store.shapes.size(); ++s) {
        const std::int32_t source = store.shapes[s].shares;
        if (source >= 0 && static_cast<std::size_t>(source) < s && &drawn_arrays(store, store.shapes[s]) != &store.shapes[s])
            out[s] = out[static_cast<std::size_t>(source)];
    }
}

}  // namespace tessel
