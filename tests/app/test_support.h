#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace tessel::testing {

// The process's QApplication on the offscreen platform, made on first use
// and never destroyed, with its settings in a private folder.
void ensure_application();

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
