#include "store/archive.h"

#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using vellumet::store::Archive;
using vellumet::store::kNoHumidity;
using vellumet::store::kNoValue;
using vellumet::store::LogRecord;
using vellumet::store::SeriesColumn;
using Source = Archive::CurveSource;

// 2026-01-01 00:00:00 as an automation date, and a time so many seconds on.
constexpr double kDay0 = 46023.0;
double at(int seconds) {
    return kDay0 + seconds / 86400.0;
}

// Values from a small set, so that lows and highs tie within an hour.
float wobble(int i, float base) {
    return base + static_cast<float>((i * 7919) % 11) * 0.5f;
}

std::vector<LogRecord> readings(int from, int count, int step, float base, bool humidity = true) {
    std::vector<LogRecord> rows;
    for (int i = 0; i < count; ++i) {
        LogRecord r;
        r.time = at(from + i * step);
        r.temperature = i % 13 == 5 ? kNoValue : wobble(i, base);
        r.humidity = humidity ? 40 + (i * 31) % 7 : kNoHumidity;
        r.dewPoint = i % 4 == 0 ? kNoValue : wobble(i + 3, base - 6.0f);
        rows.push_back(r);
    }
    return rows;
}

class ArchiveCurve : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Archive archive;
    std::string path() const {
        return dir.filePath(QStringLiteral("archive.sqlite")).toStdString();
    }

    void merge(const char* station, int channel, const std::vector<LogRecord>& rows) {
        ASSERT_TRUE(archive.begin(station, channel, "LOG.CSV"));
        // In pieces, as an import hands them over.
        for (std::size_t i = 0; i < rows.size(); i += 500)
            ASSERT_TRUE(archive.merge(
                std::span(rows).subspan(i, std::min<std::size_t>(500, rows.size() - i))));
        ASSERT_TRUE(archive.commit());
    }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(archive.open(path()));
        // Channel 1: three days a minute apart with ten hours missing, from
        // two stations, the second a minute late and shifted by 30 s for a day.
        merge("a", 1, readings(0, 1800, 60, 10.0f));
        merge("a", 1, readings(1800 * 60 + 36000, 2500, 60, 12.0f));
        merge("b", 1, readings(7 * 3600 + 30, 1440, 60, 11.0f));
        // An import that replaces readings in some hours (other values) and
        // adds to others, out of order.
        std::vector<LogRecord> again = readings(20 * 3600, 600, 60, 9.5f);
        std::reverse(again.begin(), again.end());
        merge("a", 1, again);
        // Channel 2: no humidity at all, temperatures only now and then.
        merge("a", 2, readings(0, 3000, 90, -3.0f, false));
    }

    // Every reading of a column in the window, straight from the history.
    std::vector<std::pair<double, double>> raw(int channel, double from, double to,
                                               SeriesColumn column) {
        std::vector<std::pair<double, double>> out;
        EXPECT_TRUE(archive.visitValues(channel, from, to, column,
                                        [&](std::span<const double> t, std::span<const double> v) {
                                            for (std::size_t i = 0; i < t.size(); ++i)
                                                out.emplace_back(t[i], v[i]);
                                            return true;
                                        }));
        return out;
    }
};

struct Case {
    const char* what;
    int channel;
    SeriesColumn column;
    double from, to;
    int columns;
};

const double kAll = std::numeric_limits<double>::max();

const Case kCases[] = {
    {"everything, three-hour columns", 1, SeriesColumn::Temperature, -kAll, kAll, 20},
    {"everything, one-hour columns", 1, SeriesColumn::Temperature, -kAll, kAll, 70},
    {"humidity, two-hour columns", 1, SeriesColumn::Humidity, -kAll, kAll, 40},
    {"dew point with gaps in it", 1, SeriesColumn::DewPoint, -kAll, kAll, 33},
    {"mid-hour to mid-hour", 1, SeriesColumn::Temperature, at(5000), at(200000), 12},
    {"across the missing hours", 1, SeriesColumn::Temperature, at(100000), at(160000), 8},
    {"within the missing hours", 1, SeriesColumn::Temperature, at(110000), at(140000), 4},
    {"zoomed in: minutes", 1, SeriesColumn::Temperature, at(30000), at(37200), 100},
    {"a channel without humidity", 2, SeriesColumn::Humidity, -kAll, kAll, 20},
    {"a channel with few temperatures", 2, SeriesColumn::Temperature, -kAll, kAll, 25},
    {"a channel not held", 5, SeriesColumn::Temperature, -kAll, kAll, 20},
};

