#include "app/control_panel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>

#include <QDragEnterEvent>
#include <QEventLoop>
#include <QTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/app_icon.h"
#include "app/about_dialog.h"
#include "app/dialog_units.h"
#include "glwindow/gl_window.h"
#include "app/number_text.h"
#include "app/recent_files.h"
#include "app/spin_steps.h"
#include "app/warnings_window.h"
#include "input/load_result.h"
#include "scene/scene.h"

namespace {

enum class control_kind { label, file_dialog, progress, trackbar, edit, spin };

struct control_template {
    int id;  // 0 for the labels, which nothing refers to
    control_kind kind;
    const char* text;
    int x, y, width, height;  // dialog units
};

// The panel's controls in tab order.
constexpr control_template kPanelTemplate[] = {
    {0, control_kind::label, "VRML TESSALO V 1.0", 49, 27, 80, 9},
    {CControlPanel::IDC_FILE_DIALOG, control_kind::file_dialog, nullptr, 155, 7, 21, 20},
    {CControlPanel::IDC_PROGRESS_PROCESS, control_kind::progress, nullptr, 65, 53, 111, 13},
    {CControlPanel::IDC_PROGRESS_READ, control_kind::progress, nullptr, 65, 41, 111, 12},
    {0, control_kind::label, "L\u00e9cture du fichier", 7, 41, 56, 12},
    {CControlPanel::IDC_TRANSLATE_X, control_kind::trackbar, nullptr, 53, 89, 123, 11},
    {CControlPanel::IDC_SCALE_ATTENUATION, control_kind::edit, nullptr, 133, 129, 30, 12},
    {CControlPanel::IDC_TRANSLATE_Y, control_kind::trackbar, nullptr, 53, 103, 123, 11},
    {CControlPanel::IDC_TRANSLATE_Z, control_kind::trackbar, nullptr, 53, 117, 123, 11},
    {CControlPanel::IDC_ROTATE_X, control_kind::trackbar, nullptr, 54, 191, 122, 11},
    {0, control_kind::label, "X-Translate", 7, 92, 46, 9},
    {0, control_kind::label, "Y-Translate", 7, 104, 46, 9},
    {0, control_kind::label, "Z-Translate", 7, 119, 46, 9},
    {0, control_kind::label, "Scale Attenuation", 69, 132, 60, 9},
    {CControlPanel::IDC_ROTATE_Y, control_kind::trackbar, nullptr, 54, 203, 122, 11},
    {CControlPanel::IDC_ROTATE_Z, control_kind::trackbar, nullptr, 54, 216, 122, 11},
    {0, control_kind::label, "X-Rotation", 9, 193, 38, 10},
    {0, control_kind::label, "Y--Rotation", 9, 206, 35, 10},
    {0, control_kind::label, "Z--Rotation", 9, 218, 38, 10},
    {CControlPanel::IDC_TRANSLATE_ATTENUATION, control_kind::edit, nullptr, 131, 76, 32, 12},
    {0, control_kind::label, "Translate Attenuation", 59, 78, 71, 9},
    {0, control_kind::label, "Visionneuse de l'\u00e9quipe tessel", 27, 18, 121, 8},
    {0, control_kind::label, "Traitement", 25, 54, 37, 12},
    {CControlPanel::IDC_SCALE_X, control_kind::trackbar, nullptr, 53, 142, 123, 11},
    {CControlPanel::IDC_SCALE_Y, control_kind::trackbar, nullptr, 53, 156, 123, 11},
    {CControlPanel::IDC_SCALE_Z, control_kind::trackbar, nullptr, 53, 170, 123, 11},
    {0, control_kind::label, "X-Scale", 7, 145, 46, 9},
    {0, control_kind::label, "Y-Scale", 7, 157, 46, 9},
    {0, control_kind::label, "Z-Scale", 7, 172, 46, 9},
    {CControlPanel::IDC_SPIN_TRANSLATE_ATTENUATION, control_kind::spin, nullptr, 163, 76, 7, 13},
    {CControlPanel::IDC_SPIN_SCALE_ATTENUATION, control_kind::spin, nullptr, 161, 129, 9, 13},
};

constexpr int kPanelWidth = 183;  // client area, dialog units
constexpr int kPanelHeight = 261;
constexpr int kPanelLeft = 10;
constexpr int kPanelTop = 10;

// Range and rest position the spins start with; the tick keeps them at
// rest between its runs.
constexpr int kInitialSpinRange = 0xA120;

QWidget* create_control(const control_template& entry, QWidget* parent) {
    QWidget* widget = nullptr;
    switch (entry.kind) {
        case control_kind::label: {
            auto* label = new QLabel(QString::fromUtf8(entry.text), parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case control_kind::file_dialog:
            widget = new CCommonDialog1(parent);
            break;
        case control_kind::progress:
            widget = new CProgressCtrl(parent);
            break;
        case control_kind::trackbar:
            widget = new CSliderCtrl(parent);
            break;
        case control_kind::edit:
            widget = new QLineEdit(parent);
            break;
        case control_kind::spin:
            widget = new CSpinButtonCtrl(parent);
            break;
    }
    if (entry.id != 0) widget->setObjectName(QString::number(entry.id));
    return widget;
}

// Binds a control member to its control the first time an exchange runs.
template <class T>
void DDX_Control(CDataExchange* pDX, int nIDC, T*& member) {
    if (member == nullptr) member = pDX->m_pDlgWnd->findChild<T*>(QString::number(nIDC));
}

// Exchanges a float with an edit. Towards the edit, text that already reads
// as the value is left alone, so that a number being typed ("2." on the way
// to "2.5") is not rewritten under the user's fingers.
void DDX_Text(CDataExchange* pDX, int nIDC, float& value) {
    if (pDX->m_bFailed) return;
    auto* edit = pDX->m_pDlgWnd->findChild<QLineEdit*>(QString::number(nIDC));
    if (edit == nullptr) return;
    const std::optional<float> shown = tessel::parse_attenuation(edit->text().toStdString());
    if (!pDX->m_bSaveAndValidate) {
        if (!shown || *shown != value) {
            edit->setText(QString::fromStdString(tessel::format_attenuation(value)));
        }
        return;
    }
    if (shown) {
        value = *shown;
        return;
    }
    QMessageBox prompt(QMessageBox::Warning, QStringLiteral("tessel"), QStringLiteral("Entrez un nombre."),
                       QMessageBox::Ok, pDX->m_pDlgWnd);
    prompt.setObjectName(QStringLiteral("numberPrompt"));
    prompt.exec();
    pDX->m_bFailed = true;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

}  // namespace

CControlPanel::CControlPanel(tessel::gl_content& shown, QWidget* parent)
    : QDialog(parent), m_icon(tessel::app_icon()), m_shown(shown) {
    setWindowTitle(QStringLiteral("tessel"));
    setAcceptDrops(true);
    setFont(tessel::dialog_font());
    CreateMenu();
    CreateControls();
}

void CControlPanel::CreateMenu() {
    m_menuBar = new QMenuBar(this);
    QMenu* file = m_menuBar->addMenu(QStringLiteral("&Fichier"));
    QAction* open = file->addAction(QStringLiteral("&Ouvrir"));
    open->setObjectName(QString::number(ID_FILE_OPEN));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(open, &QAction::triggered, this, &CControlPanel::OnFileOpen);
    CreateReadingItems(file);
    QAction* end = file->addSeparator();
    CreateRecentFilesMenu(file, end);
    QAction* quit = file->addAction(QStringLiteral("&Quitter"));
    quit->setObjectName(QString::number(ID_FILE_QUIT));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &CControlPanel::OnQuit);
    // The shortcuts work wherever the focus is in the panel.
    addAction(open);
    addAction(quit);
    CreateViewMenu();
    CreateAnimationMenu();
}

void CControlPanel::CreateViewMenu() {
    // No shortcuts in the panel: Home and the arrows belong to its sliders
    // there; the GL window has its own keys.
    QMenu* view = m_menuBar->addMenu(QStringLiteral("&Vue"));
    QAction* home = view->addAction(QStringLiteral("Vue initiale"));
    home->setObjectName(QString::number(ID_VIEW_HOME));
    connect(home, &QAction::triggered, this, &CControlPanel::OnViewHome);
    QAction* fit = view->addAction(QStringLiteral("Cadrer"));
    fit->setObjectName(QString::number(ID_VIEW_FIT));
    connect(fit, &QAction::triggered, this, &CControlPanel::OnViewFit);
    view->addSeparator();
    QAction* headlight = view->addAction(QStringLiteral("Lumière frontale"));
    headlight->setObjectName(QString::number(ID_VIEW_HEADLIGHT));
    headlight->setCheckable(true);
    headlight->setChecked(m_shown.settings.headlight);
    connect(headlight, &QAction::toggled, this, &CControlPanel::OnViewHeadlight);
    CreateViewpointsMenu(view);
    CreateNavigationMenu(view);
    m_startWithCamera = m_shown.settings.use_camera;
}

void CControlPanel::CreateRecentFilesMenu(QMenu* file, QAction* before) {
    m_fileMenu = file;
    m_recentEnd = before;
    m_recentSeparator = new QAction(file);
    m_recentSeparator->setSeparator(true);
    file->insertAction(before, m_recentSeparator);
    UpdateRecentFilesMenu();
}

void CControlPanel::UpdateRecentFilesMenu() {
    // The item being triggered may be among the old ones: they go once its
    // signal has returned.
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    const QStringList files = tessel::recent_files();
    for (int i = 0; i < files.size(); ++i) {
        auto* action = new QAction(tessel::recent_file_text(i, files[i]), m_fileMenu);
        action->setObjectName(QString::number(ID_FILE_MRU_FILE1 + i));
        action->setToolTip(files[i]);
        const QString path = files[i];
        connect(action, &QAction::triggered, this, [this, path] { OnOpenRecentFile(path); });
        m_fileMenu->insertAction(m_recentEnd, action);
        m_recentActions.push_back(action);
    }
    m_recentSeparator->setVisible(!files.isEmpty());
}

namespace {

// The viewer's settings file ($XDG_CONFIG_HOME/tessel/tessel.conf), named
// here rather than from the application's names, which tests do not set.
constexpr const char* kSettingsOwner = "tessel";
constexpr const char* kClassicKey = "reading/classic";

}  // namespace

void CControlPanel::CreateReadingItems(QMenu* file) {
    file->addSeparator();
    m_classicItem = file->addAction(QStringLiteral("&Lecture classique"));
    m_classicItem->setObjectName(QString::number(ID_FILE_CLASSIC));
    m_classicItem->setCheckable(true);
    const QSettings settings(QString::fromLatin1(kSettingsOwner), QString::fromLatin1(kSettingsOwner));
    if (settings.value(QString::fromLatin1(kClassicKey), false).toBool()) {
        m_readingMode = tessel::reading_mode::classic;
        m_classicItem->setChecked(true);
    }
    // Only the user's clicks: SetReadingForThisRun checks the item too.
    connect(m_classicItem, &QAction::triggered, this, &CControlPanel::OnReadingClassic);

    m_warningsItem = file->addAction(QStringLiteral("&Avertissements..."));
    m_warningsItem->setObjectName(QString::number(ID_FILE_WARNINGS));
    m_warningsItem->setEnabled(false);
    connect(m_warningsItem, &QAction::triggered, this, &CControlPanel::OnShowWarnings);
    file->addSeparator();
}

void CControlPanel::SetReadingForThisRun(tessel::reading_mode mode) {
    m_readingMode = mode;
    m_classicItem->setChecked(mode == tessel::reading_mode::classic);
}

void CControlPanel::OnReadingClassic(bool checked) {
    m_readingMode = checked ? tessel::reading_mode::classic : tessel::reading_mode::standard;
    m_classicItem->setChecked(checked);
    {
        QSettings settings(QString::fromLatin1(kSettingsOwner), QString::fromLatin1(kSettingsOwner));
        settings.setValue(QString::fromLatin1(kClassicKey), checked);
        // The viewer ends through exit(), which skips the destructors that
        // would write it later.
        settings.sync();
    }
    // The scene on screen stays if its file can no longer be read; LoadFile
    // says why.
    if (!m_currentFile.isEmpty()) LoadFile(m_currentFile);
}

void CControlPanel::UpdateWarnings(const tessel::load_result& result) {
    m_warnings.clear();
    for (const std::string& text : result.warnings) m_warnings << QString::fromUtf8(text);
    m_warningCount = result.warning_count;
    ShowWarningCount();
}

void CControlPanel::ShowWarningCount() {
    if (m_warningCount > 0) {
        m_warningsItem->setText(QStringLiteral("&Avertissements (%1)...").arg(m_warningCount));
        m_warningsItem->setEnabled(true);
    } else {
        m_warningsItem->setText(QStringLiteral("&Avertissements..."));
        m_warningsItem->setEnabled(false);
    }
    // An open list follows the scene on screen.
    if (m_warningsWindow) m_warningsWindow->SetWarnings(m_currentFile, m_warnings, m_warningCount);
}

void CControlPanel::OnShowWarnings() {
    if (!m_warningsWindow) {
        m_warningsWindow = new CWarningsWindow(this);
        // Below the panel, where it hides neither the panel nor the GL window
        // beside it; afterwards wherever the user puts it.
        const QRect panel = frameGeometry();
        QPoint at(panel.left(), panel.bottom() + 8);
        if (const QScreen* screen = this->screen()) {
            const QRect free = screen->availableGeometry();
            at.setY(std::max(free.top(), std::min(at.y(), free.bottom() - m_warningsWindow->height())));
        }
        m_warningsWindow->move(at);
    }
    m_warningsWindow->SetWarnings(m_currentFile, m_warnings, m_warningCount);
    m_warningsWindow->show();
    m_warningsWindow->raise();
    m_warningsWindow->activateWindow();
}

void CControlPanel::CreateControls() {
    // The sunken frame stands outside the client area, as the panel's
    // client edge does, so control positions count from its inside.
    auto* edge = new QFrame(this);
    edge->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* edgeLayout = new QVBoxLayout(edge);
    edgeLayout->setContentsMargins(0, 0, 0, 0);
    m_client = new QWidget(edge);
    edgeLayout->addWidget(m_client);

    const tessel::dialog_units du = tessel::dialog_units_for(font());
    m_client->setFixedSize(du.x(kPanelWidth), du.y(kPanelHeight));
    for (const control_template& entry : kPanelTemplate) {
        QWidget* control = create_control(entry, m_client);
        QRect area = du.rect(entry.x, entry.y, entry.width, entry.height);
        // A face a little wider than the layout's own must not cut a label
        // short; the room to its right is free in every row.
        if (auto* label = qobject_cast<QLabel*>(control)) {
            area.setWidth(std::max(area.width(), label->fontMetrics().horizontalAdvance(label->text()) + 1));
        }
        control->setGeometry(area);
    }
    for (const int id : {IDC_SCALE_ATTENUATION, IDC_TRANSLATE_ATTENUATION}) {
        auto* edit = m_client->findChild<QLineEdit*>(QString::number(id));
        // Only the user's edits count; the panel's own rewrites are not news.
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (m_updateDepth == 0) OnChangeAttenuation();
        });
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(edge);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CControlPanel::DoModal() {
    OnInitDialog();
    const tessel::dialog_units du = tessel::dialog_units_for(font());
    move(du.x(kPanelLeft), du.y(kPanelTop));
    return exec();
}

bool CControlPanel::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx{this, bSaveAndValidate};
    ++m_updateDepth;
    DoDataExchange(&dx);
    --m_updateDepth;
    return !dx.m_bFailed;
}

void CControlPanel::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_SPIN_SCALE_ATTENUATION, m_spinScaleAtt);
    DDX_Control(pDX, IDC_SPIN_TRANSLATE_ATTENUATION, m_spinTranslateAtt);
    DDX_Control(pDX, IDC_SCALE_Z, m_sliderScaleZ);
    DDX_Control(pDX, IDC_SCALE_Y, m_sliderScaleY);
    DDX_Control(pDX, IDC_SCALE_X, m_sliderScaleX);
    DDX_Control(pDX, IDC_ROTATE_Z, m_sliderRotZ);
    DDX_Control(pDX, IDC_ROTATE_Y, m_sliderRotY);
    DDX_Control(pDX, IDC_ROTATE_X, m_sliderRotX);
    DDX_Control(pDX, IDC_TRANSLATE_Z, m_sliderTransZ);
    DDX_Control(pDX, IDC_TRANSLATE_Y, m_sliderTransY);
    DDX_Control(pDX, IDC_TRANSLATE_X, m_sliderTransX);
    DDX_Control(pDX, IDC_PROGRESS_READ, m_progressRead);
    DDX_Control(pDX, IDC_PROGRESS_PROCESS, m_progressProcess);
    DDX_Control(pDX, IDC_FILE_DIALOG, m_fileDialog);
    DDX_Text(pDX, IDC_SCALE_ATTENUATION, m_scaleAttenuation);
    DDX_Text(pDX, IDC_TRANSLATE_ATTENUATION, m_translateAttenuation);
}

