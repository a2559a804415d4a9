#include "message_box_messenger.h"

#include <QMessageBox>

namespace vellumet::app {

namespace {

// Messages often carry text from the station or a log file (a file name);
// it is shown as it stands, never read as markup.
int ask(QWidget* owner, QMessageBox::Icon icon, const QString& text,
        QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QStringLiteral("Vellumet"), text, buttons, owner);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

} // namespace

void MessageBoxMessenger::info(const QString& text) {
    ask(owner_, QMessageBox::Information, text, QMessageBox::Ok);
}

bool MessageBoxMessenger::confirm(const QString& text) {
    return ask(owner_, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

} // namespace vellumet::app
