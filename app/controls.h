#pragma once
// The panel's slider and progress bar, with the few operations the panel,
// its tick and the loader use on them.

#include <QProgressBar>
#include <QSlider>

// The position operations, one definition for every control that holds a
// Qt value.
template <class Control>
class CPositionCtrl : public Control {
public:
    using Control::Control;
    int GetPos() const { return this->value(); }
    void SetPos(int pos) { this->setValue(pos); }
};

// A horizontal trackbar, 0 to 100, no tick marks.
class CSliderCtrl : public CPositionCtrl<QSlider> {
public:
    explicit CSliderCtrl(QWidget* parent = nullptr) : CPositionCtrl(Qt::Horizontal, parent) {
        setRange(0, 100);
        setTickPosition(QSlider::NoTicks);
        setSingleStep(1);
        setPageStep(20);
        setFocusPolicy(Qt::StrongFocus);
    }
};

// A progress bar, 0 to 100, without a percentage text.
class CProgressCtrl : public CPositionCtrl<QProgressBar> {
public:
    explicit CProgressCtrl(QWidget* parent = nullptr) : CPositionCtrl(parent) {
        setRange(0, 100);
        setValue(0);
        setTextVisible(false);
    }
};
