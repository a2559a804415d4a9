#include "message_box_messenger.h"

#include <QMessageBox>

namespace vellumet::app {

void MessageBoxMessenger::info(const QString& text) {
    QMessageBox::information(owner_, QStringLiteral("Vellumet"), text);
}

bool MessageBoxMessenger::confirm(const QString& text) {
    return QMessageBox::question(owner_, QStringLiteral("Vellumet"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

} // namespace vellumet::app