// The summary gives the curve the readings give, for every window; the curve
// starts and ends with the window's first and last reading and keeps its
// lowest and highest.
TEST_F(ArchiveCurve, FromTheSummaryIsTheCurveOfTheReadings) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto fast = archive.curve(c.channel, c.from, c.to, c.column, c.columns);
        const auto slow =
            archive.curve(c.channel, c.from, c.to, c.column, c.columns, Source::Readings);
        ASSERT_TRUE(fast);
        ASSERT_TRUE(slow);
        EXPECT_EQ(fast->times, slow->times);
        EXPECT_EQ(fast->values, slow->values);

        const auto all = raw(c.channel, c.from, c.to, c.column);
        ASSERT_EQ(fast->times.empty(), all.empty());
        if (all.empty())
            continue;
        EXPECT_LT(fast->times.size(), all.size());
        EXPECT_TRUE(std::is_sorted(fast->times.begin(), fast->times.end()));
        EXPECT_DOUBLE_EQ(fast->times.front(), all.front().first);
        EXPECT_EQ(fast->values.front(), all.front().second);
        EXPECT_DOUBLE_EQ(fast->times.back(), all.back().first);
        EXPECT_EQ(fast->values.back(), all.back().second);
        const auto [low, high] =
            std::minmax_element(all.begin(), all.end(),
                                [](const auto& a, const auto& b) { return a.second < b.second; });
        EXPECT_EQ(*std::min_element(fast->values.begin(), fast->values.end()), low->second);
        EXPECT_EQ(*std::max_element(fast->values.begin(), fast->values.end()), high->second);
    }
}

// A curve of whole hours is read from the summary: a summary changed behind
// the history's back shows until it is worked out again from the readings.
TEST_F(ArchiveCurve, ReadsWholeHoursFromTheSummaryUntilRebuilt) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
    // Whole tenths, as the history keeps the station's temperatures.
    ASSERT_EQ(sqlite3_exec(db,
                           "UPDATE Buckets SET TemperatureHigh = 999 WHERE Channel = 1 AND"
                           " Bucket = (SELECT min(Bucket) + 2 FROM Buckets WHERE Channel = 1)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const auto max = [&](Source source) {
        const auto c = archive.curve(1, -kAll, kAll, SeriesColumn::Temperature, 20, source);
        EXPECT_TRUE(c);
        return c ? *std::max_element(c->values.begin(), c->values.end()) : 0.0;
    };
    EXPECT_FLOAT_EQ(static_cast<float>(max(Source::Fastest)), 99.9f);
    EXPECT_LT(max(Source::Readings), 99.0);
    ASSERT_TRUE(archive.rebuildSummary());
    EXPECT_EQ(max(Source::Fastest), max(Source::Readings));

    // A history from before the summary gets it when it is opened.
    ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "DROP TABLE Buckets; PRAGMA user_version = 0", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    Archive older;
    ASSERT_TRUE(older.open(path()));
    const auto fast = older.curve(1, -kAll, kAll, SeriesColumn::Humidity, 30);
    const auto slow = older.curve(1, -kAll, kAll, SeriesColumn::Humidity, 30, Source::Readings);
    ASSERT_TRUE(fast && slow);
    EXPECT_FALSE(fast->values.empty());
    EXPECT_EQ(fast->times, slow->times);
    EXPECT_EQ(fast->values, slow->values);
}

// A history as the versions that kept a row per reading left it, with the
// rows `inserts` adds. Times in seconds since 1970: 2026-01-01 00:00:00 is
// 1767225600.
void writeRowsPerReading(const std::string& path, const std::string& inserts) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE Stations(Id INTEGER PRIMARY KEY, Serial TEXT NOT NULL UNIQUE);"
        "CREATE TABLE Readings(Channel INTEGER NOT NULL, Time INTEGER NOT NULL, Station"
        " INTEGER NOT NULL, Temperature, Humidity, DewPoint, HeatIndex, PRIMARY KEY(Channel,"
        " Time, Station)) WITHOUT ROWID;"
        "CREATE TABLE Files(Station INTEGER NOT NULL, Channel INTEGER NOT NULL, Name TEXT NOT"
        " NULL, Rows INTEGER NOT NULL, Added INTEGER NOT NULL, Changed INTEGER NOT NULL,"
        " Imported TEXT NOT NULL, PRIMARY KEY(Station, Channel, Name));"
        "INSERT INTO Stations VALUES(1, 'a'), (2, 'b');" +
        inserts + ";PRAGMA user_version = 1";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// A history from the versions that kept a row per reading is packed by the
