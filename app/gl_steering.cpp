// Steering by hand in the GL window. The toolkit's own key and mouse
// bindings turn each gesture into calls on a steering target (the panel), so
// the GL window knows nothing of the panel and the panel's values stay the
// one place the view comes from.

#include "app/gl_steering.h"

#include "glwindow/gl_window.h"
#include "toolkit/toolkit.h"

namespace {

// What the GL window steers: the toolkit calls plain functions, so the
// bindings reach their target through this; it outlives no target.
tessel::steering_target* g_steered = nullptr;

enum class drag_kind { none, turn, move };

// The drag under way: which button holds it and where the pointer was last.
struct drag_state {
    drag_kind kind = drag_kind::none;
    std::int32_t button = 0;
    int x = 0;
    int y = 0;
};

drag_state g_drag;

void on_press(mouse_event_record* event) {
    tessel::steering_target* panel = g_steered;
    if (panel == nullptr) return;
    switch (event->status) {
        case BUTTON_WHEEL_UP:
            panel->ZoomBy(1);
            return;
        case BUTTON_WHEEL_DOWN:
            panel->ZoomBy(-1);
            return;
        case BUTTON_LEFT:
        case BUTTON_MIDDLE:
            break;
        default:
            return;
    }
    // A drag begun while the panel cannot follow stays ignored to its end.
    if (g_drag.kind != drag_kind::none || !panel->CanSteer()) return;
    const bool move = event->status == BUTTON_MIDDLE || (current_key_status() & STATUS_SHIFT) != 0;
    g_drag = drag_state{move ? drag_kind::move : drag_kind::turn, event->status, event->x, event->y};
    panel->DragBegin();
}

void on_release(mouse_event_record* event) {
    if (event->status == g_drag.button) g_drag = drag_state{};
}

void on_drag(mouse_event_record* event) {
    tessel::steering_target* panel = g_steered;
    if (panel == nullptr || g_drag.kind == drag_kind::none || event->status != g_drag.button) return;
    const int dx = event->x - g_drag.x;
    const int dy = event->y - g_drag.y;
    g_drag.x = event->x;
    g_drag.y = event->y;
    const tessel::window_size size = tessel::gl_window_size();
    if (g_drag.kind == drag_kind::turn) {
        panel->DragTurn(dx, dy, size.width, size.height);
    } else {
        panel->DragMove(dx, dy, size.width, size.height);
    }
}

template <int xSteps, int ySteps>
void turn_key() {
    if (g_steered) g_steered->TurnBy(xSteps, ySteps);
}

template <int steps>
void zoom_key() {
    if (g_steered) g_steered->ZoomBy(steps);
}

void home_key() {
    if (g_steered) g_steered->GoHome();
}

void play_key() {
    if (g_steered) g_steered->PlayOrPause();
}
template <int Step>
void viewpoint_key() {
    if (g_steered) g_steered->NextViewpoint(Step);
}

}  // namespace

namespace tessel {

void bind_gl_window_input(steering_target& target) {
    // The tables keep their bindings for the process, and there is one GL
    // window in it: bind once.
    const bool bound = g_steered != nullptr;
    g_steered = &target;
    if (bound) return;
    // A key turns by one slider step (3.6 degrees), as a drag over a
    // hundredth of the window does; right and down turn as dragging right
    // and down would.
    bind_key(KEY_LEFT, &turn_key<0, -1>);
    bind_key(KEY_RIGHT, &turn_key<0, 1>);
    bind_key(KEY_UP, &turn_key<-1, 0>);
    bind_key(KEY_DOWN, &turn_key<1, 0>);
    bind_key('+', &zoom_key<1>);
    bind_key('=', &zoom_key<1>);
    bind_key('-', &zoom_key<-1>);
    bind_key(KEY_HOME, &home_key);
    bind_key(KEY_SPACE, &play_key);
    bind_key(KEY_PAGE_DOWN, &viewpoint_key<1>);
    bind_key(KEY_PAGE_UP, &viewpoint_key<-1>);
    for (std::int32_t button : {BUTTON_LEFT, BUTTON_MIDDLE, BUTTON_WHEEL_UP, BUTTON_WHEEL_DOWN})
        bind_mouse_event(EVENT_MOUSE_DOWN, button, &on_press);
    for (std::int32_t button : {BUTTON_LEFT, BUTTON_MIDDLE}) {
        bind_mouse_event(EVENT_MOUSE_UP, button, &on_release);
        bind_mouse_event(EVENT_MOUSE_MOVE, button, &on_drag);
    }
}

void release_gl_window_input(const steering_target& target) {
    if (g_steered == &target) g_steered = nullptr;
}

}  // namespace tessel
