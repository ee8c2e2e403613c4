#include "app/app_icon.h"

namespace tessel {

QIcon app_icon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/tessel/icons/tessel-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace tessel
