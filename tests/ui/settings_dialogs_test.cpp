#include "app/language.h"
#include "app/text_table.h"
#include "device/station_snapshot.h"
#include "recording_messenger.h"
#include "settings/widgets/alarm_dialog.h"
#include "settings/widgets/calibration_dialog.h"
#include "settings/widgets/language_dialog.h"
#include "settings/widgets/setup_dialog.h"
#include "ui/main/application.h"
#include "ui/main/main_window.h"

#include "station_rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace vellumet;
using namespace vellumet::ui;

namespace {

// A rig that has read the station as the window does.
struct DialogRig {
    explicit DialogRig(sim::Profile profile = StationRig::profile()) : rig(std::move(profile)) {
        EXPECT_TRUE(rig.link->openStation());
        station = readStation(*rig.link);
        rig.station->clearReceived();
    }
    const StationSnapshot& setting() const { return station; }
    const StationSnapshot& alarm() const { return station; }
    std::vector<Block> writes() const {
        std::vector<Block> frames;
        for (const Block& b : rig.station->receivedFrames())
            if (b[1] != cmd::ScreenStatus)
                frames.push_back(b);
        return frames;
    }
    StationRig rig;
    StationSnapshot station;
    test::RecordingMessenger messenger;
};

void clickAndWaitClosed(QDialog& dialog, QPushButton* button) {
    dialog.show();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
}

// Runs a menu command of the main window and, once its dialog is up, act on it.
template <typename Dialog>
void withDialogOf(MainWindow& window, MenuCommand command, std::function<void(Dialog&)> act) {
    bool acted = false;
    std::function<void()> poll = [&] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            acted = true;
            act(*dialog);
            if (dialog->isVisible())
                static_cast<QDialog*>(dialog)->reject();
            return;
        }
        QTimer::singleShot(10, poll);
    };
    QTimer::singleShot(0, poll);
    window.runCommand(command);
    EXPECT_TRUE(acted);
}

// The grid's boxes as "item/channel" for those checked.
std::string checkedBoxes(const SetupDialog& dialog) {
    QStringList checked;
    for (int item = 0; item < 3; ++item)
        for (int channel = 1; channel <= kChannelCount; ++channel)
            if (dialog.box(item, channel)->isChecked())
                checked << QStringLiteral("%1/%2").arg(item).arg(channel);
    return checked.join(' ').toStdString();
}

} // namespace

