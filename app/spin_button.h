#pragma once
// An up-down control with two arrow buttons and no buddy: it only holds an
// integer position that the panel tick reads and resets. Positions and range
// limits are signed 16-bit numbers, as the tick's arithmetic expects.

#include <cstdint>

#include <QWidget>

class QToolButton;

class CSpinButtonCtrl : public QWidget {
public:
    explicit CSpinButtonCtrl(QWidget* parent = nullptr);

    // lower is the end the down arrow moves towards, upper the end the up
    // arrow moves towards; either may be the larger. Values are cut to 16 bits
    // (50000 reads as -15536), so a wide range can run downwards. The
    // position is left where it is.
    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const;

    // Sets the position (cut to 16 bits and kept inside the range) and
    // returns the previous one.
    int SetPos(int pos);

    // The position in the low 16 bits and the error flag in the high 16
    // bits. Without a buddy window there is no text to check the position
    // against, so the flag is always 1: a control at -1 reads 0x1FFFF.
    std::int32_t GetPos() const;

    // What one click on either arrow does: one step towards that arrow's
    // end of the range, stopping there (no wrapping).
    void StepUp();
    void StepDown();

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void StepTowards(std::int16_t end);

    std::int16_t m_lower = 0;
    std::int16_t m_upper = 100;
    std::int16_t m_pos = 0;
    QToolButton* m_up;
    QToolButton* m_down;
};
