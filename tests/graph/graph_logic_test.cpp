#include "graph/column_reduction.h"
#include "graph/graph_plan.h"
#include "graph_fixture.h"

#include "store/automation_date.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

using namespace vellumet;
using namespace vellumet::graph;

namespace {

// The points reduceToColumns must keep, found the slow way: per column the
// first, the last, and every point at its lowest or highest value (any of
// equal extremes will do, so the check below takes the value, not the index).
struct ColumnFacts {
    std::size_t first = 0, last = 0;
    double low = INFINITY, high = -INFINITY;
};

TEST(ColumnReduction, KeepsFirstLastAndExtremesOfEveryColumnAndNothingElse) {
    std::mt19937 random(7);
    struct Case {
        std::size_t points;
        int columns;
        double from, to; // the axis range around the points' times 0..points-1
    };
    const Case cases[] = {
        {10000, 100, 0, 9999},   {10000, 800, -50, 12000}, {5000, 7, 0, 4999},
        {3000, 1000, 0, 2999},   {2000, 500, 1000, 1500}, // points outside the range
        {100000, 640, 0, 99999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.points << " points, " << c.columns << " columns");
        std::vector<double> times(c.points), values(c.points);
        std::normal_distribution<double> step(0.0, 1.0);
        double v = 0;
        for (std::size_t i = 0; i < c.points; ++i) {
            times[i] = static_cast<double>(i) + (i % 3 == 0 ? 0.0 : 0.25); // uneven spacing
            v += step(random);
            values[i] = i % 977 == 0 ? v + 50.0 : v; // lone spikes
        }
        const store::Series out = reduceToColumns(times, values, c.from, c.to, c.columns);

        std::map<long, ColumnFacts> columns;
        for (std::size_t i = 0; i < c.points; ++i) {
            const double scale = c.columns / (c.to - c.from);
            const double raw = std::floor((times[i] - c.from) * scale);
            const long col = std::clamp(static_cast<long>(raw), 0L, long{c.columns} - 1);
            auto [it, added] = columns.try_emplace(col, ColumnFacts{i, i});
            it->second.last = i;
            it->second.low = std::min(it->second.low, values[i]);
            it->second.high = std::max(it->second.high, values[i]);
        }
        ASSERT_EQ(out.times.size(), out.values.size());
        ASSERT_TRUE(std::is_sorted(out.times.begin(), out.times.end()));
        // Every kept point is a point of the curve.
        std::set<double> keptTimes(out.times.begin(), out.times.end());
        ASSERT_EQ(keptTimes.size(), out.times.size()) << "a point was kept twice";
        for (std::size_t k = 0; k < out.times.size(); ++k) {
            const auto i = static_cast<std::size_t>(std::llround(std::floor(out.times[k])));
            ASSERT_EQ(times[i], out.times[k]);
            ASSERT_EQ(values[i], out.values[k]);
        }
        std::size_t expectedMax = 0;
        for (const auto& [col, facts] : columns) {
            EXPECT_TRUE(keptTimes.count(times[facts.first])) << "first of column " << col;
            EXPECT_TRUE(keptTimes.count(times[facts.last])) << "last of column " << col;
            double low = INFINITY, high = -INFINITY;
            for (std::size_t k = 0; k < out.times.size(); ++k)
                if (out.times[k] >= times[facts.first] && out.times[k] <= times[facts.last]) {
                    low = std::min(low, out.values[k]);
                    high = std::max(high, out.values[k]);
                }
            EXPECT_EQ(low, facts.low) << "lowest of column " << col;
            EXPECT_EQ(high, facts.high) << "highest of column " << col;
            expectedMax += std::min<std::size_t>(4, facts.last - facts.first + 1);
        }
        EXPECT_LE(out.times.size(), expectedMax);
        EXPECT_LE(out.times.size(), static_cast<std::size_t>(c.columns) * 4);
    }
}

TEST(ColumnReduction, LeavesCurvesNoWiderThanTheChartAndEmptyRangesAlone) {
    const std::vector<double> times = {1, 2, 3, 4, 5, 6};
    const std::vector<double> values = {5, 1, 9, 2, 8, 3};
    for (const auto& [columns, from, to] :
         {std::tuple{6, 1.0, 6.0}, std::tuple{100, 1.0, 6.0}, std::tuple{2, 3.0, 3.0}}) {
        const store::Series out = reduceToColumns(times, values, from, to, columns);
        EXPECT_EQ(out.times, times);
        EXPECT_EQ(out.values, values);
    }
    EXPECT_TRUE(reduceToColumns({}, {}, 0, 1, 10).times.empty());
}

TEST(GraphWindow, OpensOnTheHourBeforeNowAcrossMidnight) {
    const QDateTime now(QDate(2024, 3, 5), QTime(0, 30, 0));
    const PickerValues p = openingPickers(now);
    EXPECT_EQ(p.startDate, QDate(2024, 3, 4));
    EXPECT_EQ(p.startTime, QTime(23, 30, 0));
    EXPECT_EQ(p.endDate, QDate(2024, 3, 5));
    EXPECT_EQ(p.endTime, QTime(0, 30, 0));

    Result<Window> w =
        composeWindow({QDate(2024, 3, 5), QTime(7, 4, 9), QDate(2024, 3, 5), QTime(10, 0, 0)});
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(w->start, *store::parseBoundText("2024-03-05 7:04:09"));
    EXPECT_EQ(w->end, *store::parseBoundText("2024-03-05 10:00:00"));
    EXPECT_LT(w->start, w->end);
    EXPECT_EQ(composeWindow({QDate(), QTime(1, 0), QDate(2024, 1, 1), QTime(1, 0)}).code(),
              Errc::InvalidInput);
}

TEST(GraphWindow, AxisTimesShowTheLogsWallClock) {
    AxisClock clock;
    const double date = store::toAutomationDate(store::DateTimeParts{2024, 7, 1, 13, 45, 30});
    const QDateTime shown = QDateTime::fromMSecsSinceEpoch(clock.toAxis(date));
    EXPECT_EQ(shown.date(), QDate(2024, 7, 1));
    EXPECT_EQ(shown.time(), QTime(13, 45, 30));
    EXPECT_NEAR(AxisClock::fromAxis(clock.toAxis(date)), date, 1e-9);
}

TEST(GraphWindow, AxisClockAgreesWithTheSystemForEveryHourAcrossTransitions) {
    // A zone with summer time; every hour of two years, in order and back.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const double from = store::toAutomationDate(store::DateTimeParts{2023, 1, 1, 0, 30, 0});
    std::vector<double> hours;
    for (int h = 0; h < 2 * 366 * 24; ++h)
        hours.push_back(from + h / 24.0);
    for (bool backwards : {false, true}) {
        if (backwards)
            std::reverse(hours.begin(), hours.end());
        AxisClock clock;
        int wrong = 0;
        for (double date : hours) {
            const qint64 wallMs = std::llround((date - 25569.0) * 86400000.0);
            const qint64 hour = wallMs / 3600000;
            if (clock.toAxis(date) != wallMs - AxisClock::offsetOfHour(hour))
                ++wrong;
        }
        EXPECT_EQ(wrong, 0) << (backwards ? "backwards" : "forwards");
    }
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

using GraphCurves = test::LogDatabase;

TEST_F(GraphCurves, ThinnedCurvesAreTheWholeCurvesThinned) {
    // Several packs of rows, and a stretch where only humidity was read.
    std::string log = minuteLog(9000);
    log += "2024-03-11 06:00:00,--,55,--,--\n2024-03-11 06:01:00,--,56,--,--\n";
    importLog(log);
    store::RecordStore store;
    ASSERT_TRUE(store.openDatabase(path()).ok());
    ASSERT_TRUE(*store.hasPackedRows());
    const double first = *store::parseBoundText("2024-03-05 0:00:00");
    const double minute = 1.0 / 1440.0;
    for (GraphKind kind : {GraphKind::Temperature, GraphKind::Humidity})
        for (const auto& [start, end, columns] :
             {std::tuple{first - minute, first + 9100 * minute, 300},
              std::tuple{first + 4000.5 * minute, first + 4200 * minute, 64},
              std::tuple{first + 10 * minute, first + 20 * minute, 300}}) {
            SCOPED_TRACE(testing::Message() << start << ".." << end << ", " << columns);
            Result<std::vector<LoadedCurve>> whole = loadCurves(store, kind, start, end, 0, 0, 0);
            Result<std::vector<LoadedCurve>> thin =
                loadCurves(store, kind, start, end, columns, start, end);
            ASSERT_TRUE(whole.ok());
            ASSERT_TRUE(thin.ok());
            ASSERT_EQ(whole->size(), thin->size());
            for (std::size_t i = 0; i < whole->size(); ++i) {
                const store::Series expected = reduceToColumns(
                    (*whole)[i].points.times, (*whole)[i].points.values, start, end, columns);
                EXPECT_EQ((*thin)[i].rows, (*whole)[i].rows);
                EXPECT_EQ((*thin)[i].points.times, expected.times);
                EXPECT_EQ((*thin)[i].points.values, expected.values);
            }
        }
}

TEST_F(GraphCurves, MissingValuesLeaveOnlyTheirOwnCurve) {
    // No dew point or heat index at all; the third row has no temperature but
    // a humidity.
    importLog("2024-03-05 10:00:00,20.5,50,--,--\n"
              "2024-03-05 10:01:00,20.7,51,--,--\n"
              "2024-03-05 10:02:00,--,52,--,--\n"
              "2024-03-05 10:03:00,20.9,53,--,--\n");
    store::RecordStore store;
    ASSERT_TRUE(store.openDatabase(path()).ok());
    const double start = *store::parseBoundText("2024-03-05 10:00:00");
    const double end = *store::parseBoundText("2024-03-05 10:03:00");

    Result<std::vector<LoadedCurve>> t =
        loadCurves(store, GraphKind::Temperature, start - 1e-6, end, 800, start, end);
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(t->size(), 3u);
    EXPECT_EQ((*t)[0].points.values, (std::vector<double>{20.5f, 20.7f, 20.9f}));
    EXPECT_EQ((*t)[1].rows, 0);
    EXPECT_TRUE((*t)[1].points.times.empty());
    EXPECT_TRUE((*t)[2].points.times.empty());

    Result<std::vector<LoadedCurve>> h =
        loadCurves(store, GraphKind::Humidity, start - 1e-6, end, 800, start, end);
    ASSERT_TRUE(h.ok());
    ASSERT_EQ(h->size(), 1u);
    EXPECT_EQ((*h)[0].points.values, (std::vector<double>{50, 51, 52, 53}));

    // The window leaves out its start and keeps its end; start = end is empty.
    Result<std::vector<LoadedCurve>> edge =
        loadCurves(store, GraphKind::Humidity, start, end, 800, start, end);
    ASSERT_TRUE(edge.ok());
    EXPECT_EQ((*edge)[0].points.values, (std::vector<double>{51, 52, 53}));
    Result<std::vector<LoadedCurve>> none =
        loadCurves(store, GraphKind::Temperature, end, end, 800, end, end);
    ASSERT_TRUE(none.ok());
    for (const LoadedCurve& c : *none)
        EXPECT_EQ(c.rows, 0);

    store::RecordStore closed;
    EXPECT_FALSE(loadCurves(closed, GraphKind::Temperature, start, end, 800, start, end).ok());
}

} // namespace
