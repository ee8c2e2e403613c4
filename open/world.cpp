#include "open/world.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "formats/vrml97/traverse2.h"
#include "geometry/geometry.h"
#include "geometry/matrix.h"
#include "input/budget.h"
#include "open/world_parts.h"

namespace tessel {

bool parse_world_time(std::string_view text, double& seconds) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(v >= 0) || v > latest_world_time)
        return false;
    seconds = v;
    return true;
}

scene_world::scene_world(std::unique_ptr<parts> p) : p_(std::move(p)) {}

scene_world::~scene_world() = default;

bool scene_world::waiting() const { return p_->events->waiting(); }

double scene_world::now() const { return p_->events->now(); }

const std::vector<std::string>& scene_world::warnings() const { return p_->later.texts(); }

// Sorts what a tick changed: moving Transforms whose fields alone changed
// move their parts; anything else that draws asks for a rebuild.
void scene_world::take(const std::vector<vrml::node*>& changed) {
    for (const vrml::node* n : changed) {
        const bool relinked = p_->events->relinked(n);
        if (p_->moving.transforms.count(n) && !relinked) {
            moved_ = true;
            // A light it carries shines from elsewhere; the camera it carries looks from elsewhere.
            if (p_->moving.carry_lights.count(n)) dirty_ = true;
            if (p_->moving.carry_view.count(n)) views_ = true;
        } else if (!relinked && (n->type->kind == vrml::node_kind::v2_viewpoint ||
                                 n->type->kind == vrml::node_kind::v2_background ||
                                 n->type->kind == vrml::node_kind::v2_navigation_info)) {
            views_ = true;  // what is seen from where: no shape changes
        } else if (const auto sites = p_->live.sites_of.find(n); sites != p_->live.sites_of.end() && !relinked) {
            redraw_.insert(redraw_.end(), sites->second.begin(), sites->second.end());
        } else {
            // Not drawn (a Switch, a light, a Group's children...) or drawn
            // in many ways: the scene is built again.
            dirty_ = true;
        }
    }
}

// The shapes events changed, each drawn again into its own records. False
// when one no longer makes as many records as it did: then the store is
// rebuilt instead.
bool scene_world::redraw_shapes(scene_store& store) {
    std::sort(redraw_.begin(), redraw_.end());
    redraw_.erase(std::unique(redraw_.begin(), redraw_.end()), redraw_.end());
    const std::uint64_t revision = store.moved + 1;
    for (const std::size_t index : redraw_) {
        const vrml::live_shapes::site& site = p_->live.sites[index];
        scene_store drawn;
        vrml::warning_list said_already(p_->path);
        reader::load_budget budget(p_->budget_limit);
        {
            vrml::scene_builder builder(drawn, said_already, &budget);
            vrml::redraw_vrml2_shape(site, builder, said_already);
        }
        if (drawn.shapes.size() != site.count || site.first + site.count > store.shapes.size()) return false;
        for (std::size_t i = 0; i < site.count; ++i) {
            shape_record& record = store.shapes[site.first + i];
            record = std::move(drawn.shapes[i]);
            record.revision = revision;
            store.point_counts[site.first + i] = drawn.point_counts[i];
            store.face_counts[site.first + i] = drawn.face_counts[i];
        }
    }
    redraw_.clear();
    return true;
}

// Every moving part placed from its Transform's fields as they are now,
// parents first.
void scene_world::place_parts(scene_store& store) {
    moved_ = false;
    for (const auto& site : p_->moving.sites) {
        const auto slot = static_cast<std::size_t>(site.slot);
        if (slot >= store.motions.size()) continue;
        vrml::matrix4 world = site.relative;
        if (site.parent >= 0 && static_cast<std::size_t>(site.parent) < store.motions.size()) {
            vrml::matrix4 parent;
            std::copy(store.motions[static_cast<std::size_t>(site.parent)].matrix,
                      store.motions[static_cast<std::size_t>(site.parent)].matrix + 16, parent.m);
            world = vrml::multiply(parent, world);
        }
        if (site.transform) world = vrml::multiply(world, vrml::vrml2_transform_matrix(*site.transform));
        std::copy(world.m, world.m + 16, store.motions[slot].matrix);
    }
    ++store.moved;
}

void scene_world::step(double seconds) {
    ++ticks_;
    started_ = true;
    take(p_->events->advance(seconds));
}

