#include "ui/main/live_display.h"

#include "app/text_table.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::ui;

namespace {
QString u(const char* text) {
    return QString::fromUtf8(text);
}
} // namespace

// A channel's three texts: a missing value shows dashes, and so does the dew
// point when either value is missing; °F changes temperatures only.
TEST(LiveDisplay, ChannelTextsWithCaptionsUnitsAndDashes) {
    const struct {
        int channel;
        ChannelReading reading;
        bool fahrenheit;
        const char *label, *temperature, *humidity, *dewPoint;
    } rows[] = {
        {0, {23.5f, 45}, false, "CH1", " 23.5  °C", " 45  %", " 10.9  °C"},
        {0, {23.5f, 45}, true, "CH1", " 74.3  °F", " 45  %", " 51.6  °F"},
        {7, {}, false, "CH8", " --  °C", " --  %", " --  °C"},
        {7, {}, true, "CH8", " --  °F", " --  %", " --  °F"},
        {2, {20.0f, NO_VALUE}, false, "CH3", " 20.0  °C", " --  %", " --  °C"},
        {2, {NO_VALUE_F, 50}, false, "CH3", " --  °C", " 50  %", " --  °C"},
    };
    for (const auto& row : rows) {
        const ChannelTexts t = channelTexts(row.channel, row.reading, row.fahrenheit, app::texts());
        EXPECT_EQ(t.label, u(row.label));
        EXPECT_EQ(t.temperature, u("Temperature:\r\n") + u(row.temperature));
        EXPECT_EQ(t.humidity, u("Humidity:\r\n") + u(row.humidity));
        EXPECT_EQ(t.dewPoint, u("DewPoint:\r\n") + u(row.dewPoint));
    }
}

TEST(LiveDisplay, GermanCaptionsFollowTheTextTable) {
    app::installTranslations(app::UiLanguage::German);
    app::TextTable german;
    german.load();
    app::installTranslations(app::UiLanguage::English);
    const ChannelTexts t = channelTexts(3, ChannelReading{}, false, german);
    EXPECT_EQ(t.temperature, u("Temperatur:\r\n --  °C"));
    EXPECT_EQ(t.humidity, u("Luftfeuchtigkeit:\r\n --  %"));
    EXPECT_EQ(t.dewPoint, u("Taupunkt:\r\n --  °C"));
}

TEST(LiveDisplay, LayoutRectangles) {
    const auto& layout = channelLayouts();
    EXPECT_EQ(layout[0].label, QRect(10, 8, 100, 17));
    EXPECT_EQ(layout[3].dewPoint, QRect(10, 265, 100, 77)); // reaches down to 342
    EXPECT_EQ(layout[4].dewPoint.bottom() + 1, 302);
    EXPECT_EQ(layout[7].dewPoint, QRect(170, 410, 100, 40));
    for (const ChannelLayout& c : layout)
        for (const QRect& r : {c.label, c.temperature, c.humidity, c.dewPoint}) {
            EXPECT_EQ(r.width(), 100);
            EXPECT_TRUE(QRect(0, 0, kPictureWidth, kPictureHeight).contains(r));
        }
}

TEST(LiveDisplay, PictureHasTheBackgroundSizeAndDrawsText) {
    const QImage& background = backgroundImage();
    EXPECT_EQ(background.size(), QSize(480, 475));
    Readings readings;
    readings[0] = {23.5f, 45};
    const QImage picture = renderLiveDisplay(readings, false, app::texts());
    ASSERT_EQ(picture.size(), QSize(480, 475));
    // Text darkens pixels inside the CH1 temperature block compared with the background.
    auto darkPixels = [](const QImage& image, const QRect& rect) {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                if (qGray(image.pixel(x, y)) < 80)
                    ++n;
        return n;
    };
    const QRect block = channelLayouts()[0].temperature;
    EXPECT_EQ(darkPixels(background, block), 0);
    EXPECT_GT(darkPixels(picture, block), 50);
    // Nothing is drawn outside the blocks' clip: right of CH1's text column stays background.
    const QRect gap(112, 40, 8, 20);
    EXPECT_EQ(darkPixels(picture, gap), darkPixels(background, gap));
    picture.save(QDir(QStringLiteral(VELLUMET_TEST_OUTPUT_DIR)).filePath("live_display.png"));
}

