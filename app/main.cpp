#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "app/viewer_app.h"
#include "glwindow/gl_window.h"
#include "scene/scene.h"
#include "snapshot/snapshot.h"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: tessel [--classic] [--fit] [--no-headlight] [--frame-stats] [--viewpoint NAME|N] [--] [FILE.wrl]\n"
                 "       tessel %s\n"
                 "       tessel --help | --version\n",
                 tessel::snapshot_usage);
}

}  // namespace

int main(int argc, char** argv) {
    // Options end at "--"; Qt never sees what follows, so a file named like
    // one of its options still opens.
    int options = 1;
    while (options < argc && std::strcmp(argv[options], "--") != 0) ++options;
    for (int i = 1; i < options; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tessel %s\n", TESSEL_VERSION);
            return 0;
        }
    }
    // Snapshots need no display: decide before Qt looks for one.
    if (tessel::wants_snapshot(argc, argv))
        return tessel::run_snapshot(std::vector<std::string>(argv + 1, argv + argc));

    // The viewer's own options, taken out before Qt sees the rest.
    bool classic = false;
    tessel::render_settings settings;
    std::string viewpoint;
    std::vector<char*> qt_argv{argv[0]};
    for (int i = 1; i < options; ++i) {
        if (std::strcmp(argv[i], "--classic") == 0) classic = true;
        else if (std::strcmp(argv[i], "--fit") == 0) settings.use_camera = false;
        else if (std::strcmp(argv[i], "--no-headlight") == 0) settings.headlight = false;
        else if (std::strcmp(argv[i], "--frame-stats") == 0) tessel::report_frames(stderr);
        else if (std::strcmp(argv[i], "--viewpoint") == 0 && i + 1 < options && argv[i + 1][0] != '\0')
            viewpoint = argv[++i];
        else qt_argv.push_back(argv[i]);
    }
    qt_argv.push_back(nullptr);

    // On main's stack: it must never be destroyed by exit-time destructors,
    // which run after Qt's own statics are gone.
    int qt_argc = static_cast<int>(qt_argv.size()) - 1;
    QApplication application(qt_argc, qt_argv.data());
    QApplication::setApplicationName(QStringLiteral("tessel"));

    QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty() && files.front().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "tessel: unknown option %s\n", qPrintable(files.front()));
        usage(stderr);
        return 2;
    }
    for (int i = options + 1; i < argc; ++i) files.append(QFile::decodeName(argv[i]));
    if (files.size() > 1) {
        std::fputs("tessel: more than one scene file given\n", stderr);
        usage(stderr);
        return 2;
    }
    const QString initialFile = files.isEmpty() ? QString() : QFileInfo(files.front()).absoluteFilePath();
    theApp.InitInstance(initialFile, classic, settings, QString::fromLocal8Bit(viewpoint.c_str()));
    return 0;
}
