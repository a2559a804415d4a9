#include "main_window.h"

#include "live_display.h"

#include "app/background.h"
#include "app/text_table.h"
#include "app/widgets/about_dialog.h"
#include "device/station_access.h"
#include "device/time_sync.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QShortcut>
#include <QStatusBar>
#include <QVBoxLayout>

#include <mutex>

namespace vellumet::ui {

using app::TextId;

namespace {
// clang-format off
const std::vector<MenuEntry> kMenuEntries{
    {MenuCommand::Setup,       QT_TRANSLATE_NOOP("MainMenu", "&Setup…"),       false, true},
    {MenuCommand::Alarm,       QT_TRANSLATE_NOOP("MainMenu", "&Alarm…"),       false, true},
    {MenuCommand::Calibration, QT_TRANSLATE_NOOP("MainMenu", "&Calibration…"), false, true},
    {MenuCommand::SdCardFile,  QT_TRANSLATE_NOOP("MainMenu", "S&DCard File…"), false, true},
    // Asks a question, then acts: no window of its own.
    {MenuCommand::SyncTime,    QT_TRANSLATE_NOOP("MainMenu", "Sync &Time"),    true,  false},
    {MenuCommand::Language,    QT_TRANSLATE_NOOP("MainMenu", "&Language…"),    false, true},
    {MenuCommand::About,       QT_TRANSLATE_NOOP("MainMenu", "A&bout Vellumet…"), false, true},
};
// clang-format on
const char* const kMenuTitle = QT_TRANSLATE_NOOP("MainMenu", "&Menu");
} // namespace

const std::vector<MenuEntry>& menuEntries() {
    return kMenuEntries;
}

QString menuEntryText(const MenuEntry& entry) {
    return QCoreApplication::translate("MainMenu", entry.source);
}

const MenuEntry* MainWindow::findEntry(MenuCommand command) {
    for (const MenuEntry& row : kMenuEntries)
        if (row.command == command)
            return &row;
    return nullptr;
}

struct MainWindow::LostRelay {
    std::mutex mutex;
    DeviceMonitor* monitor = nullptr;
};

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(iconImage(size)));
    return icon;
}

LiveView::LiveView(MainWindow& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(MainWindow::kWindowWidth, kPictureHeight);
}

void LiveView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Drawn at the screen's own pixel density, so that text and lines stay
    // sharp when the desktop scales the window.
    painter.drawImage(0, 0, owner_.renderPicture(devicePixelRatioF()));
}

MainWindow::MainWindow(StationLink& link, app::Messenger& messenger, Options options,
                       QWidget* parent)
    : QDialog(parent), link_(link), messenger_(messenger), options_(options),
      session_(link, options.pollTiming), icon_(appIcon()),
      lostRelay_(std::make_shared<LostRelay>()) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Vellumet"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(icon_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The layout keeps the window at exactly its contents' size, also when the
    // menu bar or a status text later asks for a different height.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    menuBar_ = new QMenuBar(this);
    layout->setMenuBar(menuBar_);

    view_ = new LiveView(*this, this);
    layout->addWidget(view_);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    statusBar_->setSizeGripEnabled(false);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(15);
    statusBar_->setFont(font);
    statusBar_->setStyleSheet(
        QStringLiteral("QStatusBar { background-color: rgb(180, 20, 180); }"
                       "QStatusBar::item { border: none; }"
                       "QStatusBar QLabel { color: white; padding: 1px 6px; }"));
    for (int pane = 0; pane < 2; ++pane) {
        panes_[pane] = new QLabel(statusBar_);
        panes_[pane]->setObjectName(QStringLiteral("pane%1").arg(pane));
        panes_[pane]->setFont(font);
    }
    panes_[0]->setFixedWidth(310);
    statusBar_->addWidget(panes_[0], 0);
    statusBar_->addWidget(panes_[1], 1);
    layout->addWidget(statusBar_);

    // F10 opens the menu, as it does in other programs; Alt with the title's
    // underlined letter opens it as well.
    auto* openMenu = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(openMenu, &QShortcut::activated, this, [this] {
        const QList<QAction*> top = menuBar_->actions();
        if (!top.isEmpty() && menuBar_->isEnabled())
            menuBar_->setActiveAction(top.first());
    });
}

