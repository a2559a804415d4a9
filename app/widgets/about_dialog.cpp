#include "about_dialog.h"

#include "core/version.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vellumet::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Vellumet"));
    setObjectName(QStringLiteral("aboutDialog"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    const QIcon windowIcon = parent ? parent->windowIcon() : QIcon();
    if (!windowIcon.isNull())
        icon->setPixmap(windowIcon.pixmap(48, 48));

    auto* version = new QLabel(versionLine(), this);
    version->setObjectName(QStringLiteral("aboutVersion"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(version, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutDlg::versionLine() {
    return QStringLiteral("Vellumet, %1").arg(QString::fromLatin1(kVersion));
}

} // namespace vellumet::app
