#pragma once
// The control panel: the viewer's main window for the whole run. Sliders and
// spin arrows steer the view transform (through the tick), the progress bars
// follow a load, the menu opens scenes and ends the viewer, and a world that
// moves plays in real time until it is paused.

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>

#include "app/common_dialog.h"
#include "app/controls.h"
#include "app/gl_steering.h"
#include "app/spin_button.h"
#include "app/view_steering.h"
#include "glwindow/gl_window.h"
#include "open/open.h"
#include "walk/walk.h"

class QAction;
class QLineEdit;
class QMenu;
class QMenuBar;
class QTimer;
class CControlPanel;
class CWarningsWindow;

// One run of the panel's data exchange: which way it goes, and whether a
// control refused its value.
struct CDataExchange {
    CControlPanel* m_pDlgWnd;
    bool m_bSaveAndValidate;  // true: from the controls into the members
    bool m_bFailed = false;
};

class CControlPanel : public QDialog, public tessel::steering_target {
public:
    // Command numbers of the menu items and the About item.
    static constexpr int ID_FILE_OPEN = 32771;
    static constexpr int ID_FILE_QUIT = 32772;
    static constexpr int ID_VIEW_HOME = 32773;
    static constexpr int ID_VIEW_FIT = 32774;
    static constexpr int ID_VIEW_HEADLIGHT = 32775;
    static constexpr int ID_ANIMATION_PLAY = 32776;
    static constexpr int ID_ANIMATION_RESTART = 32777;
    static constexpr int ID_VIEW_VIEWPOINTS = 32778;  // the "Points de vue" menu
    static constexpr int ID_VIEW_VIEWPOINT1 = 32800;  // its first item; the others follow
    static constexpr int ID_VIEW_NAVIGATION = 32779;  // the "Navigation" menu
    static constexpr int ID_VIEW_EXAMINE = 32780;     // its items, in the order of tessel::navigation_mode
    static constexpr int ID_VIEW_WALK = 32781;
    static constexpr int ID_VIEW_FLY = 32782;
    static constexpr int ID_VIEW_NO_NAVIGATION = 32783;
    // The recent files' items: the first, the second... of the list.
    static constexpr int ID_FILE_MRU_FILE1 = 0xE110;
    static constexpr int IDM_ABOUTBOX = 0x0010;
    static constexpr int ID_FILE_CLASSIC = 32790;
    static constexpr int ID_FILE_WARNINGS = 32791;

    // Control ids; each control's object name is its id, by which the data
    // exchange binds it.
    static constexpr int IDC_FILE_DIALOG = 1001;
    static constexpr int IDC_SCALE_ATTENUATION = 1003;
    static constexpr int IDC_PROGRESS_PROCESS = 1006;
    static constexpr int IDC_PROGRESS_READ = 1007;
    static constexpr int IDC_TRANSLATE_X = 1008;
    static constexpr int IDC_TRANSLATE_Y = 1009;
    static constexpr int IDC_TRANSLATE_Z = 1010;
    static constexpr int IDC_ROTATE_X = 1011;
    static constexpr int IDC_ROTATE_Y = 1012;
    static constexpr int IDC_ROTATE_Z = 1013;
    static constexpr int IDC_TRANSLATE_ATTENUATION = 1014;
    static constexpr int IDC_SCALE_X = 1015;
    static constexpr int IDC_SCALE_Y = 1016;
    static constexpr int IDC_SCALE_Z = 1017;
    static constexpr int IDC_SPIN_TRANSLATE_ATTENUATION = 1018;
    static constexpr int IDC_SPIN_SCALE_ATTENUATION = 1019;

    // shown: what the panel loads files into, steers and shows in the GL
    // window; the caller's, and it must outlive the panel.
    explicit CControlPanel(tessel::gl_content& shown, QWidget* parent = nullptr);
    tessel::gl_content& Shown() { return m_shown; }
    ~CControlPanel() override;

    // Initialises the controls, starts the tick and runs the panel until
    // it is ended; the result is QDialog's.
    int DoModal();

    // A file to open as soon as the GL window is up, as if chosen with
    // "&Ouvrir".
    void SetInitialFile(const QString& path) { m_initialFile = path; }

    // Reads every file of this run in mode, whatever the stored choice, and
    // leaves that choice as it is ("--classic" on the command line).
    void SetReadingForThisRun(tessel::reading_mode mode);
    tessel::reading_mode ReadingMode() const { return m_readingMode; }
    // The item "Lecture classique": switches the reading, stores the choice
    // for later runs and reads the file on screen again in the new reading.
    void OnReadingClassic(bool checked);
    // Shows the warnings of the scene on screen in their own window, which
    // leaves the panel free.
    void OnShowWarnings();
    CWarningsWindow* WarningsWindow() const { return m_warningsWindow; }

    bool UpdateData(bool bSaveAndValidate = true);
    virtual void DoDataExchange(CDataExchange* pDX);
    bool OnInitDialog();

