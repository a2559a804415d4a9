#include "application.h"

#include "app/data_folder.h"
#include "app/language.h"
#include "app/text_table.h"
#include "app/transport_factory.h"
#include "sdcard/widgets/card_dialog.h"
#include "settings/widgets/alarm_dialog.h"
#include "settings/widgets/calibration_dialog.h"
#include "settings/widgets/language_dialog.h"
#include "settings/widgets/setup_dialog.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>

#include <cstdio>
#include <memory>

namespace vellumet::ui {

Application::Application() = default;

Application::~Application() {
    // Window first (it stops the polling thread), then the link (it joins its reader).
    mainDlg.reset();
    link_.reset();
}

QString Application::activationServerName() const {
#ifdef Q_OS_UNIX
    // Next to the lock, so that users of one machine do not meet each other.
    return singleInstanceMutex.lockPath() + QStringLiteral(".socket");
#else
    return QStringLiteral("kq7421-activate");
#endif
}

void Application::askRunningInstanceToShow(const QString& serverName) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (socket.waitForConnected(300)) {
        socket.write("show\n");
        socket.waitForBytesWritten(300);
        socket.disconnectFromServer();
    }
}

void Application::listenForActivation() {
    server_ = new QLocalServer(qApp);
    QLocalServer::removeServer(activationServerName());
    if (!server_->listen(activationServerName()))
        return; // bringing the window forward is a courtesy, not a requirement
    QObject::connect(server_, &QLocalServer::newConnection, server_, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            if (mainDlg) {
                mainDlg->showNormal();
                mainDlg->raise();
                mainDlg->activateWindow();
            }
        }
    });
}

int Application::initInstance(const app::ProgramOptions& options) {
    switch (singleInstanceMutex.acquire()) {
    case app::SingleInstance::Outcome::HeldByAnother:
        askRunningInstanceToShow(activationServerName());
        return 0;
    case app::SingleInstance::Outcome::Unavailable:
        std::fprintf(stderr, "vellumet: cannot create the single-instance lock %s; going on\n",
                     qPrintable(singleInstanceMutex.lockPath()));
        break;
    case app::SingleInstance::Outcome::Acquired:
        listenForActivation();
        break;
    }

    const app::DataFolderResult folder = app::prepareDataFolder(options.dataDir, {});
    dataFolder = folder.path;
    if (!folder.status)
        std::fprintf(stderr, "vellumet: %s\n", folder.status.error().text().c_str());

    const QString ini = QDir(dataFolder).filePath(QString::fromLatin1(app::kSettingsFileName));
    app::installTranslations(app::languageFromSettings(ini));

    TransportOptions transportOptions;
    transportOptions.simulate = options.simulate;
    transportOptions.profilePath = options.profilePath.toStdString();
    transportOptions.tracePath = options.tracePath.toStdString();
    transportOptions.dataFolder = dataFolder.toStdString();
    transportOptions.device = chosenDevice(options.device.toStdString());
    Result<std::shared_ptr<Transport>> transport = makeTransport(transportOptions);
    if (!transport) {
        std::fprintf(stderr, "vellumet: %s\n", transport.error().text().c_str());
        return 2;
    }
    link_ = std::make_unique<StationLink>(std::move(*transport));

    mainDlg = std::make_unique<MainWindow>(*link_, messenger_);
    messenger_.setOwner(mainDlg.get());
    mainDlg->setRestartHandler([this] { restart(); });
    mainDlg->setCommandHandler(MenuCommand::SdCardFile, [this](MainWindow& window) {
        sdcard::CardDialog history(*link_, window.messenger(), dataFolder, &window);
        return history.exec();
    });
    wireSettingsDialogs(*mainDlg, ini);
    mainDlg->onInitDialog();
    mainDlg->exec();

    mainDlg.reset();
    if (Status trace = link_->transportStatus(); !trace)
        std::fprintf(stderr, "vellumet: %s\n", trace.error().text().c_str());
    link_.reset();
    return 0;
}

void wireSettingsDialogs(MainWindow& window, const QString& iniPath) {
    // The Setup window is made for each opening; its area masks last as long
    // as the main window.
    auto areas = std::make_shared<settings::AreaGrid>();
    window.setCommandHandler(MenuCommand::Setup, [areas](MainWindow& w) {
        SetupDialog dialog(w.session().link(), w.messenger(), *w.session().snapshot(), *areas, &w);
        return dialog.exec();
    });
    window.setCommandHandler(MenuCommand::Alarm, [](MainWindow& w) {
        AlarmDialog dialog(w.session().link(), w.messenger(), *w.session().snapshot(), &w);
        return dialog.exec();
    });
    window.setCommandHandler(MenuCommand::Calibration, [](MainWindow& w) {
        CalibrationDialog dialog(w.session().link(), w.messenger(), *w.session().snapshot(), &w);
        return dialog.exec();
    });
    window.setCommandHandler(MenuCommand::Language, [iniPath](MainWindow& w) {
        app::LanguageDialog dialog(w.session().link(), w.messenger(), iniPath, &w);
        return dialog.exec();
    });
}

void Application::restart() {
    if (server_)
        server_->close();
    singleInstanceMutex.release();
    QProcess::startDetached(QCoreApplication::applicationFilePath(),
                            QCoreApplication::arguments().mid(1));
}

} // namespace vellumet::ui