TEST(LiveDisplay, IconIsDrawnAtEverySize) {
    for (int size : {16, 32, 256}) {
        const QImage icon = iconImage(size);
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_GT(qAlpha(icon.pixel(size / 2, size / 2)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0); // rounded corner
        icon.save(QDir(QStringLiteral(VELLUMET_TEST_OUTPUT_DIR))
                      .filePath(QStringLiteral("icon_%1.png").arg(size)));
    }
}

// A channel past an enabled limit is marked in its tile: a word and red.
TEST(LiveDisplay, ChannelsPastAnAlarmLimitAreMarkedInWordsAndColour) {
    std::array<Block, 4> answers{};
    Block& switches = answers[0];
    switches[5] = 0b0000'1001; // temperature high: CH1, CH4 (limit below)
    switches[6] = 0b0000'0010; // temperature low: CH2
    switches[3] = 0b0000'0100; // humidity high: CH3
    Block& t = answers[2];
    t[1] = 0x00, t[2] = 0xFA;   // CH1 high 25.0
    t[7] = 0xFF, t[8] = 0x38;   // CH2 low -20.0
    t[13] = 0x00, t[14] = 0xFA; // CH4 high 25.0
    t[3] = 0x80, t[4] = 0x00;   // CH1 low: none
    Block& h = answers[3];
    h[5] = 80; // CH3 high 80 %
    Readings readings{};
    readings[0] = {26.0f, 50};
    readings[1] = {-21.0f, 50};
    readings[2] = {20.0f, 85};
    readings[3] = {25.0f, 50}; // on the limit, not past it
    readings[4] = {NO_VALUE_F, NO_VALUE};
    const auto stationWith = [&readings](const std::array<Block, 4>& blocks, unsigned came) {
        StationSnapshot station;
        station.alarmSwitches = blocks[0];
        station.temperatureLimits = blocks[2];
        station.humidityLimits = blocks[3];
        station.readings = readings;
        station.came = came;
        return station;
    };
    const auto alarmed = static_cast<unsigned>(StationPart::Alarms);
    const AlarmStates states = alarmStates(stationWith(answers, alarmed));
    EXPECT_EQ(states[0], AlarmState::High);
    EXPECT_EQ(states[1], AlarmState::Low);
    EXPECT_EQ(states[2], AlarmState::High);
    for (std::size_t c = 3; c < kChannelCount; ++c)
        EXPECT_EQ(states[c], AlarmState::None) << c;
    // With the temperature switch off only humidity counts.
    std::array<Block, 4> off = answers;
    off[0][2] = 1;
    EXPECT_EQ(alarmStates(stationWith(off, alarmed))[0], AlarmState::None);
    EXPECT_EQ(alarmStates(stationWith(off, alarmed))[2], AlarmState::High);
    EXPECT_EQ(alarmStates(stationWith(answers, 0)), AlarmStates{}) << "limits that did not come";

    EXPECT_EQ(channelTexts(0, readings[0], false, app::texts(), states[0]).alarm, u("Alarm: high"));
    EXPECT_EQ(channelTexts(1, readings[1], false, app::texts(), states[1]).alarm, u("Alarm: low"));
    EXPECT_TRUE(channelTexts(3, readings[3], false, app::texts(), states[3]).alarm.isEmpty());
    app::installTranslations(app::UiLanguage::German);
    const QString high = channelTexts(0, readings[0], false, app::texts(), states[0]).alarm;
    const QString low = channelTexts(1, readings[1], false, app::texts(), states[1]).alarm;
    app::installTranslations(app::UiLanguage::English);
    EXPECT_EQ(high, u("Alarm: zu hoch"));
    EXPECT_EQ(low, u("Alarm: zu tief"));

    // The badge beside the label is red where there is an alarm, and only there.
    const QImage picture = renderLiveDisplay(readings, false, app::texts(), states);
    const auto redPixels = [&picture](const QRect& rect) {
        int red = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c = picture.pixelColor(x, y);
                red += c.red() > 150 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
            }
        return red;
    };
    for (int c = 0; c < kChannelCount; ++c) {
        const int red = redPixels(alarmBadgeRect(c));
        if (states[static_cast<std::size_t>(c)] != AlarmState::None)
            EXPECT_GT(red, 100) << c;
        else
            EXPECT_EQ(red, 0) << c;
    }
    if (const QByteArray keep = qgetenv("VELLUMET_KEEP_PNG"); !keep.isEmpty())
        picture.save(QString::fromLocal8Bit(keep) + QStringLiteral("/alarms.png"));
}
