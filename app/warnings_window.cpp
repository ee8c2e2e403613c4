#include "app/warnings_window.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_icon.h"

CWarningsWindow::CWarningsWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("warningsWindow"));
    setModal(false);
    setWindowIcon(tessel::app_icon());

    m_summary = new QLabel(this);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    m_list = new QPlainTextEdit(this);
    m_list->setReadOnly(true);
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    // FILE:LINE:COLUMN columns line up in a fixed-width face.
    m_list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(640, 320);
    SetWarnings(QString(), {}, 0);
}

QString CWarningsWindow::TitleFor(qint64 count) { return QStringLiteral("Avertissements (%1)").arg(count); }

void CWarningsWindow::SetWarnings(const QString& file, const QStringList& texts, qint64 count) {
    setWindowTitle(TitleFor(count));
    const QString name = file.isEmpty() ? QString() : QFileInfo(file).fileName();
    QString summary;
    if (count == 0) {
        summary = name.isEmpty() ? QStringLiteral("Aucun avertissement.")
                                 : QStringLiteral("Aucun avertissement pour %1.").arg(name);
    } else {
        summary = count == 1 ? QStringLiteral("1 avertissement pour %1.").arg(name)
                             : QStringLiteral("%1 avertissements pour %2.").arg(count).arg(name);
        if (count > texts.size())
            summary += QStringLiteral(" Seuls les %1 premiers sont list\u00e9s.").arg(texts.size());
    }
    m_summary->setText(summary);
    m_list->setPlainText(texts.join(QLatin1Char('\n')));
}

QString CWarningsWindow::Summary() const { return m_summary->text(); }

QString CWarningsWindow::ListText() const { return m_list->toPlainText(); }