// hour when it is first opened: every reading as it was, values of every
// stored kind, two stations in one hour, and the summary made for it.
TEST(ArchiveLayout, AHistoryOfRowsPerReadingIsTakenOverWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("archive.sqlite")).toStdString();
    writeRowsPerReading(
        path, "INSERT INTO Readings VALUES"
              " (1, 1767225600, 1, 215, 45, 91, NULL), (1, 1767225600, 2, -35, NULL, NULL, 12.25),"
              " (1, 1767225660, 1, 216, 46, 92, NULL), (1, 1767229199, 2, 1000000, 100, 0, 0),"
              " (1, 1767229200, 1, 217, 47, 93, NULL), (0, 1767225600, 1, 200, 50, NULL, NULL),"
              " (1, 1767232800, 1, NULL, 300, NULL, NULL);"
              "INSERT INTO Files VALUES(1, 1, 'CH1_A.CSV', 4, 4, 0, '2026-12-01 10:00:00')");
    sqlite3* db = nullptr;

    Archive archive;
    const auto opened = archive.open(path);
    ASSERT_TRUE(opened) << opened.error().text();
    struct Held {
        int seconds;
        float temperature;
        int humidity;
        float dewPoint, heatIndex;
        bool operator==(const Held&) const = default;
    };
    const auto held = [&](int channel) {
        std::vector<Held> out;
        EXPECT_TRUE(archive.visit(channel, -kAll, kAll, [&](std::span<const LogRecord> rows) {
            for (const LogRecord& r : rows)
                out.push_back({static_cast<int>(std::lround((r.time - kDay0) * 86400.0)),
                               r.temperature, r.humidity, r.dewPoint, r.heatIndex});
            return true;
        }));
        return out;
    };
    const std::vector<Held> one = {
        {0, 21.5f, 45, 9.1f, kNoValue},    {0, -3.5f, kNoHumidity, kNoValue, 12.25f},
        {60, 21.6f, 46, 9.2f, kNoValue},   {3599, 100000.0f, 100, 0.0f, 0.0f},
        {3600, 21.7f, 47, 9.3f, kNoValue}, {7200, kNoValue, 300, kNoValue, kNoValue}};
    EXPECT_EQ(held(1), one);
    EXPECT_EQ(held(0), (std::vector<Held>{{0, 20.0f, 50, kNoValue, kNoValue}}));
    const auto channels = archive.channels();
    ASSERT_TRUE(channels);
    ASSERT_EQ(channels->size(), 3u);
    EXPECT_EQ((*channels)[1].station, "a");
    EXPECT_EQ((*channels)[1].rows, 4);
    EXPECT_EQ((*channels)[1].files, 1);
    const auto curve = archive.curve(1, -kAll, kAll, SeriesColumn::Humidity, 2);
    ASSERT_TRUE(curve);
    EXPECT_EQ(*std::max_element(curve->values.begin(), curve->values.end()), 300.0);

    // Opened again, nothing more is done to it; the rows per reading are gone.
    Archive again;
    ASSERT_TRUE(again.open(path));
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db, "SELECT 1 FROM Readings", nullptr, nullptr, nullptr), SQLITE_OK);
    // A damaged hour is reported as such, not read as readings.
    ASSERT_EQ(sqlite3_exec(db, "UPDATE Hours SET Readings = x'0100' WHERE Channel = 0", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const auto damaged = again.visit(0, -kAll, kAll, [](auto) { return true; });
    ASSERT_FALSE(damaged);
    EXPECT_NE(damaged.error().text().find("damaged"), std::string::npos);
    EXPECT_TRUE(again.visit(1, -kAll, kAll, [](auto) { return true; }));
}

// Two programs opening such a history at once (the window and a script, say):
// one packs it, the other waits and finds it done; both read it whole.
TEST(ArchiveLayout, TwoOpeningsAtOnceBothFindItWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("archive.sqlite")).toStdString();
    constexpr int kRows = 200000;
    writeRowsPerReading(path, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n"
                              " WHERE i < " +
                                  std::to_string(kRows - 1) +
                                  ") INSERT INTO Readings SELECT 1, 1767225600 + 60 * i, 1,"
                                  " 200 + i % 50, 50, NULL, NULL FROM n");
    Archive first, second;
    vellumet::Status opened[2];
    std::thread a([&] { opened[0] = first.open(path); });
    std::thread b([&] { opened[1] = second.open(path); });
    a.join();
    b.join();
    for (Archive* archive : {&first, &second}) {
        const int which = archive == &first ? 0 : 1;
        ASSERT_TRUE(opened[which]) << opened[which].error().text();
        int rows = 0;
        ASSERT_TRUE(archive->visit(1, -kAll, kAll, [&](std::span<const LogRecord> run) {
            rows += static_cast<int>(run.size());
            return true;
        }));
        EXPECT_EQ(rows, kRows);
    }
}

