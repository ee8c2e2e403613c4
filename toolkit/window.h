#pragma once
// Window layer of the toolkit: the state of the one GL window, its creation
// over Xlib + GLX, the message codes that X events are translated into, the
// one window procedure that handles them, and the toolkit's own queue of
// posted messages. No X header is needed to use it, so tests can feed the
// window procedure synthetic messages without a display.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/palette.h"
#include "toolkit/pixel_format.h"
#include "toolkit/toolkit.h"

struct _XDisplay;
struct __GLXcontextRec;

namespace tessel::toolkit {

// Message codes. Fixed numbers, so that a message posted, logged or fed to
// the window procedure by a test means the same everywhere.
constexpr std::uint32_t WM_DESTROY = 2;
constexpr std::uint32_t WM_MOVE = 3;
constexpr std::uint32_t WM_SIZE = 5;
constexpr std::uint32_t WM_ACTIVATE = 6;
constexpr std::uint32_t WM_PAINT = 15;
constexpr std::uint32_t WM_CLOSE = 16;
constexpr std::uint32_t WM_QUIT = 18;
constexpr std::uint32_t WM_SYSCOLORCHANGE = 21;
constexpr std::uint32_t WM_KEYDOWN = 256;
constexpr std::uint32_t WM_CHAR = 258;
constexpr std::uint32_t WM_MOUSEMOVE = 512;
constexpr std::uint32_t WM_LBUTTONDOWN = 513;
constexpr std::uint32_t WM_LBUTTONUP = 514;
constexpr std::uint32_t WM_RBUTTONDOWN = 516;
constexpr std::uint32_t WM_RBUTTONUP = 517;
constexpr std::uint32_t WM_MBUTTONDOWN = 519;
constexpr std::uint32_t WM_MBUTTONUP = 520;
// First parameter: held buttons in the low word, the signed turn in the high
// word, WHEEL_DELTA per notch, positive away from the user; second: the
// client-area position, as for the buttons.
constexpr std::uint32_t WM_MOUSEWHEEL = 522;
constexpr std::uint32_t WM_QUERYNEWPALETTE = 783;
constexpr std::uint32_t WM_PALETTECHANGED = 785;
constexpr std::uint32_t WM_USER = 1024;

// Held-button bits of mouse messages' first parameter.
constexpr std::uintptr_t MK_LBUTTON = 0x1;
constexpr std::uintptr_t MK_RBUTTON = 0x2;
constexpr std::uintptr_t MK_MBUTTON = 0x10;

constexpr int WHEEL_DELTA = 120;

// Virtual key codes carried by WM_KEYDOWN (0 for keys without one).
constexpr std::uintptr_t VK_RETURN = 13;
constexpr std::uintptr_t VK_ESCAPE = 27;
constexpr std::uintptr_t VK_SPACE = 32;
constexpr std::uintptr_t VK_PRIOR = 33;  // Page Up
constexpr std::uintptr_t VK_NEXT = 34;   // Page Down
constexpr std::uintptr_t VK_HOME = 36;
constexpr std::uintptr_t VK_LEFT = 37;
constexpr std::uintptr_t VK_UP = 38;
constexpr std::uintptr_t VK_RIGHT = 39;
constexpr std::uintptr_t VK_DOWN = 40;

// Activation states in the low 16 bits of WM_ACTIVATE's first parameter.
constexpr std::uintptr_t WA_INACTIVE = 0;
constexpr std::uintptr_t WA_ACTIVE = 1;

// Two 16-bit values packed into a second parameter (coordinates, sizes).
constexpr std::intptr_t make_lparam(int low, int high) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(high & 0xFFFF) << 16) |
                                      static_cast<std::uint32_t>(low & 0xFFFF));
}
constexpr int low_word(std::intptr_t v) { return static_cast<int>(v & 0xFFFF); }
constexpr int high_word(std::intptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }
// The same words read as signed: pointer positions left of or above the
// window while a button holds the pointer, and wheel turns.
constexpr int signed_low_word(std::intptr_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
constexpr int signed_high_word(std::intptr_t v) { return static_cast<std::int16_t>((v >> 16) & 0xFFFF); }

struct message {
    window_handle window = 0;
    std::uint32_t code = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
    std::int32_t key_status = 0;  // STATUS_* bits as the keyboard stood for this message
};

using key_slot = std::int32_t (*)(std::int32_t key, std::int32_t status);
using mouse_slot = std::int32_t (*)(std::int32_t x, std::int32_t y, std::int32_t status);

// Where the window is and how big its client area is. x, y estimate the
// client area's origin on the screen; width, height are the client size.
struct window_record {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 100;
    std::int32_t height = 100;
    bool use_default_position = true;  // let the window manager place it
};

// Fixed frame metrics: X has no system metrics for a window manager's frame,
// so these stand for a typical decorated frame. The front layer's geometry
// and window creation use the same numbers, so they cancel out exactly.
constexpr std::int32_t FRAME_WIDTH = 4;
constexpr std::int32_t FRAME_HEIGHT = 4;
constexpr std::int32_t BORDER_HEIGHT = 1;
constexpr std::int32_t CAPTION_HEIGHT = 19;

// Outer top-left corner for a client origin, and back.
constexpr std::int32_t outer_left(std::int32_t client_x) { return client_x - FRAME_WIDTH; }
constexpr std::int32_t outer_top(std::int32_t client_y) {
    return client_y - (FRAME_HEIGHT - BORDER_HEIGHT + CAPTION_HEIGHT);
}
constexpr std::int32_t client_left(std::int32_t outer_x) { return outer_x + FRAME_WIDTH; }
constexpr std::int32_t client_top(std::int32_t outer_y) {
    return outer_y + FRAME_HEIGHT - BORDER_HEIGHT + CAPTION_HEIGHT;
}

constexpr std::int32_t STRATEGY_BY_DESCRIPTOR = 3;
constexpr std::int32_t STRATEGY_BY_ENUMERATION = 2;

struct window_state {
    _XDisplay* display = nullptr;      // the toolkit's own connection, kept for the process
    int screen = 0;                    // screen of that connection the window goes on
    window_handle window = 0;          // the GL window
    window_handle device_context = 0;  // what GL draws into: the window itself while held
    __GLXcontextRec* context = nullptr;  // current on the thread that made it
    palette_handle palette = 0;        // only on displays whose format needs one
    unsigned long colormap = 0;        // made for the window's visual; freed at close-down
    window_record record;
    std::int32_t mode = DM_INDEX;      // the mode the next window is made with
    std::int32_t strategy = STRATEGY_BY_DESCRIPTOR;  // how a pixel format is picked
    std::int32_t fixed_format = 0;     // the number the fixed-format strategy validates
    std::int32_t system_colour_count = 25;  // colour elements a palette takeover changes
    int format_number = 0;             // the format set on the window, 0 before it is set
    unsigned long window_visual = 0;   // the visual the window was made with

    // Handler slots; only the window procedure and the event loop call them.
    reshape_handler reshape = nullptr;
    display_handler display_fn = nullptr;
    key_slot key = nullptr;
    mouse_slot mouse_down = nullptr;
    mouse_slot mouse_up = nullptr;
    mouse_slot mouse_move = nullptr;
    idle_handler idle = nullptr;

    bool paint_pending = false;  // one repaint is owed; never more than one
    bool repaint_timed = false;  // a repaint is asked for at repaint_at (post_redisplay_after)
    std::chrono::steady_clock::time_point repaint_at;
    bool minimised = false;      // unmapped by the window manager (iconified)
    bool mapped = false;         // the window has been seen on screen
    std::int32_t key_status = 0; // keyboard state of the message being handled

    unsigned long wm_protocols = 0;       // atoms, interned when the first window is made
    unsigned long wm_delete_window = 0;
    unsigned long net_wm_name = 0;
    unsigned long utf8_string = 0;
    unsigned long net_wm_icon = 0;

    std::vector<unsigned long> icon;  // _NET_WM_ICON cardinals for the window, empty for none

    std::vector<described_format> formats;  // the display's formats, numbered from 1
    bool formats_described = false;
};

extern window_state g_window;

// Opens the toolkit's connection if it is not open yet; false when no display.
bool open_connection();
// Puts the stored icon on a window (or removes it when none is stored).
void apply_window_icon(window_handle window);
// The display's formats, described once per connection.
const std::vector<described_format>& available_formats();

// Creates window, pixel format, palette and GL context; 1 or 0 after an error
// box, having undone what it made. The title is Latin-1 text.
std::int32_t create_gl_window(const char* title);
// Destroys the window; its destruction runs the close-down (WM_DESTROY).
void destroy_gl_window(window_handle window);
// Picks a format number for the mode by the current strategy (0 for none) and
// fills the descriptor that setting it will use.
int select_pixel_format(std::int32_t mode, pixel_format_descriptor* requested);
// Sets the selected format on the device context and has the palette made.
int set_pixel_format(window_handle device_context, int number,
                     const pixel_format_descriptor& requested);
// Number and description of the format set on the device context, or 0
// after an error box.
int describe_current_format(window_handle device_context, pixel_format_descriptor* out);

// Around requests that may fail (X reports errors later, through a
// process-wide handler): grab, make the requests, release. Release syncs and
// says whether an error arrived in between.
void grab_x_errors();
bool release_x_errors();

// Formats a message (at most 255 characters) and shows it with caption "Error".
void show_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Shows a message through the installed message-box function.
void show_message_box(const char* caption, const char* text);

// The window procedure: every message of the GL window ends here.
std::intptr_t window_procedure(window_handle window, std::uint32_t code,
                               std::uintptr_t wparam, std::intptr_t lparam);
// Asks for one repaint unless one is pending already.
void request_redraw(window_handle window);
// Releases palette, GL context and device context and clears every handle
// and handler slot.
void close_down();

// The toolkit's posted-message queue.
void post_message(window_handle window, std::uint32_t code, std::uintptr_t wparam,
                  std::intptr_t lparam);
void post_quit_message(int exit_code);
bool message_posted(window_handle window, std::uint32_t code);
std::size_t posted_count(std::uint32_t code);
void discard_posted(std::uint32_t code, std::size_t keep_first);
void clear_posted_messages();

// Takes the next message without blocking: posted ones first, then X input,
// then an owed repaint. A quit request is taken only when take_quit is set;
// otherwise it stays queued for the event loop. False when nothing waits.
bool next_message(message* out, bool take_quit);
// Hands a message to the window procedure with its keyboard state.
void dispatch_message(const message& m);
// Blocks until the X connection has something to read (or nothing can come),
// or until a timed repaint is due.
void wait_for_x_input();
// Owes the timed repaint once it is due; true when it did.
bool take_due_repaint();

}  // namespace tessel::toolkit