bool scene_world::tick(double seconds, scene_store& store) {
    step(seconds);
    return bring_up_to_date(store);
}

// The world walked again as it is now into sink. What the load said about
// the world (its warnings) is not said again.
void scene_world::walk_again(vrml::geometry_sink& sink, vrml::moving_parts* moving, vrml::live_shapes* live) {
    vrml::warning_list said_already(p_->path);
    p_->files->rebind(said_already, nullptr);
    vrml::traverse_vrml2(p_->doc, sink, said_already, p_->files.get(), {}, false, moving, live, &p_->vrml1);
    p_->files->rebind(p_->later, nullptr);
}

// The camera, background and headlight of the world as it is now, from a
// walk that makes no shapes.
void scene_world::update_views(scene_store& store) {
    views_ = false;
    bind_shown();
    scene_store found;
    vrml::view_builder views(found);
    // The images of a Background bound now, or given new ones, join the
    // store's (the view found is shown there); those it holds are kept.
    vrml::warning_list said_already(p_->path);
    reader::load_budget budget(p_->budget_limit);
    vrml::shown_images images(store, said_already, budget);
    views.decode_images_with([&images](const vrml::texture_source& src) { return images.panorama_image(src); });
    // The walk places nothing that moves and records no shapes: the store's
    // parts and shapes stay as they are.
    vrml::live_shapes bound;
    std::copy(p_->live.bound, p_->live.bound + 3, bound.bound);
    walk_again(views, nullptr, &bound);
    const std::optional<scene_camera> before = store.camera;
    views.show(store);
    keep_viewer(before, store);
}

namespace {

bool same_camera(const scene_camera& a, const scene_camera& b) {
    const auto same3 = [](const float* x, const float* y) { return std::equal(x, x + 3, y); };
    return a.kind == b.kind && same3(a.position, b.position) && same3(a.direction, b.direction) && same3(a.up, b.up) &&
           same3(a.upright, b.upright) && a.focal_distance == b.focal_distance && a.height_angle == b.height_angle &&
           a.height == b.height;
}

}  // namespace

void scene_world::keep_viewer(const std::optional<scene_camera>& before, scene_store& store) {
    const std::optional<scene_camera> found = store.camera;
    const bool view_moved = !found_known_ || found.has_value() != found_.has_value() ||
                            (found && !same_camera(*found, *found_));
    const bool stays = store.viewpoint >= 0 && static_cast<std::size_t>(store.viewpoint) < store.viewpoints.size() &&
                       !store.viewpoints[static_cast<std::size_t>(store.viewpoint)].jump;
    if (before && found && (!view_moved || stays)) store.camera = before;
    found_ = found;
    found_known_ = true;
}

void scene_world::bind_shown() {
    using kind = vrml::event_world::bindable;
    for (const kind k : {kind::viewpoint, kind::background, kind::navigation})
        p_->live.bound[static_cast<int>(k)] = p_->events->bound(k);
}

bool scene_world::bring_up_to_date(scene_store& store) {
    if (!found_known_) {
        found_ = store.camera;  // as the load found it
        found_known_ = true;
    }
    bool redrawn = false;
    if (!dirty_ && !redraw_.empty()) {
        if (redraw_shapes(store)) redrawn = true;
        else dirty_ = true;
    }
    if (dirty_) {
        rebuild(store);
        return true;
    }
    if (views_) {
        update_views(store);
        redrawn = true;
    }
    if (moved_) {
        place_parts(store);  // counts the change for the redrawn shapes too
        return true;
    }
    if (redrawn) ++store.moved;
    return redrawn;
}

bool scene_world::play_to(double seconds, scene_store& store) {
    // Whole ticks of the clock up to the time asked, then that time itself.
    const double period = 1.0 / world_ticks_per_second;
    if (std::isfinite(seconds)) {
        // The first tick is at 0, when the world starts.
        for (auto k = started_ ? static_cast<std::int64_t>(std::floor(now() * world_ticks_per_second)) + 1 : 0;
             static_cast<double>(k) * period < seconds; ++k)
            step(static_cast<double>(k) * period);
    }
    return tick(seconds, store);
}

bool scene_world::restart(scene_store& store) {
    const std::vector<vrml::node*> touched = p_->events->restart();
    started_ = false;
    // Children put back are relinked too: a rebuild.
    if (!touched.empty()) dirty_ = true;
    return bring_up_to_date(store);
}

