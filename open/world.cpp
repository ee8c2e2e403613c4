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
        world = vrml::multiply(world, vrml::vrml2_transform_matrix(*site.transform));
        std::copy(world.m, world.m + 16, store.motions[slot].matrix);
    }
    ++store.moved;
}

bool scene_world::tick(double seconds, scene_store& store) {
    ++ticks_;
    started_ = true;
    take(p_->events->advance(seconds));
    return bring_up_to_date(store);
}

bool scene_world::bring_up_to_date(scene_store& store) {
    bool redrawn = false;
    if (!dirty_ && !redraw_.empty()) {
        if (redraw_shapes(store)) redrawn = true;
        else dirty_ = true;
    }
    if (dirty_) {
        rebuild(store);
        return true;
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
    const double step = 1.0 / world_ticks_per_second;
    if (std::isfinite(seconds)) {
        // The first tick is at 0, when the world starts.
        for (auto k = started_ ? static_cast<std::int64_t>(std::floor(now() * world_ticks_per_second)) + 1 : 0;
             static_cast<double>(k) * step < seconds; ++k) {
            ++ticks_;
            started_ = true;
            take(p_->events->advance(static_cast<double>(k) * step));
        }
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

// The store again from the world as it is now. What the load said about the
// world (its warnings) is not said again; the framing stays the load's, so
// that the view does not follow what moves.
void scene_world::rebuild(scene_store& store) {
    ++rebuilds_;
    dirty_ = false;
    moved_ = false;
    redraw_.clear();
    scene_store next;
    vrml::warning_list said_already(p_->path);
    reader::load_budget budget(p_->budget_limit);
    p_->files->rebind(said_already, nullptr);
    {
        vrml::scene_builder builder(next, said_already, &budget);
        vrml::traverse_vrml2(p_->doc, builder, said_already, p_->files.get(), {}, false, &p_->moving, &p_->live);
        builder.finish();
    }
    p_->files->rebind(p_->later, nullptr);
    for (int i = 0; i < 3; ++i) next.bound_centre[i] = store.bound_centre[i];
    next.bound_radius = store.bound_radius;
    next.generation = store.generation + 1;
    store = std::move(next);
}

}  // namespace tessel
