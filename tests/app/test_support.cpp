#include "test_support.h"

#include <QApplication>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tessel::testing {

namespace {

// The settings folder of this test process, removed when it ends.
std::string g_settings_folder;

void remove_settings_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(g_settings_folder, ignored);
}

// Settings go to a folder of the process's own, never to the user's: the
// viewer's and Qt's own (the file dialog keeps its state there too).
void use_private_settings() {
    char pattern[] = "/tmp/tessel-app-settings-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    g_settings_folder = pattern;
    std::atexit(remove_settings_folder);
    qputenv("XDG_CONFIG_HOME", pattern);
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QString::fromLocal8Bit(pattern));
}

}  // namespace

void clear_settings() {
    ensure_application();
    // Through QSettings, whose cache would outlive files removed under it.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tessel"), QStringLiteral("tessel"))
        .clear();
}

void ensure_application() {
    if (QApplication::instance() != nullptr) return;
    use_private_settings();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tessel_app_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

struct modal_handler::impl {
    QTimer timer;
    QPointer<QWidget> last;  // a new box may reuse a closed one's address
};

modal_handler::modal_handler(std::function<void(QWidget*)> act) : m_impl(new impl) {
    m_impl->timer.setInterval(5);
    QObject::connect(&m_impl->timer, &QTimer::timeout, [this, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == m_impl->last.data()) return;
        m_impl->last = modal;
        ++m_handled;
        act(modal);
    });
    m_impl->timer.start();
}

modal_handler::~modal_handler() { delete m_impl; }

QString test_file(const char* name) {
    return QStringLiteral(TESSEL_SOURCE_DIR "/tests/e2e/data/") + QString::fromUtf8(name);
}

}  // namespace tessel::testing
