// The panel tick: opens the GL window once, turns the panel's spins and
// sliders into the attenuation values and the view transform, and asks for a
// frame when that changed what the window shows.

#include <cstdint>
#include <cstdio>

#include <QImage>
#include <QMessageBox>
#include <QMetaObject>
#include <QPixmap>
#include <vector>

#include "app/control_panel.h"
#include "glwindow/gl_window.h"
#include "app/toolkit_bridge.h"
#include "render/draw_budget.h"
#include "render/render.h"
#include "scene/scene.h"
#include "toolkit/toolkit.h"

namespace tessel {

bool glWindowStarted = false;

namespace {

constexpr int kSpinRange = 50000;  // cut to 16 bits: the range runs 0 down to -15536
constexpr std::int32_t kRestReading = 0x10000 | kSpinRest;  // a spin at rest, error flag set
constexpr std::int32_t kStepBound = 10;
constexpr double kStepFactor = -0.1;
constexpr float kStep = 0.1f;

}  // namespace

float step_attenuation(float value, const CSpinButtonCtrl& spin) {
    const std::int32_t reading = spin.GetPos();
    const std::int32_t steps = kRestReading - reading;
    // The low word is the position: below the rest position -1 it counts
    // up-arrow clicks, however many there were; at 0 the spin went down.
    const bool went_up = static_cast<std::int16_t>(reading & 0xFFFF) < 0;
    if (steps < kStepBound || went_up) {
        return static_cast<float>(static_cast<double>(value) - steps * kStepFactor);
    }
    return static_cast<float>(static_cast<double>(value) - static_cast<double>(kStep));
}

}  // namespace tessel

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
        report.generation == m_drawProblemReported)
        return;
    m_drawProblemReported = report.generation;
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
    if (tessel::open_gl_window(tessel::kGlWindowTitle, 400, 400, m_shown)) BindGlWindowInput();

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
}
