// Steering by hand in the GL window. The toolkit's own key and mouse
// bindings turn each gesture into the panel's slider positions and
// attenuation values, the same the user sets on the panel, so the two ways
// of steering never disagree and the tick keeps drawing the same view.

#include <QApplication>

#include "app/control_panel.h"
#include "glwindow/gl_window.h"
#include "toolkit/toolkit.h"

namespace {

// The panel the GL window steers; the bindings outlive no panel.
CControlPanel* g_steered = nullptr;

enum class drag_kind { none, turn, move };

// The drag under way: which button holds it and where the pointer was last.
struct drag_state {
    drag_kind kind = drag_kind::none;
    std::int32_t button = 0;
    int x = 0;
    int y = 0;
};

drag_state g_drag;

void on_press(mouse_event_record* event) {
    CControlPanel* panel = g_steered;
    if (panel == nullptr) return;
    switch (event->status) {
        case BUTTON_WHEEL_UP:
            panel->ZoomBy(1);
            return;
        case BUTTON_WHEEL_DOWN:
            panel->ZoomBy(-1);
            return;
        case BUTTON_LEFT:
        case BUTTON_MIDDLE:
            break;
        default:
            return;
    }
    // A drag begun while the panel cannot follow stays ignored to its end.
    if (g_drag.kind != drag_kind::none || !panel->CanSteer()) return;
    const bool move = event->status == BUTTON_MIDDLE || (current_key_status() & STATUS_SHIFT) != 0;
    g_drag = drag_state{move ? drag_kind::move : drag_kind::turn, event->status, event->x, event->y};
    panel->DragBegin();
}

void on_release(mouse_event_record* event) {
    if (event->status == g_drag.button) g_drag = drag_state{};
}

void on_drag(mouse_event_record* event) {
    CControlPanel* panel = g_steered;
    if (panel == nullptr || g_drag.kind == drag_kind::none || event->status != g_drag.button) return;
    const int dx = event->x - g_drag.x;
    const int dy = event->y - g_drag.y;
    g_drag.x = event->x;
    g_drag.y = event->y;
    const tessel::window_size size = tessel::gl_window_size();
    if (g_drag.kind == drag_kind::turn) {
        panel->DragTurn(dx, dy, size.width, size.height);
    } else {
        panel->DragMove(dx, dy, size.width, size.height);
    }
}

template <int xSteps, int ySteps>
void turn_key() {
    if (g_steered) g_steered->TurnBy(xSteps, ySteps);
}

template <int steps>
void zoom_key() {
    if (g_steered) g_steered->ZoomBy(steps);
}

void home_key() {
    if (g_steered) g_steered->OnViewHome();
}

}  // namespace

CControlPanel::~CControlPanel() {
    if (g_steered == this) g_steered = nullptr;
}

void CControlPanel::BindGlWindowInput() {
    // The tables keep their bindings for the process, and there is one GL
    // window in it: bind once.
    if (g_steered != nullptr) {
        g_steered = this;
        return;
    }
    g_steered = this;
    // A key turns by one slider step (3.6 degrees), as a drag over a
    // hundredth of the window does; right and down turn as dragging right
    // and down would.
    bind_key(KEY_LEFT, &turn_key<0, -1>);
    bind_key(KEY_RIGHT, &turn_key<0, 1>);
    bind_key(KEY_UP, &turn_key<-1, 0>);
    bind_key(KEY_DOWN, &turn_key<1, 0>);
    bind_key('+', &zoom_key<1>);
    bind_key('=', &zoom_key<1>);
    bind_key('-', &zoom_key<-1>);
    bind_key(KEY_HOME, &home_key);
    for (std::int32_t button : {BUTTON_LEFT, BUTTON_MIDDLE, BUTTON_WHEEL_UP, BUTTON_WHEEL_DOWN})
        bind_mouse_event(EVENT_MOUSE_DOWN, button, &on_press);
    for (std::int32_t button : {BUTTON_LEFT, BUTTON_MIDDLE}) {
        bind_mouse_event(EVENT_MOUSE_UP, button, &on_release);
        bind_mouse_event(EVENT_MOUSE_MOVE, button, &on_drag);
    }
}

