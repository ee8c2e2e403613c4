#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace tessel::testing {

// The process's QApplication on the offscreen platform, made on first use
// and never destroyed.
// Its settings (the viewer's and Qt's) live in a private folder of the
// test process, removed at its end.
void ensure_application();

// Forgets every setting, as on a first run.
void clear_settings();

// Arranges for act to run on the next modal window that opens, from inside
// its own event loop. The returned counter tells how many modal windows were
// handled; act must close the window.
class modal_handler {
public:
    explicit modal_handler(std::function<void(QWidget*)> act);
    ~modal_handler();
    int handled() const { return m_handled; }

private:
    struct impl;
    impl* m_impl;
    int m_handled = 0;
};

// A file under the test data folder of the app tests.
QString test_file(const char* name);

}  // namespace tessel::testing
