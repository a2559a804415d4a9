#include "recording_messenger.h"
#include "ui/main/main_window.h"

#include "station_rig.h"

#include "app/text_table.h"
#include "app/widgets/about_dialog.h"
#include "ui/main/live_display.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

using namespace vellumet;
using namespace vellumet::ui;
using namespace std::chrono_literals;

namespace {

MainWindow::Options fastOptions(std::chrono::milliseconds tick = 5ms) {
    MainWindow::Options options;
    options.pollTiming = PollTiming{tick, 40};
    options.monitor.useUdev = false;
    options.monitor.rescanInterval = 20ms;
    return options;
}

QString outputPath(const char* name) {
    return QDir(QStringLiteral(VELLUMET_TEST_OUTPUT_DIR)).filePath(QString::fromLatin1(name));
}

} // namespace

TEST(MainWindow, ConnectsRefreshesAndShowsTheReadings) {
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow dlg(*rig.link, messenger, fastOptions());
    dlg.onInitDialog();
    EXPECT_EQ(dlg.statusPaneText(1), QStringLiteral("Connected"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.session().poll().refreshCount() >= 1; }, 3000));
    EXPECT_FLOAT_EQ(dlg.session().readings()[0].temperature, 23.5f);

    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.width(), 485);
    EXPECT_EQ(dlg.liveView()->size(), QSize(485, 475));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()); // not resizable
    const QImage shot = dlg.grab().toImage();
    shot.save(outputPath("main_window_connected.png"));

    // The status bar's own colour, right of the pane texts.
    const QRect bar = dlg.statusBar()->geometry();
    EXPECT_EQ(shot.pixelColor(bar.right() - 3, bar.center().y()), QColor(180, 20, 180));
    // The picture shows the first channel's value.
    const ChannelTexts texts = channelTexts(0, dlg.session().readings()[0], false, app::texts());
    EXPECT_TRUE(texts.temperature.contains(QStringLiteral("23.5")));
    dlg.reject();
}

// The menu is the command table: each entry in order with its command, a
// mnemonic of its own, and "…" exactly where the entry opens a window.
TEST(MainWindow, MenuIsTheCommandTableInBothLanguages) {
    StationRig rig;
    test::RecordingMessenger messenger;
    for (const app::UiLanguage language : {app::UiLanguage::English, app::UiLanguage::German}) {
        app::installTranslations(language);
        MainWindow dlg(*rig.link, messenger, fastOptions());
        dlg.onInitDialog();
        const QList<QAction*> top = dlg.menu()->actions();
        ASSERT_EQ(top.size(), 1);
        EXPECT_EQ(top[0]->text(), language == app::UiLanguage::German ? QString::fromUtf8("&Menü")
                                                                      : QStringLiteral("&Menu"));
        std::vector<QAction*> items;
        for (QAction* action : top[0]->menu()->actions())
            if (!action->isSeparator())
                items.push_back(action);
        ASSERT_EQ(items.size(), menuEntries().size());
        QSet<QChar> mnemonics;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const MenuEntry& entry = menuEntries()[i];
            const QString text = items[i]->text();
            EXPECT_EQ(items[i]->data().toInt(), static_cast<int>(entry.command));
            EXPECT_EQ(text.endsWith(QChar(0x2026)), entry.opensWindow) << text.toStdString();
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            ASSERT_GE(amp, 0) << text.toStdString();
            EXPECT_FALSE(mnemonics.contains(text.at(amp + 1).toLower())) << text.toStdString();
            mnemonics.insert(text.at(amp + 1).toLower());
        }
        EXPECT_EQ(menuEntries().back().command, MenuCommand::About);
        EXPECT_FALSE(menuEntries()[4].opensWindow); // Sync Time asks, then acts
        EXPECT_TRUE(menuEntries()[4].needsStation);
        dlg.reject();
    }
    app::installTranslations(app::UiLanguage::English);
}

// F10 and Alt with the title's mnemonic open the menu from the keyboard.
TEST(MainWindow, MenuOpensFromTheKeyboard) {
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow dlg(*rig.link, messenger, fastOptions());
    dlg.onInitDialog();
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QMenu* menu = dlg.menu()->actions()[0]->menu();
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_F10, Qt::NoModifier},
                                                              {Qt::Key_M, Qt::AltModifier}};
    for (const auto& [key, modifiers] : keys) {
        ASSERT_FALSE(menu->isVisible());
        QTest::keyClick(&dlg, key, modifiers);
        // The menu comes up from the event loop, after the key events.
        bool opened = false;
        for (int waited = 0; waited < 2000 && !opened; waited += 20) {
            QTest::qWait(20);
            opened = menu->isVisible();
        }
        EXPECT_TRUE(opened) << key;
        menu->close();
        QTest::qWait(50);
    }
    dlg.reject();
}