MainWindow::~MainWindow() {
    shutdown();
}

void MainWindow::onInitDialog() {
    if (initialised_)
        return;
    initialised_ = true;

    session_.openAtStart();
    restartRequested_ = false;
    if (!app::texts().loaded())
        app::loadTexts();
    buildMenu();
    showConnection();

    monitor_ = new DeviceMonitor(link_, options_.monitor, this);
    connect(monitor_, &DeviceMonitor::deviceChanged, this, &MainWindow::onDeviceChanged);
    connect(monitor_, &DeviceMonitor::rescanRequested, this, &MainWindow::onRescanRequested);
    {
        std::lock_guard lock(lostRelay_->mutex);
        lostRelay_->monitor = monitor_;
    }
    link_.setLinkLostListener([relay = lostRelay_] {
        std::lock_guard lock(relay->mutex);
        if (relay->monitor)
            relay->monitor->post(DeviceChange::Removal);
    });

    QPointer<LiveView> view = view_;
    session_.startPolling([view] {
        // The polling thread only asks for a repaint; painting happens here.
        QMetaObject::invokeMethod(view, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    });

    // Client area: menu, the picture, the status bar; nothing can be resized.
    adjustSize();
}

void MainWindow::buildMenu() {
    menuBar_->clear();
    QMenu* menu = menuBar_->addMenu(QCoreApplication::translate("MainMenu", kMenuTitle));
    menu->setObjectName(QStringLiteral("mainMenu"));
    for (const MenuEntry& entry : kMenuEntries) {
        if (entry.command == MenuCommand::About)
            menu->addSeparator();
        QAction* action = menu->addAction(menuEntryText(entry));
        action->setData(static_cast<int>(entry.command));
        const MenuCommand command = entry.command;
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    }
}

void MainWindow::setCommandHandler(MenuCommand command, CommandHandler handler) {
    for (auto& [id, existing] : handlers_)
        if (id == command) {
            existing = std::move(handler);
            return;
        }
    handlers_.emplace_back(command, std::move(handler));
}

void MainWindow::runCommand(MenuCommand command) {
    if (command == MenuCommand::About) {
        showAbout();
        return;
    }
    const MenuEntry* row = findEntry(command);
    if (!row || running_)
        return; // one command at a time: the menu is off while one runs
    if (row->opensWindow)
        openDialog(*row);
    else
        syncTime(*row);
}

void MainWindow::openDialog(const MenuEntry& row) {
    CommandHandler handler;
    for (const auto& [id, candidate] : handlers_)
        if (id == row.command)
            handler = candidate;

    PollLoop& poll = session_.poll();
    poll.holdForDialog();
    const int result = handler ? handler(*this) : 0;

    poll.releaseAfterDialog();

    if (row.command == MenuCommand::Language && result == 1) {
        restartRequested_ = true;
        if (restart_)
            restart_();
        reject();
    }
    emit commandFinished(row.command);
}

// Asks first, then waits for a refresh in progress and writes the clock off
// the window's thread, so that the window stays responsive meanwhile.
void MainWindow::syncTime(const MenuEntry& row) {
    PollLoop& poll = session_.poll();
    poll.hold();
    if (!messenger_.confirm(app::texts()[TextId::ConfirmSyncTime], app::kWarningQuestion)) {
        finishCommand(row.command);
        return;
    }
    if (row.needsStation && !link_.connected()) {
        messenger_.warning(app::texts()[TextId::Unconnected]);
        finishCommand(row.command);
        return;
    }
    menuBar_->setEnabled(false);
    StationLink& link = link_;
    const MenuCommand id = row.command;
    running_ = app::runInBackground<void>(
        this,
        [&link, &poll](const OperationContext& context) -> Status {
            poll.waitForIdle();
            // The time is read once the link is ours, as late as possible.
            return guardedTimeSync(link, localStationTime(), context.stopToken());
        },
        [this, id](const Status& sent) {
            if (sent)
                messenger_.info(app::texts()[TextId::SyncTimeSuccess]);
            else if (sent.code() == Errc::AwayFromMainScreen)
                messenger_.warning(app::texts()[TextId::SwitchToMainScreen]);
            else if (sent.code() != Errc::Cancelled)
                messenger_.error(app::texts()[TextId::Unconnected]);
            finishCommand(id);
        });
}

void MainWindow::finishCommand(MenuCommand command) {
    running_.reset();
    menuBar_->setEnabled(true);
    session_.poll().releaseAfterDialog();
    emit commandFinished(command);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::showAbout() {
    app::AboutDialog about(this);
    about.exec();
}

bool MainWindow::accessDenied() const {
    if (link_.connected())
        return false;
    const Status scan = link_.openStatus();
    return !scan && scan.code() == Errc::AccessDenied;
}

QString MainWindow::connectionText() const {
    if (accessDenied())
        return QCoreApplication::translate(kStationAccessContext, kAccessDeniedText)
            .arg(QString::fromLatin1(kUdevRuleFile), QString::fromLatin1(kUdevReloadCommand));
    return app::texts()[link_.connected() ? TextId::Connected : TextId::Unconnected];
}

QString MainWindow::statusPaneText(int pane) const {
    return pane >= 0 && pane < 2 && panes_[pane] ? panes_[pane]->text() : QString();
}

void MainWindow::showConnection() {
    // The permission sentence is long: it takes the whole bar, over several lines.
    const bool sentence = accessDenied();
    panes_[0]->setVisible(!sentence);
    panes_[1]->setWordWrap(sentence);
    panes_[1]->setText(connectionText());
    setWindowTitle(DeviceMonitor::windowTitle(link_));
}

QImage MainWindow::renderPicture(qreal pixelRatio) const {
    // Composed off screen first: the window gets the finished picture in one copy.
    const qreal ratio = pixelRatio > 0 ? pixelRatio : 1.0;
    QImage image(qRound(kWindowWidth * ratio), qRound(kPictureHeight * ratio),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    if (isMinimized()) {
        image.fill(palette().window().color());
        QPainter painter(&image);
        const QImage icon = iconImage(32);
        painter.drawImage((kWindowWidth - icon.width()) / 2, (kPictureHeight - icon.height()) / 2,
                          icon);
        return image;
    }
    // The strip right of the 480-pixel picture continues its edge colour.
    image.fill(backgroundImage().pixelColor(kPictureWidth - 1, kPictureHeight / 2));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    paintLiveDisplay(painter, session_.readings(), session_.fahrenheit(), app::texts(),
                     alarmStates(*session_.snapshot()));
    painter.end();
    return image;
}

void MainWindow::onDeviceChanged(DeviceChange change) {
    if (!session_.handleDeviceChange(change)) {
        setWindowTitle(DeviceMonitor::windowTitle(link_)); // another station came or went
        return;
    }
    showConnection();
    view_->update();
}

void MainWindow::onRescanRequested() {
    if (!session_.rescan()) {
        setWindowTitle(DeviceMonitor::windowTitle(link_));
        return;
    }
    showConnection();
    view_->update();
}

void MainWindow::done(int result) {
    shutdown();
    QDialog::done(result);
}

void MainWindow::shutdown() {
    if (running_)
        running_->cancel();
    session_.shutdown(); // also ends a refresh a running command may wait for
    running_.reset();    // waits for its thread
    {
        std::lock_guard lock(lostRelay_->mutex);
        lostRelay_->monitor = nullptr;
    }
    link_.setLinkLostListener(nullptr);
    delete monitor_;
    monitor_ = nullptr;
}

} // namespace vellumet::ui
