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

namespace {

// Never throws: it runs in destructors.
void remove_folder(const std::string& folder) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (error) std::fprintf(stderr, "cannot remove %s: %s\n", folder.c_str(), error.message().c_str());
}

}  // namespace

int image::count(const rect& area, const std::function<bool(const rgb&)>& test) const {
    int n = 0;
    for (int y = std::max(0, area.y); y < std::min(height, area.y + area.height); ++y) {
        for (int x = std::max(0, area.x); x < std::min(width, area.x + area.width); ++x) {
            if (test(at(x, y))) ++n;
        }
    }
    return n;
}

image image::crop(const rect& area) const {
    image part;
    part.width = area.width;
    part.height = area.height;
    part.pixels.reserve(static_cast<std::size_t>(area.width) * area.height);
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x) part.pixels.push_back(at(x, y));
    return part;
}

int image::differences(const image& other) const {
    if (width != other.width || height != other.height) return width * height;
    int n = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const rgb& a = pixels[i];
        const rgb& b = other.pixels[i];
        if (a.r != b.r || a.g != b.g || a.b != b.b) ++n;
    }
    return n;
}

namespace {

image read_ppm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    if (magic != "P6" || width <= 0 || height <= 0 || maximum != 255) {
        throw std::runtime_error("unexpected image format in " + path);
    }
    image shot;
    shot.width = width;
    shot.height = height;
    shot.pixels.resize(static_cast<std::size_t>(width) * height);
    in.read(reinterpret_cast<char*>(shot.pixels.data()), static_cast<std::streamsize>(shot.pixels.size() * 3));
    if (!in) throw std::runtime_error("short image " + path);
    return shot;
}

}  // namespace

image load_image(const std::string& path) {
    const std::string ppm = path + ".ppm";
    const std::string command = "convert '" + path + "' -depth 8 ppm:'" + ppm + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    image result = read_ppm(ppm);
    std::remove(ppm.c_str());
    return result;
}

struct desktop::impl {
    Display* display = nullptr;
    int shot = 0;
    std::string folder;
};

desktop::desktop() : m_impl(new impl) {
    m_impl->display = XOpenDisplay(nullptr);
    if (m_impl->display == nullptr) throw std::runtime_error("no X display (run under xvfb-run)");
    char pattern[] = "/tmp/tessel-e2e-shots-XXXXXX";
    m_impl->folder = mkdtemp(pattern);
}

desktop::~desktop() {
    XCloseDisplay(m_impl->display);
    remove_folder(m_impl->folder);
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

int desktop::viewable_windows() {
    Display* d = m_impl->display;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    int viewable = 0;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(d, children[i], &attributes) && attributes.map_state == IsViewable) ++viewable;
    }
    if (children != nullptr) XFree(children);
    return viewable;
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

namespace {

int ignore_errors(Display*, XErrorEvent*) { return 0; }

}  // namespace

rect desktop::window_rect(unsigned long window) {
    Display* d = m_impl->display;
    XWindowAttributes attributes{};
    XGetWindowAttributes(d, window, &attributes);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return rect{x, y, attributes.width, attributes.height};
}

bool desktop::window_exists(unsigned long window) {
    Display* d = m_impl->display;
    auto previous = XSetErrorHandler(&ignore_errors);
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(d, window, &attributes);
    XSync(d, False);
    XSetErrorHandler(previous);
    return ok != 0 && attributes.map_state == IsViewable;
}

void desktop::focus(unsigned long window) {
    Display* d = m_impl->display;
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XSync(d, False);
    // Let the client see its FocusIn before keys arrive.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
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
    const std::string path = m_impl->folder + "/shot" + std::to_string(++m_impl->shot) + ".ppm";
    const std::string command = "import -window root -depth 8 ppm:'" + path + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("import failed: " + command);
    image shot = read_ppm(path);
    if (!keep_as.empty()) {
        const std::string copy = "convert ppm:'" + path + "' '" + keep_as + "'";
        if (std::system(copy.c_str()) != 0) std::perror("convert");
    }
    return shot;
}

void xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string clipboard_text() {
    std::string text;
    FILE* pipe = popen("xclip -o -selection clipboard", "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run xclip");
    char buffer[256];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
    return text;
}

viewer::viewer(const std::vector<std::string>& arguments, const std::string& settings_folder) {
    char pattern[] = "/tmp/tessel-e2e-run-XXXXXX";
    m_folder = mkdtemp(pattern);
    const std::string settings = settings_folder.empty() ? m_folder + "/settings" : settings_folder;
    const std::string log_path = m_folder + "/output.log";
    m_pid = fork();
    if (m_pid == 0) {
        if (chdir(m_folder.c_str()) != 0) _exit(126);
        const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, 1);
        dup2(log, 2);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
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
    remove_folder(m_folder);
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
    std::ifstream in(m_folder + "/output.log");
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