    // The tick: opens the GL window once, then turns spins and sliders
    // into the attenuation values and the view transform.
    void OnTimer(int nIDEvent);
    void OnSysCommand(int nID, long lParam);
    void OnFileOpen();
    // Loads one file into the scene, with both progress bars following; a
    // file that cannot be read leaves the scene as it was and says why.
    bool LoadFile(const QString& path);
    void OnChangeAttenuation();
    // A file of the recent list: loaded like a chosen one; a file that is
    // gone is reported as any unreadable file and leaves the list.
    void OnOpenRecentFile(const QString& path);
    // "Vue initiale": every slider and both attenuations back where the
    // panel started.
    void OnViewHome();
    // "Cadrer": the view that frames the whole scene.
    void OnViewFit();
    // "Lumière frontale": the light from the viewer's eye on or off.
    void OnViewHeadlight(bool on);
    // Every slider and both attenuations at rest, seen through the file's
    // camera or framing the whole scene.
    void ResetView(bool use_camera);

    // Steering by hand from the GL window. Each changes the sliders or the
    // scale attenuation as the user could, and the picture follows at once.
    // While a load, a data exchange or another modal window is in progress,
    // nothing happens.
    bool CanSteer() const override;
    // Rotation sliders X and Y turned by whole steps, wrapping around.
    void TurnBy(int xSteps, int ySteps) override;
    // The scale attenuation zoomed by notches.
    void ZoomBy(int steps) override;
    void DragBegin() override;
    // Across the whole window is one full turn.
    void DragTurn(int dx, int dy, int width, int height) override;
    // The same, moving the scene in the view plane with the pointer.
    void DragMove(int dx, int dy, int width, int height) override;
    void GoHome() override { OnViewHome(); }
    // Space in the GL window: as the item "Lecture/Pause", while the panel
    // can steer.
    void PlayOrPause() override;
    void NextViewpoint(int step) override;
    // Shows the file's viewpoint i (from 0) as the starting view, the
    // sliders back at rest; false when the file has no such viewpoint.
    bool ShowViewpoint(int i);
    // "Navigation": how the GL window's hand moves the view. Examining turns
    // the sliders; walking and flying move the viewer through the scene from
    // its camera (the sliders still act on the picture); none leaves the
    // view to the panel. A load takes the file's own mode.
    void SetNavigation(tessel::navigation_mode mode);
    tessel::navigation_mode Navigation() const { return m_navigation; }
    // --viewpoint: the one shown once the first file is loaded.
    void SetInitialViewpoint(const QString& which) { m_initialViewpoint = which; }

    // "Lecture/Pause": a world that moves plays (checked) or stands still
    // where it is; its clock counts only the time it plays.
    void OnAnimationPlay(bool play);
    // "Recommencer": the world as it was loaded, clock at 0, playing.
    void OnAnimationRestart();
    // The world of the scene shown; null when nothing in it can move (and
    // always in the classic reading).
    const tessel::scene_world* World() const { return m_world.get(); }
    [[noreturn]] void OnClose();
    // Quit and the window's close: at once, or once the load under way is done.
    void OnQuit();
    void CloseWhenLoaded();

    // The folder the Open dialog starts in.
    QString StartFolder() const;
    bool ToolkitLoopRunning() const { return m_toolkitLoopRunning; }

    CSpinButtonCtrl* m_spinScaleAtt = nullptr;
    CSpinButtonCtrl* m_spinTranslateAtt = nullptr;
    CSliderCtrl* m_sliderScaleZ = nullptr;
    CSliderCtrl* m_sliderScaleY = nullptr;
    CSliderCtrl* m_sliderScaleX = nullptr;
    CSliderCtrl* m_sliderRotZ = nullptr;
    CSliderCtrl* m_sliderRotY = nullptr;
    CSliderCtrl* m_sliderRotX = nullptr;
    CSliderCtrl* m_sliderTransZ = nullptr;
    CSliderCtrl* m_sliderTransY = nullptr;
    CSliderCtrl* m_sliderTransX = nullptr;
    CProgressCtrl* m_progressRead = nullptr;
    CProgressCtrl* m_progressProcess = nullptr;
    CCommonDialog1* m_fileDialog = nullptr;
    float m_scaleAttenuation = 1.0f;
    float m_translateAttenuation = 1.0f;
    QIcon m_icon;

protected:
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A scene file dropped on the panel opens as "&Ouvrir" would open it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

public:
    // Enter and Escape end the panel only in its own loop, before the GL
    // window opens or after it has closed.
    void accept() override;
    void reject() override;

private:
    void CreateControls();
    void CreateMenu();
    void CreateViewMenu();
    void CreateAnimationMenu();
    void CreateViewpointsMenu(QMenu* view);
    // Lists the scene's viewpoints, the one shown checked.
    void UpdateViewpointsMenu();
    // The list again when the world's events bound another viewpoint.
    void FollowBoundViewpoint();
    void CreateNavigationMenu(QMenu* view);
    void UpdateNavigationMenu();
    // Walking or flying: the hand's gesture moves the viewer; false when
    // examining (the sliders take it).
    bool Walk(const tessel::walk_move& move);
    bool WalkTurn(int xSteps, int ySteps);
    bool WalkZoom(int steps);
    bool WalkDrag(int dx, int dy, int width, int height, bool aside);
    // The recent files' part of the "&Fichier" menu, built before item;
    // UpdateRecentFilesMenu refills it from the settings.
    void CreateRecentFilesMenu(QMenu* file, QAction* before);
    void UpdateRecentFilesMenu();
    // The sliders and attenuations into the shown view, and a frame if that changed
    // the picture: the tick's last step, also run at once after steering.
    void ApplyView();
    // The reading switch and the warnings item of "&Fichier".
    void CreateReadingItems(QMenu* file);
    // The warnings of the load of m_currentFile, in place of the last ones.
    void UpdateWarnings(const tessel::load_result& result);
    // The warnings item and an open list follow m_warnings and m_warningCount.
    void ShowWarningCount();
    // What the world said while it played, added to the scene's warnings.
    void TakeWorldWarnings();

