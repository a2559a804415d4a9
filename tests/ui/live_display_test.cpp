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

TEST(LiveDisplay, PresentValuesWithCaptionsAndDewPoint) {
    ChannelReading r{23.5f, 45};
    const ChannelTexts t = channelTexts(0, r, false, app::texts());
    EXPECT_EQ(t.label, QStringLiteral("CH1"));
    EXPECT_EQ(t.temperature, u("Temperature:\r\n 23.5  °C"));
    EXPECT_EQ(t.humidity, u("Humidity:\r\n 45  %"));
    // 23.5 °C at 45 % has its dew point near 10.9 °C.
    EXPECT_EQ(t.dewPoint, u("DewPoint:\r\n ") +
                              QString::fromStdString(formatTemperature(dewPoint(23.5f, 45),
                                                                       TextForm::WithUnit, false)));
    EXPECT_TRUE(t.dewPoint.contains(u("10.")) || t.dewPoint.contains(u("11.")))
        << t.dewPoint.toStdString();
}

TEST(LiveDisplay, MissingValuesShowDashes) {
    const ChannelTexts t = channelTexts(7, ChannelReading{}, false, app::texts());
    EXPECT_EQ(t.label, QStringLiteral("CH8"));
    EXPECT_EQ(t.temperature, u("Temperature:\r\n --  °C"));
    EXPECT_EQ(t.humidity, u("Humidity:\r\n --  %"));
    EXPECT_EQ(t.dewPoint, u("DewPoint:\r\n --  °C"));
}

TEST(LiveDisplay, DewPointMissingWhenEitherValueIsMissing) {
    const ChannelTexts noHumidity =
        channelTexts(2, ChannelReading{20.0f, NO_VALUE}, false, app::texts());
    EXPECT_EQ(noHumidity.temperature, u("Temperature:\r\n 20.0  °C"));
    EXPECT_EQ(noHumidity.dewPoint, u("DewPoint:\r\n --  °C"));
    const ChannelTexts noTemperature =
        channelTexts(2, ChannelReading{NO_VALUE_F, 50}, false, app::texts());
    EXPECT_EQ(noTemperature.humidity, u("Humidity:\r\n 50  %"));
    EXPECT_EQ(noTemperature.dewPoint, u("DewPoint:\r\n --  °C"));
}

TEST(LiveDisplay, FahrenheitChangesTemperaturesNotHumidity) {
    ChannelReading r{23.5f, 45};
    const ChannelTexts t = channelTexts(0, r, true, app::texts());
    EXPECT_EQ(t.temperature, u("Temperature:\r\n 74.3  °F"));
    EXPECT_EQ(t.humidity, u("Humidity:\r\n 45  %"));
    EXPECT_TRUE(t.dewPoint.endsWith(u("  °F")));
    EXPECT_EQ(channelTexts(0, ChannelReading{}, true, app::texts()).temperature,
              u("Temperature:\r\n --  °F"));
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