TEST(SetupDialog, EightAndFiveAreaFramesByteForByte) {
    for (const bool eight : {true, false}) {
        sim::Profile profile = StationRig::profile();
        profile.ident = eight ? "{ZP7421X@}" : "{ZP7421@}";
        DialogRig d(profile);
        settings::AreaGrid areas;
        SetupDialog dialog(*d.rig.link, d.messenger, d.setting(), areas);
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

// The area masks outlast the window, which the main window makes afresh for each
// opening; the interval box takes whole minutes only.
TEST(SetupDialog, AreaMasksOutliveTheWindowAndTheIntervalIsWholeMinutes) {
    using namespace std::chrono_literals;
    // An eight-area station, then a five-area one: areas 6 to 8 keep their masks.
    settings::AreaGrid areas;
    std::array<std::uint32_t, kMaxAreas> eight{};
    {
        DialogRig d; // "{ZP7421X@}": eight areas
        SetupDialog dialog(*d.rig.link, d.messenger, d.setting(), areas);
        eight = areas.masks();
        ASSERT_NE(eight[7], 0u);
    }
    {
        sim::Profile profile = StationRig::profile();
        profile.ident = "{ZP7421@}";
        DialogRig d(profile);
        SetupDialog dialog(*d.rig.link, d.messenger, d.setting(), areas);
        EXPECT_EQ(dialog.area()->count(), 5);
        for (std::size_t area = 5; area < 8; ++area)
            EXPECT_EQ(areas.masks()[area], eight[area]) << "area " << area + 1;
    }

    // Through the main window's menu: an area edit stored by switching areas,
    // then the station is pulled; the next opening shows what was stored.
    StationRig rig;
    test::RecordingMessenger messenger;
    MainWindow::Options options;
    options.pollTiming = PollTiming{5ms, 40};
    options.monitor.useUdev = false;
    options.monitor.rescanInterval = 20ms;
    MainWindow window(*rig.link, messenger, options);
    wireSettingsDialogs(window, QString());
    window.onInitDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.session().poll().refreshCount() >= 1; }, 3000));
    const std::string areaOne = "0/1 1/1 2/1"; // the station's area 1: CH1's items
    withDialogOf<SetupDialog>(window, MenuCommand::Setup, [&](SetupDialog& dialog) {
        EXPECT_EQ(checkedBoxes(dialog), areaOne);
        dialog.area()->setCurrentIndex(1);
        dialog.box(2, 8)->setChecked(true);
        dialog.area()->setCurrentIndex(2);
    });
    const std::vector<Block> received = rig.station->receivedFrames();
    EXPECT_TRUE(std::none_of(received.begin(), received.end(), [](const Block& b) {
        return b[1] == 0x10;
    })) << "Exit sends nothing";

    LinkTestAccess::occupy(*rig.link);
    rig.station->unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.link->connected(); }, 2000));
    LinkTestAccess::free(*rig.link);
    withDialogOf<SetupDialog>(window, MenuCommand::Setup, [&](SetupDialog& dialog) {
        EXPECT_FALSE(dialog.saveButton()->isEnabled());
        EXPECT_FALSE(dialog.setIntervalButton()->isEnabled());
        EXPECT_EQ(checkedBoxes(dialog), areaOne);
        dialog.area()->setCurrentIndex(1);
        EXPECT_EQ(checkedBoxes(dialog), "0/2 1/2 2/8");
    });
    window.reject();

    // Text that is not a whole number is refused, never read in part.
    {
        DialogRig d;
        SetupDialog dialog(*d.rig.link, d.messenger, d.setting(), areas);
        const QString range = app::texts()[app::TextId::IntervalRange];
        const QString whole = range + QStringLiteral("\nPlease enter a whole number of minutes.");
        const std::pair<const char*, QString> cases[] = {
            {"7.5", whole}, {"abc", whole}, {"", whole}, {"0", range}, {"241", range}};
        for (const auto& [typed, shown] : cases) {
            dialog.interval()->setText(QString::fromLatin1(typed));
            QTest::mouseClick(dialog.setIntervalButton(), Qt::LeftButton);
            ASSERT_FALSE(d.messenger.shown.empty());
            EXPECT_EQ(d.messenger.shown.back().toStdString(), shown.toStdString()) << typed;
            EXPECT_EQ(d.messenger.kinds.back(), app::MessageKind::Warning) << typed;
        }
        EXPECT_TRUE(d.writes().empty());
    }

    app::installTranslations(app::UiLanguage::German);
    EXPECT_EQ(settings::wholeMinutesText(),
              QStringLiteral("Bitte geben Sie eine ganze Zahl von Minuten ein."));
    app::installTranslations(app::UiLanguage::English);
}

// Enter commits what it was pressed on: a changed setting is saved, the
// interval box sets the interval, and neither sends the other.
TEST(SetupDialog, EnterCommitsWhatItWasPressedOn) {
    const auto pressEnter = [](QDialog& dialog, QWidget* focus) {
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
    };
    const auto sent = [](const std::vector<Block>& writes, std::uint8_t command) {
        return std::any_of(writes.begin(), writes.end(),
                           [command](const Block& b) { return b[1] == command; });
    };
    settings::AreaGrid areas;
    for (const bool onTheInterval : {false, true}) {
        DialogRig d;
        SetupDialog dialog(*d.rig.link, d.messenger, d.setting(), areas);
        dialog.timeZone()->setCurrentIndex(0);
        dialog.interval()->setText(QStringLiteral("7"));
        if (onTheInterval) {
            pressEnter(dialog, dialog.interval());
            ASSERT_TRUE(QTest::qWaitFor([&] { return !d.messenger.shown.empty(); }, 5000));
            EXPECT_EQ(d.messenger.shown.back(), app::texts()[app::TextId::SetIntervalSuccess]);
            EXPECT_TRUE(dialog.isVisible()) << "the settings are still to be saved";
            EXPECT_TRUE(sent(d.writes(), cmd::WriteInterval));
            EXPECT_FALSE(sent(d.writes(), 0x10));
            static_cast<QDialog&>(dialog).reject();
        } else {
            pressEnter(dialog, dialog.timeZone());
            ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            const std::vector<Block> writes = d.writes();
            ASSERT_FALSE(writes.empty());
            EXPECT_EQ(writes[0][1], 0x10);
            EXPECT_EQ(writes[0][7], 0xF4) << "time zone -12 went out";
            EXPECT_FALSE(sent(writes, cmd::WriteInterval));
            EXPECT_TRUE(d.messenger.shown.empty());
        }
    }
}

