#include "store/automation_date.h"

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::store;

TEST(AutomationDate, KnownDaysAndBothDirections) {
    struct Case {
        DateTimeParts parts;
        double date;
    };
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0.0},
        {{1900, 1, 1, 0, 0, 0}, 2.0},
        {{2024, 3, 5, 7, 4, 9}, 45356.0 + (7 * 3600 + 4 * 60 + 9) / 86400.0},
        {{1899, 12, 29, 6, 0, 0}, -1.25}, // before the epoch the fraction counts forwards
        {{1899, 12, 31, 18, 0, 0}, 1.75},
        {{1900, 3, 1, 0, 0, 0}, 61.0}, // no 29 February 1900
        {{1970, 1, 1, 0, 0, 0}, 25569.0},
        {{2000, 1, 1, 6, 0, 0}, 36526.25},
        {{2024, 2, 29, 12, 0, 0}, 45351.5},
        {{2024, 2, 29, 23, 59, 59}, 45351.0 + 86399 / 86400.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(toAutomationDate(c.parts), c.date);
        EXPECT_EQ(fromAutomationDate(c.date), c.parts);
    }
    EXPECT_EQ(formatDateTime(45356.5), "2024-03-05 12:00:00");
}

TEST(BoundText, ReadsTheQueryFormStrictly) {
    const Result<double> unpadded = parseBoundText("2024-03-05 7:04:09");
    ASSERT_TRUE(unpadded.ok());
    EXPECT_EQ(formatBoundText(*unpadded), "2024-03-05 7:04:09");
    const Result<double> padded = parseBoundText("2024-03-05 07:04:09");
    ASSERT_TRUE(padded.ok());
    EXPECT_EQ(*padded, *unpadded);

    for (const char* bad : {"", "2024-3-05 7:04:09", "2024-03-05 7:4:09", "2024-03-05  7:04:09",
                            "2024-03-05T7:04:09", "2024-03-05 7:04:09 ", "2024-03-05 7:04",
                            "2024-02-30 0:00:00", "2024-13-01 0:00:00", "2024-03-05 24:00:00",
                            "2024-03-05 7:60:00", "2024/03/05 7:04:09", "x2024-03-05 7:04:09"}) {
        const Result<double> r = parseBoundText(bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_EQ(r.code(), Errc::InvalidInput);
        EXPECT_NE(r.error().message.find(bad), std::string::npos) << r.error().message;
    }
}