// On a scaled desktop the picture is drawn at the screen's pixel density:
// its text has detail of its own, not the 100 % picture's pixels doubled.
TEST(MainWindow, PictureIsDrawnAtTheScreensPixelDensity) {
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow dlg(*rig.link, messenger, fastOptions());
    dlg.onInitDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.session().poll().refreshCount() >= 1; }, 3000));
    const QImage sharp = dlg.renderPicture(2.0);
    EXPECT_EQ(sharp.size(), QSize(2 * MainWindow::kWindowWidth, 2 * kPictureHeight));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    const QImage doubled = dlg.renderPicture(1.0)
                               .scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                               .convertToFormat(sharp.format());
    // Within the first channel's tile, where its texts are.
    int differing = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            differing += sharp.pixel(x, y) != doubled.pixel(x, y);
    EXPECT_GT(differing, 1000);
    dlg.reject();
}

TEST(MainWindow, RemovalShowsDashesAndUnconnected) {
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow dlg(*rig.link, messenger, fastOptions());
    dlg.onInitDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.session().poll().refreshCount() >= 1; }, 3000));
    ASSERT_FLOAT_EQ(dlg.session().readings()[0].temperature, 23.5f);

    vellumet::LinkTestAccess::occupy(*rig.link);
    rig.station->unplug();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.statusPaneText(1) == QStringLiteral("Unconnected"); }, 2000));
    EXPECT_TRUE(vellumet::LinkTestAccess::free(*rig.link));
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const ChannelTexts t =
            channelTexts(channel, dlg.session().readings()[static_cast<std::size_t>(channel)],
                         false, app::texts());
        EXPECT_EQ(t.temperature, QString::fromUtf8("Temperature:\r\n --  °C"));
        EXPECT_EQ(t.humidity, QStringLiteral("Humidity:\r\n --  %"));
    }
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.grab().save(outputPath("main_window_unconnected.png"));
    dlg.reject();
}

TEST(MainWindow, MenuCommandsHoldThePollingAndHandOverReadings) {
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow dlg(*rig.link, messenger, fastOptions());
    dlg.onInitDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.session().poll().refreshCount() >= 1; }, 3000));

    PollLoop::State stateInside = PollLoop::State::Idle;
    std::shared_ptr<const StationSnapshot> handed;
    dlg.setCommandHandler(MenuCommand::Calibration, [&](MainWindow& owner) {
        stateInside = owner.session().poll().state();
        handed = owner.session().snapshot();
        return 0;
    });
    dlg.runCommand(MenuCommand::Calibration);
    EXPECT_EQ(stateInside, PollLoop::State::Held);
    EXPECT_NE(dlg.session().poll().state(), PollLoop::State::Held);
    ASSERT_TRUE(handed);
    EXPECT_FLOAT_EQ(handed->readings[0].temperature, 23.5f);
    EXPECT_EQ(handed->readings[0].humidity, 45);
    EXPECT_EQ(handed->readings[7].temperature, NO_VALUE_F);

    dlg.reject();
}

TEST(MainWindow, LanguageResultOneRestartsOtherResultsDoNot) {
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow dlg(*rig.link, messenger, fastOptions());
    dlg.onInitDialog();
    int restarts = 0;
    dlg.setRestartHandler([&] { ++restarts; });
    int answer = 2;
    dlg.setCommandHandler(MenuCommand::Language, [&](MainWindow&) { return answer; });
    dlg.show();
    dlg.runCommand(MenuCommand::Language);
    EXPECT_EQ(restarts, 0);
    EXPECT_FALSE(dlg.restartRequested());
    EXPECT_TRUE(dlg.isVisible());

    answer = 1;
    dlg.runCommand(MenuCommand::Language);
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(dlg.restartRequested());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.session().poll().running()); // closing ended the polling thread
}

TEST(MainWindow, ClosingWhileTheStationIsSilentEndsWithinASecond) {
    StationRig rig(StationRig::profile(/*silent=*/true), LinkTiming{});
    test::RecordingMessenger messenger;
    auto dlg = std::make_unique<MainWindow>(*rig.link, messenger, fastOptions(1000ms));
    dlg->onInitDialog();
    dlg->show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg->session().poll().state() == PollLoop::State::Refreshing; }, 2000));
    QTest::qWait(100); // inside the first query's long wait

    const auto start = std::chrono::steady_clock::now();
    dlg->close();
    dlg.reset();
    rig.link.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 1s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
}