bool CControlPanel::OnInitDialog() {
    UpdateData(false);

    // Window managers own the system menu, so the About item has a menu of
    // its own.
    QMenu* help = m_menuBar->addMenu(QStringLiteral("&?"));
    QAction* about = help->addAction(QStringLiteral("&A propos de tessel..."));
    about->setObjectName(QString::number(IDM_ABOUTBOX));
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX, 0); });

    setWindowIcon(m_icon);
    m_timerId = startTimer(100);

    m_sliderTransX->SetPos(50);
    m_sliderTransY->SetPos(50);
    m_sliderTransZ->SetPos(50);
    m_spinTranslateAtt->SetRange(0, kInitialSpinRange);
    m_spinScaleAtt->SetRange(0, kInitialSpinRange);
    m_spinTranslateAtt->SetPos(tessel::kSpinRest);
    m_spinScaleAtt->SetPos(tessel::kSpinRest);

    m_sliderTransX->setFocus(Qt::OtherFocusReason);
    return true;
}

void CControlPanel::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timerId) {
        OnTimer(1);
    } else {
        QDialog::timerEvent(event);
    }
}

void CControlPanel::OnSysCommand(int nID, long) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDialog about(this);
        about.DoModal();
    }
}

QString CControlPanel::StartFolder() const {
    if (!m_lastFolder.isEmpty()) return m_lastFolder;
    // The folder of an earlier run, unless it has gone since.
    const QString remembered = tessel::remembered_open_folder();
    if (!remembered.isEmpty() && QDir(remembered).exists()) return remembered;
    return QDir::currentPath();
}

