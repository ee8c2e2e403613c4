#include "app/toolkit_bridge.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "toolkit/toolkit.h"

namespace tessel {

namespace {

// Set while pump_qt_events runs: the loop level of the Qt code it runs.
// Events seen at that level need no dispatch of ours, because the toolkit's
// own loop dispatches them as soon as the pump returns; only loops nested
// deeper (modal dialogs) must serve the GL window themselves.
int g_pump_depth = 0;
int g_pump_loop_level = -1;

bool toolkit_loop_serves_now() {
    return g_pump_depth > 0 && QThread::currentThread()->loopLevel() == g_pump_loop_level;
}

}  // namespace

bool pump_qt_events(bool may_block) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr) return false;
    const int saved_level = g_pump_loop_level;
    g_pump_loop_level = QThread::currentThread()->loopLevel();
    ++g_pump_depth;
    bool ran = true;
    if (may_block) {
        dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    } else {
        ran = dispatcher->processEvents(QEventLoop::AllEvents);
    }
    --g_pump_depth;
    g_pump_loop_level = saved_level;
    return ran;
}

void show_toolkit_message(const char* caption, const char* text) {
    QString message = QString::fromLocal8Bit(text);
    while (message.endsWith(QLatin1Char('\n'))) message.chop(1);
    const QString title = QString::fromLocal8Bit(caption);
    const auto icon = title == QLatin1String("Error") ? QMessageBox::Critical : QMessageBox::Warning;
    QMessageBox box(icon, title, message, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("toolkitMessage"));
    box.exec();
}

struct toolkit_event_watch::state {
    int fd = -1;
    QObject context;  // owns the connections, which go with it
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer repaint_due;  // wakes a blocked Qt loop for the toolkit's timed repaint

    // False once the toolkit's connection is gone (or replaced).
    bool connection_alive() {
        if (toolkit_connection_fd() == fd) return true;
        if (notifier) notifier->setEnabled(false);
        return false;
    }
};

toolkit_event_watch::toolkit_event_watch() : m_state(std::make_unique<state>()) {
    state* s = m_state.get();
    s->fd = toolkit_connection_fd();
    if (s->fd < 0) return;

    s->notifier = std::make_unique<QSocketNotifier>(s->fd, QSocketNotifier::Read);
    QObject::connect(s->notifier.get(), &QSocketNotifier::activated, &s->context, [s] {
        // Being woken is all the toolkit's own loop needs.
        if (!s->connection_alive() || toolkit_loop_serves_now()) return;
        dispatch_pending_events();
    });

    s->repaint_due.setSingleShot(true);
    s->repaint_due.setTimerType(Qt::PreciseTimer);
    QObject::connect(&s->repaint_due, &QTimer::timeout, &s->context, [s] {
        // The toolkit's own loop looks at the queue as soon as the pump
        // returns; any other loop has the repaint dispatched here.
        if (!s->connection_alive() || toolkit_loop_serves_now()) return;
        dispatch_pending_events();
    });

    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr) return;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &s->context, [s, dispatcher] {
        if (!s->connection_alive()) return;
        // Set before the dispatcher works out how long it may sleep.
        if (const int due = redisplay_due_in(); due >= 0) s->repaint_due.start(due);
        if (toolkit_loop_serves_now()) return;
        // Whatever the drain did (a repaint, a close) may want a new look
        // at the queue before Qt goes to sleep.
        if (dispatch_pending_events()) dispatcher->wakeUp();
    });
}

toolkit_event_watch::~toolkit_event_watch() = default;

}  // namespace tessel
