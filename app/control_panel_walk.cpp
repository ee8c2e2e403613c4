// Walking and flying through the scene from the GL window: "&Vue" >
// "Navigation" chooses how the hand moves the view. Walking, the arrows and
// a drag move the viewer on the floor and turn it, the wheel steps forward
// and back, and a shifted or middle drag steps sideways and looks up and
// down; flying, the same drag rises and sinks instead. The file's speed
// sets the pace: a key steps half a second of it, a drag across the window
// five seconds, or half a turn.
#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <numbers>

#include "app/control_panel.h"
#include "glwindow/gl_window.h"

namespace {

constexpr float kKeySeconds = 0.5f;
constexpr float kDragSeconds = 5.0f;
constexpr float kKeyTurn = 5.0f * std::numbers::pi_v<float> / 180.0f;

const char* const kModeNames[] = {"Examiner", "Marcher", "Voler", "Aucune"};

}  // namespace

void CControlPanel::CreateNavigationMenu(QMenu* view) {
    m_navigationMenu = view->addMenu(QStringLiteral("Navigation"));
    m_navigationMenu->setObjectName(QString::number(ID_VIEW_NAVIGATION));
    auto* group = new QActionGroup(m_navigationMenu);
    for (int i = 0; i < 4; ++i) {
        QAction* item = m_navigationMenu->addAction(QString::fromUtf8(kModeNames[i]));
        item->setObjectName(QString::number(ID_VIEW_EXAMINE + i));
        item->setCheckable(true);
        item->setActionGroup(group);
        connect(item, &QAction::triggered, this, [this, i] { SetNavigation(static_cast<tessel::navigation_mode>(i)); });
    }
    UpdateNavigationMenu();
}

void CControlPanel::UpdateNavigationMenu() {
    if (!m_navigationMenu) return;
    const QList<QAction*> items = m_navigationMenu->actions();
    for (int i = 0; i < items.size(); ++i) items[i]->setChecked(i == static_cast<int>(m_navigation));
}

void CControlPanel::SetNavigation(tessel::navigation_mode mode) {
    m_navigation = mode;
    UpdateNavigationMenu();
}

bool CControlPanel::Walk(const tessel::walk_move& move) {
    using tessel::navigation_mode;
    tessel::scene_store& scene = m_shown.scene;
    // The classic reading draws no camera: its scenes are only examined.
    if (m_navigation == navigation_mode::examine || scene.reading != tessel::scene_reading::standard) return false;
    if (m_navigation == navigation_mode::none || !CanSteer()) return true;
    if (!scene.camera) {
        // A file without a camera is walked from where the framing looks:
        // from the front, at a distance that shows the whole scene.
        tessel::scene_camera camera;
        const float away = scene.bound_radius > 0 ? scene.bound_radius * 2.5f : 10.0f;
        for (int k = 0; k < 3; ++k) camera.position[k] = scene.bound_centre[k];
        camera.position[2] += away;
        camera.focal_distance = away;
        scene.camera = camera;
        m_startWithCamera = true;
    }
    if (!m_shown.settings.use_camera) {
        m_shown.settings.use_camera = true;
        UpdateViewpointsMenu();
    }
    if (!m_surfaces) m_surfaces = std::make_unique<tessel::collider>();
    m_surfaces->follow(scene);
    tessel::walk_move paced = move;
    paced.forward *= scene.navigation.speed;
    paced.right *= scene.navigation.speed;
    paced.up *= scene.navigation.speed;
    *scene.camera = tessel::walk_step(*scene.camera, paced, m_navigation == navigation_mode::fly, scene.navigation,
                                      *m_surfaces);
    // The picture changes with no slider moved: the window is told so.
    ++scene.moved;
    tessel::redraw_if_changed();
    return true;
}

// Each gesture as the walker's: forward and back, turns, steps aside.

bool CControlPanel::WalkTurn(int xSteps, int ySteps) {
    tessel::walk_move m;
    m.forward = -static_cast<float>(xSteps) * kKeySeconds;
    m.turn = -static_cast<float>(ySteps) * kKeyTurn;
    return Walk(m);
}

bool CControlPanel::WalkZoom(int steps) {
    tessel::walk_move m;
    m.forward = static_cast<float>(steps) * kKeySeconds;
    return Walk(m);
}

bool CControlPanel::WalkDrag(int dx, int dy, int width, int height, bool aside) {
    if (m_navigation == tessel::navigation_mode::examine || m_shown.scene.reading != tessel::scene_reading::standard)
        return false;
    if (width <= 0 || height <= 0) return true;
    const float across = static_cast<float>(dx) / static_cast<float>(width);
    const float down = static_cast<float>(dy) / static_cast<float>(height);
    tessel::walk_move m;
    if (!aside) {
        m.forward = -down * kDragSeconds;
        m.turn = -across * std::numbers::pi_v<float>;
    } else {
        m.right = across * kDragSeconds;
        if (m_navigation == tessel::navigation_mode::fly) m.up = -down * kDragSeconds;
        else m.look_up = -down * std::numbers::pi_v<float> / 2;
    }
    return Walk(m);
}
