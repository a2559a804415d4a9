#include "graph/column_reduction.h"
#include "graph/graph_plan.h"
#include "graph_fixture.h"

#include "store/automation_date.h"

#include <QStringList>

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
            Result<std::vector<LoadedCurve>> whole =
                loadCurves(store, kind, start, end, 0, 0, 0, WallClockAxis{});
            Result<std::vector<LoadedCurve>> thin =
                loadCurves(store, kind, start, end, columns, start, end, WallClockAxis{});
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

    Result<std::vector<LoadedCurve>> t = loadCurves(store, GraphKind::Temperature, start - 1e-6,
                                                    end, 800, start, end, WallClockAxis{});
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(t->size(), 3u);
    EXPECT_EQ((*t)[0].points.values, (std::vector<double>{20.5f, 20.7f, 20.9f}));
    EXPECT_EQ((*t)[1].rows, 0);
    EXPECT_TRUE((*t)[1].points.times.empty());
    EXPECT_TRUE((*t)[2].points.times.empty());

    Result<std::vector<LoadedCurve>> h =
        loadCurves(store, GraphKind::Humidity, start - 1e-6, end, 800, start, end, WallClockAxis{});
    ASSERT_TRUE(h.ok());
    ASSERT_EQ(h->size(), 1u);
    EXPECT_EQ((*h)[0].points.values, (std::vector<double>{50, 51, 52, 53}));

    // The window leaves out its start and keeps its end; start = end is empty.
    Result<std::vector<LoadedCurve>> edge =
        loadCurves(store, GraphKind::Humidity, start, end, 800, start, end, WallClockAxis{});
    ASSERT_TRUE(edge.ok());
    EXPECT_EQ((*edge)[0].points.values, (std::vector<double>{51, 52, 53}));
    Result<std::vector<LoadedCurve>> none =
        loadCurves(store, GraphKind::Temperature, end, end, 800, end, end, WallClockAxis{});
    ASSERT_TRUE(none.ok());
    for (const LoadedCurve& c : *none)
        EXPECT_EQ(c.rows, 0);

    store::RecordStore closed;
    EXPECT_FALSE(
        loadCurves(closed, GraphKind::Temperature, start, end, 800, start, end, WallClockAxis{})
            .ok());
}

// A log of a reading every ten minutes through both clock changes of 2024 in
// Berlin (31 March 02:00 forward, 27 October 03:00 back), written by a station
// whose clock follows them or by one whose clock does not.
std::string clockChangeLog(bool stationChangesClock) {
    std::string text;
    int n = 0;
    const auto row = [&](int month, int day, int hour, int minute) {
        char line[96];
        std::snprintf(line, sizeof line, "2024-%02d-%02d %02d:%02d:00,%.1f,50,%.1f,%.1f\n", month,
                      day, hour, minute, 10.0 + n * 0.1, 5.0, 10.0 + n * 0.1);
        text += line;
        ++n;
    };
    for (int m = 0; m < 4 * 60; m += 10) {
        if (stationChangesClock && m / 60 == 2)
            continue; // the hour the clock skips is never written
        row(3, 31, m / 60, m % 60);
    }
    for (int m = 60; m < 4 * 60; m += 10) {
        row(10, 27, m / 60, m % 60);
        if (stationChangesClock && m == 2 * 60 + 50)
            for (int again = 2 * 60; again < 3 * 60; again += 10)
                row(10, 27, again / 60, again % 60);
    }
    return text;
}

using ClockChanges = test::LogDatabase;

