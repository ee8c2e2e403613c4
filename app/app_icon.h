#pragma once

#include <QIcon>

namespace tessel {

// The viewer's icon (16, 32 and 48 pixels): panel, About box, GL window.
QIcon app_icon();

}  // namespace tessel
