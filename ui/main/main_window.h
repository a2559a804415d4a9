#pragma once

#include "device_monitor.h"
#include "main_session.h"

#include "app/messenger.h"
#include "core/operation.h"

#include <QDialog>
#include <QIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QKeyEvent;
class QLabel;
class QMenuBar;
class QStatusBar;

namespace vellumet::ui {

class MainWindow;

// The painted picture. Composed off screen and copied in one step; the
// background is never erased separately, so nothing flickers.
class LiveView : public QWidget {
    Q_OBJECT
public:
    explicit LiveView(MainWindow& owner, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainWindow& owner_;
};

// The commands of the menu "Menu", in menu order, and the About item. The
// values are the command ids the menu items carry as their data.
enum class MenuCommand : int {
    Setup = 32772,
    Alarm = 32773,
    Calibration = 32774,
    SdCardFile = 32775,
    SyncTime = 32776,
    Language = 32777,
    About = 16,
};

// One row of the menu: its text, whether it needs the station before it acts,
// and whether it opens a window (its text then ends in "…").
struct MenuEntry {
    MenuCommand command;
    const char* source; // English text, the translation key; & marks the mnemonic
    bool needsStation;
    bool opensWindow;
};

// Every entry of the menu, in menu order; About comes last, after a separator.
const std::vector<MenuEntry>& menuEntries();
// An entry's text in the user's language.
QString menuEntryText(const MenuEntry& entry);

// The main window: live picture, menu, status bar with the connection state.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    struct Options {
        PollTiming pollTiming;
        DeviceMonitor::Options monitor;
    };

    MainWindow(StationLink& link, app::Messenger& messenger, Options options,
               QWidget* parent = nullptr);
    MainWindow(StationLink& link, app::Messenger& messenger, QWidget* parent = nullptr)
        : MainWindow(link, messenger, Options{}, parent) {}
    ~MainWindow() override;

    // Opens the station, loads the texts and the menu, shows the connection
    // state and starts the monitor and the polling thread.
    void onInitDialog();

    // What a menu command opens. The handler shows its dialog modally and
    // returns the dialog's result; the window holds the polling loop meanwhile.
    using CommandHandler = std::function<int(MainWindow&)>;
    void setCommandHandler(MenuCommand command, CommandHandler handler);
    // Runs a menu command as its menu item does. Commands that talk to the
    // station run off the window's thread; commandFinished tells when they end.
    void runCommand(MenuCommand command);
    bool commandRunning() const { return running_ != nullptr; }

    // Called when the Language dialog ends with 1: the application releases
    // its single-instance lock and starts a new instance; the window then closes.
    void setRestartHandler(std::function<void()> handler) { restart_ = std::move(handler); }

    void showAbout();

    // "Connected", "Unconnected", or the sentence that says how to give this
    // user access when the station is present but refused.
    QString connectionText() const;
    QString statusPaneText(int pane) const;
    bool restartRequested() const { return restartRequested_; }
    // The picture as the window shows it, at the given device pixel ratio.
    QImage renderPicture(qreal pixelRatio = 1.0) const;

    MainSession& session() { return session_; }
    app::Messenger& messenger() { return messenger_; }
    DeviceMonitor* deviceMonitor() { return monitor_; }
    QMenuBar* menu() { return menuBar_; }
    QStatusBar* statusBar() { return statusBar_; }
    LiveView* liveView() { return view_; }

    // The window's width, fixed whatever the platform's decorations.
    static constexpr int kWindowWidth = 485;

    void done(int result) override;

signals:
    void commandFinished(vellumet::ui::MenuCommand command);

protected:
    // Enter closes the window as Escape and the close box do.
    void keyPressEvent(QKeyEvent* event) override;

private:
    static const MenuEntry* findEntry(MenuCommand command);
    void openDialog(const MenuEntry& row);
    void syncTime(const MenuEntry& row);
    void finishCommand(MenuCommand command);
    void onDeviceChanged(DeviceChange change);
    void onRescanRequested();
    void showConnection();
    bool accessDenied() const;
    void buildMenu();
    void shutdown();

    StationLink& link_;
    app::Messenger& messenger_;
    Options options_;
    MainSession session_;
    QIcon icon_;
    QMenuBar* menuBar_ = nullptr;
    LiveView* view_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* panes_[2] = {nullptr, nullptr};
    DeviceMonitor* monitor_ = nullptr;
    std::vector<std::pair<MenuCommand, CommandHandler>> handlers_;
    std::shared_ptr<OperationHandle> running_; // the command running off the window's thread
    std::function<void()> restart_;
    bool restartRequested_ = false;
    bool initialised_ = false;

    // Lets the reader thread report a lost station for as long as the window lives.
    struct LostRelay;
    std::shared_ptr<LostRelay> lostRelay_;
};

// The program's icon in all the sizes the desktop asks for.
QIcon appIcon();

} // namespace vellumet::ui
