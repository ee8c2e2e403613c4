#include "snapshot/snapshot.h"

#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <png.h>

#include "input/load_result.h"
#include "input/budget.h"
#include "input/text.h"
#include "render/draw_budget.h"
#include "render/prepared_scene.h"
#include "render/render.h"

namespace tessel {
namespace {

bool parse_float(std::string_view text, float& out) {
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

// "a,b,c" into three floats.
bool parse_triple(const std::string& text, float (&out)[3]) {
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',', start);
        if ((i < 2) != (comma != std::string::npos)) return false;
        const std::size_t stop = i < 2 ? comma : text.size();
        if (!parse_float(std::string_view(text).substr(start, stop - start), out[i])) return false;
        start = stop + 1;
    }
    return true;
}

bool parse_size(const std::string& text, int& w, int& h) {
    const std::size_t x = text.find('x');
    if (x == std::string::npos) return false;
    const char* b = text.data();
    const auto r1 = std::from_chars(b, b + x, w);
    const auto r2 = std::from_chars(b + x + 1, b + text.size(), h);
    return r1.ec == std::errc() && r1.ptr == b + x && r2.ec == std::errc() && r2.ptr == b + text.size() &&
           w >= 1 && h >= 1 && w <= 16384 && h <= 16384;
}

// An OpenGL context on Mesa's surfaceless platform drawing into a
// framebuffer object laid out like the GL window's visual (8-bit colour,
// 24-bit depth, 8-bit stencil). Window framebuffers are stored top row
// first, which changes how the rasteriser rounds; the flip-y parameter makes
// the object store its rows the same way, so the pixels come out identical.
class offscreen_context {
public:
    ~offscreen_context() {
        if (display_ == EGL_NO_DISPLAY) return;
        if (framebuffer_) {
            glDeleteFramebuffers(1, &framebuffer_);
            glDeleteRenderbuffers(2, renderbuffers_);
        }
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        eglTerminate(display_);
    }

    bool make(int width, int height, std::string& error) {
        const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (!extensions || !std::strstr(extensions, "EGL_MESA_platform_surfaceless")) {
            error = "this system's EGL has no surfaceless platform";
            return false;
        }
        const auto get_display =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!get_display) {
            error = "eglGetPlatformDisplayEXT is missing";
            return false;
        }
        display_ = get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, &major, &minor)) {
            display_ = EGL_NO_DISPLAY;
            error = "cannot initialise EGL";
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            error = "EGL offers no desktop OpenGL";
            return false;
        }
        const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config;
        EGLint count = 0;
        if (!eglChooseConfig(display_, attributes, &config, 1, &count) || count < 1) {
            error = "no OpenGL configuration";
            return false;
        }
        context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
        if (context_ == EGL_NO_CONTEXT || !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
            error = "cannot create an OpenGL context";
            return false;
        }
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glGenRenderbuffers(2, renderbuffers_);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
        const char* gl_extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        if (gl_extensions && std::strstr(gl_extensions, "GL_MESA_framebuffer_flip_y"))
            glFramebufferParameteri(GL_FRAMEBUFFER, GL_FRAMEBUFFER_FLIP_Y_MESA, GL_TRUE);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            error = "cannot make an off-screen image of " + std::to_string(width) + "x" + std::to_string(height);
            return false;
        }
        return true;
    }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    GLuint framebuffer_ = 0;
    GLuint renderbuffers_[2] = {0, 0};
};

}  // namespace

bool wants_snapshot(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--snapshot") == 0) return true;
    return false;
}

