#pragma once
// Dialog units: positions and sizes of the panel and the About box are given
// in units of the dialog font, a quarter of its average character width
// across and an eighth of its height down, so the layout keeps its
// proportions whatever font the desktop supplies.

#include <QFont>
#include <QRect>

namespace tessel {

struct dialog_units {
    int base_x = 1;  // average character width in pixels
    int base_y = 1;  // character height in pixels

    int x(int units) const;
    int y(int units) const;
    QRect rect(int left, int top, int width, int height) const;
};

// The font every dialog of the viewer uses: 8-point MS Sans Serif, the face
// the panel's layout was drawn for, where it exists, else a face of the same
// proportions, else any sans-serif face.
QFont dialog_font();

dialog_units dialog_units_for(const QFont& font);

}  // namespace tessel
