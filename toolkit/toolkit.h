#pragma once
// Front layer of the small OpenGL window toolkit: everything the rest of the
// program sees of it. One GL window per process, one thread.

#include <cstddef>
#include <cstdint>

// Display mode bits (set_display_mode).
constexpr std::int32_t DM_INDEX = 0x1;
constexpr std::int32_t DM_DOUBLE = 0x2;
constexpr std::int32_t DM_ACCUM = 0x8;
constexpr std::int32_t DM_ALPHA = 0x10;
constexpr std::int32_t DM_DEPTH24 = 0x20;
constexpr std::int32_t DM_STENCIL = 0x40;
constexpr std::int32_t DM_DEPTH16 = 0x100;
constexpr std::int32_t DM_GRAB_STATIC_COLOURS = 0x200;

// Status bits given with key codes.
constexpr std::int32_t STATUS_SHIFT = 1;
constexpr std::int32_t STATUS_CONTROL = 2;

// Button codes and mouse event types.
constexpr std::int32_t BUTTON_LEFT = 1;
constexpr std::int32_t BUTTON_RIGHT = 2;
constexpr std::int32_t BUTTON_MIDDLE = 4;
// One notch of the wheel, reported through the mouse-down table only (X
// gives the wheel as buttons 4 and 5 that are pressed and released at once).
constexpr std::int32_t BUTTON_WHEEL_UP = 8;
constexpr std::int32_t BUTTON_WHEEL_DOWN = 16;
constexpr std::int32_t EVENT_MOUSE_DOWN = 16;
constexpr std::int32_t EVENT_MOUSE_UP = 32;
constexpr std::int32_t EVENT_MOUSE_MOVE = 64;

// Key codes that reach the key handler besides the characters '0'-'9',
// 'A'-'Z', 'a'-'z', '+', '-' and '='.
constexpr std::int32_t KEY_RETURN = 13;
constexpr std::int32_t KEY_ESCAPE = 27;
constexpr std::int32_t KEY_SPACE = 32;
constexpr std::int32_t KEY_PAGE_UP = 33;
constexpr std::int32_t KEY_PAGE_DOWN = 34;
constexpr std::int32_t KEY_HOME = 36;
constexpr std::int32_t KEY_LEFT = 37;
constexpr std::int32_t KEY_UP = 38;
constexpr std::int32_t KEY_RIGHT = 39;
constexpr std::int32_t KEY_DOWN = 40;

// What a mouse binding's handler receives.
struct mouse_event_record {
    std::int32_t event;   // EVENT_MOUSE_DOWN, EVENT_MOUSE_UP or EVENT_MOUSE_MOVE
    std::int32_t x;       // client-area column; negative left of the window while a button is held
    std::int32_t y;       // client-area row, from the top; negative above the window likewise
    std::int32_t unused;  // never set by mouse events
    std::int32_t status;  // the one button this call is about
};

using reshape_handler = void (*)(std::int32_t width, std::int32_t height);
using display_handler = void (*)();
using idle_handler = void (*)();
using key_binding_handler = void (*)();
using mouse_binding_handler = void (*)(mouse_event_record* event);

void set_display_mode(std::int32_t mode);
void set_window_geometry(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
// 1 when a window with a current GL context exists afterwards, else 0.
std::int32_t open_window(const char* title);
void set_reshape_handler(reshape_handler handler);
void set_idle_handler(idle_handler handler);  // nullptr: no idle processing
// Runs until the GL window is closed (the quit request), then returns.
void run_event_loop(display_handler display);
void bind_key(std::int32_t key, key_binding_handler handler);
// Appends a mouse binding to the table of event (EVENT_MOUSE_DOWN, _UP or
// _MOVE): handler runs for each button of buttons (one BUTTON_* value) that
// the event concerns. False for an unknown event or a full table.
bool bind_mouse_event(std::int32_t event, std::int32_t buttons, mouse_binding_handler handler);
// The STATUS_* bits of the keyboard as it stood for the message being
// handled, so that a mouse handler can tell a Shift drag from a plain one.
std::int32_t current_key_status();
// Shows what was drawn: swaps the buffers (or flushes front-buffer drawing).
void present_frame();
// Asks for one new frame of the GL window, drawn by the display handler once
// no other message waits; several requests before then make one frame.
// Nothing happens without a window. Expose and resize ask by themselves.
void post_redisplay();
// Asks for one new frame of the GL window once delay_ms milliseconds have
// passed, as post_redisplay would then: the event loop sleeps until then at
// most, without waking before. One such request is kept; a later one
// replaces it. Nothing happens without a window, and closing it forgets
// the request.
void post_redisplay_after(std::int32_t delay_ms);
// Milliseconds until that frame is due: 0 when it is due now, -1 when none
// is asked for. An application pump that blocks (set_event_pump) wakes by
// then.
std::int32_t redisplay_due_in();
// Destroys the GL window (if any) and ends the process with exit code 0.
[[noreturn]] void close_and_exit();

// --- What an application needs to live beside the toolkit on one thread. ---

// A second event source served by run_event_loop (the application's GUI
// toolkit). Called with may_block false it handles what is pending without
// blocking and returns whether anything ran; called with may_block true (only
// when no idle handler is set) it may block until something arrives, and the
// application must then wake up for activity on toolkit_connection_fd() too.
using event_pump = bool (*)(bool may_block);
void set_event_pump(event_pump pump);  // nullptr removes it

// The file descriptor of the toolkit's own X connection (-1 when none), so
// that the application can watch it from its own modal loops.
int toolkit_connection_fd();
// Dispatches every GL-window event that is pending (including events Xlib
// has already read into its queue) and returns without blocking. Returns
// whether anything was dispatched.
bool dispatch_pending_events();

// Message boxes of the toolkit ("Error", "Warning"). The default writes
// "caption: text" to stderr; an application installs its own to show a
// modal box. Passing nullptr restores the default.
using message_box_function = void (*)(const char* caption, const char* text);
void set_message_box_function(message_box_function fn);

// The GL window's icon: one or more images, each given as its width, its
// height, then width x height 0xAARRGGBB pixels row by row from the top.
// Kept for windows opened later and applied at once to an open one; the data
// is copied. nullptr or length 0 removes it.
void set_window_icon(const std::uint32_t* images, std::size_t length);

// Called by close_and_exit just before the process ends (after the GL
// window is gone), so that an application can flush and tidy up; it must not
// return into the toolkit's loop. nullptr for none.
using exit_hook = void (*)();
void set_exit_hook(exit_hook hook);
