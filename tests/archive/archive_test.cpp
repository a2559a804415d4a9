#include "sdcard/log_import.h"
#include "store/archive.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

using vellumet::OperationContext;
using vellumet::store::Archive;
using vellumet::store::ArchivedRow;
using vellumet::store::ArchiveMerge;
using vellumet::store::kIndoorChannel;
using vellumet::store::kNoValue;

// Seconds from 2026-01-01 00:00:00 to a log's time text.
std::string timeText(int seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "2026-01-%02d %d:%02d:%02d", 1 + seconds / 86400,
                  seconds % 86400 / 3600, seconds % 3600 / 60, seconds % 60);
    return text;
}

struct Reading {
    float temperature = kNoValue;
    int humidity = 0;
    bool operator==(const Reading&) const = default;
};

// A log line: its time (nothing: a time the station garbled) and values.
struct Line {
    std::optional<int> seconds;
    Reading reading;
};

// What the history must hold: channel and seconds to the reading.
using Model = std::map<std::pair<int, int>, Reading>;

class ArchiveTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString database() const { return dir.filePath(QStringLiteral("7421.mdb")); }
    std::string archivePath() const {
        return vellumet::store::archivePathBeside(database().toStdString());
    }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QFile file(database());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QString write(const QString& name, const std::vector<Line>& lines, bool indoor) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        std::string text = indoor ? "Time,Temperature(C),Humidity(%)\n"
                                  : "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
        for (const Line& l : lines) {
            text += l.seconds ? timeText(*l.seconds) : std::string("garbled");
            char values[64];
            std::snprintf(values, sizeof values, ",%.1f,%d",
                          static_cast<double>(l.reading.temperature), l.reading.humidity);
            text += values;
            if (!indoor)
                text += ",5.0,--";
            text += '\n';
        }
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }

    // Imports a file through the import every front end uses and checks the
    // counts it reports against the model, which it brings up to date.
    void import(const QString& name, int channel, const std::vector<Line>& lines, Model& model) {
        const QString path = write(name, lines, channel == kIndoorChannel);
        ArchiveMerge expected;
        for (const Line& l : lines) {
            if (!l.seconds) {
                ++expected.skipped;
                continue;
            }
            const auto key = std::pair{channel, *l.seconds};
            const auto held = model.find(key);
            if (held == model.end())
                ++expected.added;
            else if (held->second == l.reading)
                ++expected.unchanged;
            else
                ++expected.changed;
            model[key] = l.reading;
        }
        vellumet::sdcard::ImportOptions options;
        options.logPath = path;
        options.databasePath = database();
        const auto summary = vellumet::sdcard::importLog(options, OperationContext({}, {}));
        ASSERT_TRUE(summary) << summary.error().text();
        ASSERT_TRUE(summary->archived) << name.toStdString();
        EXPECT_EQ(*summary->archiveChannel, channel);
        EXPECT_EQ(summary->archived->added, expected.added) << name.toStdString();
        EXPECT_EQ(summary->archived->changed, expected.changed) << name.toStdString();
        EXPECT_EQ(summary->archived->unchanged, expected.unchanged) << name.toStdString();
        EXPECT_EQ(summary->archived->skipped, expected.skipped) << name.toStdString();
    }

    // Compares the history row for row with the model.
    void expectHolds(const Model& model) {
        Archive archive;
        ASSERT_TRUE(archive.open(archivePath()));
        Model held;
        for (int channel : {kIndoorChannel, 1, 2, 3, 4, 5, 6, 7, 8}) {
            double last = -1;
            const auto visited = archive.visit(
                channel, std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max(),
                [&](std::span<const ArchivedRow> rows) {
                    for (const ArchivedRow& r : rows) {
                        EXPECT_GT(r.time, last) << "times ascend without repeats";
                        last = r.time;
                        // 2026-01-01 is day 46023 of the automation date.
                        const long long seconds = std::llround((r.time - 46023.0) * 86400.0);
                        EXPECT_EQ(r.dewPoint, channel == kIndoorChannel ? kNoValue : 5.0f);
                        EXPECT_EQ(r.heatIndex, kNoValue);
                        held[{channel, static_cast<int>(seconds)}] = {r.temperature, r.humidity};
                    }
                    return true;
                });
            ASSERT_TRUE(visited);
        }
        EXPECT_EQ(held.size(), model.size());
        EXPECT_TRUE(held == model);
        for (const auto& [key, reading] : model) {
            const auto found = held.find(key);
            if (found == held.end()) {
                ADD_FAILURE() << "missing channel " << key.first << " at " << key.second;
                break;
            }
            if (!(found->second == reading)) {
                ADD_FAILURE() << "channel " << key.first << " at " << key.second << ": "
                              << found->second.temperature << " instead of " << reading.temperature;
                break;
            }
        }
    }
};

std::vector<Line> run(int from, int count, int step, float temperature, int humidity = 50) {
    std::vector<Line> lines;
    for (int i = 0; i < count; ++i) {
        // The value as the log's text reads back.
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(temperature) + (i % 7) / 10.0);
        lines.push_back({from + i * step, {std::strtof(text, nullptr), humidity + i % 3}});
    }
    return lines;
}

} // namespace

