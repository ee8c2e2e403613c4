#pragma once
// What lets Qt and the GL toolkit share one thread: the toolkit's loop pumps
// Qt, and Qt's own modal loops (file dialog, message boxes) keep serving the
// GL window.

#include <memory>

namespace tessel {

// The pump the toolkit's loop calls: handles pending Qt work without
// blocking and says whether there was any; with may_block it waits for Qt
// work, waking for GL window traffic too.
bool pump_qt_events(bool may_block);

// Shows a toolkit message (an "Error" or "Warning") in a modal box.
void show_toolkit_message(const char* caption, const char* text);

// While it lives, GL window events are dispatched from any Qt loop that is
// not the toolkit's own: a socket notifier sees traffic on the toolkit's
// connection, and a drain before Qt blocks catches events that Xlib has
// already read into its queue. A Qt loop about to block also sets a timer
// for the GL window's timed repaint (post_redisplay_after), so that it
// wakes, in the toolkit's loop or any other, when that is due. Must be
// destroyed before the toolkit closes its connection; it stops by itself if
// the connection goes away first.
class toolkit_event_watch {
public:
    toolkit_event_watch();
    ~toolkit_event_watch();
    toolkit_event_watch(const toolkit_event_watch&) = delete;
    toolkit_event_watch& operator=(const toolkit_event_watch&) = delete;

private:
    struct state;
    std::unique_ptr<state> m_state;
};

}  // namespace tessel
