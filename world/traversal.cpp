#include "world/traversal.h"

#include <algorithm>

namespace tessel::vrml {

traversal_core::traversal_core(geometry_sink& sink, warning_list& warnings, inline_source* inlines,
                               const traversal_limits& limits)
    : sink_(sink), warnings_(warnings), inlines_(inlines), limits_(limits) {}

void traversal_core::begin(const document& world) {
    open_.assign(1, &world);
    warnings_.set_file(world.file);
    visits_ = 0;
    stopped_ = false;
}

bool traversal_core::count_visit(const node& n) {
    if (++visits_ <= limits_.nodes) return true;
    // A second walk meets the limit at the same node: one warning.
    warn(n, "the scene instances its parts too often; drawing stopped after " + std::to_string(limits_.nodes) +
                " nodes");
    stopped_ = true;
    return false;
}

bool traversal_core::spend(std::int64_t elements, const node& n) {
    elements_ += elements;
    if (elements_ <= limits_.elements) return true;
    warn(n, "the scene instances its parts too often; drawing stopped after " + std::to_string(limits_.elements) +
                " coordinates and indices");
    stopped_ = true;
    return false;
}

void traversal_core::warn(const node& n, const std::string& message) {
    if (!quiet_) warnings_.add(n.where, message);
}

void traversal_core::warn_once(const std::string& key, const node& n, const std::string& message) {
    if (!quiet_) warnings_.add_once(open_.back()->file + "|" + key, n.where, message);
}

traversal_core::entry traversal_core::may_enter(const document& doc) const {
    if (std::find(open_.begin(), open_.end(), &doc) != open_.end()) return entry::already_open;
    if (static_cast<int>(open_.size()) > limits_.inline_depth) return entry::too_deep;
    return entry::allowed;
}

void traversal_core::enter(const document& doc) {
    open_.push_back(&doc);
    warnings_.set_file(doc.file);
}

void traversal_core::leave() {
    open_.pop_back();
    if (!open_.empty()) warnings_.set_file(open_.back()->file);
}

void traversal_core::too_many_lights(const node& n) {
    // Said once per file, by whichever walk meets it: scene-wide lights
    // are only gathered by a first, quiet walk.
    warnings_.add_once(open_.back()->file + "|lights", n.where,
                       "more than " + std::to_string(lights_drawn) + " lights shine on the same shapes; only the first " +
                           std::to_string(lights_drawn) + " are drawn");
}

bool traversal_core::add_scene_light(const scene_light& light, const node& n) {
    if (static_cast<std::int32_t>(scene_lights_.size()) >= lights_drawn) {
        too_many_lights(n);
        return false;
    }
    sink_.light(light);
    scene_lights_.push_back(lights_made_++);
    return true;
}

bool traversal_core::add_scoped_light(const scene_light& light, std::int32_t& link, const node& n) {
    const std::int32_t count = link < 0 ? 1 : links_[static_cast<std::size_t>(link)].count + 1;
    if (count + static_cast<std::int32_t>(scene_lights_.size()) > lights_drawn) {
        if (!quiet_) too_many_lights(n);
        return false;
    }
    sink_.light(light);
    links_.push_back({lights_made_++, link, count});
    link = static_cast<std::int32_t>(links_.size() - 1);
    return true;
}

std::span<const std::int32_t> traversal_core::lights_in_force(std::int32_t link) {
    if (link != list_of_) {
        list_.clear();
        for (std::int32_t l = link; l >= 0; l = links_[static_cast<std::size_t>(l)].parent)
            list_.push_back(links_[static_cast<std::size_t>(l)].light);
        list_.insert(list_.end(), scene_lights_.rbegin(), scene_lights_.rend());
        std::reverse(list_.begin(), list_.end());
        list_of_ = link;
    }
    return list_;
}

}  // namespace tessel::vrml