bool parse_snapshot_options(const std::vector<std::string>& args, snapshot_options& out, std::string& error) {
    bool operands_only = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (operands_only || a.empty() || a[0] != '-' || a == "-") {
            if (!out.input.empty()) {
                error = "more than one scene file given";
                return false;
            }
            out.input = a;
        } else if (a == "--") {
            operands_only = true;
        } else if (a == "--max-size") {
            std::int64_t mb = 0;
            const std::string v = has_value ? args[++i] : std::string();
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), mb);
            if (ec != std::errc() || p != v.data() + v.size() || mb < 1 || mb > (std::int64_t{1} << 30)) {
                error = has_value ? "bad value for --max-size: \"" + v + "\" (expected megabytes, 1 or more)"
                                  : "--max-size needs a value";
                return false;
            }
            out.max_bytes = mb << 20;
        } else if (a == "--time") {
            const std::string v = has_value ? args[++i] : std::string();
            if (!parse_world_time(v, out.time)) {
                error = has_value ? "bad value for --time: \"" + v + "\" (expected seconds from 0 to 86400)"
                                  : "--time needs a value";
                return false;
            }
        } else if (a == "--viewpoint") {
            if (!has_value || args[i + 1].empty()) {
                error = "--viewpoint needs a value";
                return false;
            }
            out.viewpoint = args[++i];
        } else if (a == "--snapshot" || a == "--size" || a == "--rotate" || a == "--translate" || a == "--scale") {
            if (!has_value) {
                error = a + " needs a value";
                return false;
            }
            const std::string& v = args[++i];
            bool ok = true;
            if (a == "--snapshot") out.output = v;
            else if (a == "--size") ok = parse_size(v, out.width, out.height);
            else if (a == "--rotate") ok = parse_triple(v, out.view.rotation);
            else if (a == "--translate") ok = parse_triple(v, out.view.translation);
            else ok = parse_triple(v, out.view.scale);
            if (!ok) {
                error = "bad value for " + a + ": \"" + v + "\"" +
                        (a == "--size" ? " (expected WxH, 1 to 16384)" : " (expected three numbers like 1,2,3)");
                return false;
            }
        } else if (a == "--timings") {
            out.timings = true;
        } else if (a == "--classic") {
            out.reading = reading_mode::classic;
        } else if (a == "--fit") {
            out.settings.use_camera = false;
        } else if (a == "--no-headlight") {
            out.settings.headlight = false;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (out.output.empty()) error = "--snapshot needs an output file";
    else if (out.input.empty()) error = "no scene file given";
    return error.empty();
}

bool render_offscreen(int width, int height, const scene_store& scene, const view_transform& view,
                      const render_settings& settings, std::vector<std::uint8_t>& rgb, std::string& error,
                      draw_report* report) {
    offscreen_context context;
    if (!context.make(width, height, error)) return false;
    // The state of a GL window after its first frame: the frame function
    // sets the grey clear colour after clearing, so every later frame, the
    // picture the window keeps showing, starts from it.
    glClearIndex(0.0f);
    glLoadIdentity();
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    renderer draw;
    draw.reshape(width, height);
    draw.frame(scene, view, settings);
    glFinish();
    if (report) *report = draw.report();
    std::vector<std::uint8_t> bottom_up(static_cast<std::size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    rgb.resize(bottom_up.size());
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(rgb.data() + row * y, bottom_up.data() + row * (height - 1 - y), row);
    return true;
}

namespace {

// Writes the PNG to an open file; false on any error.
bool write_png_to(std::FILE* f, int width, int height, const std::vector<std::uint8_t>& rgb) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    else if (ok) {
        png_init_io(png, f);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, rgb.data() + static_cast<std::size_t>(y) * width * 3);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return ok;
}

// A FIFO, a terminal or /dev/stdout given as the output is written as it
// is. Not blocking: a FIFO that nobody reads would hold the snapshot
// forever (it fails with ENXIO instead).
bool write_in_place(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
                    std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    std::FILE* f = fd >= 0 && fcntl(fd, F_SETFL, 0) == 0 ? fdopen(fd, "wb") : nullptr;
    if (!f) {
        error = "cannot create \"" + path + "\": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    bool ok = write_png_to(f, width, height, rgb);
    if (std::fclose(f) != 0) ok = false;
    if (!ok) error = "cannot write \"" + path + "\"";
    return ok;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
               std::string& error) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return write_in_place(path, width, height, rgb, error);
    // The picture is written to a file of its own beside the target, which
    // takes the target's name only once it is whole: a snapshot stopped part
    // way (a signal, a full disk) never leaves a cut picture under that
    // name, and a thumbnail a file manager shows is always complete. A link
    // stays a link; the file it names is replaced.
    std::string target = path;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    const std::string folder = folder_of(target);
    // Made without a name where the file system can, so that even SIGKILL
    // leaves nothing behind; named (and removed on failure) where it cannot.
    int fd = ::open(folder.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
    std::string temporary;
    if (fd < 0) {
        temporary = target + ".XXXXXX";
        const mode_t mask = umask(0);
        umask(mask);
        fd = mkostemp(temporary.data(), O_CLOEXEC);
        if (fd >= 0) fchmod(fd, 0666 & ~mask);
    }
    std::FILE* f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!f) {
        error = "cannot create \"" + path + "\": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        if (!temporary.empty() && fd >= 0) ::unlink(temporary.c_str());
        return false;
    }
    bool ok = write_png_to(f, width, height, rgb) && std::fflush(f) == 0;
    int saved = 0;
    if (ok && temporary.empty()) {
        // Named now, under a name nobody else uses, then moved over the target.
        for (int attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
            std::string name = target + ".XXXXXX";
            const int probe = mkostemp(name.data(), O_CLOEXEC);
            if (probe < 0) break;
            ::close(probe);
            ::unlink(name.c_str());
            const std::string self = "/proc/self/fd/" + std::to_string(fileno(f));
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) temporary = name;
            else if (errno != EEXIST) break;
        }
        ok = !temporary.empty();
        saved = errno;
    }
    if (std::fclose(f) != 0) ok = false;
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        saved = errno;
        ok = false;
    }
    if (!ok) {
        if (!temporary.empty()) ::unlink(temporary.c_str());
        error = "cannot write \"" + path + "\"" + (saved ? std::string(": ") + std::strerror(saved) : std::string());
    }
    return ok;
}

