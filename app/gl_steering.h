#pragma once
// The GL window's keys and mouse bound to a steering target: arrows and a
// left drag turn, a middle or shifted drag moves, the wheel and + and - zoom,
// Home goes back to the starting view, Space plays or pauses a world that
// moves, Page Down and Page Up show the file's next and previous viewpoint.

namespace tessel {

// What the GL window steers; the control panel is one. Each call changes the
// view as the user could on the target, or does nothing while it cannot
// follow (CanSteer false).
class steering_target {
public:
    virtual bool CanSteer() const = 0;
    // Rotation about the screen's horizontal and upright axes, in whole steps.
    virtual void TurnBy(int xSteps, int ySteps) = 0;
    // Notches of zoom: positive makes the picture larger.
    virtual void ZoomBy(int steps) = 0;
    // A drag starts: fractions of steps left from an earlier one are dropped.
    virtual void DragBegin() = 0;
    // A drag moved by dx, dy pixels in a GL window of width x height: across
    // the whole window turns once, or moves the scene with the pointer.
    virtual void DragTurn(int dx, int dy, int width, int height) = 0;
    virtual void DragMove(int dx, int dy, int width, int height) = 0;
    virtual void GoHome() = 0;
    // Plays a world that moves, or pauses it where it is.
    virtual void PlayOrPause() = 0;
    // Shows the file's next (1) or previous (-1) viewpoint.
    virtual void NextViewpoint(int /*step*/) {}

protected:
    ~steering_target() = default;
};

// Binds the GL window's keys and buttons to target. The toolkit keeps its
// bindings for the process and there is one GL window in it, so they are
// made once; a later call only changes the target.
void bind_gl_window_input(steering_target& target);
// Unbinds target, if it is the one bound: gestures then do nothing.
void release_gl_window_input(const steering_target& target);

}  // namespace tessel
