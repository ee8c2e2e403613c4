#include "app/viewer_app.h"

#include "app/control_panel.h"

CViewerApp theApp;

bool CViewerApp::InitInstance(const QString& initialFile, bool classic, const tessel::render_settings& settings,
                              const QString& viewpoint) {
    // What the viewer shows lives here, for the whole run: the panel and
    // the GL window are handed it, nothing else holds it.
    tessel::gl_content shown;
    shown.settings = settings;
    // The window draws heavy scenes through a lighter stand-in while the
    // view or the world moves; its full picture follows when they stop.
    shown.draw.make_stand_ins(true);
    CControlPanel panel(shown);
    if (classic) panel.SetReadingForThisRun(tessel::reading_mode::classic);
    if (!initialFile.isEmpty()) panel.SetInitialFile(initialFile);
    if (!viewpoint.isEmpty()) panel.SetInitialViewpoint(viewpoint);
    panel.DoModal();
    return false;
}
