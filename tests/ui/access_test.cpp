#include "ui/main/main_window.h"

#include "station_rig.h"

#include "app/messenger.h"
#include "app/text_table.h"
#include "device/station_access.h"
#include "tests/device/denying_transport.h"

#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::ui;
using namespace std::chrono_literals;

namespace {

class QuietMessenger : public app::Messenger {
public:
    void info(const QString&) override {}
    bool confirm(const QString&, app::QuestionStyle) override { return true; }
};

} // namespace

// A station the user may not open: the status bar says how to grant access
// instead of "Unconnected", over its whole width; once access is granted the
// next scan connects and the bar returns to its two panes.
TEST(MainWindowAccess, RefusedStationShowsTheUdevSentenceUntilAccessIsGranted) {
    StationRig rig;
    auto denying = std::make_shared<vellumet::test::DenyingTransport>(rig.transport);
    StationLink link(denying, LinkTiming::quick());
    QuietMessenger messenger;
    MainWindow::Options options;
    options.pollTiming = PollTiming{5ms, 40};
    options.monitor.useUdev = false;
    options.monitor.rescanInterval = 20ms;
    MainWindow dlg(link, messenger, options);
    dlg.onInitDialog();

    const QString text = dlg.statusPaneText(1);
    EXPECT_TRUE(text.contains(QString::fromLatin1(kUdevRuleFile))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromLatin1(kUdevReloadCommand))) << text.toStdString();
    EXPECT_EQ(text.toStdString(), accessDeniedSentence());

    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* pane = dlg.statusBar()->findChild<QLabel*>(QStringLiteral("pane1"));
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(dlg.statusBar()->findChild<QLabel*>(QStringLiteral("pane0"))->isVisible());
    // The whole sentence is on screen: wrapped, never cut at the window's edge.
    EXPECT_TRUE(pane->wordWrap());
    EXPECT_LE(pane->geometry().right(), dlg.width());
    EXPECT_GE(pane->height(), pane->heightForWidth(pane->width()));
    dlg.grab().save(QDir(QStringLiteral(VELLUMET_TEST_OUTPUT_DIR))
                        .filePath(QStringLiteral("main_window_access_denied.png")));

    denying->denied = false; // rule installed, udev reloaded
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.statusPaneText(1) == QStringLiteral("Connected"); }, 2000));
    EXPECT_TRUE(dlg.statusBar()->findChild<QLabel*>(QStringLiteral("pane0"))->isVisible());
    EXPECT_FALSE(pane->wordWrap());
    dlg.reject();
}

TEST(MainWindowAccess, TheSentenceIsTranslated) {
    StationRig rig;
    auto denying = std::make_shared<vellumet::test::DenyingTransport>(rig.transport);
    StationLink link(denying, LinkTiming::quick());
    QuietMessenger messenger;
    app::installTranslations(app::UiLanguage::German);
    {
        MainWindow dlg(link, messenger);
        dlg.onInitDialog();
        const QString text = dlg.statusPaneText(1);
        EXPECT_TRUE(text.startsWith(QStringLiteral("Keine Berechtigung"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromLatin1(kUdevRuleFile)));
        EXPECT_TRUE(text.contains(QString::fromLatin1(kUdevReloadCommand)));
        dlg.reject();
    }
    app::installTranslations(app::UiLanguage::English);
}
