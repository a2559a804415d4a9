#include "message_box_messenger.h"

#include <QMessageBox>

namespace vellumet::app {

namespace {

// Messages often carry text from the station or a log file (a file name);
// it is shown as it stands, never read as markup.
int ask(QWidget* owner, QMessageBox::Icon icon, const QString& text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
    QMessageBox box(icon, QStringLiteral("Vellumet"), text, buttons, owner);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
        box.setEscapeButton(QMessageBox::Cancel);
    }
    return box.exec();
}

} // namespace

void MessageBoxMessenger::info(const QString& text) {
    ask(owner_, QMessageBox::Information, text, QMessageBox::Ok);
}

void MessageBoxMessenger::warning(const QString& text) {
    ask(owner_, QMessageBox::Warning, text, QMessageBox::Ok);
}

void MessageBoxMessenger::error(const QString& text) {
    ask(owner_, QMessageBox::Critical, text, QMessageBox::Ok);
}

bool MessageBoxMessenger::confirm(const QString& text, QuestionStyle style) {
    const QMessageBox::Icon icon =
        style.icon == QuestionStyle::Icon::Warning ? QMessageBox::Warning : QMessageBox::Question;
    const QMessageBox::StandardButton defaultButton =
        style.defaultButton == QuestionStyle::Button::Cancel ? QMessageBox::Cancel
                                                             : QMessageBox::Ok;
    return ask(owner_, icon, text, QMessageBox::Ok | QMessageBox::Cancel, defaultButton) ==
           QMessageBox::Ok;
}

} // namespace vellumet::app