bool CControlPanel::CanSteer() const {
    // A load runs without returning to any loop, and a data exchange may be
    // waiting on its number prompt: neither may see its values change.
    if (m_loading || m_updateDepth > 0) return false;
    const QWidget* modal = QApplication::activeModalWidget();
    return modal == nullptr || modal == this;
}

void CControlPanel::TurnBy(int xSteps, int ySteps) {
    if (!CanSteer() || (xSteps == 0 && ySteps == 0)) return;
    m_sliderRotX->SetPos(tessel::turned_position(m_sliderRotX->GetPos(), xSteps));
    m_sliderRotY->SetPos(tessel::turned_position(m_sliderRotY->GetPos(), ySteps));
    ApplyView();
}

void CControlPanel::ZoomBy(int steps) {
    if (!CanSteer()) return;
    m_scaleAttenuation = tessel::zoomed_attenuation(m_scaleAttenuation, steps);
    UpdateData(false);
    ApplyView();
}

void CControlPanel::DragBegin() {
    for (auto& rest : m_turnRest) rest.reset();
    for (auto& rest : m_moveRest) rest.reset();
}

void CControlPanel::DragTurn(int dx, int dy, int width, int height) {
    if (width <= 0 || height <= 0 || !CanSteer()) return;
    // Vertical motion tips the scene about the screen's horizontal axis
    // (X rotation), horizontal motion spins it about its upright (Y).
    const int xSteps = m_turnRest[0].add(static_cast<double>(dy) * tessel::kSliderSteps / height);
    const int ySteps = m_turnRest[1].add(static_cast<double>(dx) * tessel::kSliderSteps / width);
    TurnBy(xSteps, ySteps);
}

void CControlPanel::DragMove(int dx, int dy, int width, int height) {
    if (width <= 0 || height <= 0 || !CanSteer()) return;
    const std::array<double, 3> degrees = {m_sliderRotX->GetPos() * tessel::kDegreesPerStep,
                                           m_sliderRotY->GetPos() * tessel::kDegreesPerStep,
                                           m_sliderRotZ->GetPos() * tessel::kDegreesPerStep};
    // Window rows count downwards, the view's y upwards.
    const std::array<double, 3> steps =
        tessel::translation_steps(degrees, dx * tessel::kViewBoxWidth / width,
                                  -dy * tessel::kViewBoxWidth / height, m_translateAttenuation);
    CSliderCtrl* sliders[3] = {m_sliderTransX, m_sliderTransY, m_sliderTransZ};
    bool moved = false;
    for (int axis = 0; axis < 3; ++axis) {
        const int whole = m_moveRest[axis].add(steps[axis]);
        if (whole == 0) continue;
        sliders[axis]->SetPos(tessel::moved_position(sliders[axis]->GetPos(), whole));
        moved = true;
    }
    if (moved) ApplyView();
}

void CControlPanel::OnViewHome() { ResetView(m_startWithCamera); }

void CControlPanel::ResetView(bool use_camera) {
    if (!CanSteer()) return;
    m_shown.settings.use_camera = use_camera;
    for (CSliderCtrl* slider : {m_sliderTransX, m_sliderTransY, m_sliderTransZ})
        slider->SetPos(tessel::kSliderCentre);
    for (CSliderCtrl* slider : {m_sliderRotX, m_sliderRotY, m_sliderRotZ, m_sliderScaleX, m_sliderScaleY,
                                m_sliderScaleZ})
        slider->SetPos(0);
    m_translateAttenuation = 1.0f;
    m_scaleAttenuation = 1.0f;
    // Spin clicks not yet counted by the tick would leave the view off rest.
    m_spinTranslateAtt->SetPos(tessel::kSpinRest);
    m_spinScaleAtt->SetPos(tessel::kSpinRest);
    UpdateData(false);
    ApplyView();
}

void CControlPanel::OnViewFit() {
    // The renderer frames the whole scene by itself and the sliders act on
    // top, so the fitted view is the framing, without the file's camera,
    // at rest.
    ResetView(false);
}

void CControlPanel::OnViewHeadlight(bool on) {
    m_shown.settings.headlight = on;
    tessel::redraw_if_changed();
}
