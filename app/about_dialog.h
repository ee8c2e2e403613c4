#pragma once

#include <QDialog>

// The About box: the icon, the version line, a credit line and OK.
class CAboutDialog : public QDialog {
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
    int DoModal() { return exec(); }
};
