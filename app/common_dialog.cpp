#include "app/common_dialog.h"

#include <QFileDialog>
#include <QStringList>

CCommonDialog1::CCommonDialog1(QWidget* parent) : QWidget(parent) {
    // Only its dialog is ever seen.
    setVisible(false);
    setFocusPolicy(Qt::NoFocus);
}

void CCommonDialog1::SetStartFolder(const QString& folder) { m_startFolder = folder; }

void CCommonDialog1::RunOpenDialog() {
    QFileDialog dialog(window(), QStringLiteral("Ouvrir"), m_startFolder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name is taken as it is; the loader reports one that cannot be
    // read, as it does for any other unreadable file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(
        QStringList{QStringLiteral("Scènes VRML et X3D (*.wrl *.wrz *.wrl.gz *.x3dv *.x3dvz *.x3dv.gz *.x3d *.x3dz *.x3d.gz)"),
                    QStringLiteral("Tous les fichiers (*)")});
    dialog.setObjectName(QStringLiteral("openDialog"));
    m_chosenPath.clear();
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_chosenPath = dialog.selectedFiles().constFirst();
    }
}

QString CCommonDialog1::GetChosenPath() const { return m_chosenPath; }