void CControlPanel::OnFileOpen() {
    m_fileDialog->SetStartFolder(StartFolder());
    m_fileDialog->RunOpenDialog();
    const QString path = m_fileDialog->GetChosenPath();
    // A cancelled dialog leaves the scene on screen as it was.
    if (path.isEmpty()) return;
    LoadFile(path);
}

void CControlPanel::OnOpenRecentFile(const QString& path) {
    if (LoadFile(path) || QFileInfo::exists(path)) return;
    // Gone for good, not merely unreadable for now: the list lets it go.
    tessel::forget_recent_file(path);
    UpdateRecentFilesMenu();
}

bool CControlPanel::LoadFile(const QString& path) {
    // One load at a time: a file chosen while one runs is not read.
    if (m_loading) return false;
    const QFileInfo info(path);
    if (info.absoluteDir().exists()) {
        m_lastFolder = info.absolutePath();
        tessel::remember_open_folder(m_lastFolder);
    }

    m_progressRead->SetPos(0);
    m_progressProcess->SetPos(0);
    // The load runs on a thread of its own into a scene of its own, while
    // the panel (and the GL window, still showing the old scene) goes on
    // answering; the bars follow it. The new scene replaces the old one only
    // once the load is done, here.
    struct outcome {
        tessel::scene_store scene;
        std::unique_ptr<tessel::scene_world> world;
        tessel::load_result result;
    };
    outcome loaded;
    std::atomic<int> read{0}, processed{0};
    std::atomic<bool> done{false};
    const std::string file = QFile::encodeName(info.absoluteFilePath()).toStdString();
    const tessel::reading_mode mode = m_readingMode;
    QEventLoop waiting;
    m_loading = true;
    std::thread loader([&] {
        loaded.result = tessel::open_scene_world(
            file, loaded.scene, mode, loaded.world, [&read](int percent) { read = percent; },
            [&processed](int percent) { processed = percent; });
        done = true;
        QMetaObject::invokeMethod(&waiting, "quit", Qt::QueuedConnection);
    });
    QTimer bars;
    const auto follow = [&] {
        m_progressRead->SetPos(read);
        m_progressProcess->SetPos(processed);
    };
    connect(&bars, &QTimer::timeout, this, follow);
    bars.start(40);
    if (!done) waiting.exec();
    loader.join();
    bars.stop();
    follow();
    m_loading = false;
    const tessel::load_result& result = loaded.result;
    if (result.ok) {
        // A failed load keeps the scene and the world it belongs to.
        loaded.scene.generation = m_shown.scene.generation + 1;
        m_shown.scene = std::move(loaded.scene);
        m_world = std::move(loaded.world);
        tessel::release_freed_pages();  // the old scene's
    }
    if (m_closeAfterLoad) OnClose();
    if (result.ok) {
        m_drawProblemReported = false;
        tessel::remember_recent_file(info.absoluteFilePath());
        UpdateRecentFilesMenu();
    }
    UpdateData(false);
    tessel::redraw_if_changed();
    if (result.ok) {
        m_currentFile = info.absoluteFilePath();
        UpdateWarnings(result);
        UpdateViewpointsMenu();
        SetNavigation(m_shown.scene.navigation.mode);
        if (!m_initialViewpoint.isEmpty()) {
            const QString which = std::exchange(m_initialViewpoint, QString());
            if (!ShowViewpoint(tessel::find_viewpoint(m_shown.scene, which.toStdString())))
                std::fprintf(stderr, "tessel: the file has no viewpoint \"%s\"\n", which.toLocal8Bit().constData());
        }
        // After the load's warnings: the world adds its own as it plays.
        StartWorld();
        if (!result.incomplete.empty()) {
            // The scene on screen lacks parts: said where it cannot be missed.
            QMessageBox box(QMessageBox::Warning, QStringLiteral("tessel"),
                            QStringLiteral("La scène n'est chargée qu'en partie : ") +
                                QString::fromUtf8(result.incomplete),
                            QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("loadIncomplete"));
            box.exec();
        }
    } else {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("tessel"), QString::fromUtf8(result.error),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("loadError"));
        box.exec();
    }
    return result.ok;
}

