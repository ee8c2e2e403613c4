// The panel's animation: the world of the scene shown plays on a clock that
// follows real time, less the time spent paused. A timer of about 60 Hz
// steps it and runs only while the world plays and can still change by
// itself, so a world that is paused or has come to rest costs no timer and
// no frame, as a still scene does.

#include <exception>
#include <new>
#include <string>
#include <vector>

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include "app/control_panel.h"
#include "glwindow/gl_window.h"
#include "input/text.h"

namespace {

// About one step per frame of a 60 Hz screen. The clock, not the count of
// steps, says where the world is: a late step only goes further at once.
constexpr int kAnimationStepMs = 16;

// Runs one step of a world; the text of what stopped it, empty when it ran.
template <class Step>
QString run_world_step(Step step) {
    try {
        step();
        return {};
    } catch (const std::bad_alloc&) {
        return QStringLiteral("pas assez de mémoire pour la scène");
    } catch (const std::exception& e) {
        return QString::fromUtf8(tessel::reader::printable(e.what()));
    }
}

}  // namespace

void CControlPanel::CreateAnimationMenu() {
    QMenu* animation = m_menuBar->addMenu(QStringLiteral("&Animation"));
    m_playItem = animation->addAction(QStringLiteral("&Lecture/Pause"));
    m_playItem->setObjectName(QString::number(ID_ANIMATION_PLAY));
    m_playItem->setCheckable(true);
    // No slider of the panel takes Space, so it may play and pause wherever
    // the focus is; an edit being typed in keeps its spaces.
    m_playItem->setShortcut(QKeySequence(Qt::Key_Space));
    // Only the user's clicks: the panel checks the item itself as the world
    // starts and stops.
    connect(m_playItem, &QAction::triggered, this, &CControlPanel::OnAnimationPlay);
    m_restartItem = animation->addAction(QStringLiteral("&Recommencer"));
    m_restartItem->setObjectName(QString::number(ID_ANIMATION_RESTART));
    connect(m_restartItem, &QAction::triggered, this, &CControlPanel::OnAnimationRestart);
    addAction(m_playItem);

    // A timer of its own rather than one of the panel's timer events: those
    // are the panel's tick, which others count.
    m_animationTimer = new QTimer(this);
    m_animationTimer->setObjectName(QStringLiteral("animationTimer"));
    m_animationTimer->setInterval(kAnimationStepMs);
    m_animationTimer->setTimerType(Qt::PreciseTimer);
    connect(m_animationTimer, &QTimer::timeout, this, &CControlPanel::OnAnimationTick);
    UpdateAnimation();
}

void CControlPanel::StartWorld() {
    m_worldWarningsTaken = 0;
    PlayFromStart();
}

void CControlPanel::PlayFromStart() {
    // The world's own clock reads 0 at the end of its load or restart; this
    // one reads 0 from now on.
    m_paused = false;
    m_playedSeconds = 0;
    m_playClock.start();
    // The world's first tick is at 0, as a snapshot at --time 0 shows it.
    if (m_world) StepWorld(0);
    UpdateAnimation();
}

double CControlPanel::WorldSeconds() const {
    if (m_paused || !m_playClock.isValid()) return m_playedSeconds;
    return m_playedSeconds + static_cast<double>(m_playClock.nsecsElapsed()) / 1e9;
}

void CControlPanel::UpdateAnimation() {
    const bool shown = m_world != nullptr && !m_glWindowGone;
    m_playItem->setEnabled(shown);
    m_restartItem->setEnabled(shown);
    m_playItem->setChecked(!m_paused);
    const bool moves = shown && !m_paused && m_world->waiting();
    if (!moves) {
        m_animationTimer->stop();
    } else if (!m_animationTimer->isActive()) {
        m_animationTimer->start();
    }
}

void CControlPanel::OnAnimationPlay(bool play) {
    if (m_world && play == m_paused) {
        // The time played so far is kept before the clock stops counting.
        if (play) {
            m_playClock.start();
        } else {
            m_playedSeconds = WorldSeconds();
        }
        m_paused = !play;
    }
    UpdateAnimation();
}

void CControlPanel::PlayOrPause() {
    if (!CanSteer() || !m_playItem->isEnabled()) return;
    m_playItem->trigger();
}

void CControlPanel::OnAnimationRestart() {
    if (!m_world) return;
    const QString failed = run_world_step([this] { m_world->restart(m_shown.scene); });
    if (!failed.isEmpty()) return StopWorld(failed);
    PlayFromStart();
    FollowBoundViewpoint();
    tessel::redraw_if_changed();
}

void CControlPanel::OnAnimationTick() {
    // A load runs the panel's loop while it reads, and then replaces the
    // scene and its world: the world on its way out is not stepped.
    if (m_loading) return;
    if (!m_world || m_paused) return UpdateAnimation();
    StepWorld(WorldSeconds());
    if (!m_world || !m_world->waiting()) UpdateAnimation();
}

void CControlPanel::StepWorld(double seconds) {
    bool changed = false;
    const QString failed = run_world_step([&] { changed = m_world->tick(seconds, m_shown.scene); });
    if (!failed.isEmpty()) return StopWorld(failed);
    TakeWorldWarnings();
    if (!changed) return;
    FollowBoundViewpoint();
    tessel::redraw_if_changed();
}

void CControlPanel::TakeWorldWarnings() {
    const std::vector<std::string>& said = m_world->warnings();
    if (said.size() <= m_worldWarningsTaken) return;
    for (std::size_t i = m_worldWarningsTaken; i < said.size(); ++i) m_warnings << QString::fromUtf8(said[i]);
    m_warningCount += static_cast<qint64>(said.size() - m_worldWarningsTaken);
    m_worldWarningsTaken = said.size();
    ShowWarningCount();
}

void CControlPanel::StopWorld(const QString& why) {
    // The scene stays as last drawn; a world that failed in the middle of a
    // step is not stepped again.
    m_world.reset();
    UpdateAnimation();
    // Not modal: the user may go on turning what is drawn.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("tessel"),
                                QStringLiteral("L'animation s'est arrêtée : ") + why, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("animationStopped"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