// A minute apart over ten hours, without 2, 3 and 4 intervals' readings
// (the last both within an hour and across the turn of one), then three days
// without any.
std::vector<LogRecord> minutesWithGaps(int offsetSeconds) {
    std::vector<int> minutes;
    for (int m = 0; m < 600; ++m)
        if (m != 30 && m != 100 && m != 101 && !(m >= 200 && m <= 202) && !(m >= 299 && m <= 301))
            minutes.push_back(m);
    for (int m = 4320; m < 4920; ++m)
        minutes.push_back(m);
    std::vector<LogRecord> rows;
    for (int m : minutes) {
        LogRecord r;
        r.time = at(m * 60 + offsetSeconds);
        r.temperature = 20.0f;
        r.humidity = 50;
        rows.push_back(r);
    }
    return rows;
}

// The gaps from the readings are those the full listing finds; the summary
// tells those across the turn of an hour, of every station together. The
// quick listing tells what the full one does but the rows and gaps.
TEST(ArchiveGaps, FromTheSummaryAndTheReadingsAsTheFullListingTellsThem) {
    QTemporaryDir dir;
    Archive archive;
    ASSERT_TRUE(archive.open(dir.filePath(QStringLiteral("archive.sqlite")).toStdString()));
    const auto merge = [&](const char* station, int channel, const std::vector<LogRecord>& rows,
                           const char* file) {
        ASSERT_TRUE(archive.begin(station, channel, file));
        ASSERT_TRUE(archive.merge(rows));
        ASSERT_TRUE(archive.commit());
    };
    merge("a", 3, minutesWithGaps(0), "CH3_A.CSV");
    merge("a", 3, minutesWithGaps(0), "CH3_B.CSV");
    merge("a", 4, readings(0, 500, 300, 5.0f), "CH4.CSV");
    // Gaps as minutes from the start.
    using Gaps = std::vector<std::pair<long, long>>;
    const auto minutes = [](const Archive::Gaps& gaps) {
        Gaps out;
        for (const auto& [from, to] : gaps)
            out.emplace_back(std::lround((from - kDay0) * 1440.0),
                             std::lround((to - kDay0) * 1440.0));
        return out;
    };
    const Gaps::value_type inAnHour{199, 203};
    const Gaps::value_type acrossTheHour{298, 302};
    const Gaps::value_type days{599, 4320};
    const auto gapsOf = [&](Source source) {
        const auto g = archive.gaps(3, -kAll, kAll, SeriesColumn::Temperature, 180, source);
        EXPECT_TRUE(g);
        return g ? minutes(*g) : Gaps{};
    };

    auto full = archive.channels();
    ASSERT_TRUE(full);
    ASSERT_EQ(full->size(), 2u);
    EXPECT_EQ(minutes(full->front().gaps), (Gaps{inAnHour, acrossTheHour, days}));
    EXPECT_EQ(gapsOf(Source::Readings), minutes(full->front().gaps));
    EXPECT_EQ(gapsOf(Source::Fastest), (Gaps{acrossTheHour, days}));
    // Within a window: only what lies inside it.
    const auto within =
        archive.gaps(3, at(250 * 60), at(4400 * 60), SeriesColumn::Temperature, 180);
    ASSERT_TRUE(within);
    EXPECT_EQ(minutes(*within), (Gaps{acrossTheHour, days}));

    // A second station's readings fill the stretch across the hour.
    std::vector<LogRecord> filling;
    for (int m = 295; m < 306; ++m) {
        LogRecord r;
        r.time = at(m * 60 + 30);
        r.temperature = 21.0f;
        filling.push_back(r);
    }
    merge("b", 3, filling, "CH3.CSV");
    EXPECT_EQ(gapsOf(Source::Readings), (Gaps{inAnHour, days}));
    EXPECT_EQ(gapsOf(Source::Fastest), (Gaps{days}));
    // Humidity: station b has none, so the stretch is still there.
    const auto humidity = archive.gaps(3, -kAll, kAll, SeriesColumn::Humidity, 180);
    ASSERT_TRUE(humidity);
    EXPECT_EQ(minutes(*humidity), (Gaps{acrossTheHour, days}));

    full = archive.channels();
    const auto quick = archive.outline();
    ASSERT_TRUE(full && quick);
    ASSERT_EQ(quick->size(), full->size());
    for (std::size_t i = 0; i < full->size(); ++i) {
        SCOPED_TRACE(i);
        const auto& f = (*full)[i];
        const auto& q = (*quick)[i];
        EXPECT_EQ(q.station, f.station);
        EXPECT_EQ(q.channel, f.channel);
        EXPECT_EQ(q.first, f.first);
        EXPECT_EQ(q.last, f.last);
        EXPECT_EQ(q.files, f.files);
        EXPECT_EQ(q.intervalSeconds, f.intervalSeconds);
        EXPECT_GT(q.hours, 0);
    }
    EXPECT_EQ((*quick)[0].files, 2);
    EXPECT_EQ((*quick)[1].intervalSeconds, 300);
}

} // namespace
