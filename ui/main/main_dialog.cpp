#include "main_dialog.h"

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
#include <QStatusBar>
#include <QVBoxLayout>

#include <mutex>

namespace vellumet::ui {

using app::TextId;

// One row per menu command: which entry of the menu it is, whether it talks
// to the station itself, and what it does.
struct CMy7421Dlg::MenuRow {
    int id;
    bool needsStation; // without a station it says "Unconnected" instead of acting
    void (CMy7421Dlg::*run)(const MenuRow& row);
    void (MainSession::*prepare)(); // hands the dialog what it shows, if anything
};

namespace {
constexpr int kMenuRows = 6;
} // namespace

const CMy7421Dlg::MenuRow* CMy7421Dlg::findRow(int commandId) {
    static const MenuRow rows[kMenuRows] = {
        {command::Setup, false, &CMy7421Dlg::openDialog, nullptr},
        {command::Alarm, false, &CMy7421Dlg::openDialog, nullptr},
        {command::Calibration, false, &CMy7421Dlg::openDialog, nullptr},
        {command::SdCardFile, false, &CMy7421Dlg::openDialog, nullptr},
        {command::SyncTime, true, &CMy7421Dlg::syncTime, nullptr},
        {command::Language, false, &CMy7421Dlg::openDialog, nullptr},
    };
    for (const MenuRow& row : rows)
        if (row.id == commandId)
            return &row;
    return nullptr;
}

struct CMy7421Dlg::LostRelay {
    std::mutex mutex;
    DeviceMonitor* monitor = nullptr;
};

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(iconImage(size)));
    return icon;
}

LiveView::LiveView(CMy7421Dlg& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(CMy7421Dlg::kWindowWidth, kPictureHeight);
}

void LiveView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, owner_.renderPicture());
}

CMy7421Dlg::CMy7421Dlg(StationLink& link, app::Messenger& messenger, Options options,
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
}

CMy7421Dlg::~CMy7421Dlg() {
    shutdown();
}

void CMy7421Dlg::onInitDialog() {
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
    connect(monitor_, &DeviceMonitor::deviceChanged, this, &CMy7421Dlg::onDeviceChanged);
    connect(monitor_, &DeviceMonitor::rescanRequested, this, &CMy7421Dlg::onRescanRequested);
    {
        std::lock_guard lock(lostRelay_->mutex);
        lostRelay_->monitor = monitor_;
    }
    link_.setLinkLostListener([relay = lostRelay_] {
        std::lock_guard lock(relay->mutex);
        if (relay->monitor)
            relay->monitor->post(DeviceChange::Removal);
    });

    fileListToMain = 1;
    QPointer<LiveView> view = view_;
    session_.startPolling([view] {
        // The polling thread only asks for a repaint; painting happens here.
        QMetaObject::invokeMethod(view, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    });

    // Client area: menu, the picture, the status bar; nothing can be resized.
    adjustSize();
}

void CMy7421Dlg::buildMenu() {
    menuBar_->clear();
    QMenu* menu = menuBar_->addMenu(app::menuTitle());
    menu->setObjectName(QStringLiteral("mainMenu"));
    for (const app::MenuCommand& entry : app::menuCommands()) {
        QAction* action = menu->addAction(app::menuText(entry));
        action->setData(entry.id);
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    }
    // Where the window system has no window menu to take it, the About item
    // closes the program's own menu.
    const QString about = app::texts().aboutMenuText();
    if (!about.isEmpty()) {
        menu->addSeparator();
        QAction* action = menu->addAction(about);
        action->setData(command::About);
        connect(action, &QAction::triggered, this, &CMy7421Dlg::showAbout);
    }
}

void CMy7421Dlg::setCommandHandler(int commandId, CommandHandler handler) {
    for (auto& [id, existing] : handlers_)
        if (id == commandId) {
            existing = std::move(handler);
            return;
        }
    handlers_.emplace_back(commandId, std::move(handler));
}

void CMy7421Dlg::runCommand(int commandId) {
    if (commandId == command::About) {
        showAbout();
        return;
    }
    const MenuRow* row = findRow(commandId);
    if (!row || running_)
        return; // one command at a time: the menu is off while one runs
    (this->*row->run)(*row);
}

void CMy7421Dlg::openDialog(const MenuRow& row) {
    CommandHandler handler;
    for (const auto& [id, candidate] : handlers_)
        if (id == row.id)
            handler = candidate;

    PollLoop& poll = session_.poll();
    poll.holdForDialog();
    if (row.prepare)
        (session_.*row.prepare)();
    if (row.id == command::SdCardFile)
        fileListToMain = 0;

    const int result = handler ? handler(*this) : 0;

    if (row.id == command::SdCardFile)
        fileListToMain = 1;
    poll.releaseAfterDialog();

    if (row.id == command::Language && result == 1) {
        restartRequested_ = true;
        if (restart_)
            restart_();
        reject();
    }
    emit commandFinished(row.id);
}

// Asks first, then waits for a refresh in progress and writes the clock off
// the window's thread, so that the window stays responsive meanwhile.
void CMy7421Dlg::syncTime(const MenuRow& row) {
    PollLoop& poll = session_.poll();
    poll.hold();
    if (!messenger_.confirm(app::texts()[TextId::ConfirmSyncTime], app::kWarningQuestion)) {
        finishCommand(row.id);
        return;
    }
    if (row.needsStation && !link_.connected()) {
        messenger_.info(app::texts()[TextId::Unconnected]);
        finishCommand(row.id);
        return;
    }
    menuBar_->setEnabled(false);
    StationLink& link = link_;
    const int id = row.id;
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
                messenger_.info(app::texts()[TextId::SwitchToMainScreen]);
            else if (sent.code() != Errc::Cancelled)
                messenger_.info(app::texts()[TextId::Unconnected]);
            finishCommand(id);
        });
}

