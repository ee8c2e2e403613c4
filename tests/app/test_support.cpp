#include "test_support.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "tests/support/test_env.h"

namespace tessel::testing {

void ensure_application() {
    if (QApplication::instance() != nullptr) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The panel reads and writes its settings there: never the user's own,
    // and nothing left from an earlier run. Qt looks the folder up once.
    static const tessel::test::temp_folder config("tessel-app-config");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
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
