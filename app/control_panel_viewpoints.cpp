// The file's viewpoints in "&Vue": one item each, by the name the file
// gives it, the shown one checked; Page Down and Page Up in the GL window
// step through them.
#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include "app/control_panel.h"
#include "glwindow/gl_window.h"

void CControlPanel::CreateViewpointsMenu(QMenu* view) {
    m_viewpointsMenu = view->addMenu(QStringLiteral("Points de vue"));
    m_viewpointsMenu->setObjectName(QString::number(ID_VIEW_VIEWPOINTS));
    UpdateViewpointsMenu();
}

void CControlPanel::UpdateViewpointsMenu() {
    if (!m_viewpointsMenu) return;
    // The item being triggered may be among the old ones: they go once its
    // signal has returned.
    for (QAction* action : m_viewpointsMenu->actions()) {
        m_viewpointsMenu->removeAction(action);
        action->deleteLater();
    }
    auto* group = new QActionGroup(m_viewpointsMenu);
    const std::vector<tessel::scene_viewpoint>& views = m_shown.scene.viewpoints;
    for (std::size_t i = 0; i < views.size(); ++i) {
        QAction* item = m_viewpointsMenu->addAction(QString::fromStdString(views[i].name));
        item->setObjectName(QString::number(ID_VIEW_VIEWPOINT1 + static_cast<int>(i)));
        item->setCheckable(true);
        item->setChecked(static_cast<std::int32_t>(i) == m_shown.scene.viewpoint && m_shown.settings.use_camera);
        item->setActionGroup(group);
        connect(item, &QAction::triggered, this, [this, i] { ShowViewpoint(static_cast<int>(i)); });
    }
    m_viewpointsMenu->setEnabled(!views.empty());
}

bool CControlPanel::ShowViewpoint(int i) {
    if (!CanSteer() || !tessel::show_viewpoint(m_shown.scene, i)) return false;
    // The viewpoint is the picture the author made: from it, not from
    // wherever the sliders had turned the scene.
    m_startWithCamera = true;
    ResetView(true);
    UpdateViewpointsMenu();
    // The picture changes with no slider moved: the window is told so.
    ++m_shown.scene.moved;
    tessel::redraw_if_changed();
    return true;
}

void CControlPanel::NextViewpoint(int step) {
    const auto count = static_cast<int>(m_shown.scene.viewpoints.size());
    if (count == 0) return;
    const int now = m_shown.scene.viewpoint;
    ShowViewpoint(((now < 0 ? (step > 0 ? -1 : 0) : now) + step + count) % count);
}

void CControlPanel::FollowBoundViewpoint() {
    if (!m_viewpointsMenu) return;
    const QList<QAction*> items = m_viewpointsMenu->actions();
    int checked = -1;
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->isChecked()) checked = i;
    const bool shown = m_shown.settings.use_camera;
    if (items.size() != static_cast<int>(m_shown.scene.viewpoints.size()) ||
        checked != (shown ? m_shown.scene.viewpoint : -1))
        UpdateViewpointsMenu();
}