namespace {

int snapshot_command(const std::vector<std::string>& args, const char* program) {
    snapshot_options options;
    std::string error;
    if (!parse_snapshot_options(args, options, error)) {
        std::fprintf(stderr, "%s: %s\nusage: %s %s\n", program, error.c_str(), program, snapshot_usage);
        return 1;
    }
    reader::set_load_budget(options.max_bytes);
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    scene_store scene;
    std::unique_ptr<scene_world> world;
    const load_result loaded = open_scene_world(options.input, scene, options.reading, world);
    if (!loaded.ok) {
        std::fprintf(stderr, "tessel: %s\n", loaded.error.c_str());
        return 1;
    }
    print_warnings(stderr, loaded);
    if (world) {
        world->play_to(options.time, scene);
        for (const std::string& w : world->warnings()) std::fprintf(stderr, "%s\n", w.c_str());
    }
    if (!options.viewpoint.empty() && !show_viewpoint(scene, find_viewpoint(scene, options.viewpoint))) {
        std::fprintf(stderr, "tessel: the file has no viewpoint \"%s\" (it has %zu)\n",
                     reader::printable(options.viewpoint).c_str(), scene.viewpoints.size());
        return 1;
    }
    const auto t1 = clock::now();
    std::vector<std::uint8_t> rgb;
    draw_report drawn;
    if (!render_offscreen(options.width, options.height, scene, options.view, options.settings, rgb, error, &drawn)) {
        std::fprintf(stderr, "tessel: cannot render off screen: %s\n", error.c_str());
        return 1;
    }
    if (drawn.out_of_memory) return 1;  // the renderer has said so
    if (const std::string part = describe(drawn, draw_limits{}); !part.empty())
        std::fprintf(stderr, "tessel: %s\n", part.c_str());
    const auto t2 = clock::now();
    if (!write_png(options.output, options.width, options.height, rgb, error)) {
        std::fprintf(stderr, "tessel: %s\n", error.c_str());
        return 1;
    }
    if (options.timings) {
        const auto s = [](auto d) { return std::chrono::duration<double>(d).count(); };
        std::fprintf(stderr, "load %.3f s, render %.3f s, write %.3f s\n", s(t1 - t0), s(t2 - t1),
                     s(clock::now() - t2));
    }
    return 0;
}

}  // namespace

int run_snapshot(const std::vector<std::string>& args, const char* program) {
    try {
        return snapshot_command(args, program);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tessel: not enough memory for the snapshot\n");
        return 1;
    }
}

}  // namespace tessel