// Without a station none of the three windows shows a value of its own
// making: they say there is no station, and nothing can be saved.
TEST(SettingsDialogs, WithoutAStationTheySayNoStation) {
    StationRig rig; // never opened
    ASSERT_FALSE(rig.link->connected());
    test::RecordingMessenger messenger;
    const auto saysNoStation = [](QDialog& dialog) {
        auto* note = dialog.findChild<QLabel*>(QStringLiteral("noStation"));
        return note && note->text().contains(QStringLiteral("No station"));
    };
    settings::AreaGrid areas;
    SetupDialog setup(*rig.link, messenger, StationSnapshot{}, areas);
    EXPECT_TRUE(saysNoStation(setup));
    for (QComboBox* combo :
         {setup.graphType(), setup.graphTime(), setup.timeFormat(), setup.dateFormat(),
          setup.daylightSaving(), setup.timeZone(), setup.units()}) {
        EXPECT_EQ(combo->currentIndex(), -1) << combo->currentText().toStdString();
        EXPECT_EQ(combo->placeholderText(), QStringLiteral("no station"));
    }
    EXPECT_TRUE(setup.interval()->text().isEmpty());
    EXPECT_FALSE(setup.saveButton()->isEnabled());
    setup.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&setup));
    setup.grab().save(QDir(QStringLiteral(VELLUMET_TEST_OUTPUT_DIR))
                          .filePath(QStringLiteral("setup_without_station.png")));

    AlarmDialog alarm(*rig.link, messenger, StationSnapshot{});
    EXPECT_TRUE(saysNoStation(alarm));
    EXPECT_EQ(alarm.temperatureSwitch()->currentIndex(), -1);
    EXPECT_EQ(alarm.humiditySwitch()->currentIndex(), -1);
    for (int row = 0; row < 4; ++row)
        for (int channel = 1; channel <= kChannelCount; ++channel) {
            EXPECT_TRUE(alarm.limit(row, channel)->text().isEmpty());
            EXPECT_FALSE(alarm.enable(row, channel)->isChecked());
        }
    EXPECT_FALSE(alarm.saveButton()->isEnabled());

    StationSnapshot copy;
    copy.readings[0] = {21.0f, 40};
    CalibrationDialog calib(*rig.link, messenger, copy);
    EXPECT_TRUE(saysNoStation(calib));
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        EXPECT_TRUE(calib.temperature(channel)->text().isEmpty()) << channel;
        EXPECT_TRUE(calib.humidity(channel)->text().isEmpty()) << channel;
    }
    EXPECT_FALSE(calib.saveButton()->isEnabled());
    EXPECT_TRUE(messenger.shown.empty());
}

