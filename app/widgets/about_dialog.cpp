#include "about_dialog.h"

#include "app/text_table.h"
#include "core/version.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vellumet::app {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const QString title =
        texts().loaded() ? texts()[TextId::AboutTitle] : QStringLiteral("About Vellumet");
    setWindowTitle(title);
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
    // Wide enough for its title beside the window's own icon and buttons, in
    // any language and at any scale (the title bar's font is about the
    // window's own, often bold).
    const QFontMetrics metrics = fontMetrics();
    const int wanted = qMax(metrics.horizontalAdvance(title) * 3 / 2 + 8 * metrics.height(),
                            22 * metrics.height());
    const int missing = wanted - layout->sizeHint().width();
    if (missing > 0)
        version->setMinimumWidth(version->sizeHint().width() + missing);
}

QString AboutDialog::versionLine() {
    return QStringLiteral("Vellumet, %1").arg(QString::fromLatin1(kVersion));
}

} // namespace vellumet::app
