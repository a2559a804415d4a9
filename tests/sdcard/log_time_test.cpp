#include "sdcard/log_time.h"
#include "store/automation_date.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace vellumet::sdcard;
using vellumet::store::formatDateTime;

TEST(LogTime, ReadsEveryDateAndTimeFormOfTheStation) {
    struct Case {
        const char* text;
        DateOrder order;
        const char* expected; // nullptr: not a date
    };
    const Case cases[] = {
        {"2026-12-01 07:05:09", DateOrder::DayFirst, "2026-12-01 07:05:09"},
        {"2026/12/01 7:05:09", DateOrder::MonthFirst, "2026-12-01 07:05:09"},
        {"2026.12.01 7:05:09", DateOrder::Undecided, "2026-12-01 07:05:09"},
        {"12-01-2026 7:05:09", DateOrder::MonthFirst, "2026-12-01 07:05:09"},
        {"12/01/2026 7:05:09", DateOrder::DayFirst, "2026-01-12 07:05:09"},
        {"1.12.2026 7:05:09", DateOrder::DayFirst, "2026-12-01 07:05:09"},
        {"2026-12-01 AM 7:05:09", DateOrder::DayFirst, "2026-12-01 07:05:09"},
        {"2026-12-01 PM 7:05:09", DateOrder::DayFirst, "2026-12-01 19:05:09"},
        {"2026-12-01 12:05:09 AM", DateOrder::DayFirst, "2026-12-01 00:05:09"},
        {"2026-12-01 12:05:09 pm", DateOrder::DayFirst, "2026-12-01 12:05:09"},
        {" 2026-12-01  23:59:59 ", DateOrder::DayFirst, "2026-12-01 23:59:59"},
        {"2026-12-01 13:05:09 PM", DateOrder::DayFirst, nullptr},
        {"2026-12-01 24:00:00", DateOrder::DayFirst, nullptr},
        {"2026-02-30 0:00:00", DateOrder::DayFirst, nullptr},
        {"13-01-2026 0:00:00", DateOrder::MonthFirst, nullptr},
        {"2026-12-01/7:05:09", DateOrder::DayFirst, nullptr},
        {"2026-12/01 7:05:09", DateOrder::DayFirst, nullptr},
        {"2026-12-01", DateOrder::DayFirst, nullptr},
        {"2026-12-01 7:05", DateOrder::DayFirst, nullptr},
        {"Time", DateOrder::DayFirst, nullptr},
        {"", DateOrder::DayFirst, nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<double> time = parseLogTime(c.text, c.order);
        if (!c.expected) {
            EXPECT_FALSE(time) << c.text;
            continue;
        }
        ASSERT_TRUE(time) << c.text;
        EXPECT_EQ(formatDateTime(*time), c.expected) << c.text;
    }
}

TEST(LogTime, OrderShownByALineOrTheSettingOrTheLocale) {
    EXPECT_EQ(orderShownBy("2026-01-02 0:00:00"), DateOrder::YearFirst);
    EXPECT_EQ(orderShownBy("13-01-2026 0:00:00"), DateOrder::DayFirst);
    EXPECT_EQ(orderShownBy("01/13/2026 0:00:00"), DateOrder::MonthFirst);
    EXPECT_EQ(orderShownBy("01.02.2026 0:00:00"), DateOrder::Undecided);
    EXPECT_EQ(orderShownBy("junk"), DateOrder::Undecided);
    EXPECT_EQ(orderOfStationDateFormat(1), DateOrder::MonthFirst);
    EXPECT_EQ(orderOfStationDateFormat(2), DateOrder::DayFirst);
    EXPECT_EQ(orderOfStationDateFormat(7), DateOrder::Undecided);
    EXPECT_EQ(orderOfLocale(QLocale(QLocale::German, QLocale::Germany)), DateOrder::DayFirst);
    EXPECT_EQ(orderOfLocale(QLocale(QLocale::English, QLocale::UnitedStates)),
              DateOrder::MonthFirst);
}
