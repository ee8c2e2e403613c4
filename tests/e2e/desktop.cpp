#include "desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

int image::count(const rect& area, const std::function<bool(const rgb&)>& test) const {
    int n = 0;
    for (int y = std::max(0, area.y); y < std::min(picture.height, area.y + area.height); ++y) {
        for (int x = std::max(0, area.x); x < std::min(picture.width, area.x + area.width); ++x) {
            if (test(at(x, y))) ++n;
        }
    }
    return n;
}

bool image::same_in(const image& other, const rect& area) const {
    const tessel::test::rgb_picture& a = picture;
    const tessel::test::rgb_picture& b = other.picture;
    if (a.width != b.width || a.height != b.height) return false;
    for (int y = std::max(0, area.y); y < std::min(a.height, area.y + area.height); ++y) {
        for (int x = std::max(0, area.x); x < std::min(a.width, area.x + area.width); ++x) {
            if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) return false;
        }
    }
    return true;
}

namespace {

// The viewer's windows come and go while the test asks about them, so any
// request may meet a window that is no longer there. Xlib's default handler
// would end the test process for that; the answer "no such window" is all a
// test needs, and the request's own return value already says it.
int tolerate_vanished_windows(Display* display, XErrorEvent* event) {
    if (event->error_code == BadWindow || event->error_code == BadMatch || event->error_code == BadDrawable)
        return 0;
    char text[256];
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "X error: %s (request %d)\n", text, event->request_code);
    return 0;
}

}  // namespace

struct desktop::impl {
    Display* display = nullptr;
    tessel::test::temp_folder folder{"tessel-e2e-shots"};
};

desktop::desktop() : m_impl(new impl) {
    m_impl->display = XOpenDisplay(nullptr);
    if (m_impl->display == nullptr) {
        delete m_impl;
        throw std::runtime_error("no X display (run under tests/with-display.sh)");
    }
    XSetErrorHandler(tolerate_vanished_windows);
}

desktop::~desktop() {
    XCloseDisplay(m_impl->display);
    XSetErrorHandler(nullptr);
    delete m_impl;
}

std::vector<unsigned long> desktop::windows_titled(const std::string& title) {
    Display* d = m_impl->display;
    std::vector<unsigned long> found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return found;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            if (title == name) found.push_back(children[i]);
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

unsigned long desktop::wait_for_window(const std::string& title, std::chrono::seconds limit) {
    unsigned long window = 0;
    eventually(
        [&] {
            const auto all = windows_titled(title);
            if (!all.empty()) window = all.front();
            return window != 0;
        },
        limit);
    return window;
}

rect desktop::window_rect(unsigned long window) {
    Display* d = m_impl->display;
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    Window child = 0;
    if (!XGetWindowAttributes(d, window, &attributes) ||
        !XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child)) {
        return rect{};
    }
    return rect{x, y, attributes.width, attributes.height};
}

bool desktop::window_exists(unsigned long window) {
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(m_impl->display, window, &attributes);
    return ok != 0 && attributes.map_state == IsViewable;
}

namespace {

// Whether the server's keyboard focus is window or one of its descendants.
bool focus_is_in(Display* d, Window window) {
    Window focused = 0;
    int revert = 0;
    XGetInputFocus(d, &focused, &revert);
    while (focused != 0 && focused != PointerRoot) {
        if (focused == window) return true;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, focused, &root, &parent, &children, &count)) return false;
        if (children != nullptr) XFree(children);
        if (parent == root) return false;
        focused = parent;
    }
    return false;
}

}  // namespace

bool desktop::focus(unsigned long window) {
    Display* d = m_impl->display;
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    // Once the server has done the request, the client's FocusIn is queued
    // ahead of any key sent afterwards: X delivers a client's events in order.
    XSync(d, False);
    return focus_is_in(d, window);
}

bool desktop::wait_for_focus(unsigned long window, std::chrono::seconds limit) {
    return eventually([&] { return focus_is_in(m_impl->display, window); }, limit);
}

void desktop::request_close(unsigned long window) {
    Display* d = m_impl->display;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XSync(d, False);
}

image desktop::screenshot(const std::string& keep_as) {
    Display* d = m_impl->display;
    image shot{tessel::test::capture_window(d, DefaultRootWindow(d))};
    if (shot.picture.width == 0) throw std::runtime_error("cannot read the screen");
    if (!keep_as.empty()) {
        const std::string path = m_impl->folder.path() + "/shot.ppm";
        const std::string copy = "convert ppm:'" + path + "' '" + keep_as + "'";
        if (!tessel::test::write_ppm(shot.picture, path) || std::system(copy.c_str()) != 0)
            std::fprintf(stderr, "could not keep the screenshot as %s\n", keep_as.c_str());
    }
    return shot;
}

void xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

viewer::viewer(const std::vector<std::string>& arguments, const std::string& config_home) {
    const std::string log_path = m_folder.path() + "/output.log";
    const std::string config = config_home.empty() ? m_folder.path() + "/config" : config_home;
    m_pid = fork();
    if (m_pid == 0) {
        if (chdir(m_folder.path().c_str()) != 0) _exit(126);
        const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, 1);
        dup2(log, 2);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(TESSEL_EXE));
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(TESSEL_EXE, argv.data());
        _exit(127);
    }
}

viewer::~viewer() {
    if (running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool viewer::running() {
    if (m_status) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> viewer::wait_exit(std::chrono::seconds limit) {
    eventually([this] { return !running(); }, limit);
    return m_status;
}

std::string viewer::log() const {
    std::ifstream in(m_folder.path() + "/output.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool eventually(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

}  // namespace e2e
