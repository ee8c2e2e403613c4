#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>

#include "input/budget.h"
#include "input/threads.h"
#include "geometry/geometry.h"
#include "geometry/shape_builders.h"

namespace tessel::vrml {

namespace {

// A front end that forgot the material still gets the format's defaults.
const shape_state& with_material(const shape_state& state, shape_state& copy) {
    static const material_list defaults;
    if (state.material) return state;
    copy = state;
    copy.material = &defaults;
    return copy;
}

// Shapes made since `before` are lit by the lights in force.
void shine_lights(scene_store& out, std::size_t before, std::size_t first_light, std::span<const std::int32_t> lights) {
    if (lights.empty()) return;
    for (std::size_t s = before; s < out.shapes.size(); ++s) {
        std::vector<std::int32_t>& mine = out.shapes[s].lights;
        mine.reserve(lights.size());
        for (const std::int32_t l : lights)
            if (l >= 0 && static_cast<std::size_t>(l) + first_light < out.lights.size())
                mine.push_back(static_cast<std::int32_t>(l + first_light));
    }
}

// Builds one node's shapes, with the default material where the front end
// gave none.
template <typename... Args>
void build(detail::shape_target target, void (*build_shapes)(detail::shape_target, const shape_state&, Args...),
           const shape_state& state, Args... args) {
    shape_state copy;
    const std::size_t before = target.out.shapes.size();
    build_shapes(target, with_material(state, copy), args...);
    for (std::size_t s = before; s < target.out.shapes.size(); ++s) {
        if (state.unlit) target.out.shapes[s].lit = false;
        target.out.shapes[s].motion = state.motion;
        target.out.shapes[s].collides = state.collision != collision_role::seen;
        target.out.shapes[s].drawn = state.collision != collision_role::unseen;
    }
}

// A camera whose format gives no focal distance turns the scene about the
// scene's centre: at its depth along the view when it lies ahead, else at
// its distance, else (camera at the centre, or no scene) at the usual 5.
void settle_camera(scene_camera& camera, const scene_store& out, bool has_points) {
    if (camera.framed && has_points) {
        // Far enough back that the bounding sphere fills the view's
        // narrower side, as the fitted view frames it.
        const double half = std::clamp(static_cast<double>(camera.height_angle) / 2, 0.01, 1.5);
        const double away = static_cast<double>(out.bound_radius) / std::sin(half);
        if (std::isfinite(away) && away > 0 && away <= std::numeric_limits<float>::max()) {
            for (int k = 0; k < 3; ++k) camera.position[k] = out.bound_centre[k];
            camera.position[2] = static_cast<float>(camera.position[2] + away);
            camera.focal_distance = static_cast<float>(away);
            return;
        }
    }
    if (camera.focal_distance > 0) return;
    camera.focal_distance = 5.0f;
    if (!has_points) return;
    double to_centre[3], along = 0, straight = 0, length = 0;
    for (int k = 0; k < 3; ++k) {
        to_centre[k] = static_cast<double>(out.bound_centre[k]) - camera.position[k];
        straight += to_centre[k] * to_centre[k];
        length += static_cast<double>(camera.direction[k]) * camera.direction[k];
    }
    for (int k = 0; k < 3; ++k) along += to_centre[k] * camera.direction[k];
    if (length > 0) along /= std::sqrt(length);
    // Judged as floats, so that a distance too small or too large for the
    // store is never kept; comparisons with NaN are false, so a camera of
    // undefined numbers keeps 5.
    const auto usable = [](double d) {
        return d > 0 && d <= std::numeric_limits<float>::max() && static_cast<float>(d) > 0;
    };
    if (usable(along)) camera.focal_distance = static_cast<float>(along);
    else if (usable(std::sqrt(straight))) camera.focal_distance = static_cast<float>(std::sqrt(straight));
}

// Every camera of the store, the listed viewpoints' too.
void settle_focal_distance(scene_store& out, bool has_points) {
    if (out.camera) settle_camera(*out.camera, out, has_points);
    for (scene_viewpoint& v : out.viewpoints) settle_camera(v.camera, out, has_points);
}

}  // namespace

void scene_builder::light(const scene_light& light) { out_.lights.push_back(light); }

void scene_builder::camera(const scene_camera& camera) { view_.camera(camera); }

void scene_builder::viewpoint(const scene_viewpoint& view, bool bound) {
    view_.viewpoint(view, bound);
}

void view_builder::viewpoint(const scene_viewpoint& view, bool bound) {
    if (bound && into_.viewpoint < 0) into_.viewpoint = static_cast<std::int32_t>(into_.viewpoints.size());
    into_.viewpoints.push_back(view);
}

void scene_builder::background(const float rgb[3]) { view_.background(rgb); }

void scene_builder::headlight(bool on) { view_.headlight(on); }

void view_builder::camera(const scene_camera& camera) {
    if (!into_.camera) into_.camera = camera;
}

void view_builder::background(const float rgb[3]) {
    if (background_given_) return;
    background_given_ = true;
    // Out-of-range values would reach tools and images as they are; a NaN
    // (from an overflowing number) becomes black rather than undefined.
    std::array<float, 3> colour{};
    for (int k = 0; k < 3; ++k) colour[k] = rgb[k] > 0 ? std::min(rgb[k], 1.0f) : 0.0f;
    into_.background = colour;
}

void view_builder::fog(const scene_fog& fog) {
    if (fog_given_) return;
    fog_given_ = true;
    if (fog.range > 0 && std::isfinite(fog.range)) into_.fog = fog;
}

void view_builder::sky(const scene_sky& sky, const panorama_sources& images) {
    if (sky_given_) return;
    sky_given_ = true;
    scene_sky kept = sky;
    for (std::size_t f = 0; f < images.size(); ++f)
        kept.panorama[f] = images[f] && decode_ ? decode_(*images[f]) : -1;
    if (kept.shaded()) into_.sky = std::move(kept);
}

void view_builder::headlight(bool on) {
    if (headlight_given_) return;
    headlight_given_ = true;
    into_.headlight = on;
}

void view_builder::navigation(const scene_navigation& navigation) {
    if (navigation_given_) return;
    navigation_given_ = true;
    into_.navigation = navigation;
}

void view_builder::show(scene_store& shown) const {
    shown.camera = into_.camera;
    shown.viewpoints = into_.viewpoints;
    shown.viewpoint = into_.viewpoint;
    shown.background = into_.background;
    shown.fog = into_.fog;
    shown.sky = into_.sky;
    shown.headlight = into_.headlight;
    shown.navigation = into_.navigation;
    settle_focal_distance(shown, shown.bound_radius > 0);
}

scene_builder::scene_builder(scene_store& out, warning_list& warnings, reader::load_budget* budget)
    : out_(out), warnings_(warnings), first_shape_(out.shapes.size()), first_light_(out.lights.size()),
      view_(out), budget_(budget), scratch_(std::make_unique<detail::builder_scratch>()) {
    scratch_->budget = budget;
    // Through the shapes' images: a file both show is decoded once.
    view_.decode_images_with([this](const texture_source& src) {
        return detail::panorama_image({out_, warnings_, *scratch_}, src);
    });
}

// A shape waiting for its batch: its state (the lights copied, as the
// front end's list of them moves on), how to build it, and what building
// it made, apart from the store until it is appended.
struct scene_builder::pending_shape {
    explicit pending_shape(const std::string& file) : warnings(file) {}
    shape_state state;
    std::vector<std::int32_t> lights;
    std::function<void(detail::shape_target, const shape_state&)> build;
    scene_store out;
    warning_list warnings;
    std::exception_ptr failed;
};

scene_builder::~scene_builder() = default;

void scene_builder::follow_decoding(std::function<void(int)> sink) { scratch_->decoding = std::move(sink); }

namespace {

// A stored shape is drawn from a copy of its arrays made for the renderer:
// both count.
constexpr std::int64_t copies_drawn = 2;

// The least a corner or point handed in costs once stored: its point and
// normal, or its share of a triangle's corners.
constexpr std::int64_t least_per_element = 24;

std::int64_t at_least(std::size_t elements) { return static_cast<std::int64_t>(elements) * least_per_element; }

}  // namespace

void scene_builder::stop(source_position where) {
    if (!stopped_) warnings_.add(where, budget_->message() + "; this shape and the ones after it are left out");
    stopped_ = true;
}

bool scene_builder::admit(std::int64_t bytes, source_position where, const char* what) {
    if (stopped_) return false;
    if (!budget_ || budget_->fits(bytes)) return true;
    budget_->spend(bytes, what);  // refused: remembered as what stopped the load
    stop(where);
    return false;
}

bool scene_builder::affords(std::int64_t bytes, source_position where, const char* what) {
    return admit(bytes, where, what);
}

void scene_builder::settle(std::size_t before, source_position where) {
    if (!budget_) return;
    std::int64_t bytes = 0;
    for (std::size_t s = before; s < out_.shapes.size(); ++s) bytes += shape_bytes(out_.shapes[s]);
    if (budget_->spend(bytes * copies_drawn, "triangles")) return;
    // Nothing over the budget stays: the shapes go again.
    out_.shapes.resize(before);
    out_.shape_count = static_cast<std::int64_t>(before);
    out_.point_counts.resize(before);
    out_.face_counts.resize(before);
    stop(where);
}

namespace {

// A batch is built once the shapes waiting were admitted for this much, or
// are this many: enough work to share out, little memory held back.
constexpr std::int64_t batch_bytes = std::int64_t{48} << 20;
constexpr std::size_t batch_shapes = 4096;

}  // namespace

template <typename... Args>
void scene_builder::make(std::int64_t least, void (*build_shapes)(detail::shape_target, const shape_state&, Args...),
                         const shape_state& state, Args... args) {
    if (!admit(least, state.where)) return;
    // Images are decoded into the store as they are met: such shapes, and
    // those whose values live for the call only, are built now, in order.
    if (!state.lasting || state.texture) {
        built();
        if (stopped_) return;
        const std::size_t before = out_.shapes.size();
        build({out_, warnings_, *scratch_}, build_shapes, state, args...);
        shine_lights(out_, before, first_light_, state.lights);
        settle(before, state.where);
        return;
    }
    auto job = std::make_unique<pending_shape>(warnings_.file());
    job->state = state;
    job->lights.assign(state.lights.begin(), state.lights.end());
    job->state.lights = job->lights;
    job->build = [build_shapes, args...](detail::shape_target target, const shape_state& s) {
        build(target, build_shapes, s, args...);
    };
    pending_.push_back(std::move(job));
    pending_bytes_ += least;
    if (pending_bytes_ >= batch_bytes || pending_.size() >= batch_shapes) built();
}

void scene_builder::built() {
    if (!pending_.empty()) {
        std::vector<std::unique_ptr<pending_shape>> batch = std::move(pending_);
        pending_.clear();
        pending_bytes_ = 0;
        std::atomic<std::size_t> next{0};
        const auto work = [&batch, &next](detail::builder_scratch& scratch) {
            for (std::size_t i = next++; i < batch.size(); i = next++) {
                pending_shape& job = *batch[i];
                try {
                    job.build({job.out, job.warnings, scratch}, job.state);
                } catch (...) {
                    job.failed = std::current_exception();
                }
            }
        };
        const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(reader::load_threads()), batch.size());
        while (helper_scratch_.size() + 1 < threads) helper_scratch_.push_back(std::make_unique<detail::builder_scratch>());
        std::vector<std::thread> helpers;
        try {
            for (std::size_t k = 1; k < threads; ++k) helpers.emplace_back(work, std::ref(*helper_scratch_[k - 1]));
        } catch (const std::system_error&) {
            // No more threads to be had: those started and this one do the work.
        }
        work(*scratch_);
        for (std::thread& helper : helpers) helper.join();
        // In the order handed in, as if each had been built when it came.
        for (const std::unique_ptr<pending_shape>& job : batch) {
            if (job->failed) std::rethrow_exception(job->failed);
            if (stopped_) break;
            warnings_.take(job->warnings);
            const std::size_t before = out_.shapes.size();
            scene_store& made = job->out;
            for (std::size_t k = 0; k < made.shapes.size(); ++k) {
                out_.shapes.push_back(std::move(made.shapes[k]));
                out_.point_counts.push_back(made.point_counts[k]);
                out_.face_counts.push_back(made.face_counts[k]);
            }
            out_.shape_count = static_cast<std::int64_t>(out_.shapes.size());
            made = scene_store{};
            shine_lights(out_, before, first_light_, job->lights);
            settle(before, job->state.where);
        }
    }
    std::vector<std::function<void()>> then = std::move(after_built_);
    after_built_.clear();
    for (const auto& f : then) f();
}

