#include "app/language.h"
#include "app/widgets/lang_dialog.h"
#include "device/station_queries.h"
#include "recording_messenger.h"
#include "ui/settings/alarm.h"
#include "ui/settings/calib.h"
#include "ui/settings/setting.h"

#include "station_rig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::ui;

namespace {

// A rig whose link has read everything the window would have copied.
struct DialogRig {
    explicit DialogRig(sim::Profile profile = StationRig::profile()) : rig(std::move(profile)) {
        EXPECT_TRUE(rig.link->openStation());
        refreshStation(*rig.link);
        rig.station->clearReceived();
    }
    SettingCopy setting() const {
        const AnswerStore& a = rig.link->answers();
        return SettingCopy{a.intervalAnswer(), a.identText(), a.settingsAnswer()};
    }
    AlarmCopy alarm() const {
        AlarmCopy c;
        for (int i = 0; i < 4; ++i)
            c.alarmAnswer[static_cast<std::size_t>(i)] = rig.link->answers().alarmAnswer(i + 1);
        return c;
    }
    std::vector<Block> writes() const {
        std::vector<Block> frames;
        for (const Block& b : rig.station->receivedFrames())
            if (b[1] != cmd::ScreenStatus)
                frames.push_back(b);
        return frames;
    }
    StationRig rig;
    test::RecordingMessenger messenger;
};

void clickAndWaitClosed(QDialog& dialog, QPushButton* button) {
    dialog.show();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
}

} // namespace

TEST(SettingDialog, EightAndFiveAreaFramesByteForByte) {
    for (const bool eight : {true, false}) {
        sim::Profile profile = StationRig::profile();
        profile.ident = eight ? "{ZP7421X@}" : "{ZP7421@}";
        DialogRig d(profile);
        Setting dialog(*d.rig.link, d.messenger, d.setting());
        EXPECT_EQ(dialog.area()->count(), eight ? 8 : 5);
        dialog.timeZone()->setCurrentIndex(0); // "-12"
        dialog.graphTime()->setCurrentIndex(3);
        dialog.area()->setCurrentIndex(1);
        dialog.box(2, 8)->setChecked(true); // area 2 also shows CH8's heat index
        clickAndWaitClosed(dialog, dialog.saveButton());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);

        const std::vector<Block> writes = d.writes();
        ASSERT_EQ(writes.size(), 2u);
        const Block& f = writes[0];
        Block expected{};
        const std::uint8_t head[] = {0x7B, 0x10, 0, 72, 0, 0, 0, 0xF4, 0};
        std::copy(std::begin(head), std::end(head), expected.begin());
        for (std::size_t area = 0; area < (eight ? 8u : 5u); ++area) {
            std::uint32_t mask = (area == 0 ? 0b111u : 0b011u) << (3 * area);
            if (area == 1)
                mask |= 1u << 23;
            for (std::size_t k = 0; k < 4; ++k)
                expected[9 + 4 * area + k] = static_cast<std::uint8_t>(mask >> (24 - 8 * k));
        }
        expected[eight ? 41 : 29] = 0x40;
        expected[eight ? 42 : 30] = 0x7D;
        EXPECT_EQ(f, expected) << (eight ? "eight areas" : "five areas");
        EXPECT_EQ(writes[1][1], cmd::EndOfWrite);
    }
}

TEST(SettingDialog, AwayStationReceivesOnlyTheStatusQuery) {
    DialogRig d;
    d.rig.station->setScreenAway(1);
    Setting dialog(*d.rig.link, d.messenger, d.setting());
    clickAndWaitClosed(dialog, dialog.saveButton());
    const std::vector<Block> received = d.rig.station->receivedFrames();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][1], cmd::ScreenStatus);
    ASSERT_EQ(d.messenger.shown.size(), 1u);
    EXPECT_EQ(d.messenger.shown[0], QStringLiteral("Please switch the device to the main screen."));
}