// Every label, button, switch and group title of the settings windows gets
// the room its text needs: in English and German, and with the fonts twice
// their size as on a desktop scaled to 200 %.
TEST(SettingsDialogs, NoTextIsCutInEitherLanguageAtEitherSize) {
    const auto cutTexts = [](QDialog& dialog) {
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QStringList cut;
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            QString text;
            int needed = 0;
            if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
                text = label->text();
                needed = label->sizeHint().width();
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                text = button->text();
                needed = button->sizeHint().width();
            } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
                text = combo->currentText();
                needed = combo->minimumSizeHint().width();
            } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                // Its text, two pixels either side and the frame.
                text = edit->text();
                needed = edit->fontMetrics().horizontalAdvance(text) + 2 * 2 +
                         2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            } else if (auto* box = qobject_cast<QGroupBox*>(w); box && !box->title().isEmpty()) {
                text = box->title();
                needed = box->fontMetrics().horizontalAdvance(text);
            }
            if (!text.isEmpty() && w->width() < needed)
                cut << QStringLiteral("%1 (%2 < %3)").arg(text).arg(w->width()).arg(needed);
        }
        dialog.reject();
        return cut.join(QStringLiteral(", ")).toStdString();
    };
    const QFont normal = QApplication::font();
    for (const app::UiLanguage language : {app::UiLanguage::English, app::UiLanguage::German}) {
        app::installTranslations(language);
        app::texts().load();
        for (const qreal scale : {1.0, 2.0}) {
            QFont font = normal;
            font.setPointSizeF(normal.pointSizeF() * scale);
            QApplication::setFont(font);
            const std::string where =
                (language == app::UiLanguage::German ? "German x" : "English x") +
                std::to_string(static_cast<int>(scale));
            for (const bool connected : {true, false}) {
                StationRig rig;
                StationSnapshot station;
                if (connected) {
                    EXPECT_TRUE(rig.link->openStation());
                    station = readStation(*rig.link);
                }
                test::RecordingMessenger messenger;
                settings::AreaGrid areas;
                SetupDialog setup(*rig.link, messenger, station, areas);
                EXPECT_EQ(cutTexts(setup), "") << where << " Setup";
                AlarmDialog alarm(*rig.link, messenger, station);
                EXPECT_EQ(cutTexts(alarm), "") << where << " Alarm";
                CalibrationDialog calib(*rig.link, messenger, station);
                EXPECT_EQ(cutTexts(calib), "") << where << " Calibration";
            }
        }
    }
    QApplication::setFont(normal);
    app::installTranslations(app::UiLanguage::English);
    app::texts().load();
}

// In German no text of the settings windows is left as it is in English,
// with or without a station, but for those that are the same in both: the
// channels, units, numbers, formats and "Alarm".
TEST(SettingsDialogs, GermanLeavesNoEnglishText) {
    const auto textsOf = [](QDialog& dialog) {
        QSet<QString> texts{dialog.windowTitle()};
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (auto* label = qobject_cast<QLabel*>(w))
                texts << label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                texts << button->text();
            else if (auto* box = qobject_cast<QGroupBox*>(w))
                texts << box->title();
            else if (auto* combo = qobject_cast<QComboBox*>(w)) {
                texts << combo->placeholderText();
                for (int i = 0; i < combo->count(); ++i)
                    texts << combo->itemText(i);
            } else if (auto* edit = qobject_cast<QLineEdit*>(w))
                texts << edit->placeholderText();
        }
        texts.remove(QString());
        return texts;
    };
    const auto windowTexts = [&](app::UiLanguage language, bool connected) {
        app::installTranslations(language);
        app::texts().load();
        StationRig rig;
        StationSnapshot station;
        if (connected) {
            EXPECT_TRUE(rig.link->openStation());
            station = readStation(*rig.link);
        }
        test::RecordingMessenger messenger;
        settings::AreaGrid areas;
        SetupDialog setup(*rig.link, messenger, station, areas);
        AlarmDialog alarm(*rig.link, messenger, StationSnapshot{});
        CalibrationDialog calib(*rig.link, messenger, StationSnapshot{});
        return textsOf(setup) + textsOf(alarm) + textsOf(calib);
    };
    const QRegularExpression same(
        QStringLiteral("^(CH\\d:?|°[CF]|%|-?\\d+(\\.\\d)?|\\d+H|[hmsAMPYD: -]+|Alarm)$"));
    for (const bool connected : {true, false}) {
        const QSet<QString> english = windowTexts(app::UiLanguage::English, connected);
        const QSet<QString> german = windowTexts(app::UiLanguage::German, connected);
        QStringList left;
        for (const QString& text : german)
            if (english.contains(text) && !same.match(text).hasMatch())
                left << text;
        left.sort();
        EXPECT_EQ(left.join(QStringLiteral(" | ")).toStdString(), "")
            << (connected ? "with" : "without") << " a station";
    }
    app::installTranslations(app::UiLanguage::English);
    app::texts().load();
}