void CMy7421Dlg::finishCommand(int commandId) {
    running_.reset();
    menuBar_->setEnabled(true);
    session_.poll().releaseAfterDialog();
    emit commandFinished(commandId);
}

void CMy7421Dlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMy7421Dlg::showAbout() {
    app::CAboutDlg about(this);
    about.exec();
}

bool CMy7421Dlg::accessDenied() const {
    if (link_.connected())
        return false;
    const Status scan = link_.openStatus();
    return !scan && scan.code() == Errc::AccessDenied;
}

QString CMy7421Dlg::connectionText() const {
    if (accessDenied())
        return QCoreApplication::translate(kStationAccessContext, kAccessDeniedText)
            .arg(QString::fromLatin1(kUdevRuleFile), QString::fromLatin1(kUdevReloadCommand));
    return app::texts()[link_.connected() ? TextId::Connected : TextId::Unconnected];
}

QString CMy7421Dlg::statusPaneText(int pane) const {
    return pane >= 0 && pane < 2 && panes_[pane] ? panes_[pane]->text() : QString();
}

void CMy7421Dlg::showConnection() {
    // The permission sentence is long: it takes the whole bar, over several lines.
    const bool sentence = accessDenied();
    panes_[0]->setVisible(!sentence);
    panes_[1]->setWordWrap(sentence);
    panes_[1]->setText(connectionText());
}

QImage CMy7421Dlg::renderPicture() const {
    // Composed off screen first: the window gets the finished picture in one copy.
    QImage image(kWindowWidth, kPictureHeight, QImage::Format_RGB32);
    if (isMinimized()) {
        image.fill(palette().window().color());
        QPainter painter(&image);
        const QImage icon = iconImage(32);
        painter.drawImage((image.width() - icon.width()) / 2, (image.height() - icon.height()) / 2,
                          icon);
        return image;
    }
    // The strip right of the 480-pixel picture continues its edge colour.
    image.fill(backgroundImage().pixelColor(kPictureWidth - 1, kPictureHeight / 2));
    QPainter painter(&image);
    paintLiveDisplay(painter, session_.readings(), session_.fahrenheit(), app::texts());
    painter.end();
    return image;
}

void CMy7421Dlg::onDeviceChanged(DeviceChange change) {
    if (!session_.handleDeviceChange(change))
        return;
    showConnection();
    view_->update();
}

void CMy7421Dlg::onRescanRequested() {
    if (!session_.rescan())
        return;
    showConnection();
    view_->update();
}

void CMy7421Dlg::done(int result) {
    shutdown();
    QDialog::done(result);
}

void CMy7421Dlg::shutdown() {
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
