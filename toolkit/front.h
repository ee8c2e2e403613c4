#pragma once
// Front-layer state of the toolkit: the mode copy, the key and mouse binding
// tables and the defaults that open_window installs in the handler slots.

#include <array>
#include <cstdint>

#include "toolkit/toolkit.h"

namespace tessel::toolkit {

constexpr std::size_t KEY_TABLE_CAPACITY = 200;
constexpr std::size_t MOUSE_TABLE_CAPACITY = 20;

struct key_binding {
    std::int32_t key;
    key_binding_handler handler;
};

struct mouse_binding {
    std::int32_t buttons;  // mask of BUTTON_* values the handler wants
    mouse_binding_handler handler;
};

struct mouse_table {
    std::array<mouse_binding, MOUSE_TABLE_CAPACITY> entries{};
    std::int32_t count = 0;
};

struct front_state {
    std::int32_t mode = 0;  // the front layer's own copy of the last mode set
    std::array<key_binding, KEY_TABLE_CAPACITY> keys{};
    std::int32_t key_count = 0;
    mouse_table mouse_down;
    mouse_table mouse_up;
    mouse_table mouse_move;
    bool draw_to_front = false;  // single buffering asked for, double buffering given
    event_pump pump = nullptr;   // the application's own event source
    exit_hook on_exit = nullptr;
};

extern front_state g_front;

// The defaults open_window puts in the handler slots.
void default_reshape(std::int32_t width, std::int32_t height);
std::int32_t key_dispatcher(std::int32_t key, std::int32_t status);
std::int32_t mouse_down_dispatcher(std::int32_t x, std::int32_t y, std::int32_t status);
std::int32_t mouse_up_dispatcher(std::int32_t x, std::int32_t y, std::int32_t status);
std::int32_t mouse_move_dispatcher(std::int32_t x, std::int32_t y, std::int32_t status);

// Appends a mouse binding; false when the table is full.
bool bind_mouse(mouse_table& table, std::int32_t buttons, mouse_binding_handler handler);

}  // namespace tessel::toolkit