namespace {

// The first local file among the dragged items, or an empty string.
QString dropped_file(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

}  // namespace

void CControlPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (!dropped_file(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CControlPanel::dropEvent(QDropEvent* event) {
    const QString path = dropped_file(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // Load after the drop has finished: the drag source waits for the
    // answer, and an error box must not hold it up.
    QMetaObject::invokeMethod(this, [this, path] { LoadFile(path); }, Qt::QueuedConnection);
}

void CControlPanel::OnChangeAttenuation() { UpdateData(true); }

void CControlPanel::OnClose() {
    // exit() skips the panel's destructor: the world goes with the scene.
    m_world.reset();
    tessel::release_scene(m_shown.scene);
    std::fflush(nullptr);
    std::exit(0);
}

void CControlPanel::OnQuit() { CloseWhenLoaded(); }

void CControlPanel::CloseWhenLoaded() {
    // A load under way finishes first: its thread must not outlive the program.
    if (m_loading) {
        m_closeAfterLoad = true;
        return;
    }
    OnClose();
}

void CControlPanel::closeEvent(QCloseEvent* event) {
    event->accept();
    CloseWhenLoaded();
}

void CControlPanel::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CControlPanel::accept() {
    if (m_toolkitLoopRunning) return;
    if (!UpdateData(true)) return;
    QDialog::accept();
}

void CControlPanel::reject() {
    if (m_toolkitLoopRunning) return;
    QDialog::reject();
}
