#include "world/events.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <utility>

#include "world/interpolation.h"

namespace tessel::vrml {

namespace {

using ft = field_type;

// What a node is to the event model, by its type.
enum class role : std::uint8_t {
    none,
    time_sensor,
    colour_interpolator,
    coordinate_interpolator,
    normal_interpolator,
    orientation_interpolator,
    position_interpolator,
    scalar_interpolator,
    grouping,
    bindable,
    inert,
};

role role_of(const node& n) {
    const node_type& t = *n.type;
    switch (t.kind) {
    case node_kind::v2_transform:
    case node_kind::v2_group: return role::grouping;
    case node_kind::v2_viewpoint:
    case node_kind::v2_background:
    case node_kind::v2_navigation_info: return role::bindable;
    case node_kind::quiet: break;
    default: return role::none;
    }
    static const std::unordered_map<std::string, role> named = {
        {"TimeSensor", role::time_sensor},
        {"ColorInterpolator", role::colour_interpolator},
        {"CoordinateInterpolator", role::coordinate_interpolator},
        {"NormalInterpolator", role::normal_interpolator},
        {"OrientationInterpolator", role::orientation_interpolator},
        {"PositionInterpolator", role::position_interpolator},
        {"ScalarInterpolator", role::scalar_interpolator},
        {"Fog", role::bindable},
    };
    const auto found = named.find(t.name);
    return found != named.end() ? found->second : role::inert;
}

bool interpolator(role r) { return r >= role::colour_interpolator && r <= role::scalar_interpolator; }

ft value_type(role r) {
    switch (r) {
    case role::colour_interpolator: return ft::sf_color;
    case role::coordinate_interpolator:
    case role::normal_interpolator: return ft::mf_vec3f;
    case role::orientation_interpolator: return ft::sf_rotation;
    case role::position_interpolator: return ft::sf_vec3f;
    default: return ft::sf_float;
    }
}

const char* type_name(ft t) {
    switch (t) {
    case ft::sf_bool: return "SFBool";
    case ft::sf_color: return "SFColor";
    case ft::sf_float: return "SFFloat";
    case ft::sf_image: return "SFImage";
    case ft::sf_long: return "SFInt32";
    case ft::sf_rotation: return "SFRotation";
    case ft::sf_string:
    case ft::sf_enum: return "SFString";
    case ft::sf_vec2f: return "SFVec2f";
    case ft::sf_vec3f: return "SFVec3f";
    case ft::sf_node: return "SFNode";
    case ft::mf_color: return "MFColor";
    case ft::mf_float: return "MFFloat";
    case ft::mf_long: return "MFInt32";
    case ft::mf_string: return "MFString";
    case ft::mf_vec2f: return "MFVec2f";
    case ft::mf_vec3f: return "MFVec3f";
    case ft::sf_time: return "SFTime";
    case ft::mf_time: return "MFTime";
    case ft::mf_rotation: return "MFRotation";
    case ft::mf_node: return "MFNode";
    default: return "a VRML 1.0 type";
    }
}

bool ends_with(const std::string& s, std::string_view tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool field_end(const node& n, const std::string& name, event_end& end) {
    const int index = n.type->field_index(name);
    if (index < 0) return false;
    end = {event_kind::field, index, n.type->fields[static_cast<std::size_t>(index)].type};
    return true;
}

// Seconds as an SFTime value; the field keeps a float, the event the double.
struct payload {
    field_value value;
    double time = 0;
};

payload time_value(double t) {
    payload p;
    p.value.numbers.push_back(static_cast<float>(t));
    p.time = t;
    return p;
}

payload bool_value(bool b) {
    payload p;
    p.value.integers.push_back(b ? 1 : 0);
    return p;
}

payload float_value(float f) {
    payload p;
    p.value.numbers.push_back(f);
    return p;
}

}  // namespace

bool resolve_event_in(const node& n, const std::string& name, event_end& end) {
    if (!n.type) return false;
    const role r = role_of(n);
    if (r == role::inert) {
        end = {event_kind::inert, -1, ft::sf_float};
        return true;
    }
    if (interpolator(r) && name == "set_fraction") {
        end = {event_kind::set_fraction, -1, ft::sf_float};
        return true;
    }
    if (r == role::grouping && (name == "addChildren" || name == "removeChildren")) {
        end = {name == "addChildren" ? event_kind::add_children : event_kind::remove_children, -1, ft::mf_node};
        return true;
    }
    if (r == role::bindable && name == "set_bind") {
        end = {event_kind::set_bind, -1, ft::sf_bool};
        return true;
    }
    if (name.rfind("set_", 0) == 0 && field_end(n, name.substr(4), end)) return true;
    return field_end(n, name, end);
}

bool resolve_event_out(const node& n, const std::string& name, event_end& end) {
    if (!n.type) return false;
    const role r = role_of(n);
    if (r == role::inert) {
        end = {event_kind::inert, -1, ft::sf_float};
        return true;
    }
    if (r == role::time_sensor) {
        static const std::pair<const char*, event_end> outs[] = {
            {"cycleTime", {event_kind::cycle_time, -1, ft::sf_time}},
            {"fraction_changed", {event_kind::fraction_changed, -1, ft::sf_float}},
            {"time", {event_kind::time, -1, ft::sf_time}},
            {"isActive", {event_kind::is_active, -1, ft::sf_bool}},
        };
        for (const auto& [out, e] : outs)
            if (name == out) {
                end = e;
                return true;
            }
    }
    if (interpolator(r) && name == "value_changed") {
        end = {event_kind::value_changed, -1, value_type(r)};
        return true;
    }
    if (r == role::bindable && (name == "isBound" || name == "bindTime")) {
        end = name == "isBound" ? event_end{event_kind::is_bound, -1, ft::sf_bool}
                                : event_end{event_kind::bind_time, -1, ft::sf_time};
        return true;
    }
    if (ends_with(name, "_changed") && field_end(n, name.substr(0, name.size() - 8), end)) return true;
    return field_end(n, name, end);
}

struct event_world::state {
    struct route {
        node* from;
        event_end out;
        node* to;
        event_end in;
    };
    struct sensor {
        node* n = nullptr;
        double start = 0, stop = 0, interval = 1;
        bool loop = false, enabled = true;
        bool active = false;
        // A one-shot whose startTime is not after the load has run out
        // already, as it has in a browser whose clock reads the date: it
        // waits for a new startTime.
        bool spent = false;
        bool broken = false;  // cycleInterval not above 0: never runs
        double cycle = -1;  // cycles begun since the start (a double: any interval, any time)
    };
    struct pending {
        node* to;
        event_end in;
        payload value;
    };
    struct key_hash {
        std::size_t operator()(const std::pair<const node*, int>& k) const {
            return std::hash<const void*>{}(k.first) * 31 + static_cast<std::size_t>(k.second);
        }
    };
    using key = std::pair<const node*, int>;

