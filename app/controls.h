#pragma once
// The panel's slider and progress bar, with the few operations the panel,
// its tick and the loader use on them.

#include <QProgressBar>
#include <QSlider>

// A horizontal trackbar, 0 to 100, no tick marks.
class CSliderCtrl : public QSlider {
public:
    explicit CSliderCtrl(QWidget* parent = nullptr) : QSlider(Qt::Horizontal, parent) {
        setRange(0, 100);
        setTickPosition(QSlider::NoTicks);
        setSingleStep(1);
        setPageStep(20);
        setFocusPolicy(Qt::StrongFocus);
    }
    int GetPos() const { return value(); }
    void SetPos(int pos) { setValue(pos); }
};

// A progress bar, 0 to 100, without a percentage text.
class CProgressCtrl : public QProgressBar {
public:
    explicit CProgressCtrl(QWidget* parent = nullptr) : QProgressBar(parent) {
        setRange(0, 100);
        setValue(0);
        setTextVisible(false);
    }
    int GetPos() const { return value(); }
    void SetPos(int pos) { setValue(pos); }
};
