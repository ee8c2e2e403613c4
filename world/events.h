#pragma once
// The live world: a parsed VRML97 document whose nodes keep changing after
// the load. ROUTEs carry events from one node's eventOut to another's
// eventIn; TimeSensors turn the world's clock into events; interpolators
// turn fractions into values; exposedFields take what arrives and pass it
// on. Every event of one tick carries that tick's time, and an eventOut
// sends at most one event per time, so a loop of routes ends.
//
// The clock reads 0 when the world is loaded. Changes are written into the
// nodes' own fields, where the traversal reads them; advance() says which
// nodes changed, so that whoever draws the world rebuilds what they touch.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/node.h"
#include "input/warnings.h"

namespace tessel::vrml {

// What an event end of a node is, once its name is resolved against the
// node's type: one of its fields (an exposedField, or a field its set_
// eventIn writes), or an event of its own.
enum class event_kind : std::uint8_t {
    field,
    // TimeSensor
    cycle_time,
    fraction_changed,
    time,
    is_active,
    // interpolators
    set_fraction,
    value_changed,
    // grouping nodes
    add_children,
    remove_children,
    // bindable nodes
    set_bind,
    is_bound,
    bind_time,
    // events of nodes that do not run yet (pointer sensors, Scripts): routed
    // quietly, never sent
    inert,
};

struct event_end {
    event_kind kind = event_kind::inert;
    std::int32_t field = -1;  // kind field: the index in the node's type
    field_type type = field_type::sf_float;
};

// What the world's type names mean to events (null: the name is none of
// them); exposed for tests.
bool resolve_event_in(const node& n, const std::string& name, event_end& end);
bool resolve_event_out(const node& n, const std::string& name, event_end& end);

class event_world {
public:
    // Resolves doc's ROUTEs (a route to nowhere, or between events of
    // different types, is a warning and left out) and finds its
    // TimeSensors. doc must outlive the world; its nodes are written to.
    event_world(document& doc, warning_list& warnings);
    ~event_world();

    // Another document whose nodes run in the same world (an Inlined file,
    // whose ROUTEs join its own nodes); warnings go to the current list.
    void add(document& doc);

    // doc's ROUTEs to and from nodes it IMPORTs (an X3D world's), once its
    // Inlines' files are read and added: `inlined` gives the file an Inline
    // read, null when it read none.
    void add_imported(const document& doc, const std::function<document*(const node& inline_node)>& inlined);

    // Whether anything in the world can ever change: a route, or a
    // TimeSensor that can run.
    bool lives() const;

    // Runs the world to `now` (seconds since the load, never less than the
    // last call's): every TimeSensor is sampled once at `now`, and every
    // event that causes is delivered. Returns the nodes whose fields
    // changed, each once.
    const std::vector<node*>& advance(double now);

    // Of the nodes the last advance() changed, those whose node-valued
    // fields (children, geometry...) changed: what they hold is another
    // set of nodes, not the same nodes changed.
    bool relinked(const node* n) const;
    // The bindable node events bound last of a kind (Viewpoint, Background,
    // NavigationInfo, Fog), or null while none was: then the world's first
    // of that kind is the one shown.
    enum class bindable : std::uint8_t { viewpoint, background, navigation, fog };
    const node* bound(bindable kind) const;

    // Every node some route sends events to.
    std::vector<const node*> targets() const;

    // Whether a later advance() can change anything without an event from
    // outside: a TimeSensor is running or waits for its startTime.
    bool waiting() const;

    // How long the world's first runs last: the latest end of a sensor's
    // first cycle (a looping one's included), from the load; 0 when none runs.
    double first_runs() const;

    // Back to the load: every field an event wrote gets its file's value,
    // the clock reads 0 again. Returns the nodes written since.
    std::vector<node*> restart();

    double now() const { return now_; }
    // Where warnings found while the world runs go from now on (those of
    // the load go to the list it was made with).
    void rebind(warning_list& warnings);
    std::size_t route_count() const;

private:
    struct state;
    std::unique_ptr<state> s_;
    double now_ = 0;
};

}  // namespace tessel::vrml
