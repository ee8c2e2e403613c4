#pragma once

#include <QString>

#include "scene/scene.h"

// The application object: one per process, it runs the control panel. It
// owns no Qt object, so it can outlive the QApplication at process exit.
class CViewerApp {
public:
    CViewerApp() = default;
    ~CViewerApp() = default;

    // Runs the panel modally; returns false when the panel has ended, so
    // that the process ends with it. initialFile, when not empty, is opened
    // as soon as the GL window is up. classic reads every file of this run
    // in the classic reading without changing the stored choice. settings
    // are the drawing switches the command line gave (--fit, --no-headlight).
    // viewpoint: --viewpoint, the file's viewpoint shown once it is loaded.
    bool InitInstance(const QString& initialFile, bool classic = false, const tessel::render_settings& settings = {},
                      const QString& viewpoint = {});
};

extern CViewerApp theApp;
