// The panel's view: the tick that opens the GL window once and turns the
// spins and sliders into the attenuation values and the view transform, and
// the steering by hand from the GL window, which moves the same sliders and
// attenuations the user could.

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QMetaObject>
#include <QPixmap>

#include "app/control_panel.h"
#include "app/spin_steps.h"
#include "app/toolkit_bridge.h"
#include "glwindow/gl_window.h"
#include "render/draw_budget.h"
#include "render/render.h"
#include "scene/scene.h"
#include "toolkit/toolkit.h"

namespace tessel {

bool glWindowStarted = false;

}  // namespace tessel

CControlPanel::~CControlPanel() { tessel::release_gl_window_input(*this); }

void CControlPanel::OnTimer(int) {
    if (!tessel::glWindowStarted) {
        // Set before anything else: a tick that arrives while the window
        // is being set up must not start a second one.
        tessel::glWindowStarted = true;
        // Qt does not deliver this timer again while its handler is still
        // running, so the toolkit's loop must not run inside this call.
        QMetaObject::invokeMethod(this, &CControlPanel::RunGlWindow, Qt::QueuedConnection);
    }

    m_spinTranslateAtt->SetRange(0, tessel::kSpinRange);
    m_spinScaleAtt->SetRange(0, tessel::kSpinRange);
    m_translateAttenuation = tessel::step_attenuation(m_translateAttenuation, *m_spinTranslateAtt);
    m_scaleAttenuation = tessel::step_attenuation(m_scaleAttenuation, *m_spinScaleAtt);
    m_spinTranslateAtt->SetPos(tessel::kSpinRest);
    m_spinScaleAtt->SetPos(tessel::kSpinRest);
    UpdateData(false);
    ApplyView();
    ReportDrawProblem();
}

void CControlPanel::ReportDrawProblem() {
    const tessel::draw_report& report = m_shown.draw.report();
    if (report.generation == 0 || report.generation != m_shown.scene.generation || report.complete() ||
        m_drawProblemReported)
        return;
    m_drawProblemReported = true;
    // Not modal: a box opened from the tick must not hold the tick up, and
    // the user may go on turning what is drawn.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("tessel"),
                                QString::fromUtf8(tessel::describe(report, tessel::draw_limits{})),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("drawProblem"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void CControlPanel::ApplyView() {
    tessel::view_transform& view = m_shown.view;
    const double translate = m_translateAttenuation;
    const double scale = m_scaleAttenuation;
    view.translation[0] = static_cast<float>((tessel::kSliderCentre - m_sliderTransX->GetPos()) * translate);
    view.translation[1] = static_cast<float>((tessel::kSliderCentre - m_sliderTransY->GetPos()) * translate);
    view.translation[2] = static_cast<float>((tessel::kSliderCentre - m_sliderTransZ->GetPos()) * translate);
    view.rotation[0] = static_cast<float>(m_sliderRotX->GetPos() * tessel::kDegreesPerStep);
    view.rotation[1] = static_cast<float>(m_sliderRotY->GetPos() * tessel::kDegreesPerStep);
    view.rotation[2] = static_cast<float>(m_sliderRotZ->GetPos() * tessel::kDegreesPerStep);
    view.scale[0] = static_cast<float>((m_sliderScaleX->GetPos() + 1) * scale);
    view.scale[1] = static_cast<float>((m_sliderScaleY->GetPos() + 1) * scale);
    view.scale[2] = static_cast<float>((m_sliderScaleZ->GetPos() + 1) * scale);
    tessel::redraw_if_changed();
}

void CControlPanel::RunGlWindow() {
    // The panel may have been ended between the first tick and this call.
    if (!isVisible()) return;

    set_message_box_function(&tessel::show_toolkit_message);
    set_exit_hook([] { std::fflush(nullptr); });

    // The GL window wears the panel's icon.
    std::vector<std::uint32_t> icon;
    for (int size : {16, 32, 48}) {
        const QImage image = m_icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) continue;
        icon.push_back(static_cast<std::uint32_t>(image.width()));
        icon.push_back(static_cast<std::uint32_t>(image.height()));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) icon.push_back(image.pixel(x, y));
    }
    set_window_icon(icon.data(), icon.size());

    // No idle handler: the loop sleeps until X or Qt has work, and frames
    // are asked for by expose, resize and the tick's redraw_if_changed.
    if (tessel::open_gl_window(tessel::kGlWindowTitle, 400, 400, m_shown)) tessel::bind_gl_window_input(*this);

    {
        tessel::toolkit_event_watch watch;
        set_event_pump(&tessel::pump_qt_events);
        m_toolkitLoopRunning = true;
        if (!m_initialFile.isEmpty()) {
            QMetaObject::invokeMethod(this, [this] { LoadFile(m_initialFile); }, Qt::QueuedConnection);
        }
        run_event_loop(&tessel::show_frame);
        m_toolkitLoopRunning = false;
        set_event_pump(nullptr);
    }
    // No window shows the world any more, and none will: it stops.
    m_glWindowGone = true;
    UpdateAnimation();
}

bool CControlPanel::CanSteer() const {
    // A load runs without returning to any loop, and a data exchange may be
    // waiting on its number prompt: neither may see its values change.
    if (m_loading || m_updateDepth > 0) return false;
    const QWidget* modal = QApplication::activeModalWidget();
    return modal == nullptr || modal == this;
}

void CControlPanel::TurnBy(int xSteps, int ySteps) {
    if (WalkTurn(xSteps, ySteps)) return;
    if (!CanSteer() || (xSteps == 0 && ySteps == 0)) return;
    m_sliderRotX->SetPos(tessel::turned_position(m_sliderRotX->GetPos(), xSteps));
    m_sliderRotY->SetPos(tessel::turned_position(m_sliderRotY->GetPos(), ySteps));
    ApplyView();
}

void CControlPanel::ZoomBy(int steps) {
    if (WalkZoom(steps)) return;
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
    if (WalkDrag(dx, dy, width, height, false)) return;
    if (width <= 0 || height <= 0 || !CanSteer()) return;
    // Vertical motion tips the scene about the screen's horizontal axis
    // (X rotation), horizontal motion spins it about its upright (Y).
    const int xSteps = m_turnRest[0].add(static_cast<double>(dy) * tessel::kSliderSteps / height);
    const int ySteps = m_turnRest[1].add(static_cast<double>(dx) * tessel::kSliderSteps / width);
    TurnBy(xSteps, ySteps);
}

void CControlPanel::DragMove(int dx, int dy, int width, int height) {
    if (WalkDrag(dx, dy, width, height, true)) return;
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
