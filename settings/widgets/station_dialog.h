#pragma once

#include "app/messenger.h"
#include "core/operation.h"
#include "device/station_link.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QBoxLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vellumet::ui {

// What the settings windows share: the station, the user's messages, the
// window's own copy of the screen-status flag, and writes run off the
// window's thread with the buttons off meanwhile.
class StationDialog : public QDialog {
    Q_OBJECT
public:
    StationDialog(StationLink& link, app::Messenger& messenger, QWidget* parent);
    ~StationDialog() override;

    bool busy() const { return running_ != nullptr; }

protected:
    // Runs job off the window's thread; then done on it. The buttons are off
    // while it runs.
    void runJob(std::function<Status(std::stop_token)> job,
                std::function<void(const Status&)> done);
    // A settings write (screen-status check, frames, 0x2F), then the window
    // closes with OK; "Please switch the device to the main screen." when the
    // station shows a menu.
    void writeAndClose(std::vector<CommandFrame> frames);
    // The message for a failed station exchange.
    void reportFailure(const Status& status);
    void addButton(QPushButton* button) { buttons_.push_back(button); }
    // Save and Exit, right-aligned at the foot of layout and locked while a
    // job runs.
    std::pair<QPushButton*, QPushButton*> addSaveExitRow(QBoxLayout* layout);
    void reject() override;
    // Without a station the window shows no value it would have to make up:
    // a line at the top of layout says so, the switches read "no station",
    // and the boxes and ticks are empty and off.
    void showNoStation(QBoxLayout* layout, const std::vector<QWidget*>& fields);
    // Makes a box at least wide enough to show widest whole, in its own font.
    static void fitBoxTo(QLineEdit* box, const QString& widest);

    StationLink& link_;
    app::Messenger& messenger_;

private:
    std::shared_ptr<OperationHandle> running_;
    std::vector<QPushButton*> buttons_;
    std::vector<bool> enabledBefore_;
};

} // namespace vellumet::ui
