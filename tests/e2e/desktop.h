#pragma once
// What an end-to-end test needs of the X server it runs on: windows found by
// title, screenshots, keys and close requests, and the viewer process.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_env.h"
#include "tests/support/x_capture.h"

namespace e2e {

struct rect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// A screenshot of the whole screen.
struct image {
    tessel::test::rgb_picture picture;

    rgb at(int x, int y) const {
        const std::uint8_t* p = picture.at(x, y);
        return {p[0], p[1], p[2]};
    }
    // How many pixels inside area satisfy the test.
    int count(const rect& area, const std::function<bool(const rgb&)>& test) const;
    // Whether area looks the same in both pictures.
    bool same_in(const image& other, const rect& area) const;
};

class desktop {
public:
    desktop();
    ~desktop();
    desktop(const desktop&) = delete;
    desktop& operator=(const desktop&) = delete;

    // Viewable top-level windows whose title is exactly title. Windows come
    // and go while the server is asked; one that vanishes is left out.
    std::vector<unsigned long> windows_titled(const std::string& title);
    // Waits until such a window exists; 0 when none appeared in time.
    unsigned long wait_for_window(const std::string& title, std::chrono::seconds limit = std::chrono::seconds(20));
    rect window_rect(unsigned long window);
    bool window_exists(unsigned long window);

    // Gives the keyboard focus to window (there is no window manager);
    // false when the server does not give it (the window is gone).
    bool focus(unsigned long window);
    // Waits until the server's keyboard focus is in window, as a client
    // puts it there when it shows a dialog; false when it did not come.
    bool wait_for_focus(unsigned long window, std::chrono::seconds limit = std::chrono::seconds(20));
    // What the close box of a window manager sends.
    void request_close(unsigned long window);

    // Takes a screenshot; keeps a copy at keep_as (any format ImageMagick
    // writes) when given.
    image screenshot(const std::string& keep_as = {});

private:
    struct impl;
    impl* m_impl;
};

// Runs xdotool with the given arguments (keys go to the focused window).
void xdotool(const std::string& arguments);

// The viewer, started in a fresh working folder of its own. Its settings
// live in config_home when given (runs that share them), else in a private
// folder: never in the user's.
class viewer {
public:
    explicit viewer(const std::vector<std::string>& arguments = {}, const std::string& config_home = {});
    ~viewer();  // kills it if it still runs
    viewer(const viewer&) = delete;
    viewer& operator=(const viewer&) = delete;

    // The exit status once it has ended by itself within limit: the exit
    // code, or 128 + signal for a crash. Nothing when it still runs.
    std::optional<int> wait_exit(std::chrono::seconds limit = std::chrono::seconds(15));
    bool running();
    std::string log() const;  // what it wrote to stdout and stderr

private:
    tessel::test::temp_folder m_folder{"tessel-e2e-run"};
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// Polls until done() or the limit passes; returns done()'s last value.
bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(20));

}  // namespace e2e
