#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QFileInfo>
#include <QStringList>

#include "app/viewer_app.h"
#include "snapshot/snapshot.h"

int main(int argc, char** argv) {
    // Snapshots need no display: decide before Qt looks for one.
    if (tessel::wants_snapshot(argc, argv))
        return tessel::run_snapshot(std::vector<std::string>(argv + 1, argv + argc));

    // On main's stack: it must never be destroyed by exit-time destructors,
    // which run after Qt's own statics are gone.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessel"));

    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.front().startsWith(QLatin1Char('-')))) {
        std::fputs("usage: tessel [FILE.wrl]\n       tessel --snapshot OUT.png [--size WxH] [--rotate RX,RY,RZ] "
                   "[--translate X,Y,Z] [--scale X,Y,Z] FILE\n",
                   stderr);
        return 2;
    }
    const QString initialFile = arguments.isEmpty() ? QString() : QFileInfo(arguments.front()).absoluteFilePath();
    theApp.InitInstance(initialFile);
    return 0;
}
