#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/dialog_units.h"

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("A propos de tessel"));
    setFont(tessel::dialog_font());
    const tessel::dialog_units du = tessel::dialog_units_for(font());
    setFixedSize(du.x(217), du.y(55));

    auto* picture = new QLabel(this);
    const QRect iconRect = du.rect(11, 17, 20, 20);
    picture->setGeometry(iconRect);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(tessel::app_icon().pixmap(32, 32));
    picture->setObjectName(QStringLiteral("icon"));

    auto* version = new QLabel(QStringLiteral("tessel version 1.0"), this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(du.rect(40, 10, 119, 8));

    auto* credit = new QLabel(QStringLiteral("par l'\u00e9quipe tessel"), this);
    credit->setTextFormat(Qt::PlainText);
    credit->setGeometry(du.rect(40, 25, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.rect(158, 7, 52, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setWindowIcon(tessel::app_icon());
}