    warning_list* warnings;
    std::vector<route> routes;
    std::unordered_map<key, std::vector<std::size_t>, key_hash> from;
    std::vector<sensor> sensors;
    std::unordered_map<const node*, std::size_t> sensor_of;
    std::unordered_map<node*, std::vector<field_value>> originals;  // values before the first write
    std::vector<node*> written;                                     // the keys of originals, in order
    std::unordered_set<key, key_hash> fired;
    std::unordered_set<node*> changed_set;
    std::unordered_set<const node*> relinked;
    std::vector<node*> changed;
    std::deque<pending> queue;
    std::unordered_set<const node*> warned;
    std::vector<node*> stacks[4];  // bound last at the back, by bindable kind
    double now = 0;

    explicit state(warning_list& w) : warnings(&w) {}

    static key key_of(const node* n, const event_end& e) {
        return {n, e.kind == event_kind::field ? e.field : -1 - static_cast<int>(e.kind)};
    }

    void warn_node(const node& n, const std::string& message) {
        if (warned.insert(&n).second) warnings->add(n.where, message);
    }

    void resolve(const route_statement& r, const document& from_doc, const document& to_doc);
    void resolve_ends(const route_statement& r);
    void expand(const document& d, node* n, const std::string& event, bool out,
                std::vector<std::pair<node*, std::string>>& ends, int depth) const;
    void find_sensors(document& d);
    void reset_sensor(sensor& s);
    void sample(sensor& s, double t);
    void stop(sensor& s, double t);
    void emit(node* n, event_end out, const payload& value);
    void deliver(pending& p);
    void write(node& n, std::int32_t field, const field_value& value);
    void interpolate(node& n, float fraction);
    void change_children(node& n, event_kind kind, const std::vector<node*>& nodes);
    void sensor_field_written(sensor& s, const std::string& field, const payload& p);
    void bind(node& n, bool bind);
};

// The node events that an end names: through PROTO instances' interfaces
// to the body nodes tied to them (an instance may tie one interface field to
// several), else the named node's own.
void event_world::state::expand(const document& d, node* n, const std::string& event, bool out,
                                std::vector<std::pair<node*, std::string>>& ends, int depth) const {
    constexpr std::size_t most_ends = 10'000;
    const auto found = d.interfaces.find(n);
    if (found != d.interfaces.end() && depth < 16) {
        bool tied = false;
        for (const interface_link& link : found->second) {
            std::string mapped;
            if (event == link.name) mapped = link.event;
            else if (!out && event == "set_" + link.name)
                mapped = link.event.rfind("set_", 0) == 0 ? link.event : "set_" + link.event;
            else if (out && event == link.name + "_changed")
                mapped = ends_with(link.event, "_changed") ? link.event : link.event + "_changed";
            else continue;
            tied = true;
            if (ends.size() < most_ends) expand(d, link.target, mapped, out, ends, depth + 1);
        }
        if (tied) return;
    }
    if (ends.size() < most_ends) ends.push_back({n, event});
}

// The ends' nodes are those of from_doc and to_doc, whose PROTO instances'
// interfaces they are seen through.
void event_world::state::resolve(const route_statement& r, const document& from_doc, const document& to_doc) {
    if (!r.from || !r.to) return;
    std::vector<std::pair<node*, std::string>> outs, ins;
    expand(from_doc, r.from, r.from_event, true, outs, 0);
    expand(to_doc, r.to, r.to_event, false, ins, 0);
    if (outs.size() * ins.size() > 100'000) {
        warnings->add(r.where, "the ROUTE joins more than 100000 pairs of events through PROTO interfaces; ignored");
        return;
    }
    for (const auto& [from, from_event] : outs)
        for (const auto& [to, to_event] : ins) resolve_ends({from, from_event, to, to_event, r.where});
}

void event_world::state::resolve_ends(const route_statement& r) {
    if (!r.from || !r.to || !r.from->type || !r.to->type) return;
    // Unknown nodes were warned about where they stand.
    if (r.from->type->kind == node_kind::unknown && r.from->type->fields.empty()) return;
    if (r.to->type->kind == node_kind::unknown && r.to->type->fields.empty()) return;
    event_end out, in;
    if (!resolve_event_out(*r.from, r.from_event, out)) {
        warnings->add(r.where, r.from->type->name + " has no eventOut \"" + r.from_event + "\"; the ROUTE is ignored");
        return;
    }
    if (!resolve_event_in(*r.to, r.to_event, in)) {
        warnings->add(r.where, r.to->type->name + " has no eventIn \"" + r.to_event + "\"; the ROUTE is ignored");
        return;
    }
    const bool inert = out.kind == event_kind::inert || in.kind == event_kind::inert;
    if (!inert && out.type != in.type) {
        warnings->add(r.where, std::string("ROUTE from ") + type_name(out.type) + " " + r.from->type->name + "." +
                                  r.from_event + " to " + type_name(in.type) + " " + r.to->type->name + "." +
                                  r.to_event + ": the types differ; the ROUTE is ignored");
        return;
    }
    for (const node* n : {r.from, r.to})
        if (role_of(*n) == role::inert && n->type->name != "WorldInfo")
            warnings->add_once("inert " + n->type->name, n->where,
                              n->type->name + (n->type->name == "Script" ? " nodes are not run yet"
                                                                          : " does not answer the pointer yet") +
                                  "; its routes send nothing");
    if (inert) return;
    routes.push_back({r.from, out, r.to, in});
    from[key_of(r.from, out)].push_back(routes.size() - 1);
}

void event_world::state::reset_sensor(sensor& s) {
    const node& n = *s.n;
    s.start = n.number("startTime", 0);
    s.stop = n.number("stopTime", 0);
    s.interval = n.number("cycleInterval", 1);
    s.loop = n.integer("loop", 0) != 0;
    s.enabled = n.integer("enabled", 1) != 0;
    s.active = false;
    s.cycle = -1;
    s.spent = !s.loop && !(s.start > 0);
    s.broken = !(s.interval > 0) || !std::isfinite(s.interval);
}

void event_world::state::find_sensors(document& d) {
    each_node(d, [&](node& n) {
        if (!n.type || role_of(n) != role::time_sensor) return;
        sensor s;
        s.n = &n;
        reset_sensor(s);
        if (s.broken)
            warnings->add(n.where, "TimeSensor cycleInterval must be above 0; the sensor never runs");
        sensor_of[&n] = sensors.size();
        sensors.push_back(s);
    });
}

namespace {

// Where a cycle is at t: 0 at its start, 1 (not 0) at the end of each full cycle.
double fraction_at(double start, double interval, double t) {
    const double elapsed = t - start;
    if (!(elapsed > 0)) return 0;
    const double cycles = elapsed / interval;
    const double f = cycles - std::floor(cycles);
    return f == 0 ? 1 : f;
}

}  // namespace

void event_world::state::stop(sensor& s, double t) {
    s.active = false;
    emit(s.n, {event_kind::time, -1, ft::sf_time}, time_value(t));
    emit(s.n, {event_kind::is_active, -1, ft::sf_bool}, bool_value(false));
}

void event_world::state::sample(sensor& s, double t) {
    if (s.broken || !s.enabled) return;
    double end = std::numeric_limits<double>::infinity();
    if (!s.loop) end = s.start + s.interval;
    if (s.stop > s.start) end = std::min(end, s.stop);
    if (!s.active) {
        if ((s.spent && !s.loop) || !(t >= s.start) || t >= end) return;
        s.active = true;
        s.cycle = std::floor((t - s.start) / s.interval);
        emit(s.n, {event_kind::is_active, -1, ft::sf_bool}, bool_value(true));
        emit(s.n, {event_kind::cycle_time, -1, ft::sf_time}, time_value(t));
    }
    if (t >= end) {
        // The last event of a run: where the cycle stood when it ended.
        const double f = s.loop || end < s.start + s.interval ? fraction_at(s.start, s.interval, end) : 1.0;
        emit(s.n, {event_kind::fraction_changed, -1, ft::sf_float}, float_value(static_cast<float>(f)));
        s.spent = true;
        stop(s, t);
        return;
    }
    const double cycle = std::floor((t - s.start) / s.interval);
    if (cycle > s.cycle) {
        s.cycle = cycle;
        emit(s.n, {event_kind::cycle_time, -1, ft::sf_time}, time_value(s.start + cycle * s.interval));
    }
    emit(s.n, {event_kind::fraction_changed, -1, ft::sf_float},
         float_value(static_cast<float>(fraction_at(s.start, s.interval, t))));
    emit(s.n, {event_kind::time, -1, ft::sf_time}, time_value(t));
}

void event_world::state::emit(node* n, event_end out, const payload& value) {
    const key k = key_of(n, out);
    if (!fired.insert(k).second) return;  // one event per eventOut per time: loops end here
    const auto found = from.find(k);
    if (found == from.end()) return;
    for (const std::size_t r : found->second) queue.push_back({routes[r].to, routes[r].in, value});
}

void event_world::state::write(node& n, std::int32_t field, const field_value& value) {
    if (originals.emplace(&n, n.values).second) written.push_back(&n);
    if (changed_set.insert(&n).second) changed.push_back(&n);
    const field_type type = n.type->fields[static_cast<std::size_t>(field)].type;
    if (type == ft::sf_node || type == ft::mf_node) relinked.insert(&n);
    for (field_value& v : n.values)
        if (v.field == static_cast<std::uint32_t>(field)) {
            v = value;
            v.field = static_cast<std::uint32_t>(field);
            v.is_ref = -1;
            return;
        }
    field_value& v = n.values.emplace_back(value);
    v.field = static_cast<std::uint32_t>(field);
    v.is_ref = -1;
}

void event_world::state::sensor_field_written(sensor& s, const std::string& field, const payload& p) {
    const double t = p.value.numbers.empty() ? 0 : p.time != 0 ? p.time : p.value.numbers[0];
    if (field == "startTime") {
        s.start = t;
        s.spent = false;
    } else if (field == "stopTime") {
        s.stop = t;
    } else if (field == "cycleInterval") {
        s.interval = t;
        s.broken = !(t > 0) || !std::isfinite(t);
        if (s.broken) warn_node(*s.n, "TimeSensor cycleInterval must be above 0; the sensor stops");
    } else if (field == "loop") {
        s.loop = !p.value.integers.empty() && p.value.integers[0] != 0;
    } else if (field == "enabled") {
        s.enabled = !p.value.integers.empty() && p.value.integers[0] != 0;
        if (!s.enabled && s.active) stop(s, now);
    }
}

void event_world::state::deliver(pending& p) {
    node& n = *p.to;
    switch (p.in.kind) {
    case event_kind::field: {
        const std::string& name = n.type->fields[static_cast<std::size_t>(p.in.field)].name;
        if (const auto s = sensor_of.find(&n); s != sensor_of.end()) {
            sensor& ts = sensors[s->second];
            // A running sensor keeps its start and cycle; a stop before its start is no stop.
            if (ts.active && (name == "startTime" || name == "cycleInterval")) return;
            const double stop = p.value.time != 0 || p.value.value.numbers.empty() ? p.value.time
                                                                                     : p.value.value.numbers[0];
            if (ts.active && name == "stopTime" && !(stop > ts.start)) return;
            write(n, p.in.field, p.value.value);
            sensor_field_written(ts, name, p.value);
        } else {
            write(n, p.in.field, p.value.value);
        }
        emit(&n, p.in, p.value);
        break;
    }
    case event_kind::set_fraction: {
        const float f = p.value.value.numbers.empty() ? NAN : p.value.value.numbers[0];
        if (!std::isfinite(f)) {
            warn_node(n, n.type->name + " was sent a fraction that is not a number; ignored");
            return;
        }
        interpolate(n, f);
        break;
    }
    case event_kind::add_children:
    case event_kind::remove_children: change_children(n, p.in.kind, p.value.value.nodes); break;
    case event_kind::set_bind: bind(n, !p.value.value.integers.empty() && p.value.value.integers[0] != 0); break;
    default: break;
    }
}

namespace {

int stack_of(const node& n) {
    switch (n.type->kind) {
    case node_kind::v2_viewpoint: return 0;
    case node_kind::v2_background: return 1;
    case node_kind::v2_navigation_info: return 2;
    default: return 3;  // Fog
    }
}

}  // namespace

// Each kind of bindable node has a stack: the node on top is shown. A node
// bound goes on top (the one it covers hears it is no longer bound); one
// unbound leaves the stack, and if it was on top the next one is bound again.
void event_world::state::bind(node& n, bool bind) {
    std::vector<node*>& stack = stacks[stack_of(n)];
    node* top = stack.empty() ? nullptr : stack.back();
    const auto at = std::find(stack.begin(), stack.end(), &n);
    if (bind) {
        if (top == &n) return;
        if (at != stack.end()) stack.erase(at);
        stack.push_back(&n);
        if (top) emit(top, {event_kind::is_bound, -1, ft::sf_bool}, bool_value(false));
        emit(&n, {event_kind::is_bound, -1, ft::sf_bool}, bool_value(true));
        emit(&n, {event_kind::bind_time, -1, ft::sf_time}, time_value(now));
    } else if (at != stack.end()) {
        stack.erase(at);
        if (top != &n) return;
        emit(&n, {event_kind::is_bound, -1, ft::sf_bool}, bool_value(false));
        if (!stack.empty()) {
            emit(stack.back(), {event_kind::is_bound, -1, ft::sf_bool}, bool_value(true));
            emit(stack.back(), {event_kind::bind_time, -1, ft::sf_time}, time_value(now));
        }
    }
    // Whoever draws the world shows another node: count the change.
    if (changed_set.insert(&n).second) changed.push_back(&n);
    if (originals.emplace(&n, n.values).second) written.push_back(&n);
}

void event_world::state::interpolate(node& n, float fraction) {
    const role r = role_of(n);
    const std::vector<float>& keys = n.numbers("key");
    const std::vector<float>& values = n.numbers("keyValue");
    if (keys.empty()) return;
    std::size_t width = r == role::scalar_interpolator ? 1 : r == role::orientation_interpolator ? 4 : 3;
    if (r == role::coordinate_interpolator || r == role::normal_interpolator) width = values.size() / 3 / keys.size() * 3;
    std::size_t count = width ? std::min(keys.size(), values.size() / width) : 0;
    if (count == 0) {
        warn_node(n, n.type->name + " has no keyValue for its keys; it sends nothing");
        return;
    }
    if (count != keys.size() || values.size() != count * width)
        warn_node(n, n.type->name + " has " + std::to_string(keys.size()) + " keys and " +
                         std::to_string(values.size()) + " numbers in keyValue, which do not match; the first " +
                         std::to_string(count) + " keys are used");
    else if (!std::is_sorted(keys.begin(), keys.end()) ||
             std::any_of(keys.begin(), keys.end(), [](float k) { return !std::isfinite(k); }))
        warn_node(n, n.type->name + " keys go back or are not numbers; values between them jump");
    const key_span at = find_key(std::span(keys.data(), count), fraction);
    const float* a = values.data() + at.index * width;
    const float* b = at.index + 1 < count ? a + width : a;
    payload out;
    out.value.numbers.resize(width);
    float* o = out.value.numbers.data();
    switch (r) {
    case role::colour_interpolator: blend_colour(a, b, at.t, o); break;
    case role::orientation_interpolator: blend_rotation(a, b, at.t, o); break;
    case role::normal_interpolator:
        for (std::size_t i = 0; i < width; i += 3) blend_direction(a + i, b + i, at.t, o + i);
        break;
    default: blend_linear(a, b, at.t, width, o); break;
    }
    emit(&n, {event_kind::value_changed, -1, value_type(r)}, out);
}

void event_world::state::change_children(node& n, event_kind kind, const std::vector<node*>& nodes) {
    const int field = n.type->field_index("children");
    if (field < 0) return;
    field_value list;
    list.nodes = n.nodes("children");
    for (node* c : nodes) {
        if (!c) continue;
        const auto at = std::find(list.nodes.begin(), list.nodes.end(), c);
        if (kind == event_kind::add_children && at == list.nodes.end()) list.nodes.push_back(c);
        if (kind == event_kind::remove_children && at != list.nodes.end()) list.nodes.erase(at);
    }
    write(n, field, list);
    payload p;
    p.value = list;
    emit(&n, {event_kind::field, field, ft::mf_node}, p);
}

event_world::event_world(document& doc, warning_list& warnings) : s_(std::make_unique<state>(warnings)) {
    add(doc);
}

void event_world::add(document& doc) {
    for (const route_statement& r : doc.routes) s_->resolve(r, doc, doc);
    s_->find_sensors(doc);
}

void event_world::add_imported(const document& doc, const std::function<document*(const node&)>& inlined) {
    const auto link = [&](const imported_route& r, const imported_node& end, node*& n, const document*& in) {
        if (!end.inline_node) return true;
        document* file = inlined(*end.inline_node);
        if (!file) return false;  // the Inline's own warning says why
        const auto found = file->exports.find(end.exported);
        if (found == file->exports.end()) {
            s_->warnings->add(r.route.where, "IMPORT of \"" + end.exported + "\", which \"" + file->file +
                                                 "\" does not EXPORT; the ROUTE is ignored");
            return false;
        }
        n = found->second;
        in = file;
        return true;
    };
    for (const imported_route& r : doc.imported_routes) {
        route_statement linked = r.route;
        const document* from_doc = &doc;
        const document* to_doc = &doc;
        if (link(r, r.from, linked.from, from_doc) && link(r, r.to, linked.to, to_doc))
            s_->resolve(linked, *from_doc, *to_doc);
    }
}

event_world::~event_world() = default;

void event_world::rebind(warning_list& warnings) { s_->warnings = &warnings; }

const node* event_world::bound(bindable kind) const {
    const std::vector<node*>& stack = s_->stacks[static_cast<int>(kind)];
    return stack.empty() ? nullptr : stack.back();
}

bool event_world::relinked(const node* n) const { return s_->relinked.count(n) != 0; }

std::vector<const node*> event_world::targets() const {
    std::vector<const node*> out;
    std::unordered_set<const node*> seen;
    for (const auto& r : s_->routes)
        if (seen.insert(r.to).second) out.push_back(r.to);
    return out;
}

std::size_t event_world::route_count() const { return s_->routes.size(); }

bool event_world::lives() const {
    for (const auto& s : s_->sensors)
        if (!s.broken) {
            for (int k = static_cast<int>(event_kind::cycle_time); k <= static_cast<int>(event_kind::is_active); ++k)
                if (s_->from.count({s.n, -1 - k})) return true;
        }
    return false;
}

bool event_world::waiting() const {
    for (const auto& s : s_->sensors) {
        if (s.broken || !s.enabled) continue;
        if (s.active) return true;
        if (s.spent && !s.loop) continue;
        double end = s.loop ? std::numeric_limits<double>::infinity() : s.start + s.interval;
        if (s.stop > s.start) end = std::min(end, s.stop);
        if (now_ < end) return true;
    }
    return false;
}

double event_world::first_runs() const {
    double end = 0;
    for (const auto& s : s_->sensors) {
        if (s.broken || !s.enabled || (s.spent && !s.loop) || !std::isfinite(s.start)) continue;
        double e = std::max(s.start, 0.0) + s.interval;
        if (s.stop > s.start) e = std::min(e, s.stop);
        if (std::isfinite(e)) end = std::max(end, e);
    }
    return end;
}

const std::vector<node*>& event_world::advance(double now) {
    state& s = *s_;
    if (!(now >= now_)) now = now_;  // never back, never NaN
    now_ = now;
    s.now = now;
    s.fired.clear();
    s.changed.clear();
    s.changed_set.clear();
    s.relinked.clear();
    for (auto& sensor : s.sensors) s.sample(sensor, now);
    while (!s.queue.empty()) {
        state::pending p = std::move(s.queue.front());
        s.queue.pop_front();
        s.deliver(p);
    }
    return s.changed;
}

std::vector<node*> event_world::restart() {
    state& s = *s_;
    for (node* n : s.written) n->values = std::move(s.originals[n]);
    std::vector<node*> touched = std::move(s.written);
    s.originals.clear();
    s.written.clear();
    s.queue.clear();
    s.fired.clear();
    for (auto& stack : s.stacks) stack.clear();
    for (auto& sensor : s.sensors) s.reset_sensor(sensor);
    now_ = 0;
    s.now = 0;
    return touched;
}

}  // namespace tessel::vrml