    // A successful load replaced the world (or left none): it plays from
    // the start.
    void StartWorld();
    // The world's clock starts at 0 now, playing, and the world is sampled
    // there.
    void PlayFromStart();
    // One step of the animation timer: the world at the clock's time.
    void OnAnimationTick();
    // The world at seconds on its clock, and a frame when that changed what
    // is drawn.
    void StepWorld(double seconds);
    // Seconds on the world's clock: played time only, pauses left out.
    double WorldSeconds() const;
    // The timer runs only while a world plays and can still change by
    // itself; the items only while there is a world to play.
    void UpdateAnimation();
    // A world that failed while it played stops for good, and says why.
    void StopWorld(const QString& why);
    // Runs from a queued call of the first tick: opens the GL window and
    // serves both windows in the toolkit's loop until the GL window closes.
    void RunGlWindow();
    // From the tick: when the last frame could not draw the whole scene on
    // screen (too large, or no memory for its arrays), says so once per
    // scene in a box that leaves the panel free.
    void ReportDrawProblem();

    tessel::gl_content& m_shown;
    QMenuBar* m_menuBar = nullptr;
    QWidget* m_client = nullptr;
    int m_timerId = 0;
    int m_updateDepth = 0;  // > 0 while a data exchange runs
    bool m_toolkitLoopRunning = false;
    bool m_loading = false;
    bool m_closeAfterLoad = false;
    QMenu* m_viewpointsMenu = nullptr;
    QMenu* m_navigationMenu = nullptr;
    tessel::navigation_mode m_navigation = tessel::navigation_mode::examine;
    std::unique_ptr<tessel::collider> m_surfaces;  // made when the viewer first walks
    QString m_initialViewpoint;  // closed while a load ran: closes once it is done
    // Whether the starting view is the file's own camera (no --fit): the
    // view Home goes back to; Cadrer frames the whole scene instead.
    bool m_startWithCamera = true;
    QString m_initialFile;
    QString m_lastFolder;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;  // before the list; hidden while it is empty
    QAction* m_recentEnd = nullptr;        // the list ends before this item
    QList<QAction*> m_recentActions;
    tessel::step_accumulator m_turnRest[2];  // x, y rotation
    tessel::step_accumulator m_moveRest[3];  // x, y, z translation

    tessel::reading_mode m_readingMode = tessel::reading_mode::standard;
    QString m_currentFile;  // the file of the scene on screen, read again when the reading changes
    QStringList m_warnings;  // the warnings of that scene's load: the first ones, and how many in all
    qint64 m_warningCount = 0;
    QAction* m_classicItem = nullptr;
    QAction* m_warningsItem = nullptr;
    CWarningsWindow* m_warningsWindow = nullptr;  // made on first use, then kept
    // The scene on screen was told to be too heavy to draw. Once per load:
    // a scene that is built again (as a world that moves is, at every step)
    // makes a new generation of the store but is the same scene.
    bool m_drawProblemReported = false;

    std::unique_ptr<tessel::scene_world> m_world;  // of the scene shown, replaced with it
    QTimer* m_animationTimer = nullptr;            // about 60 Hz, only while the world moves
    QElapsedTimer m_playClock;                     // since the world last started playing
    double m_playedSeconds = 0;                    // world time when it last started playing
    bool m_paused = false;
    // The GL window has closed, and no other opens: nothing shows the world.
    bool m_glWindowGone = false;
    std::size_t m_worldWarningsTaken = 0;  // of m_world->warnings(), already in m_warnings
    QAction* m_playItem = nullptr;
    QAction* m_restartItem = nullptr;
};

namespace tessel {

// Set by the first tick before anything else, and never cleared: exactly
// one GL window is ever opened.
extern bool glWindowStarted;

}  // namespace tessel