TEST(AlarmDialog, FahrenheitLimitsAndRefusedValues) {
    DialogRig d(StationRig::profile(false, 1));
    ASSERT_TRUE(d.rig.link->fahrenheit());
    Alarm dialog(*d.rig.link, d.messenger, d.alarm());
    EXPECT_EQ(dialog.limit(0, 1)->text(), QStringLiteral("95.0")); // 35.0 °C
    dialog.show();
    // 31.8 °F would be stored as -0.1 °C, the station's code for no limit.
    const std::pair<QString, QString> refused[] = {
        {"140.2", "Temp Error"},
        {"31.8", "CH2: 31.7 to 31.8 °F cannot be stored: the station reads -0.1 °C as no value. "
                 "Use 31.6 or 31.9."}};
    for (const auto& [limit, message] : refused) {
        dialog.limit(0, 2)->setText(limit);
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
        ASSERT_FALSE(d.messenger.shown.empty());
        EXPECT_EQ(d.messenger.shown.back(), message);
    }
    EXPECT_EQ(d.messenger.shown.size(), 2u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(d.rig.station->receivedFrames().empty());

    dialog.limit(0, 2)->setText(QStringLiteral("77.0"));
    dialog.limit(1, 2)->setText(QStringLiteral("71.6"));
    dialog.temperatureSwitch()->setCurrentIndex(1);
    EXPECT_FALSE(dialog.limit(0, 1)->isEnabled());
    clickAndWaitClosed(dialog, dialog.saveButton());
    const std::vector<Block> writes = d.writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0][1], 0x12);
    EXPECT_EQ(writes[0][3], 1); // temperature alarm OFF
    EXPECT_EQ(writes[1][1], 0x14);
    EXPECT_EQ(writes[1][6], 0x00);
    EXPECT_EQ(writes[1][7], 0xFA); // 77.0 °F
    EXPECT_EQ(writes[1][8], 0x00);
    EXPECT_EQ(writes[1][9], 219);  // 71.6 °F
    EXPECT_EQ(writes[1][2], 0x01); // CH1 35.0 °C unchanged: 0x015E
    EXPECT_EQ(writes[1][3], 0x5E);
    EXPECT_EQ(writes[2][1], 0x15);
    EXPECT_EQ(writes[3][1], cmd::EndOfWrite);
}

TEST(CalibDialog, CorrectedReadingCheckAndFrame) {
    DialogRig d;
    CalibCopy copy;
    copy.calibrationOffsets = d.rig.link->answers().calibrationAnswer();
    copy.temperatures[0] = 58.0f;
    copy.humidities[0] = 95;
    Calib dialog(*d.rig.link, d.messenger, copy);
    EXPECT_FALSE(dialog.temperature(2)->isEnabled()); // no reading on CH2
    dialog.show();
    dialog.temperature(1)->setText(QStringLiteral("2.1"));
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    ASSERT_EQ(d.messenger.shown.size(), 1u);
    EXPECT_EQ(d.messenger.shown[0], QStringLiteral(" CH1 Temp Out of value."));
    dialog.temperature(1)->setText(QStringLiteral("2.0"));
    dialog.humidity(1)->setText(QStringLiteral("4"));
    clickAndWaitClosed(dialog, dialog.saveButton());
    const std::vector<Block> writes = d.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0][1], 0x11);
    EXPECT_EQ(writes[0][2], 0x00);
    EXPECT_EQ(writes[0][3], 20);
    EXPECT_EQ(writes[0][4], 4);
}

TEST(LangDialog, WritesMainIniThenTellsTheStation) {
    DialogRig d;
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Main.ini"));
    app::Lang dialog(*d.rig.link, d.messenger, ini);
    EXPECT_EQ(dialog.language()->currentText(), QStringLiteral("English"));
    dialog.language()->setCurrentIndex(0);
    clickAndWaitClosed(dialog, dialog.saveButton());
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(app::readLanguageValue(ini), QStringLiteral("Deutsch"));
    EXPECT_EQ(d.rig.station->language(), 0);
}

TEST(SyncTimeDialog, SendsTheClockWithoutStatusQuery) {
    DialogRig d;
    SyncTime dialog(*d.rig.link, d.messenger);
    clickAndWaitClosed(dialog, dialog.syncButton());
    const std::vector<Block> received = d.rig.station->receivedFrames();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][1], cmd::SetClock);
    EXPECT_EQ(d.messenger.shown.back(), QStringLiteral("Sync Time Success."));
}
