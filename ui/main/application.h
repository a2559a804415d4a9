#pragma once

#include "main_window.h"

#include "app/program_options.h"
#include "app/single_instance.h"
#include "app/widgets/message_box_messenger.h"

#include <QString>

#include <memory>

class QLocalServer;

namespace vellumet::ui {

// Plugs the settings windows and the Language window into the window's menu.
void wireSettingsDialogs(MainWindow& window, const QString& iniPath);

// The application: single instance, data folder, language, then the main
// window until it closes.
class Application {
public:
    Application();
    ~Application();

    // Runs the program with an application object already made. Returns the
    // exit code; a second instance returns 0 at once.
    int initInstance(const app::ProgramOptions& options);

    // Releases the single-instance lock and starts a new instance with the
    // same arguments, for the restart after a language change.
    void restart();

    QString dataFolder;
    app::SingleInstance singleInstanceMutex;
    std::unique_ptr<MainWindow> mainDlg;

private:
    void listenForActivation();
    static void askRunningInstanceToShow(const QString& serverName);
    QString activationServerName() const;

    std::unique_ptr<StationLink> link_;
    app::MessageBoxMessenger messenger_;
    QLocalServer* server_ = nullptr;
};

} // namespace vellumet::ui