void scene_builder::after_built(std::function<void()> then) {
    if (pending_.empty()) then();
    else after_built_.push_back(std::move(then));
}

void scene_builder::reuse_images(const scene_store& previous) {
    for (const auto& image : previous.textures) {
        out_.textures.push_back(image);
        if (image && image->source != "inline")
            scratch_->texture_files[image->source] = static_cast<std::int32_t>(out_.textures.size() - 1);
    }
}

std::int32_t scene_builder::motion(const matrix4& world, std::int32_t parent) {
    scene_motion& m = out_.motions.emplace_back();
    std::copy(world.m, world.m + 16, m.matrix);
    m.parent = parent;
    return static_cast<std::int32_t>(out_.motions.size() - 1);
}

void scene_builder::billboard(std::int32_t motion, const float axis[3]) {
    scene_billboard& b = out_.billboards.emplace_back();
    b.motion = motion;
    std::copy(axis, axis + 3, b.axis);
}

bool scene_builder::place_again(std::size_t first, std::size_t count, const matrix4& placement,
                                std::span<const std::int32_t> lights, source_position where) {
    built();  // the copies come after every shape handed in before
    const std::size_t end = first + count;
    if (first < first_shape_ || end > out_.shapes.size() || end < first ||
        out_.shapes.size() + count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return false;
    for (std::size_t s = first; s < end; ++s)
        if (out_.shapes[s].motion >= 0 || out_.shapes[s].shares >= 0) return false;
    if (stopped_) return true;
    // A copy costs its record, not its arrays: nested USEs that place a
    // part a million times are stopped by what the records take.
    const std::int64_t bytes =
        static_cast<std::int64_t>(count) * static_cast<std::int64_t>(sizeof(shape_record) + lights.size() * 4);
    if (!admit(bytes, where, "copies of shapes")) return true;
    if (budget_) budget_->spend(bytes, "copies of shapes");  // admitted: it fits
    const std::int32_t slot = motion(placement, -1);
    const std::size_t made = out_.shapes.size();
    for (std::size_t s = first; s < end; ++s) {
        const shape_record& source = out_.shapes[s];
        shape_record copy;
        copy.kind = source.kind;
        copy.two_sided = source.two_sided;
        copy.lit = source.lit;
        copy.collides = source.collides;
        copy.drawn = source.drawn;
        copy.material = source.material;
        copy.texture = source.texture;
        copy.wrap_s = source.wrap_s;
        copy.wrap_t = source.wrap_t;
        std::copy(source.colour, source.colour + 3, copy.colour);
        std::copy(source.translation, source.translation + 3, copy.translation);
        std::copy(source.rotation, source.rotation + 4, copy.rotation);
        std::copy(source.scale, source.scale + 3, copy.scale);
        copy.motion = slot;
        copy.shares = static_cast<std::int32_t>(s);
        const std::int64_t points = out_.point_counts[s], faces = out_.face_counts[s];
        out_.shapes.push_back(std::move(copy));
        out_.point_counts.push_back(points);
        out_.face_counts.push_back(faces);
        ++out_.shape_count;
    }
    shine_lights(out_, made, first_light_, lights);
    return true;
}

void scene_builder::face_set(const shape_state& state, std::span<const float> coords,
                             std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                             std::span<const std::int32_t> normal_index) {
    make(at_least(coord_index.size()), &detail::build_face_set, state, coords, coord_index, material_index, normal_index);
}

void scene_builder::line_set(const shape_state& state, std::span<const float> coords,
                             std::span<const std::int32_t> coord_index, std::span<const std::int32_t> material_index,
                             std::span<const std::int32_t> normal_index) {
    make(at_least(coord_index.size()), &detail::build_line_set, state, coords, coord_index, material_index, normal_index);
}

void scene_builder::point_set(const shape_state& state, std::span<const float> coords, std::int64_t start,
                              std::int64_t count) {
    const std::size_t points = count >= 0 ? static_cast<std::size_t>(count) : coords.size() / 3;
    make(at_least(points), &detail::build_point_set, state, coords, start, count);
}

void scene_builder::cube(const shape_state& state, float width, float height, float depth) {
    make(0, &detail::build_cube, state, width, height, depth);
}

void scene_builder::sphere(const shape_state& state, float radius) {
    make(0, &detail::build_sphere, state, radius);
}

void scene_builder::cone(const shape_state& state, float bottom_radius, float height, unsigned part_mask) {
    make(0, &detail::build_cone, state, bottom_radius, height, part_mask);
}

void scene_builder::cylinder(const shape_state& state, float radius, float height, unsigned part_mask) {
    make(0, &detail::build_cylinder, state, radius, height, part_mask);
}

namespace {

// A shape's points where they stand now: moving shapes' and copies' are
// placed by their motion, once, into `placed`.
const std::vector<float>& world_points(const scene_store& store, const shape_record& shape,
                                       std::vector<float>& placed) {
    const std::vector<float>& points = drawn_arrays(store, shape).points;
    if (shape.motion < 0 || static_cast<std::size_t>(shape.motion) >= store.motions.size()) return points;
    const scene_motion& motion = store.motions[static_cast<std::size_t>(shape.motion)];
    placed.resize(points.size());
    for (std::size_t i = 0; i + 2 < points.size(); i += 3) motion.place(&points[i], &placed[i]);
    return placed;
}

}  // namespace

namespace {

// Runs work(k, begin, end) over consecutive ranges of the store's shapes
// from `first` on, of about equal numbers of points, each on a thread of
// its own (k numbers the range); one range below a size not worth a thread.
template <typename Work>
void over_shapes(const scene_store& store, std::size_t first, std::size_t ranges, Work work) {
    std::vector<std::size_t> ends;
    std::int64_t points = 0;
    for (std::size_t s = first; s < store.shapes.size(); ++s) points += store.point_counts[s];
    if (points < 1'000'000) ranges = 1;
    std::int64_t taken = 0;
    std::size_t s = first;
    for (std::size_t k = 1; k < ranges; ++k) {
        const std::int64_t until = points * static_cast<std::int64_t>(k) / static_cast<std::int64_t>(ranges);
        while (s < store.shapes.size() && taken < until) taken += store.point_counts[s++];
        ends.push_back(s);
    }
    ends.push_back(store.shapes.size());
    // What a range threw (memory ran out) is thrown here, once all are done.
    std::vector<std::exception_ptr> failed(ends.size());
    const auto guarded = [&](std::size_t k, std::size_t begin, std::size_t end) {
        try {
            work(k, begin, end);
        } catch (...) {
            failed[k] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (std::size_t k = 1; k < ends.size(); ++k) helpers.emplace_back(guarded, k, ends[k - 1], ends[k]);
    } catch (const std::system_error&) {
        // No thread to be had: this one does what was not handed out.
        for (std::size_t k = helpers.size() + 1; k < ends.size(); ++k) guarded(k, ends[k - 1], ends[k]);
    }
    guarded(0, first, ends.front());
    for (std::thread& helper : helpers) helper.join();
    for (const std::exception_ptr& e : failed)
        if (e) std::rethrow_exception(e);
}

}  // namespace

void scene_builder::finish() {
    built();
    out_.reading = scene_reading::standard;
    // The centre of the bounding box, and the farthest point from it: within
    // a few per cent of the smallest enclosing sphere, in two passes, each
    // shared out between the load's threads (minima, maxima: the same
    // whatever the order).
    const std::size_t ranges = static_cast<std::size_t>(reader::load_threads());
    struct extent {
        double low[3], high[3];
        double radius2 = 0;
        bool any = false;
    };
    std::vector<extent> found(ranges);
    for (extent& e : found) {
        std::fill(e.low, e.low + 3, std::numeric_limits<double>::infinity());
        std::fill(e.high, e.high + 3, -std::numeric_limits<double>::infinity());
    }
    over_shapes(out_, first_shape_, ranges, [&](std::size_t k, std::size_t begin, std::size_t end) {
        extent& e = found[k];
        std::vector<float> placed;
        for (std::size_t s = begin; s < end; ++s) {
            const shape_record& shape = out_.shapes[s];
            const std::size_t n = drawn_arrays(out_, shape).point_count();
            if (n == 0) continue;
            // Points are finite: the shape builders leave out the others. The
            // least and greatest of floats are floats, so float is exact here.
            const float* p = world_points(out_, shape, placed).data();
            float lo[3] = {p[0], p[1], p[2]}, hi[3] = {p[0], p[1], p[2]};
            for (std::size_t i = 1; i < n; ++i) {
                const float* q = p + 3 * i;
                for (std::size_t c = 0; c < 3; ++c) {
                    lo[c] = std::min(lo[c], q[c]);
                    hi[c] = std::max(hi[c], q[c]);
                }
            }
            for (std::size_t c = 0; c < 3; ++c) {
                e.low[c] = std::min<double>(e.low[c], lo[c]);
                e.high[c] = std::max<double>(e.high[c], hi[c]);
            }
            e.any = true;
        }
    });
    double low[3], high[3];
    std::fill(low, low + 3, std::numeric_limits<double>::infinity());
    std::fill(high, high + 3, -std::numeric_limits<double>::infinity());
    bool any = false;
    for (const extent& e : found) {
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], e.low[c]);
            high[c] = std::max(high[c], e.high[c]);
        }
        any = any || e.any;
    }
    if (!any) {
        std::fill(out_.bound_centre, out_.bound_centre + 3, 0.0f);
        out_.bound_radius = 0;
        settle_focal_distance(out_, false);
        return;
    }
    double centre[3];
    for (int k = 0; k < 3; ++k) centre[k] = (low[k] + high[k]) / 2;
    over_shapes(out_, first_shape_, ranges, [&](std::size_t k, std::size_t begin, std::size_t end) {
        std::vector<float> placed;
        double radius2 = 0;
        for (std::size_t s = begin; s < end; ++s) {
            const std::vector<float>& points = world_points(out_, out_.shapes[s], placed);
            for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
                const double dx = points[i] - centre[0], dy = points[i + 1] - centre[1], dz = points[i + 2] - centre[2];
                radius2 = std::max(radius2, dx * dx + dy * dy + dz * dz);
            }
        }
        found[k].radius2 = radius2;
    });
    double radius2 = 0;
    for (const extent& e : found) radius2 = std::max(radius2, e.radius2);
    for (int k = 0; k < 3; ++k) out_.bound_centre[k] = static_cast<float>(centre[k]);
    out_.bound_radius = static_cast<float>(std::sqrt(radius2));
    settle_focal_distance(out_, true);
}

}  // namespace tessel::vrml