namespace {

struct box {
    double low[3] = {INFINITY, INFINITY, INFINITY};
    double high[3] = {-INFINITY, -INFINITY, -INFINITY};
    void add(const double p[3]) {
        for (int k = 0; k < 3; ++k) {
            low[k] = std::min(low[k], p[k]);
            high[k] = std::max(high[k], p[k]);
        }
    }
    bool empty() const { return !(low[0] <= high[0]); }
};

// A box's corners placed by a part's motion, added to `to`.
void add_placed(const box& b, const scene_motion& motion, box& to) {
    for (int corner = 0; corner < 8; ++corner) {
        double p[3] = {corner & 1 ? b.high[0] : b.low[0], corner & 2 ? b.high[1] : b.low[1],
                       corner & 4 ? b.high[2] : b.low[2]};
        motion.place(p, p);
        to.add(p);
    }
}

}  // namespace

void scene_world::settle(scene_store& store) {
    if (!p_->drawn_still) return;
    p_->drawn_still = false;
    rebuild(store);
    --rebuilds_;  // part of the load, not of the world's running
}

void scene_world::frame_motion(scene_store& store) {
    if (store.bound_radius <= 0 || store.motions.empty()) return;
    const double horizon = std::min(p_->events->first_runs(), 30.0);
    if (!(horizon > 0)) return;
    // Each moving shape's own box, in its part's coordinates.
    std::vector<std::pair<std::size_t, box>> parts;
    for (const shape_record& shape : store.shapes) {
        if (shape.motion < 0 || static_cast<std::size_t>(shape.motion) >= store.motions.size()) continue;
        box b;
        for (std::size_t i = 0; i + 2 < shape.points.size(); i += 3) {
            const double p[3] = {shape.points[i], shape.points[i + 1], shape.points[i + 2]};
            b.add(p);
        }
        if (!b.empty()) parts.emplace_back(static_cast<std::size_t>(shape.motion), b);
    }
    if (parts.empty()) return;
    // The box around the sphere the load framed, then where the parts go.
    box seen;
    double low[3], high[3];
    for (int k = 0; k < 3; ++k) {
        low[k] = static_cast<double>(store.bound_centre[k]) - store.bound_radius;
        high[k] = static_cast<double>(store.bound_centre[k]) + store.bound_radius;
    }
    seen.add(low);
    seen.add(high);
    // The parts' places at some 120 instants, in a copy of the store's.
    scene_store places;
    places.motions = store.motions;
    places.moved = store.moved;
    constexpr int samples = 120;
    for (int i = 0; i <= samples; ++i) {
        take(p_->events->advance(horizon * i / samples));
        if (dirty_ || !redraw_.empty()) break;
        if (moved_) place_parts(places);
        for (const auto& [motion, b] : parts) add_placed(b, places.motions[motion], seen);
    }
    p_->events->restart();
    dirty_ = moved_ = started_ = views_ = false;
    redraw_.clear();
    double radius2 = 0, centre[3];
    for (int k = 0; k < 3; ++k) {
        centre[k] = (seen.low[k] + seen.high[k]) / 2;
        radius2 += (seen.high[k] - centre[k]) * (seen.high[k] - centre[k]);
    }
    const double radius = std::sqrt(radius2);
    if (!std::isfinite(radius) || radius <= store.bound_radius) return;
    for (int k = 0; k < 3; ++k) store.bound_centre[k] = static_cast<float>(centre[k]);
    store.bound_radius = static_cast<float>(radius);
}

// The store again from the world as it is now. The framing stays the
// load's, so that the view does not follow what moves.
void scene_world::rebuild(scene_store& store) {
    ++rebuilds_;
    dirty_ = false;
    moved_ = false;
    redraw_.clear();
    views_ = false;
    bind_shown();
    scene_store next;
    vrml::warning_list said_already(p_->path);
    reader::load_budget budget(p_->budget_limit);
    {
        vrml::scene_builder builder(next, said_already, &budget);
        builder.reuse_images(store);
        walk_again(builder, &p_->moving, &p_->live);
        builder.finish();
    }
    for (int i = 0; i < 3; ++i) next.bound_centre[i] = store.bound_centre[i];
    next.bound_radius = store.bound_radius;
    next.generation = store.generation + 1;
    const std::optional<scene_camera> before = store.camera;
    store = std::move(next);
    keep_viewer(before, store);
}

}  // namespace tessel