// Overlapping, repeated, longer, out-of-order and indoor logs of three
// channels: the history holds every reading once, as the last import had it.
TEST_F(ArchiveTest, HoldsEveryReadingOnceAsTheLastImportHadIt) {
    Model model;
    import(QStringLiteral("CH1_A.CSV"), 1, run(0, 500, 60, 20.0f), model);
    // The same file again: nothing new, nothing changed.
    import(QStringLiteral("CH1_A.CSV"), 1, run(0, 500, 60, 20.0f), model);
    // A longer copy of it.
    import(QStringLiteral("CH1_A.CSV"), 1, run(0, 800, 60, 20.0f), model);
    // Another file overlapping its end, with some readings that differ.
    import(QStringLiteral("CH1_B.CSV"), 1, run(700 * 60, 400, 60, 21.0f), model);
    // Channel 2 written out of order, with a garbled time and a duplicate
    // time inside the file (the later line counts).
    {
        std::vector<Line> lines = run(0, 300, 120, -5.0f, 80);
        std::swap(lines[10], lines[200]);
        std::swap(lines[0], lines[299]);
        lines.insert(lines.begin() + 50, Line{std::nullopt, {1.0f, 1}});
        lines.push_back({lines[5].seconds, {-4.5f, 81}});
        import(QStringLiteral("CH2_LOG.CSV"), 2, lines, model);
    }
    // Indoor readings: their own channel, three fields.
    import(QStringLiteral("INDOOR.CSV"), kIndoorChannel, run(30, 600, 60, 22.0f, 40), model);
    // Channel 3, then an older file that covers part of it again.
    import(QStringLiteral("CH3_NEW.CSV"), 3, run(3600, 200, 300, 10.0f), model);
    import(QStringLiteral("CH3_OLD.CSV"), 3, run(0, 100, 300, 10.5f), model);
    // And one over 200 hours, its readings on the hour first and those on the
    // half hour after: an import that comes back to each hour after many others.
    {
        std::vector<Line> lines = run(0, 400, 1800, 11.0f);
        std::stable_partition(lines.begin(), lines.end(),
                              [](const Line& l) { return *l.seconds % 3600 == 0; });
        import(QStringLiteral("CH3_WIDE.CSV"), 3, lines, model);
    }
    expectHolds(model);

    // Per channel: span, rows and files.
    Archive archive;
    ASSERT_TRUE(archive.open(archivePath()));
    const auto channels = archive.channels();
    ASSERT_TRUE(channels);
    ASSERT_EQ(channels->size(), 4u);
    std::map<int, std::int64_t> rows, files{{0, 1}, {1, 2}, {2, 1}, {3, 3}};
    for (const auto& [key, reading] : model)
        ++rows[key.first];
    for (const auto& h : *channels) {
        EXPECT_EQ(h.station, "unknown");
        EXPECT_EQ(h.rows, rows[h.channel]) << h.channel;
        EXPECT_EQ(h.files, files[h.channel]) << h.channel;
    }
}

// A log that cannot be imported, or a deleted card file, takes nothing out of
// the history; a log whose name tells no channel stays out of it.
TEST_F(ArchiveTest, KeepsReadingsThroughRefusedImportsAndDeletes) {
    Model model;
    import(QStringLiteral("CH4_LOG.CSV"), 4, run(0, 50, 60, 15.0f), model);

    vellumet::sdcard::ImportOptions options;
    options.databasePath = database();
    // A header alone.
    options.logPath = write(QStringLiteral("CH4_LOG.CSV"), {}, false);
    EXPECT_FALSE(vellumet::sdcard::importLog(options, OperationContext({}, {})));
    // The delete of the card file empties Records only.
    ASSERT_TRUE(vellumet::sdcard::forgetRecordsOf(database(), QStringLiteral("CH4_LOG.CSV")));
    // No channel in the name: imported, not archived.
    options.logPath = write(QStringLiteral("LOG.CSV"), run(0, 10, 60, 99.0f), false);
    const auto plain = vellumet::sdcard::importLog(options, OperationContext({}, {}));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->archived);
    // A channel given by the user puts it in.
    options.channel = 5;
    const auto given = vellumet::sdcard::importLog(options, OperationContext({}, {}));
    ASSERT_TRUE(given);
    ASSERT_TRUE(given->archived);
    EXPECT_EQ(given->archived->added, 10);
    for (const Line& l : run(0, 10, 60, 99.0f))
        model[{5, *l.seconds}] = l.reading;
    expectHolds(model);
}

TEST(ArchiveChannels, NamesAndFileNames) {
    using vellumet::store::channelOfFileName;
    using vellumet::store::parseChannel;
    EXPECT_EQ(channelOfFileName("CH1_20260101.CSV"), 1);
    EXPECT_EQ(channelOfFileName("ch8_x.csv"), 8);
    EXPECT_EQ(channelOfFileName("INDOOR.CSV"), kIndoorChannel);
    EXPECT_EQ(channelOfFileName("CH9_X.CSV"), std::nullopt);
    EXPECT_EQ(channelOfFileName("LOG.CSV"), std::nullopt);
    EXPECT_EQ(parseChannel("ch3"), 3);
    EXPECT_EQ(parseChannel("IN"), kIndoorChannel);
    EXPECT_EQ(parseChannel("CH0"), std::nullopt);
    EXPECT_EQ(parseChannel("Cellar"), std::nullopt);
}
