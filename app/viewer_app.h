#pragma once

#include <QString>

// The application object: one per process, it runs the control panel. It
// owns no Qt object, so it can outlive the QApplication at process exit.
class CViewerApp {
public:
    CViewerApp() = default;
    ~CViewerApp() = default;

    // Runs the panel modally; returns false when the panel has ended, so
    // that the process ends with it. initialFile, when not empty, is opened
    // as soon as the GL window is up.
    bool InitInstance(const QString& initialFile);
};

extern CViewerApp theApp;
