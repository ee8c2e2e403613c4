#pragma once
// Headless snapshots: one frame of a scene, drawn by the viewer's own
// renderer into an off-screen OpenGL context (no X server needed), written
// as a PNG file.

#include <cstdint>
#include <string>
#include <vector>

#include "render/draw_budget.h"
#include "scene/scene.h"
#include "open/open.h"

namespace tessel {

struct snapshot_options {
    std::string output;  // PNG path
    std::string input;   // scene file
    int width = 400;
    int height = 400;
    view_transform view;  // initial values unless given
    render_settings settings;  // --no-headlight, --fit
    bool timings = false;  // --timings: print each stage's seconds to stderr
    std::int64_t max_bytes = 0;  // --max-size: most bytes the scene text may take (0: the machine's limit)
    reading_mode reading = reading_mode::standard;  // --classic: the original word scan
    double time = 0;  // --time: seconds after the load at which a moving world is shown
    std::string viewpoint;  // --viewpoint: the file's viewpoint shown, by number from 1, description or DEF name
};

// The snapshot mode's arguments, after the program name, for usage texts.
inline constexpr const char* snapshot_usage =
    "--snapshot OUT.png [--size WxH] [--rotate RX,RY,RZ] [--translate X,Y,Z] [--scale X,Y,Z] "
    "[--fit] [--no-headlight] [--time SECONDS] [--viewpoint NAME|N] [--max-size MB] [--timings] [--classic] [--] FILE";

// Parses snapshot_usage's arguments (args excludes the program name); "--"
// ends the options. Returns false with a message on a bad option.
bool parse_snapshot_options(const std::vector<std::string>& args, snapshot_options& out, std::string& error);

// Renders scene under view and settings the way the GL window shows them,
// with a renderer of its own, into an off-screen context of the given size,
// and returns the pixels as rows of RGB bytes from the top, and what was
// drawn. False with a message when no context can be made.
bool render_offscreen(int width, int height, const scene_store& scene, const view_transform& view,
                      const render_settings& settings, std::vector<std::uint8_t>& rgb, std::string& error,
                      draw_report* report = nullptr);

bool write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
               std::string& error);

// The whole command: load, render, write. Returns the process exit code
// (0, or 1 after printing a message to stderr that names program).
int run_snapshot(const std::vector<std::string>& args, const char* program = "tessel");

// True when the command line asks for a snapshot (before any "--").
bool wants_snapshot(int argc, char** argv);

}  // namespace tessel
