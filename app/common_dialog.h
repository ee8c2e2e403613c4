#pragma once
// The panel's file-choosing control: invisible in the panel, it shows an
// Open dialog on request and keeps the path the user chose.

#include <QString>
#include <QWidget>

class CCommonDialog1 : public QWidget {
public:
    explicit CCommonDialog1(QWidget* parent = nullptr);

    // The folder the next Open dialog starts in.
    void SetStartFolder(const QString& folder);
    // Shows the Open dialog and returns when the user closes it.
    void RunOpenDialog();
    // The full path of the file chosen in the last Open dialog; empty when
    // that dialog was cancelled.
    QString GetChosenPath() const;

private:
    QString m_startFolder;
    QString m_chosenPath;
};