TEST_F(ClockChanges, EveryRowIsPlacedOnceInTheOrderItWasWritten) {
    const double minute = 1.0 / 1440.0;
    const double second = minute / 60.0;
    for (bool changes : {true, false}) {
        SCOPED_TRACE(changes ? "a clock with summer time" : "a clock without");
        importLog(clockChangeLog(changes));
        store::RecordStore store;
        ASSERT_TRUE(store.openDatabase(path()).ok());
        Result<WallClockAxis> clock =
            WallClockAxis::ofStore(store, QTimeZone(QByteArrayLiteral("Europe/Berlin")));
        ASSERT_TRUE(clock.ok());
        EXPECT_EQ(clock->isIdentity(), !changes);
        const double from = store::toAutomationDate({2024, 3, 30, 0, 0, 0});
        const double to = store::toAutomationDate({2024, 10, 28, 0, 0, 0});
        const std::size_t rows = changes ? 18 + 24 : 24 + 18;
        for (int columns : {0, 800}) {
            Result<std::vector<LoadedCurve>> curves =
                loadCurves(store, GraphKind::Temperature, from, to, columns, clock->toAxis(from),
                           clock->toAxis(to, true), *clock);
            ASSERT_TRUE(curves.ok());
            const store::Series& t = (*curves)[0].points;
            ASSERT_EQ(t.times.size(), rows) << columns;
            // Every reading ten minutes after the one before it, in the
            // order written (the temperature counts up by the row).
            for (std::size_t i = 1; i < rows; ++i) {
                EXPECT_NEAR(t.values[i] - t.values[i - 1], 0.1, 1e-4) << i;
                if (i != (changes ? 18u : 24u)) { // from March to October
                    EXPECT_NEAR(t.times[i] - t.times[i - 1], 10 * minute, second) << i;
                }
            }
        }
        // The marks of the autumn night run forward, the repeated hour's
        // wall-clock times shown twice.
        const double night = clock->toAxis(store::toAutomationDate({2024, 10, 27, 1, 0, 0}));
        const std::vector<TimeTick> ticks = timeTicks(*clock, night, night + 4.0 / 24.0, 9);
        QStringList labels;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            labels.append(ticks[i].label);
            if (i > 0) {
                EXPECT_GT(ticks[i].position, ticks[i - 1].position);
            }
        }
        EXPECT_EQ(labels.join(QLatin1Char(' ')),
                  changes ? QStringLiteral("2024-10-27 01:00 01:30 02:00 02:30 02:00 02:30 03:00 "
                                           "03:30 04:00")
                          : QStringLiteral("2024-10-27 01:00 01:30 02:00 02:30 03:00 03:30 04:00 "
                                           "04:30 05:00"));
        // A window over the second pass of the hour reads only that pass.
        if (changes) {
            const double secondPass =
                clock->toAxis(store::toAutomationDate({2024, 10, 27, 2, 15, 0}), true);
            const auto [wallFrom, wallTo] = clock->wallSpan(secondPass, secondPass + 30 * minute);
            Result<std::vector<LoadedCurve>> pass =
                loadCurves(store, GraphKind::Temperature, wallFrom, wallTo, 0, secondPass,
                           secondPass + 30 * minute, *clock);
            ASSERT_TRUE(pass.ok());
            EXPECT_EQ((*pass)[0].points.times.size(), 3u);
            for (double v : (*pass)[0].points.values)
                EXPECT_GT(v, 10.0 + 0.1 * 29.5); // rows written after the change
        }
    }
}

TEST_F(ClockChanges, ASkippedHourTakesNoRoomInALogWhoseTimesAscend) {
    // The spring night alone: the times ascend, so the rows are also packed,
    // and the axis is found from the zone's changes instead of every row.
    std::string log = clockChangeLog(true);
    log.resize(log.find("2024-10-27"));
    importLog(log);
    store::RecordStore store;
    ASSERT_TRUE(store.openDatabase(path()).ok());
    ASSERT_TRUE(*store.hasPackedRows());
    const QTimeZone berlin(QByteArrayLiteral("Europe/Berlin"));
    Result<WallClockAxis> clock = WallClockAxis::ofStore(store, berlin);
    ASSERT_TRUE(clock.ok());
    ASSERT_FALSE(clock->isIdentity());
    Result<std::vector<store::LogRecord>> rows = store.readRecords(0.5, 1e6, std::nullopt);
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 18u);
    std::vector<double> times;
    for (const store::LogRecord& r : *rows)
        times.push_back(r.time);
    const WallClockAxis fromRows = WallClockAxis::fromWrittenTimes(times, berlin);
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_NEAR(clock->toAxis(times[i]) - clock->toAxis(times[i - 1]), 10.0 / 1440.0, 1e-5)
            << i;
        EXPECT_NEAR(fromRows.toAxis(times[i]), clock->toAxis(times[i]), 1e-5) << i;
    }
    // Shown as the station wrote them.
    EXPECT_NEAR(clock->toWall(clock->toAxis(times[12])), times[12], 1e-6);
}

TEST(TimeMarks, FallOnRoundTimesAndCarryTheDateWhereItChanges) {
    const WallClockAxis plain;
    const double from = store::toAutomationDate({2024, 3, 5, 17, 58, 44});
    struct Case {
        double span; // days
        int marks;
        const char* first;
        const char* second;
    };
    for (const Case& c : {Case{2.0 / 24.0, 8, "2024-03-05 18:00", "18:30"},
                          Case{10.0 / 1440.0, 6, "2024-03-05 18:00", "18:02"},
                          Case{50.0 / 86400.0, 6, "2024-03-05 17:58:50", "17:59:00"},
                          Case{1.0, 6, "2024-03-05 18:00", "2024-03-06 00:00"},
                          Case{12.0, 7, "2024-03-06", "2024-03-08"}}) {
        SCOPED_TRACE(c.first);
        const std::vector<TimeTick> ticks = timeTicks(plain, from, from + c.span, c.marks);
        ASSERT_GE(ticks.size(), 2u);
        EXPECT_LE(ticks.size(), static_cast<std::size_t>(c.marks));
        EXPECT_EQ(ticks[0].label, QLatin1String(c.first));
        EXPECT_EQ(ticks[1].label, QLatin1String(c.second));
        for (const TimeTick& t : ticks) {
            EXPECT_GE(t.position, from);
            EXPECT_LE(t.position, from + c.span);
        }
    }
    EXPECT_TRUE(timeTicks(plain, from, from, 5).empty());
}

} // namespace
