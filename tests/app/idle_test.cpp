// The viewer draws only when what it shows changes. The real panel runs with
// its GL window on this X server, and its own 100 ms tick is the clock: each
// check runs from the panel's timer event, so it waits on ticks and frames,
// never on a fixed time.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

#include "app/control_panel.h"
#include "glwindow/gl_window.h"
#include "scene/scene.h"
#include "test_support.h"
#include "toolkit/window.h"

// After the test framework and Qt: Xlib's macros would break their headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using tessel::toolkit::g_window;

// What the GL window shows, read on the toolkit's own connection, which
// orders the read after the frame's swap.
std::vector<unsigned long> window_pixels() {
    std::vector<unsigned long> pixels;
    XWindowAttributes attributes{};
    if (!g_window.window || !XGetWindowAttributes(g_window.display, g_window.window, &attributes)) return pixels;
    XImage* image = XGetImage(g_window.display, g_window.window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
}

// Steps through the phases below, one look per panel tick.
class idle_probe : public QObject {
public:
    explicit idle_probe(CControlPanel& panel) : m_panel(panel) { panel.installEventFilter(this); }

    std::string failure;  // why the run stopped early, empty when it ran through
    bool finished = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer) step();
        return false;
    }

private:
    enum class phase { settling, still, after_move, moved, after_expose, exposed, closing };

    void next(phase p) {
        m_phase = p;
        m_since = 0;
    }

    // Ends the run: the toolkit's loop returns once its window is gone, and
    // the panel's own loop then ends on the next tick.
    void stop(const std::string& why = {}) {
        if (failure.empty()) failure = why;
        if (g_window.window) tessel::toolkit::destroy_gl_window(g_window.window);
        next(phase::closing);
    }

    // A wait on an observable state gives up after 20 s of ticks.
    bool waited_too_long(const char* what) {
        if (m_since < 200) return false;
        stop(std::string("gave up waiting for ") + what);
        return true;
    }

    void step() {
        ++m_since;
        const std::uint64_t frames = tessel::frames_shown();
        switch (m_phase) {
            case phase::settling:
                // The file given at start is loaded, the window's first
                // (black) frame and the one that follows it are shown, and no
                // frame is owed: the scene is on screen.
                if (m_panel.ToolkitLoopRunning() && m_panel.Shown().scene.generation > 0 && frames >= 2 &&
                    !g_window.paint_pending) {
                    m_picture = window_pixels();
                    if (m_picture.empty()) return stop("cannot read the GL window");
                    EXPECT_EQ(m_picture.front(), 0x808080u) << "the kept picture has the renderer's grey";
                    m_frames = frames;
                    next(phase::still);
                } else {
                    waited_too_long("the first frames");
                }
                return;
            case phase::still:
                if (m_since < 10) return;
                EXPECT_EQ(frames, m_frames) << "frames drawn in ten ticks of a still scene";
                m_panel.m_sliderRotY->SetPos(m_panel.m_sliderRotY->GetPos() + 10);
                m_frames = frames;
                next(phase::after_move);
                return;
            case phase::after_move:
                if (frames > m_frames) next(phase::moved);
                else waited_too_long("the frame of a moved slider");
                return;
            case phase::moved: {
                if (m_since < 5) return;
                EXPECT_EQ(frames, m_frames + 1) << "one slider move, one frame";
                const std::vector<unsigned long> turned = window_pixels();
                EXPECT_NE(turned, m_picture) << "the frame shows the turned scene";
                m_picture = turned;
                m_frames = frames;
                // Clears the window on the server, which asks for it to be
                // drawn again.
                XClearArea(g_window.display, g_window.window, 0, 0, 0, 0, True);
                XFlush(g_window.display);
                next(phase::after_expose);
                return;
            }
            case phase::after_expose:
                if (frames > m_frames) next(phase::exposed);
                else waited_too_long("the frame of an expose");
                return;
            case phase::exposed:
                if (m_since < 5) return;
                EXPECT_EQ(frames, m_frames + 1) << "one expose, one frame";
                EXPECT_EQ(window_pixels(), m_picture) << "an expose redraws the same picture";
                finished = true;
                stop();
                return;
            case phase::closing:
                if (!m_panel.ToolkitLoopRunning()) m_panel.reject();
                return;
        }
    }

    CControlPanel& m_panel;
    phase m_phase = phase::settling;
    int m_since = 0;  // ticks since the phase began
    std::uint64_t m_frames = 0;
    std::vector<unsigned long> m_picture;
};

TEST(Idle, TheViewerDrawsOnlyWhenTheViewTheSceneOrTheWindowChanges) {
    tessel::testing::ensure_application();
    tessel::gl_content shown;
    CControlPanel panel(shown);
    panel.SetInitialFile(tessel::testing::test_file("two_colours.wrl"));
    idle_probe probe(panel);
    panel.DoModal();
    EXPECT_EQ(probe.failure, "");
    EXPECT_TRUE(probe.finished);
}

}  // namespace
