#include "graph/archive_curves.h"
#include "graph/curve_gaps.h"
#include "graph/graph_plan.h"
#include "graph_fixture.h"

#include "store/archive.h"
#include "store/automation_date.h"

#include <QTemporaryDir>

#include <string>
#include <vector>

using namespace vellumet;
using namespace vellumet::graph;

namespace {

double at(int year, int month, int day, int hour, int minute) {
    return store::toAutomationDate({year, month, day, hour, minute, 0});
}

const QTimeZone kBerlin(QByteArrayLiteral("Europe/Berlin"));

TEST(CurveGaps, CutsOnlyWhereReadingsStopForMoreThanThreeIntervals) {
    struct Case {
        const char* what;
        double interval;          // seconds
        std::vector<int> seconds; // times after the first reading
        CurveParts parts;
    };
    const std::vector<Case> cases = {
        {"two intervals", 60, {0, 60, 180}, {{0, 3}}},
        {"three intervals", 60, {0, 60, 240}, {{0, 3}}},
        {"four intervals", 60, {0, 60, 300}, {{0, 2}, {2, 3}}},
        {"one reading between gaps", 60, {0, 60, 600, 1200, 1260}, {{0, 2}, {2, 3}, {3, 5}}},
        {"a gap at either end", 60, {0, 900, 960, 1020, 2000}, {{0, 1}, {1, 4}, {4, 5}}},
        {"no interval known", 0, {0, 60, 86400}, {{0, 3}}},
    };
    const double base = at(2024, 5, 1, 12, 0);
    for (const Case& c : cases) {
        std::vector<double> times;
        for (int s : c.seconds)
            times.push_back(base + s / 86400.0);
        EXPECT_EQ(splitAtGaps(times, GapRule(c.interval)), c.parts) << c.what;
    }
}

TEST(CurveGaps, TheHourTheClockSkipsIsNoGapInWallClockTimes) {
    struct Case {
        const char* what;
        double before, after;
        bool gap;
    };
    // Readings every five minutes; in the history, times are as on the wall.
    const Case cases[] = {
        {"spring: 01:55 to 03:00 is five minutes", at(2024, 3, 31, 1, 55), at(2024, 3, 31, 3, 0),
         false},
        {"spring: 01:55 to 03:15 is twenty minutes", at(2024, 3, 31, 1, 55), at(2024, 3, 31, 3, 15),
         true},
        {"autumn: the repeated hour runs on", at(2024, 10, 27, 2, 55), at(2024, 10, 27, 3, 0),
         false},
        {"autumn: a real gap across the change", at(2024, 10, 27, 1, 30), at(2024, 10, 27, 3, 0),
         true},
        {"an ordinary night: 01:55 to 03:00", at(2024, 5, 5, 1, 55), at(2024, 5, 5, 3, 0), true},
    };
    const GapRule rule(300, kBerlin);
    for (const Case& c : cases)
        EXPECT_EQ(rule.isGap(c.before, c.after), c.gap) << c.what;
}

TEST(CurveGaps, TheUsualSpacingIsTheMostCommonOne) {
    IntervalCounter counter;
    EXPECT_EQ(counter.intervalSeconds(), 0.0);
    const double base = at(2024, 5, 1, 0, 0);
    // A long pause, the clock put back an hour, one reading repeated.
    for (int s : {0, 300, 600, 900, 4500, 4800, 1200, 1500, 1500, 1800})
        counter.add(base + s / 86400.0);
    EXPECT_EQ(counter.intervalSeconds(), 300.0);
}

// The last import: curves of a log on the store, whole and thinned.
class LogGaps : public graph::test::LogDatabase {
public:
    // Readings every five minutes at the given times of 2024-mm-dd.
    static std::string log(int month, int day, const std::vector<std::pair<int, int>>& times) {
        std::string text;
        for (const auto& [hour, minute] : times) {
            char line[96];
            std::snprintf(line, sizeof line, "2024-%02d-%02d %02d:%02d:00,%d.5,50,10.0,21.0\n",
                          month, day, hour, minute, hour + 10);
            text += line;
        }
        return text;
    }
    static std::vector<std::pair<int, int>> every5(int fromHour, int fromMinute, int toHour,
                                                   int toMinute) {
        std::vector<std::pair<int, int>> out;
        for (int m = fromHour * 60 + fromMinute; m <= toHour * 60 + toMinute; m += 5)
            out.emplace_back(m / 60, m % 60);
        return out;
    }
    static std::vector<std::pair<int, int>> join(std::vector<std::pair<int, int>> a,
                                                 const std::vector<std::pair<int, int>>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    // The parts of the temperature curve over the whole day, thinned to
    // columns (0: whole).
    std::size_t parts(int month, int day, int columns) {
        store::RecordStore store;
        EXPECT_TRUE(store.openDatabase(path()).ok());
        Result<WallClockAxis> clock = WallClockAxis::ofStore(store, kBerlin);
        EXPECT_TRUE(clock.ok());
        Result<double> interval = logIntervalSeconds(store);
        EXPECT_TRUE(interval.ok());
        EXPECT_EQ(*interval, 300.0);
        const double from = at(2024, month, day, 0, 0);
        const double to = at(2024, month, day, 23, 59);
        Result<std::vector<LoadedCurve>> curves =
            loadCurves(store, GraphKind::Temperature, from, to, columns, clock->toAxis(from),
                       clock->toAxis(to, true), *clock, {}, GapRule(*interval));
        EXPECT_TRUE(curves.ok());
        return curves && !curves->empty() ? curves->front().parts.size() : 0;
    }
};

TEST_F(LogGaps, ClockChangesAreNoGapsAndAPauseIsOneWhetherThinnedOrNot) {
    struct Case {
        const char* what;
        int month, day;
        std::vector<std::pair<int, int>> times;
        std::size_t parts;
    };
    const std::vector<Case> cases = {
        {"clock put forward", 3, 31, join(every5(0, 0, 1, 55), every5(3, 0, 5, 0)), 1},
        {"clock put back", 10, 27,
         join(join(every5(1, 0, 2, 55), every5(2, 0, 2, 55)), every5(3, 0, 5, 0)), 1},
        {"clock put forward, then a pause", 3, 31, join(every5(0, 0, 1, 55), every5(3, 30, 5, 0)),
         2},
        {"a pause of an hour", 5, 5, join(every5(0, 0, 1, 0), every5(2, 0, 3, 0)), 2},
        {"a reading alone between pauses", 5, 5,
         join(join(every5(0, 0, 1, 0), {{2, 0}}), every5(3, 0, 4, 0)), 3},
    };
    for (const Case& c : cases) {
        importLog(log(c.month, c.day, c.times));
        // A day over 2000 columns: a pixel is three minutes, every gap shows.
        EXPECT_EQ(parts(c.month, c.day, 0), c.parts) << c.what << ", whole";
        EXPECT_EQ(parts(c.month, c.day, 2000), c.parts) << c.what << ", thinned";
    }
}

TEST_F(LogGaps, APauseNarrowerThanAPixelIsNotCutOnceThinned) {
    importLog(log(5, 5, join(every5(0, 0, 10, 0), every5(10, 30, 23, 0))));
    EXPECT_EQ(parts(5, 5, 0), 2u);
    // 64 columns a day: a pixel (four columns) is an hour and a half.
    EXPECT_EQ(parts(5, 5, 64), 1u);
}

// The history's curves are thinned from its summary: the gaps still come
// from the readings, not from the spacing of the thinned points, which are
// hours apart over two years. A pause of five minutes (readings a minute
// apart) is under a pixel then, and cut when zoomed in; three days are cut
// either way. plot --archive draws through the same code.
TEST(ArchiveCurveGaps, CutAtTheReadingsGapsHoweverWideTheSpan) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    store::Archive archive;
    ASSERT_TRUE(archive.open(dir.filePath(QStringLiteral("archive.sqlite")).toStdString()));
    // Two days a minute apart, a pause of five minutes mid-hour on the
    // first, then three days without readings and two more days.
    const double day0 = at(2026, 5, 4, 0, 0);
    std::vector<store::LogRecord> rows;
    for (int m = 0; m < 7 * 1440; ++m) {
        if ((m >= 610 && m < 615) || (m >= 2 * 1440 && m < 5 * 1440))
            continue;
        store::LogRecord r;
        r.time = day0 + m / 1440.0;
        r.temperature = static_cast<float>(15 + m % 17);
        rows.push_back(r);
    }
    ASSERT_TRUE(archive.begin("a", 2, "CH2.CSV"));
    ASSERT_TRUE(archive.merge(rows));
    ASSERT_TRUE(archive.commit());

