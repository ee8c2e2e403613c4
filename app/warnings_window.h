#pragma once
// The list of problems met by the last load that succeeded: a window of its
// own that stays open beside the panel without holding it up, so that a file
// with warnings never costs a box to dismiss.

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;

class CWarningsWindow : public QDialog {
public:
    explicit CWarningsWindow(QWidget* parent = nullptr);

    // Shows the warnings of file: the kept texts, and count, how many there
    // were in all (the reader keeps only the first ones).
    void SetWarnings(const QString& file, const QStringList& texts, qint64 count);

    // The title for count warnings; the panel's menu item and tests use it.
    static QString TitleFor(qint64 count);

    QString Summary() const;
    QString ListText() const;

private:
    QLabel* m_summary = nullptr;
    QPlainTextEdit* m_list = nullptr;
};
