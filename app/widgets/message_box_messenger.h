#pragma once

#include "app/messenger.h"

class QWidget;

namespace vellumet::app {

// Messages as message boxes titled "Vellumet", owned by the given window.
class MessageBoxMessenger : public Messenger {
public:
    explicit MessageBoxMessenger(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    void info(const QString& text) override;
    void warning(const QString& text) override;
    void error(const QString& text) override;
    bool confirm(const QString& text, QuestionStyle style) override;

private:
    QWidget* owner_;
};

} // namespace vellumet::app
