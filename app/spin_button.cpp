#include "app/spin_button.h"

#include <algorithm>

#include <QToolButton>

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    setFocusPolicy(Qt::NoFocus);
    for (QToolButton* button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        // Holding an arrow keeps stepping, so that a large change needs no
        // run of clicks.
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(400);
        button->setAutoRepeatInterval(50);
        button->setIconSize(QSize(5, 5));
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setObjectName("up");
    m_down->setObjectName("down");
    connect(m_up, &QToolButton::clicked, this, &CSpinButtonCtrl::StepUp);
    connect(m_down, &QToolButton::clicked, this, &CSpinButtonCtrl::StepDown);
}

void CSpinButtonCtrl::SetRange(int lower, int upper) {
    m_lower = static_cast<std::int16_t>(lower);
    m_upper = static_cast<std::int16_t>(upper);
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const {
    lower = m_lower;
    upper = m_upper;
}

int CSpinButtonCtrl::SetPos(int pos) {
    const int previous = m_pos;
    const auto wanted = static_cast<std::int16_t>(pos);
    m_pos = std::clamp(wanted, std::min(m_lower, m_upper), std::max(m_lower, m_upper));
    return previous;
}

std::int32_t CSpinButtonCtrl::GetPos() const {
    const std::uint32_t reading = (1u << 16) | static_cast<std::uint16_t>(m_pos);
    return static_cast<std::int32_t>(reading);
}

void CSpinButtonCtrl::StepUp() { StepTowards(m_upper); }

void CSpinButtonCtrl::StepDown() { StepTowards(m_lower); }

void CSpinButtonCtrl::StepTowards(std::int16_t end) {
    if (m_pos < end) {
        ++m_pos;
    } else if (m_pos > end) {
        --m_pos;
    }
}

void CSpinButtonCtrl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
