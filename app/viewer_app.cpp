#include "app/viewer_app.h"

#include "app/control_panel.h"

CViewerApp theApp;

bool CViewerApp::InitInstance(const QString& initialFile) {
    CControlPanel panel;
    if (!initialFile.isEmpty()) panel.SetInitialFile(initialFile);
    panel.DoModal();
    return false;
}
