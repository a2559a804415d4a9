#pragma once

#include "core/result.h"
#include "record_store.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

namespace vellumet::store {

namespace archive_detail {
struct SecondsRange;
}

// The history of every imported log, per station and channel, in a database
// of its own beside the record database (archive.sqlite). The record
// database keeps exactly the last import, as the windows and other programs
// expect of it; the history only grows, so it lives in a separate file that
// a replacing import never has to copy, lock or journal.
//
// A reading is keyed by station, channel and time (whole seconds): importing
// a log again, a longer copy of it or two logs that overlap never stores a
// reading twice. A reading that differs from the stored one is replaced by
// the newer import's.

// Channel numbers: 1 to 8 for the sensors, 0 for the indoor sensor.
inline constexpr int kIndoorChannel = 0;
inline constexpr int kChannels = 8;

// "CH1" to "CH8", "IN".
std::string channelName(int channel);
// "CH1" … "CH8" or "1" … "8", "IN" or "indoor" (any case); nothing else.
std::optional<int> parseChannel(std::string_view text);
// The channel a log's file name tells: a name starting "CHn_" is channel n,
// one with "IN" in it the indoor sensor; nothing when it tells none.
std::optional<int> channelOfFileName(std::string_view fileName);

// The station a log is kept under when it did not come from a station.
inline constexpr const char* kUnknownStation = "unknown";

inline constexpr const char* kArchiveFileName = "archive.sqlite";
// The history's file beside the record database at databasePath.
std::string archivePathBeside(const std::string& databasePath);

// What one merge did to the history.
struct ArchiveMerge {
    std::int64_t added = 0;     // readings new to the history
    std::int64_t changed = 0;   // readings that replaced a different stored one
    std::int64_t unchanged = 0; // readings the history already held as they are
    std::int64_t skipped = 0;   // rows without a readable time
};

// One reading of the history: the time as an automation date, as in Records.
using ArchivedRow = LogRecord;

struct ChannelHistory {
    std::string station;
    int channel = 0;
    double first = 0.0;
    double last = 0.0;
    std::int64_t rows = 0;
    std::int64_t files = 0;
    // The usual spacing of the readings in seconds (the most common one).
    std::int64_t intervalSeconds = 0;
    // Stretches without readings longer than three intervals (start, end).
    std::vector<std::pair<double, double>> gaps;
};

// A station's channel as a quick listing tells it, without reading every
// reading: its span, the hours of the summary it has readings in, its files
// and its usual spacing, the most common one among its first and last few
// hundred readings.
struct ChannelOutline {
    std::string station;
    int channel = 0;
    double first = 0.0;
    double last = 0.0;
    std::int64_t hours = 0;
    std::int64_t files = 0;
    std::int64_t intervalSeconds = 0;
};

// Readings of one channel in ascending time, one at a time.
class ArchiveCursor {
public:
    virtual ~ArchiveCursor() = default;
    // The next reading; nothing at the end.
    virtual Result<std::optional<ArchivedRow>> next() = 0;
};

class Archive {
public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens the history, creating the file and its tables when missing.
    Status open(const std::string& path);
    // Opens an existing history only; NoReadings when there is none yet.
    Status openExisting(const std::string& path);

    // One import is one change of the history: begin, merge, commit. Until
    // commit nothing is visible; a failure or a crash leaves the history as it
    // was. rollback (or the Archive going) drops an uncommitted merge.
    Status begin(std::string_view station, int channel, std::string_view fileName);
    Status merge(std::span<const LogRecord> rows);
    Status commit();
    void rollback();
    const ArchiveMerge& merged() const { return merged_; }

    // Empties the history (in the open change), for a rebuild.
    Status clear();
    // Works the per-hour summary out again from the readings, in a change of
    // its own. A history made before the summary existed gets it on opening.
    Status rebuildSummary();

    // Station, channel pairs held, with their spans, files and gaps.
    Result<std::vector<ChannelHistory>> channels();

    // The same pairs from the summary and a few look-ups, quick at any size.
    // Readings without any value are not in the summary: a channel of none
    // but those is left out, and such readings at either end of the span are
    // too.
    Result<std::vector<ChannelOutline>> outline();

    // Readings of a channel in from < time <= to, in ascending time, a run at
    // a time; station empty: every station's (in station order per time).
    using Visitor = std::function<bool(std::span<const ArchivedRow>)>;
    Status visit(int channel, double from, double to, const Visitor& visit,
                 std::string_view station = {});

    // Earliest and latest time of a channel; nothing when it holds none.
    Result<std::optional<std::pair<double, double>>> span(int channel);

    // One value column of a channel's readings in from < time <= to, in
    // ascending time, the readings without a value there left out; a run at
    // a time (times as automation dates). Faster than visit for a graph.
    using ValueVisitor =
        std::function<bool(std::span<const double> times, std::span<const double> values)>;
    Status visitValues(int channel, double from, double to, SeriesColumn column,
                       const ValueVisitor& visit);

    // A value column of a channel in from < time <= to (every station's
    // readings) thinned for a chart about `columns` wide, the readings without
    // a value there left out: the range is cut into at least that many equal
    // columns (of whole hours when a column is an hour or wider), and of each
    // the first, lowest, highest and last reading are kept, in time order.
    // Fastest reads whole hours from the history's per-hour summary, which
    // gives the very curve the readings give (Readings: from those always),
    // so a chart of years costs about what a chart of days does. The graph
    // window and plot --archive draw from here.
    enum class CurveSource { Fastest, Readings };
    Result<Series> curve(int channel, double from, double to, SeriesColumn column, int columns,
                         CurveSource source = CurveSource::Fastest);

    // Stretches of a channel in from < time <= to without a reading that has
    // a value in the column (every station's readings taken together) longer
    // than longerThanSeconds: the times of the readings either side, in
    // ascending order. Readings finds every one from the readings' times;
    // Fastest reads whole hours from the per-hour summary, which tells every
    // stretch that spans the turn of an hour (so every one of an hour or
    // longer) but none that lies within an hour.
    using Gaps = std::vector<std::pair<double, double>>;
    Result<Gaps> gaps(int channel, double from, double to, SeriesColumn column,
                      std::int64_t longerThanSeconds, CurveSource source = CurveSource::Fastest);

    // The same as a cursor; valid while the Archive is open.
    Result<std::unique_ptr<ArchiveCursor>> cursor(int channel, double from, double to);

    // The station a file of that name was last imported from.
    Result<std::optional<std::string>> stationOfFile(std::string_view fileName);
    // Takes over the channel names of the history at path.
    Status copyNamesFrom(const std::string& path);

    // A name per station and channel, shown instead of the channel's own.
    Status setName(std::string_view station, int channel, std::string_view name);
    Result<std::optional<std::string>> name(std::string_view station, int channel);
    // The channel a user-given name stands for, on any station.
    Result<std::optional<int>> channelNamed(std::string_view name);

private:
    // from < time <= to in whole seconds, narrowed to the channel's readings;
    // nothing when no reading can lie in it.
    Result<std::optional<archive_detail::SecondsRange>> storedSeconds(int channel, double from,
                                                                      double to);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    ArchiveMerge merged_;
};

} // namespace vellumet::store
