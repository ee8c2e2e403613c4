#include "app/viewer_app.h"

#include "app/control_panel.h"

CViewerApp theApp;

bool CViewerApp::InitInstance(const QString& initialFile, bool classic) {
    CControlPanel panel;
    if (classic) panel.SetReadingForThisRun(tessel::reading_mode::classic);
    if (!initialFile.isEmpty()) panel.SetInitialFile(initialFile);
    panel.DoModal();
    return false;
}
