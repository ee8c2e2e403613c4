#include "app/dialog_units.h"

#include <algorithm>
#include <cmath>

#include <QFontMetrics>
#include <QStringList>

namespace tessel {

namespace {

// units * base / divisor, rounded half away from zero.
int scale(int units, int base, int divisor) {
    return static_cast<int>(std::lround(static_cast<double>(units) * base / divisor));
}

}  // namespace

int dialog_units::x(int units) const { return scale(units, base_x, 4); }

int dialog_units::y(int units) const { return scale(units, base_y, 8); }

QRect dialog_units::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}

QFont dialog_font() {
    QFont font;
    // The condensed face has MS Sans Serif's metrics at this size
    // (6 x 13 pixels at 96 dpi), so the panel keeps its intended width and
    // stays clear of the GL window beside it.
    font.setFamilies(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

dialog_units dialog_units_for(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width over both alphabets, halved with rounding: the
    // panel's layout was drawn in units measured this way, and any other
    // rounding would shift every control.
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    dialog_units units;
    units.base_x = std::max(1, (alphabet / 26 + 1) / 2);
    units.base_y = std::max(1, metrics.height());
    return units;
}

}  // namespace tessel