// The menu's Sync Time asks first, then writes the clock off the window's
// thread: the window keeps answering while the station is being written.
TEST(MainWindow, SyncTimeRunsOffTheWindowThreadAndSaysHowItEnded) {
    struct Case {
        const char* name;
        bool confirm;
        int screenAway;
        bool plugged;
        std::vector<std::uint8_t> frames;
        const char* message; // after the question; null: none
    } cases[] = {
        {"sent", true, 0, true, {cmd::ScreenStatus, cmd::SetClock}, "Sync Time Success"},
        {"cancelled", false, 0, true, {}, nullptr},
        {"menu shown",
         true,
         1,
         true,
         {cmd::ScreenStatus},
         "Please switch the device to the main screen."},
        {"no station", true, 0, false, {}, "Unconnected"},
    };
    app::installTranslations(app::UiLanguage::English);
    app::loadTexts();
    for (const Case& c : cases) {
        sim::Profile profile = StationRig::profile();
        profile.screenAway = c.screenAway;
        StationRig rig(profile);
        test::RecordingMessenger messenger;
        messenger.answer = c.confirm;
        MainWindow dlg(*rig.link, messenger, fastOptions(1000ms));
        dlg.onInitDialog();
        if (!c.plugged) {
            rig.station->unplug();
            rig.link->markStationGone();
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return dlg.session().poll().state() != PollLoop::State::Refreshing; }, 3000));
        rig.station->clearReceived();

        bool finished = false;
        QObject::connect(&dlg, &MainWindow::commandFinished,
                         [&](MenuCommand id) { finished = id == MenuCommand::SyncTime; });
        dlg.runCommand(MenuCommand::SyncTime);
        EXPECT_EQ(dlg.session().poll().state() == PollLoop::State::Held, !finished) << c.name;
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 3000)) << c.name;
        EXPECT_NE(dlg.session().poll().state(), PollLoop::State::Held) << c.name;
        EXPECT_TRUE(dlg.menu()->isEnabled()) << c.name;

        std::vector<std::uint8_t> codes;
        for (const Block& frame : rig.station->receivedFrames())
            codes.push_back(frame[1]);
        EXPECT_EQ(codes, c.frames) << c.name;
        ASSERT_GE(messenger.shown.size(), 1u) << c.name;
        EXPECT_EQ(messenger.shown[0], QStringLiteral("Are you want to Synchronization Time?"));
        ASSERT_EQ(messenger.styles.size(), 1u) << c.name;
        EXPECT_EQ(messenger.styles[0].defaultButton, app::QuestionStyle::Button::Cancel);
        EXPECT_EQ(messenger.styles[0].icon, app::QuestionStyle::Icon::Warning);
        if (c.message) {
            ASSERT_EQ(messenger.shown.size(), 2u) << c.name;
            EXPECT_EQ(messenger.shown[1], QString::fromLatin1(c.message)) << c.name;
        } else {
            EXPECT_EQ(messenger.shown.size(), 1u) << c.name;
        }
        dlg.reject();
    }
}

TEST(MainWindow, EnterClosesTheWindowAsEscapeDoes) {
    StationRig rig;
    test::RecordingMessenger messenger;
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        MainWindow dlg(*rig.link, messenger, fastOptions());
        dlg.onInitDialog();
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, key);
        EXPECT_FALSE(dlg.isVisible()) << key;
        EXPECT_FALSE(dlg.session().poll().running()) << key;
    }
}

TEST(MainWindow, GermanWindowTexts) {
    app::installTranslations(app::UiLanguage::German);
    app::texts().load();
    {
        StationRig rig;
        test::RecordingMessenger messenger;
        MainWindow dlg(*rig.link, messenger, fastOptions());
        dlg.onInitDialog();
        EXPECT_EQ(dlg.menu()->actions()[0]->menu()->actions()[3]->text(),
                  QString::fromUtf8("&SD-Karten-Dateien…"));
        EXPECT_EQ(dlg.statusPaneText(1), QStringLiteral("Verbunden"));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return dlg.session().poll().refreshCount() >= 1; }, 3000));
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.grab().save(outputPath("main_window_german.png"));
        dlg.reject();
    }
    app::installTranslations(app::UiLanguage::English);
    app::texts().load();
}

// Message boxes in German have German standard buttons where the system has
// Qt's own German catalogue.
TEST(MainWindow, GermanStandardButtons) {
    const QString catalogue = QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath))
                                  .filePath(QStringLiteral("qtbase_de.qm"));
    if (!QFile::exists(catalogue))
        GTEST_SKIP() << "no " << catalogue.toStdString()
                     << " (Debian package qt6-translations-l10n; scripts/bootstrap.sh installs it)";
    app::installTranslations(app::UiLanguage::German);
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Vellumet"), QStringLiteral("?"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    }
    app::installTranslations(app::UiLanguage::English);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vellumet"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
}

// The About box is titled from the table in the user's language and is wide
// enough for that title beside the window's buttons, at any font size.
TEST(MainWindow, AboutBoxShowsTheVersionLineUnderItsWholeTitle) {
    EXPECT_EQ(app::AboutDialog::versionLine(), QStringLiteral("Vellumet, 1.5.2"));
    for (const app::UiLanguage language : {app::UiLanguage::English, app::UiLanguage::German}) {
        app::installTranslations(language);
        app::texts().load();
        app::AboutDialog about;
        EXPECT_EQ(about.windowTitle(), language == app::UiLanguage::German
                                           ? QString::fromUtf8("Über Vellumet")
                                           : QStringLiteral("About Vellumet"));
        auto* line = about.findChild<QLabel*>(QStringLiteral("aboutVersion"));
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->text(), QStringLiteral("Vellumet, 1.5.2"));
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        // Room for the title, the window's icon and three title-bar buttons of
        // about a line's height and a half each.
        QFont bold = about.font();
        bold.setBold(true);
        const int title = QFontMetrics(bold).horizontalAdvance(about.windowTitle());
        EXPECT_GE(about.width(), title + 6 * about.fontMetrics().height()) << about.width();
    }
    app::installTranslations(app::UiLanguage::English);
    app::texts().load();
}