    struct Case {
        const char* what;
        double from, to;
        std::size_t parts;
    };
    const Case cases[] = {
        {"two years", day0 - 720.0, day0 + 8.0, 2},
        {"the first day", day0, day0 + 1.0, 2},
        {"the first two days", day0, day0 + 2.0, 2},
        {"the pause of three days and around", day0 + 1.5, day0 + 5.5, 2},
    };
    constexpr int kColumns = 4 * 1000;
    for (const Case& c : cases) {
        Result<std::vector<LoadedCurve>> curves =
            loadArchiveChannelCurves(archive, {2}, GraphKind::Temperature, c.from, c.to, kColumns);
        ASSERT_TRUE(curves) << c.what;
        ASSERT_EQ(curves->size(), 1u);
        const LoadedCurve& curve = curves->front();
        EXPECT_EQ(curve.parts.size(), c.parts) << c.what;
        // Parts are cut where readings stop: the points either side of a cut
        // are those either side of a pause.
        for (std::size_t p = 1; p < curve.parts.size(); ++p) {
            const double before = curve.points.times[curve.parts[p].first - 1];
            const double after = curve.points.times[curve.parts[p].first];
            EXPECT_GT(after - before, 4.5 / 1440.0) << c.what;
        }
    }
}

} // namespace