TEST(SetupDialog, AwayStationReceivesOnlyTheStatusQuery) {
    DialogRig d;
    d.rig.station->setScreenAway(1);
    settings::AreaGrid areas;
    SetupDialog dialog(*d.rig.link, d.messenger, d.setting(), areas);
    clickAndWaitClosed(dialog, dialog.saveButton());
    const std::vector<Block> received = d.rig.station->receivedFrames();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][1], cmd::ScreenStatus);
    ASSERT_EQ(d.messenger.shown.size(), 1u);
    EXPECT_EQ(d.messenger.shown[0], QStringLiteral("Please switch the device to the main screen."));
    EXPECT_EQ(d.messenger.kinds[0], app::MessageKind::Warning);
}

TEST(AlarmDialog, FahrenheitLimitsAndRefusedValues) {
    DialogRig d(StationRig::profile(false, 1));
    ASSERT_TRUE(d.rig.link->fahrenheit());
    AlarmDialog dialog(*d.rig.link, d.messenger, d.alarm());
    EXPECT_EQ(dialog.limit(0, 1)->text(), QStringLiteral("95.0")); // 35.0 °C
    dialog.show();
    // A refused value: its message as a warning, the window stays, nothing sent.
    dialog.limit(0, 2)->setText(QStringLiteral("140.2"));
    QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    ASSERT_EQ(d.messenger.shown.size(), 1u);
    EXPECT_EQ(d.messenger.shown[0],
              QStringLiteral("Temp Error: the high limit of CH2 must be from -40.0 to 140.0 °F."));
    EXPECT_EQ(d.messenger.kinds[0], app::MessageKind::Warning);
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
    StationSnapshot copy = d.station;
    copy.readings = Readings{}; // CH1 only
    copy.readings[0] = {58.0f, 95};
    CalibrationDialog dialog(*d.rig.link, d.messenger, copy);
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

// Save writes Main.ini, then tells the station. Enter, while no button has the
// focus, ends the window with OK: without writing when the language is the one
// it opened with, as Save when another was chosen.
TEST(LanguageDialog, SaveAndEnterEndWithOk) {
    DialogRig d;
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Main.ini"));
    const auto pressEnterOn = [](app::LanguageDialog& dialog, QWidget* focus) {
        dialog.show();
        dialog.activateWindow();
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        return QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000);
    };
    {
        app::LanguageDialog dialog(*d.rig.link, d.messenger, ini);
        EXPECT_EQ(dialog.language()->currentText(), QStringLiteral("English"));
        ASSERT_TRUE(pressEnterOn(dialog, dialog.language()));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(QFile::exists(ini)) << "nothing written";
        EXPECT_TRUE(d.rig.station->receivedFrames().empty());
    }
    {
        app::LanguageDialog dialog(*d.rig.link, d.messenger, ini);
        dialog.language()->setCurrentIndex(0);
        clickAndWaitClosed(dialog, dialog.saveButton());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(app::readLanguageValue(ini), QStringLiteral("Deutsch"));
        EXPECT_EQ(d.rig.station->language(), 0);
    }
    {
        app::LanguageDialog dialog(*d.rig.link, d.messenger, ini);
        EXPECT_EQ(dialog.language()->currentText(), QStringLiteral("Deutsch"));
        dialog.language()->setCurrentIndex(1);
        ASSERT_TRUE(pressEnterOn(dialog, dialog.language()));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(app::readLanguageValue(ini), QStringLiteral("English"));
        EXPECT_EQ(d.rig.station->language(), 1);
    }
    {
        // Enter on a focused button presses that button.
        app::LanguageDialog dialog(*d.rig.link, d.messenger, ini);
        dialog.language()->setCurrentIndex(0);
        ASSERT_TRUE(pressEnterOn(dialog, dialog.exitButton()));
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(app::readLanguageValue(ini), QStringLiteral("English"));
    }
    EXPECT_TRUE(d.messenger.shown.empty());
}
