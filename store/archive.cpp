#include "archive.h"

#include "archive_extremes.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace vellumet::store {

namespace {

// Automation date of 1970-01-01: the history keeps whole seconds from there,
// which take four bytes a reading instead of eight.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

std::int64_t secondsOf(double days) {
    return std::llround((days - kUnixEpochDays) * kSecondsPerDay);
}

double daysOf(std::int64_t seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay + kUnixEpochDays;
}

std::string upper(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Temperatures the station writes have one decimal: those are kept as whole
// tenths (one or two bytes), any other value as it is.
void bindTemperature(sqlite3_stmt* st, int index, float value) {
    if (value == kNoValue) {
        sqlite3_bind_null(st, index);
        return;
    }
    const double tenths = std::round(static_cast<double>(value) * 10.0);
    if (std::fabs(tenths) < 1e9 && static_cast<float>(tenths / 10.0) == value)
        sqlite3_bind_int64(st, index, static_cast<sqlite3_int64>(tenths));
    else
        sqlite3_bind_double(st, index, static_cast<double>(value));
}

float columnTemperature(sqlite3_stmt* st, int index) {
    switch (sqlite3_column_type(st, index)) {
    case SQLITE_NULL:
        return kNoValue;
    case SQLITE_INTEGER:
        return static_cast<float>(static_cast<double>(sqlite3_column_int64(st, index)) / 10.0);
    default:
        return static_cast<float>(sqlite3_column_double(st, index));
    }
}

void bindHumidity(sqlite3_stmt* st, int index, std::int32_t value) {
    if (value == kNoHumidity)
        sqlite3_bind_null(st, index);
    else
        sqlite3_bind_int(st, index, value);
}

std::int32_t columnHumidity(sqlite3_stmt* st, int index) {
    return sqlite3_column_type(st, index) == SQLITE_NULL
               ? kNoHumidity
               : static_cast<std::int32_t>(sqlite3_column_int64(st, index));
}

struct Stmt {
    sqlite3_stmt* st = nullptr;
    Stmt() = default;
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    ~Stmt() { sqlite3_finalize(st); }
};

// Steps a statement that reads a channel (?1) over after < key <= until (?2,
// ?3), handing each row to row; false when the read failed. An empty range
// reads nothing.
bool eachInRange(const Stmt& s, int channel, std::int64_t after, std::int64_t until,
                 const std::function<void(sqlite3_stmt*)>& row) {
    if (until <= after)
        return true;
    sqlite3_reset(s.st);
    sqlite3_bind_int(s.st, 1, channel);
    sqlite3_bind_int64(s.st, 2, after);
    sqlite3_bind_int64(s.st, 3, until);
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW)
        row(s.st);
    return rc == SQLITE_DONE;
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS Stations(Id INTEGER PRIMARY KEY, Serial TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS Readings(Channel INTEGER NOT NULL, Time INTEGER NOT NULL,"
    " Station INTEGER NOT NULL, Temperature, Humidity, DewPoint, HeatIndex,"
    " PRIMARY KEY(Channel, Time, Station)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS Files(Station INTEGER NOT NULL, Channel INTEGER NOT NULL,"
    " Name TEXT NOT NULL, Rows INTEGER NOT NULL, Added INTEGER NOT NULL,"
    " Changed INTEGER NOT NULL, Imported TEXT NOT NULL, PRIMARY KEY(Station, Channel, Name));"
    "CREATE TABLE IF NOT EXISTS Names(Station INTEGER NOT NULL, Channel INTEGER NOT NULL,"
    " Name TEXT NOT NULL, PRIMARY KEY(Station, Channel));";

sqlite3_int64 boundSeconds(double days) {
    if (days <= -1e12)
        return std::numeric_limits<sqlite3_int64>::min();
    if (days >= 1e12)
        return std::numeric_limits<sqlite3_int64>::max();
    return static_cast<sqlite3_int64>(secondsOf(days));
}

ArchivedRow rowAt(sqlite3_stmt* st) {
    ArchivedRow r;
    r.time = daysOf(sqlite3_column_int64(st, 0));
    r.temperature = columnTemperature(st, 1);
    r.humidity = columnHumidity(st, 2);
    r.dewPoint = columnTemperature(st, 3);
    r.heatIndex = columnTemperature(st, 4);
    return r;
}

// Whether the history holds a reading as r would be stored: the stored form
// of a value reads back as the value itself, a NaN as no value.
bool sameReading(const LogRecord& r, const ArchivedRow& stored) {
    const auto same = [](float fresh, float held) {
        return (std::isnan(fresh) ? kNoValue : fresh) == held;
    };
    return same(r.temperature, stored.temperature) && r.humidity == stored.humidity &&
           same(r.dewPoint, stored.dewPoint) && same(r.heatIndex, stored.heatIndex);
}

using archive_detail::BucketFields;
using archive_detail::bucketOf;
using archive_detail::CurvePoint;
using archive_detail::Extremes;
using archive_detail::kBucketSeconds;
using archive_detail::kFields;

// The per-hour summary: for each value column the first, lowest, highest and
// last reading of the hour (seconds into the hour, value as Readings keeps
// it; NULL when the hour has no value there). A plot of years reads these
// instead of every reading. Kept in the same change as the readings.
constexpr std::array<const char*, kFields> kFieldNames = {"Temperature", "Humidity", "DewPoint",
                                                          "HeatIndex"};
constexpr std::array<const char*, 4> kExtremeNames = {"First", "Low", "High", "Last"};
constexpr int kHumidityField = 1;
// PRAGMA user_version from which the summary is kept.
constexpr int kSummaryVersion = 1;

// The eight summary columns of a field, or of all fields.
std::string summaryColumns(int field) {
    std::string out;
    for (const char* extreme : kExtremeNames) {
        if (!out.empty())
            out += ", ";
        out += std::string(kFieldNames[static_cast<std::size_t>(field)]) + extreme + "At, " +
               kFieldNames[static_cast<std::size_t>(field)] + extreme;
    }
    return out;
}

std::string allSummaryColumns() {
    std::string out;
    for (int f = 0; f < kFields; ++f)
        out += (f ? ", " : "") + summaryColumns(f);
    return out;
}

std::string summarySchema() {
    return "CREATE TABLE IF NOT EXISTS Buckets(Channel INTEGER NOT NULL, Bucket INTEGER NOT NULL,"
           " Station INTEGER NOT NULL, " +
           allSummaryColumns() + ", PRIMARY KEY(Channel, Bucket, Station)) WITHOUT ROWID";
}

// A reading's value in a field as a curve sees it; nothing when it has none.
std::optional<double> fieldOf(const LogRecord& r, int field) {
    if (field == kHumidityField)
        return r.humidity == kNoHumidity ? std::nullopt
                                         : std::optional<double>(static_cast<double>(r.humidity));
    const float v = field == 0 ? r.temperature : field == 2 ? r.dewPoint : r.heatIndex;
    // A NaN is stored as NULL.
    return v == kNoValue || std::isnan(v) ? std::nullopt
                                          : std::optional<double>(static_cast<double>(v));
}

// A stored value as the history reads it back; nothing for NULL.
std::optional<double> columnField(sqlite3_stmt* st, int index, int field) {
    if (sqlite3_column_type(st, index) == SQLITE_NULL)
        return std::nullopt;
    return field == kHumidityField ? static_cast<double>(sqlite3_column_int64(st, index))
                                   : static_cast<double>(columnTemperature(st, index));
}

void bindField(sqlite3_stmt* st, int index, int field, double value) {
    if (field == kHumidityField)
        sqlite3_bind_int64(st, index, static_cast<sqlite3_int64>(value));
    else
        bindTemperature(st, index, static_cast<float>(value));
}

void addRecord(BucketFields& fields, std::int64_t seconds, std::int64_t station,
               const LogRecord& r) {
    for (int f = 0; f < kFields; ++f)
        if (const std::optional<double> v = fieldOf(r, f))
            fields[static_cast<std::size_t>(f)].add(CurvePoint{seconds, station, *v});
}

// Readings of one channel and station in an import that touched an hour.
struct PendingBucket {
    BucketFields added;   // of the readings new to the history
    bool changed = false; // a stored reading was replaced: work the hour out again
};

} // namespace

std::string channelName(int channel) {
    return channel == kIndoorChannel ? std::string("IN") : "CH" + std::to_string(channel);
}

std::optional<int> parseChannel(std::string_view text) {
    const std::string s = upper(text);
    if (s == "IN" || s == "INDOOR")
        return kIndoorChannel;
    std::string_view digits = s;
    if (digits.starts_with("CH"))
        digits.remove_prefix(2);
    if (digits.size() == 1 && digits[0] >= '1' && digits[0] <= '0' + kChannels)
        return digits[0] - '0';
    return std::nullopt;
}

std::optional<int> channelOfFileName(std::string_view fileName) {
    const std::string s = upper(fileName);
    if (s.size() >= 4 && s.starts_with("CH") && s[3] == '_' && s[2] >= '1' &&
        s[2] <= '0' + kChannels)
        return s[2] - '0';
    // As the import tells an indoor log: by "IN" as the card writes it.
    if (fileName.find("IN") != std::string_view::npos)
        return kIndoorChannel;
    return std::nullopt;
}

std::string archivePathBeside(const std::string& databasePath) {
    const std::size_t slash = databasePath.find_last_of('/');
    return slash == std::string::npos ? std::string(kArchiveFileName)
                                      : databasePath.substr(0, slash + 1) + kArchiveFileName;
}

struct Archive::Impl {
    sqlite3* db = nullptr;
    std::string path;
    Stmt insert, update, file;
    Stmt held, append, storedSpan, bucketRead, bucketWrite, bucketDelete, bucketReadings;
    bool open = false;
    bool inChange = false;
    std::int64_t station = 0;
    int channel = 0;
    std::string fileName;
    std::int64_t fileRows = 0;
    // Hours of the open change's channel and station that need their summary
    // brought up to date at commit.
    std::map<std::int64_t, PendingBucket> pending;
    std::vector<std::int64_t> seconds;
    std::vector<ArchivedRow> stored;

    PendingBucket& pendingAt(std::int64_t bucket) {
        // Readings mostly come in time order: the hour of the one before.
        if (!pending.empty() && std::prev(pending.end())->first == bucket)
            return std::prev(pending.end())->second;
        return pending[bucket];
    }

    // Whether the channel holds readings of this station in first <= time <= last.
    Result<bool> holdsAny(std::int64_t first, std::int64_t last) {
        if (Status p = prepare(held, "SELECT 1 FROM Readings WHERE Channel = ?1 AND Time >= ?2"
                                     " AND Time <= ?3 AND Station = ?4 LIMIT 1");
            !p)
            return p.error();
        sqlite3_bind_int(held.st, 1, channel);
        sqlite3_bind_int64(held.st, 2, first);
        sqlite3_bind_int64(held.st, 3, last);
        sqlite3_bind_int64(held.st, 4, station);
        const int rc = sqlite3_step(held.st);
        sqlite3_reset(held.st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return error("cannot read the history");
        return rc == SQLITE_ROW;
    }

    void bindReading(sqlite3_stmt* st, int at, std::int64_t time, const LogRecord& r) const {
        sqlite3_bind_int(st, at + 1, channel);
        sqlite3_bind_int64(st, at + 2, time);
        sqlite3_bind_int64(st, at + 3, station);
        bindTemperature(st, at + 4, r.temperature);
        bindHumidity(st, at + 5, r.humidity);
        bindTemperature(st, at + 6, r.dewPoint);
        bindTemperature(st, at + 7, r.heatIndex);
    }

    // Readings none of which the history holds yet, in ascending time: added
    // many to a statement, without a look-up each.
    static constexpr int kAppendRows = 64;
    Status appendNew(std::span<const LogRecord> rows, std::span<const std::int64_t> times) {
        if (!append.st) {
            std::string sql = "INSERT OR IGNORE INTO Readings VALUES";
            for (int i = 0; i < kAppendRows; ++i)
                sql += i ? ",(?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?)";
            if (Status p = prepare(append, sql.c_str()); !p)
                return p;
        }
        std::size_t n = 0;
        int inStatement = 0;
        for (const LogRecord& r : rows) {
            if (!(r.time > 0.0) || !std::isfinite(r.time))
                continue;
            const std::int64_t time = times[n++];
            addRecord(pendingAt(bucketOf(time)).added, time, station, r);
            const bool whole =
                times.size() - (n - 1) >= static_cast<std::size_t>(kAppendRows) || inStatement > 0;
            if (!whole) {
                // The last few one at a time.
                bindReading(insert.st, 0, time, r);
                const int rc = sqlite3_step(insert.st);
                sqlite3_reset(insert.st);
                if (rc != SQLITE_DONE || sqlite3_changes(db) != 1)
                    return error("cannot write to the history");
                continue;
            }
            bindReading(append.st, inStatement * 7, time, r);
            if (++inStatement == kAppendRows) {
                inStatement = 0;
                // OR IGNORE spares the statement a journal of its own; none of
                // these readings is held, so every one must go in.
                const int rc = sqlite3_step(append.st);
                sqlite3_reset(append.st);
                if (rc != SQLITE_DONE || sqlite3_changes(db) != kAppendRows)
                    return error("cannot write to the history");
            }
        }
        return {};
    }

    // Readings in ascending time some of which the history may hold: the
    // stored ones of the span read in one go and compared here, so that only
    // new and changed readings are written. Nothing when the span holds many
    // more stored readings than the run (a sparse log over a dense history):
    // then each reading is looked up on its own.
    Result<bool> mergeBySpan(std::span<const LogRecord> rows, std::span<const std::int64_t> times,
                             ArchiveMerge& merged) {
        if (Status p =
                prepare(storedSpan, "SELECT Time, Temperature, Humidity, DewPoint, HeatIndex FROM"
                                    " Readings WHERE Channel = ?1 AND Time >= ?2 AND Time <= ?3 AND"
                                    " Station = ?4 ORDER BY Time");
            !p)
            return p.error();
        sqlite3_stmt* st = storedSpan.st;
        sqlite3_bind_int(st, 1, channel);
        sqlite3_bind_int64(st, 2, times.front());
        sqlite3_bind_int64(st, 3, times.back());
        sqlite3_bind_int64(st, 4, station);
        const std::size_t limit = 4 * times.size() + 64;
        stored.clear();
        int rc = SQLITE_DONE;
        while (stored.size() <= limit && (rc = sqlite3_step(st)) == SQLITE_ROW)
            stored.push_back(rowAt(st));
        sqlite3_reset(st);
        if (stored.size() > limit)
            return false;
        if (rc != SQLITE_DONE)
            return error("cannot read the history");
        std::size_t n = 0, at = 0;
        for (const LogRecord& r : rows) {
            if (!(r.time > 0.0) || !std::isfinite(r.time))
                continue;
            const std::int64_t time = times[n++];
            while (at < stored.size() && secondsOf(stored[at].time) < time)
                ++at;
            const bool known = at < stored.size() && secondsOf(stored[at].time) == time;
            if (known && sameReading(r, stored[at])) {
                ++merged.unchanged;
                continue;
            }
            sqlite3_stmt* write = known ? update.st : insert.st;
            bindReading(write, 0, time, r);
            const int step = sqlite3_step(write);
            sqlite3_reset(write);
            if (step != SQLITE_DONE || sqlite3_changes(db) != 1)
                return error("cannot write to the history");
            if (known) {
                ++merged.changed;
                pendingAt(bucketOf(time)).changed = true;
            } else {
                ++merged.added;
                addRecord(pendingAt(bucketOf(time)).added, time, station, r);
            }
        }
        return true;
    }

    // The fields of one summary row, from column `at` on.
    static BucketFields storedFields(sqlite3_stmt* st, int at, std::int64_t bucket,
                                     std::int64_t station) {
        BucketFields fields;
        for (int f = 0; f < kFields; ++f)
            fields[static_cast<std::size_t>(f)] =
                storedExtremes(st, at + 8 * f, f, bucket, station);
        return fields;
    }

    static Extremes storedExtremes(sqlite3_stmt* st, int at, int field, std::int64_t bucket,
                                   std::int64_t station) {
        Extremes e;
        if (sqlite3_column_type(st, at) == SQLITE_NULL)
            return e;
        e.any = true;
        CurvePoint* points[] = {&e.first, &e.low, &e.high, &e.last};
        for (int i = 0; i < 4; ++i) {
            points[i]->time = bucket * kBucketSeconds + sqlite3_column_int64(st, at + 2 * i);
            points[i]->station = station;
            points[i]->value = columnField(st, at + 2 * i + 1, field).value_or(0.0);
        }
        return e;
    }

    Status writeBucket(int ch, std::int64_t st, std::int64_t bucket, const BucketFields& fields) {
        const bool any =
            std::any_of(fields.begin(), fields.end(), [](const Extremes& e) { return e.any; });
        if (!any) {
            if (Status p = prepare(bucketDelete, "DELETE FROM Buckets WHERE Channel = ?1 AND"
                                                 " Bucket = ?2 AND Station = ?3");
                !p)
                return p;
            sqlite3_bind_int(bucketDelete.st, 1, ch);
            sqlite3_bind_int64(bucketDelete.st, 2, bucket);
            sqlite3_bind_int64(bucketDelete.st, 3, st);
            const int rc = sqlite3_step(bucketDelete.st);
            sqlite3_reset(bucketDelete.st);
            return rc == SQLITE_DONE ? Status() : Status(error("cannot write to the history"));
        }
        if (!bucketWrite.st) {
            std::string sql = "INSERT OR REPLACE INTO Buckets VALUES(?, ?, ?";
            for (int i = 0; i < 8 * kFields; ++i)
                sql += ", ?";
            if (Status p = prepare(bucketWrite, (sql + ")").c_str()); !p)
                return p;
        }
        sqlite3_stmt* w = bucketWrite.st;
        sqlite3_clear_bindings(w);
        sqlite3_bind_int(w, 1, ch);
        sqlite3_bind_int64(w, 2, bucket);
        sqlite3_bind_int64(w, 3, st);
        for (int f = 0; f < kFields; ++f) {
            const Extremes& e = fields[static_cast<std::size_t>(f)];
            if (!e.any)
                continue;
            const CurvePoint* points[] = {&e.first, &e.low, &e.high, &e.last};
            for (int i = 0; i < 4; ++i) {
                const int index = 4 + 8 * f + 2 * i;
                sqlite3_bind_int64(w, index, points[i]->time - bucket * kBucketSeconds);
                bindField(w, index + 1, f, points[i]->value);
            }
        }
        const int rc = sqlite3_step(w);
        sqlite3_reset(w);
        return rc == SQLITE_DONE ? Status() : Status(error("cannot write to the history"));
    }

    // Brings the summary of the hours the open change touched up to date:
    // hours that only gained readings add them to what is stored, hours with
    // a replaced reading are worked out again from their readings.
    Status flushPending() {
        if (pending.empty())
            return {};
        if (Status p = prepare(bucketRead, ("SELECT " + allSummaryColumns() +
                                            " FROM Buckets WHERE Channel = ?1 AND Bucket = ?2"
                                            " AND Station = ?3")
                                               .c_str());
            !p)
            return p;
        if (Status p = prepare(bucketReadings,
                               "SELECT Time, Temperature, Humidity, DewPoint, HeatIndex FROM"
                               " Readings WHERE Channel = ?1 AND Time >= ?2 AND Time < ?3 AND"
                               " Station = ?4");
            !p)
            return p;
        for (auto& [bucket, p] : pending) {
            BucketFields fields;
            sqlite3_stmt* st = p.changed ? bucketReadings.st : bucketRead.st;
            sqlite3_bind_int(st, 1, channel);
            sqlite3_bind_int64(st, 2, p.changed ? bucket * kBucketSeconds : bucket);
            sqlite3_bind_int64(st, 3, p.changed ? (bucket + 1) * kBucketSeconds : station);
            if (p.changed)
                sqlite3_bind_int64(st, 4, station);
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                if (p.changed)
                    addRecord(fields, sqlite3_column_int64(st, 0), station, rowAt(st));
                else
                    fields = storedFields(st, 0, bucket, station);
            }
            sqlite3_reset(st);
            if (rc != SQLITE_DONE)
                return error("cannot read the history");
            if (!p.changed)
                for (int f = 0; f < kFields; ++f)
                    fields[static_cast<std::size_t>(f)].add(p.added[static_cast<std::size_t>(f)]);
            if (Status w = writeBucket(channel, station, bucket, fields); !w)
                return w;
        }
        pending.clear();
        return {};
    }

    ~Impl() {
        if (inChange)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        // The statements are finalized after this; close_v2 waits for them.
        sqlite3_close_v2(db);
    }

    // The first column of the statement's one row as text, or none without a row.
    Result<std::optional<std::string>> optionalText(Stmt& s) const {
        const int rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW)
            return std::optional<std::string>(
                reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0)));
        if (rc != SQLITE_DONE)
            return error("cannot read the history");
        return std::optional<std::string>();
    }

    Result<int> userVersion() {
        Stmt s;
        if (Status p = prepare(s, "PRAGMA user_version"); !p)
            return p.error();
        if (sqlite3_step(s.st) != SQLITE_ROW)
            return error("cannot read the history");
        return sqlite3_column_int(s.st, 0);
    }

    Error error(std::string_view what) const {
        return makeError(Errc::Database, std::string(what) + " (" + path +
                                             "): " + (db ? sqlite3_errmsg(db) : "out of memory"));
    }

    Status exec(const char* sql, std::string_view what) {
        char* message = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            Error e = makeError(Errc::Database, std::string(what) + " (" + path + "): " +
                                                    (message ? message : sqlite3_errmsg(db)));
            sqlite3_free(message);
            return e;
        }
        return {};
    }

    Status prepare(Stmt& s, const char* sql) {
        if (s.st)
            return {};
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s.st, nullptr) != SQLITE_OK)
            return error("cannot read the history");
        return {};
    }

    Result<std::optional<std::int64_t>> stationId(std::string_view serial, bool create) {
        Stmt s;
        if (Status p = prepare(s, "SELECT Id FROM Stations WHERE Serial = ?1"); !p)
            return p.error();
        sqlite3_bind_text(s.st, 1, serial.data(), static_cast<int>(serial.size()),
                          SQLITE_TRANSIENT);
        const int rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW)
            return std::optional<std::int64_t>(sqlite3_column_int64(s.st, 0));
        if (rc != SQLITE_DONE)
            return error("cannot read the history");
        if (!create)
            return std::optional<std::int64_t>();
        Stmt add;
        if (Status p = prepare(add, "INSERT INTO Stations(Serial) VALUES(?1)"); !p)
            return p.error();
        sqlite3_bind_text(add.st, 1, serial.data(), static_cast<int>(serial.size()),
                          SQLITE_TRANSIENT);
        if (sqlite3_step(add.st) != SQLITE_DONE)
            return error("cannot write to the history");
        return std::optional<std::int64_t>(sqlite3_last_insert_rowid(db));
    }
};

Archive::Archive() = default;
Archive::~Archive() = default;

Status Archive::open(const std::string& path) {
    impl_ = std::make_unique<Impl>();
    impl_->path = path;
    const int rc =
        sqlite3_open_v2(path.c_str(), &impl_->db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        Error e = impl_->error("cannot open the history");
        impl_.reset();
        return e;
    }
    sqlite3_busy_timeout(impl_->db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(impl_->db, 1);
    // Larger pages make the million-reading merges cheaper; the size only
    // takes effect on a new file.
    if (Status s = impl_->exec("PRAGMA page_size = 16384", "cannot set up the history"); !s) {
        impl_.reset();
        return s;
    }
    if (Status s = impl_->exec(kSchema, "cannot set up the history"); !s) {
        impl_.reset();
        return s;
    }
    impl_->open = true;
    Result<int> version = impl_->userVersion();
    if (!version) {
        impl_.reset();
        return version.error();
    }
    if (*version < kSummaryVersion)
        if (Status s = rebuildSummary(); !s) {
            impl_.reset();
            return s;
        }
    return {};
}

Status Archive::rebuildSummary() {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    if (impl_->inChange)
        return makeError(Errc::Database, "a change of the history is open");
    if (Status s = impl_->exec("BEGIN IMMEDIATE", "cannot write to the history"); !s)
        return s;
    impl_->inChange = true;
    const auto fail = [this](Status s) {
        rollback();
        return s;
    };
    if (Status s = impl_->exec(("DROP TABLE IF EXISTS Buckets;" + summarySchema()).c_str(),
                               "cannot set up the history");
        !s)
        return fail(s);
    // The readings in stored order: per channel in time, so each station's
    // hours end one after the other.
    Stmt all;
    if (Status p =
            impl_->prepare(all, "SELECT Time, Temperature, Humidity, DewPoint, HeatIndex,"
                                " Channel, Station FROM Readings ORDER BY Channel, Time, Station");
        !p)
        return fail(p);
    struct Open {
        std::int64_t bucket = 0;
        BucketFields fields;
    };
    std::map<std::int64_t, Open> open; // per station
    int channel = -1;
    const auto flush = [&](std::int64_t station, Open& o) {
        return impl_->writeBucket(channel, station, o.bucket, o.fields);
    };
    int rc;
    while ((rc = sqlite3_step(all.st)) == SQLITE_ROW) {
        const int ch = sqlite3_column_int(all.st, 5);
        const std::int64_t station = sqlite3_column_int64(all.st, 6);
        const std::int64_t time = sqlite3_column_int64(all.st, 0);
        if (ch != channel) {
            for (auto& [id, o] : open)
                if (Status s = flush(id, o); !s)
                    return fail(s);
            open.clear();
            channel = ch;
        }
        const auto [at, isNew] = open.try_emplace(station);
        Open& o = at->second;
        if (isNew || o.bucket != bucketOf(time)) {
            if (!isNew)
                if (Status s = flush(station, o); !s)
                    return fail(s);
            o = Open{bucketOf(time), {}};
        }
        addRecord(o.fields, time, station, rowAt(all.st));
    }
    if (rc != SQLITE_DONE)
        return fail(impl_->error("cannot read the history"));
    for (auto& [id, o] : open)
        if (Status s = flush(id, o); !s)
            return fail(s);
    if (Status s = impl_->exec(
            ("PRAGMA user_version = " + std::to_string(kSummaryVersion) + ";COMMIT").c_str(),
            "cannot save the history");
        !s)
        return fail(s);
    impl_->inChange = false;
    return {};
}

Status Archive::openExisting(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "rb"))
        std::fclose(f);
    else
        return makeError(Errc::NoReadings,
                         "no history yet: " + path + " is made by the first import");
    return open(path);
}

Status Archive::begin(std::string_view station, int channel, std::string_view fileName) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    if (Status s = impl_->exec("BEGIN IMMEDIATE", "cannot write to the history"); !s)
        return s;
    impl_->inChange = true;
    merged_ = {};
    Result<std::optional<std::int64_t>> id =
        impl_->stationId(station.empty() ? std::string_view(kUnknownStation) : station, true);
    if (!id) {
        rollback();
        return id.error();
    }
    impl_->station = **id;
    impl_->channel = channel;
    impl_->fileName = std::string(fileName);
    impl_->fileRows = 0;
    impl_->pending.clear();
    if (Status s = impl_->prepare(
            impl_->insert, "INSERT OR IGNORE INTO Readings VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        !s)
        return s;
    return impl_->prepare(impl_->update,
                          "UPDATE Readings SET Temperature = ?4, Humidity = ?5, DewPoint = ?6,"
                          " HeatIndex = ?7 WHERE Channel = ?1 AND Time = ?2 AND Station = ?3 AND"
                          " (Temperature IS NOT ?4 OR Humidity IS NOT ?5 OR DewPoint IS NOT ?6"
                          " OR HeatIndex IS NOT ?7)");
}

Status Archive::merge(std::span<const LogRecord> rows) {
    if (!impl_ || !impl_->inChange)
        return makeError(Errc::Database, "no change of the history is open");
    // An import stores a time it could not read as 0: no place in a history.
    const auto timeless = [](const LogRecord& r) {
        return !(r.time > 0.0) || !std::isfinite(r.time);
    };
    std::vector<std::int64_t>& times = impl_->seconds;
    times.clear();
    bool ascending = true;
    for (const LogRecord& r : rows) {
        if (timeless(r)) {
            ++merged_.skipped;
            continue;
        }
        const std::int64_t t = secondsOf(r.time);
        ascending = ascending && (times.empty() || t > times.back());
        times.push_back(t);
    }
    impl_->fileRows += static_cast<std::int64_t>(times.size());
    if (times.empty())
        return {};
    // A new download mostly follows what the history holds: when nothing is
    // stored in the run's span, every reading of it is new.
    if (ascending) {
        Result<bool> held = impl_->holdsAny(times.front(), times.back());
        if (!held)
            return held.error();
        if (!*held) {
            if (Status s = impl_->appendNew(rows, times); !s)
                return s;
            merged_.added += static_cast<std::int64_t>(times.size());
            return {};
        }
        Result<bool> done = impl_->mergeBySpan(rows, times, merged_);
        if (!done)
            return done.error();
        if (*done)
            return {};
    }
    sqlite3_stmt* insert = impl_->insert.st;
    sqlite3_stmt* update = impl_->update.st;
    std::size_t n = 0;
    for (const LogRecord& r : rows) {
        if (timeless(r))
            continue;
        const std::int64_t time = times[n++];
        impl_->bindReading(insert, 0, time, r);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_reset(insert);
            return impl_->error("cannot write to the history");
        }
        sqlite3_reset(insert);
        if (sqlite3_changes(impl_->db) > 0) {
            ++merged_.added;
            addRecord(impl_->pendingAt(bucketOf(time)).added, time, impl_->station, r);
            continue;
        }
        impl_->bindReading(update, 0, time, r);
        if (sqlite3_step(update) != SQLITE_DONE) {
            sqlite3_reset(update);
            return impl_->error("cannot write to the history");
        }
        sqlite3_reset(update);
        if (sqlite3_changes(impl_->db) > 0) {
            ++merged_.changed;
            impl_->pendingAt(bucketOf(time)).changed = true;
        } else {
            ++merged_.unchanged;
        }
    }
    return {};
}

Status Archive::commit() {
    if (!impl_ || !impl_->inChange)
        return makeError(Errc::Database, "no change of the history is open");
    if (Status s = impl_->flushPending(); !s)
        return s;
    if (!impl_->fileName.empty()) {
        if (Status s = impl_->prepare(
                impl_->file,
                "INSERT INTO Files VALUES(?1, ?2, ?3, ?4, ?5, ?6, datetime('now'))"
                " ON CONFLICT(Station, Channel, Name) DO UPDATE SET Rows = max(Rows, ?4),"
                " Added = Added + ?5, Changed = Changed + ?6, Imported = datetime('now')");
            !s)
            return s;
        sqlite3_stmt* st = impl_->file.st;
        sqlite3_bind_int64(st, 1, impl_->station);
        sqlite3_bind_int(st, 2, impl_->channel);
        sqlite3_bind_text(st, 3, impl_->fileName.data(), static_cast<int>(impl_->fileName.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 4, impl_->fileRows);
        sqlite3_bind_int64(st, 5, merged_.added);
        sqlite3_bind_int64(st, 6, merged_.changed);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            return impl_->error("cannot write to the history");
    }
    if (Status s = impl_->exec("COMMIT", "cannot save the history"); !s)
        return s;
    impl_->inChange = false;
    return {};
}

void Archive::rollback() {
    if (impl_ && impl_->inChange) {
        sqlite3_exec(impl_->db, "ROLLBACK", nullptr, nullptr, nullptr);
        impl_->inChange = false;
        impl_->pending.clear();
    }
}

Status Archive::clear() {
    if (!impl_ || !impl_->inChange)
        return makeError(Errc::Database, "no change of the history is open");
    impl_->pending.clear();
    return impl_->exec("DELETE FROM Readings; DELETE FROM Files; DELETE FROM Buckets;",
                       "cannot empty the history");
}

Result<std::vector<ChannelHistory>> Archive::channels() {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    std::map<std::int64_t, std::string> serials;
    std::map<std::pair<std::int64_t, int>, std::int64_t> files; // station, channel
    {
        Stmt s;
        if (Status p = impl_->prepare(s, "SELECT Id, Serial FROM Stations"); !p)
            return p.error();
        int rc;
        while ((rc = sqlite3_step(s.st)) == SQLITE_ROW)
            serials[sqlite3_column_int64(s.st, 0)] =
                reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1));
        if (rc != SQLITE_DONE)
            return impl_->error("cannot read the history");
    }
    {
        Stmt s;
        if (Status p = impl_->prepare(
                s, "SELECT Station, Channel, count(*) FROM Files GROUP BY Station, Channel");
            !p)
            return p.error();
        int rc;
        while ((rc = sqlite3_step(s.st)) == SQLITE_ROW)
            files[{sqlite3_column_int64(s.st, 0), sqlite3_column_int(s.st, 1)}] =
                sqlite3_column_int64(s.st, 2);
        if (rc != SQLITE_DONE)
            return impl_->error("cannot read the history");
    }
    std::vector<ChannelHistory> out;
    // Every reading once, in the order the history keeps them (channel, time,
    // station), so nothing is sorted: each station's times of a channel are
    // gathered, and worked out when the channel ends.
    std::map<std::int64_t, std::vector<std::int64_t>> times; // per station
    int channel = 0;
    const auto finish = [&] {
        for (auto& [station, t] : times) {
            const auto serial = serials.find(station);
            if (serial == serials.end() || t.empty())
                continue;
            ChannelHistory h;
            h.station = serial->second;
            h.channel = channel;
            h.first = daysOf(t.front());
            h.last = daysOf(t.back());
            h.rows = static_cast<std::int64_t>(t.size());
            const auto held = files.find({station, channel});
            h.files = held == files.end() ? 0 : held->second;
            // The spacing and the gaps come from the times themselves.
            std::map<std::int64_t, std::int64_t> spacing;
            for (std::size_t i = 1; i < t.size(); ++i)
                ++spacing[t[i] - t[i - 1]];
            std::int64_t most = 0;
            for (const auto& [step, count] : spacing)
                if (count > most) {
                    most = count;
                    h.intervalSeconds = step;
                }
            if (h.intervalSeconds > 0)
                for (std::size_t i = 1; i < t.size(); ++i)
                    if (t[i] - t[i - 1] > 3 * h.intervalSeconds)
                        h.gaps.emplace_back(daysOf(t[i - 1]), daysOf(t[i]));
            out.push_back(std::move(h));
        }
        times.clear();
    };
    Stmt all;
    if (Status p = impl_->prepare(all, "SELECT Channel, Time, Station FROM Readings ORDER BY"
                                       " Channel, Time, Station");
        !p)
        return p.error();
    int rc;
    while ((rc = sqlite3_step(all.st)) == SQLITE_ROW) {
        const int next = sqlite3_column_int(all.st, 0);
        if (next != channel) {
            finish();
            channel = next;
        }
        times[sqlite3_column_int64(all.st, 2)].push_back(sqlite3_column_int64(all.st, 1));
    }
    if (rc != SQLITE_DONE)
        return impl_->error("cannot read the history");
    finish();
    // By station, then channel.
    std::sort(out.begin(), out.end(), [](const ChannelHistory& a, const ChannelHistory& b) {
        return a.station != b.station ? a.station < b.station : a.channel < b.channel;
    });
    return out;
}

Result<std::vector<ChannelOutline>> Archive::outline() {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    struct Held {
        ChannelOutline o;
        std::int64_t station = 0, firstHour = 0, lastHour = 0;
    };
    std::vector<Held> held;
    {
        Stmt s;
        if (Status p = impl_->prepare(
                s, "SELECT s.Serial, b.Channel, b.Station, min(b.Bucket), max(b.Bucket), count(*),"
                   " (SELECT count(*) FROM Files f WHERE f.Station = b.Station AND"
                   " f.Channel = b.Channel) FROM Buckets b JOIN Stations s ON s.Id = b.Station"
                   " GROUP BY b.Channel, b.Station ORDER BY s.Serial, b.Channel");
            !p)
            return p.error();
        int rc;
        while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
            Held h;
            h.o.station = reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0));
            h.o.channel = sqlite3_column_int(s.st, 1);
            h.station = sqlite3_column_int64(s.st, 2);
            h.firstHour = sqlite3_column_int64(s.st, 3);
            h.lastHour = sqlite3_column_int64(s.st, 4);
            h.o.hours = sqlite3_column_int64(s.st, 5);
            h.o.files = sqlite3_column_int64(s.st, 6);
            held.push_back(std::move(h));
        }
        if (rc != SQLITE_DONE)
            return impl_->error("cannot read the history");
    }
    // The first and last few hundred readings from the ends of the hours
    // held: the span, and a sample of the spacing.
    constexpr int kSample = 300;
    Stmt head, tail;
    if (Status p = impl_->prepare(head, "SELECT Time FROM Readings WHERE Channel = ?1 AND"
                                        " Time >= ?2 AND Time <= ?5 AND Station = ?3 ORDER BY"
                                        " Time LIMIT ?4");
        !p)
        return p.error();
    if (Status p = impl_->prepare(tail, "SELECT Time FROM Readings WHERE Channel = ?1 AND"
                                        " Time <= ?2 AND Time >= ?5 AND Station = ?3 ORDER BY"
                                        " Time DESC LIMIT ?4");
        !p)
        return p.error();
    std::vector<ChannelOutline> out;
    for (Held& h : held) {
        std::map<std::int64_t, std::int64_t> spacing;
        std::vector<std::int64_t> ends;
        for (sqlite3_stmt* st : {head.st, tail.st}) {
            const bool fromStart = st == head.st;
            sqlite3_reset(st);
            sqlite3_bind_int(st, 1, h.o.channel);
            sqlite3_bind_int64(st, 2,
                               fromStart ? h.firstHour * kBucketSeconds
                                         : (h.lastHour + 1) * kBucketSeconds - 1);
            sqlite3_bind_int64(st, 3, h.station);
            sqlite3_bind_int(st, 4, kSample);
            // Within the station's own hours, however few its readings.
            sqlite3_bind_int64(st, 5,
                               fromStart ? (h.lastHour + 1) * kBucketSeconds - 1
                                         : h.firstHour * kBucketSeconds);
            std::optional<std::int64_t> previous;
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                const std::int64_t t = sqlite3_column_int64(st, 0);
                if (!previous)
                    ends.push_back(t);
                else
                    ++spacing[t > *previous ? t - *previous : *previous - t];
                previous = t;
            }
            if (rc != SQLITE_DONE)
                return impl_->error("cannot read the history");
        }
        if (ends.size() != 2)
            continue; // the readings went since the summary was written
        h.o.first = daysOf(ends[0]);
        h.o.last = daysOf(ends[1]);
        // As the full listing counts it: the most common, the shortest of
        // those as common.
        std::int64_t most = 0;
        for (const auto& [step, count] : spacing)
            if (count > most) {
                most = count;
                h.o.intervalSeconds = step;
            }
        out.push_back(std::move(h.o));
    }
    return out;
}

namespace {

class StatementCursor : public ArchiveCursor {
public:
    StatementCursor(sqlite3* db, sqlite3_stmt* st) : db_(db), st_(st) {}
    ~StatementCursor() override { sqlite3_finalize(st_); }
    Result<std::optional<ArchivedRow>> next() override {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW)
            return std::optional<ArchivedRow>(rowAt(st_));
        if (rc == SQLITE_DONE)
            return std::optional<ArchivedRow>();
        return makeError(Errc::Database,
                         std::string("cannot read the history: ") + sqlite3_errmsg(db_));
    }

private:
    sqlite3* db_;
    sqlite3_stmt* st_;
};

constexpr const char* kSelectWindow =
    "SELECT Time, Temperature, Humidity, DewPoint, HeatIndex FROM Readings WHERE"
    " Channel = ?1 AND Time > ?2 AND Time <= ?3 AND (?4 IS NULL OR Station = ?4)"
    " ORDER BY Time, Station";

} // namespace

Status Archive::visit(int channel, double from, double to, const Visitor& visitor,
                      std::string_view station) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    std::optional<std::int64_t> stationId;
    if (!station.empty()) {
        Result<std::optional<std::int64_t>> id = impl_->stationId(station, false);
        if (!id)
            return id.error();
        if (!*id)
            return {};
        stationId = **id;
    }
    Stmt s;
    if (Status p = impl_->prepare(s, kSelectWindow); !p)
        return p;
    sqlite3_bind_int(s.st, 1, channel);
    sqlite3_bind_int64(s.st, 2, boundSeconds(from));
    sqlite3_bind_int64(s.st, 3, boundSeconds(to));
    if (stationId)
        sqlite3_bind_int64(s.st, 4, *stationId);
    std::vector<ArchivedRow> run;
    constexpr std::size_t kRun = 4096;
    run.reserve(kRun);
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        run.push_back(rowAt(s.st));
        if (run.size() == kRun) {
            if (!visitor(run))
                return {};
            run.clear();
        }
    }
    if (rc != SQLITE_DONE)
        return impl_->error("cannot read the history");
    if (!run.empty())
        visitor(run);
    return {};
}

Result<std::optional<std::pair<double, double>>> Archive::span(int channel) {
    using Span = std::optional<std::pair<double, double>>;
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Stmt s;
    if (Status p =
            // Two look-ups in the key: min and max together would read every reading.
        impl_->prepare(s, "SELECT (SELECT min(Time) FROM Readings WHERE Channel = ?1),"
                          " (SELECT max(Time) FROM Readings WHERE Channel = ?1)");
        !p)
        return p.error();
    sqlite3_bind_int(s.st, 1, channel);
    if (sqlite3_step(s.st) != SQLITE_ROW)
        return impl_->error("cannot read the history");
    if (sqlite3_column_type(s.st, 0) == SQLITE_NULL)
        return Span();
    return Span(
        std::pair{daysOf(sqlite3_column_int64(s.st, 0)), daysOf(sqlite3_column_int64(s.st, 1))});
}

Status Archive::visitValues(int channel, double from, double to, SeriesColumn column,
                            const ValueVisitor& visitor) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    const char* name = column == SeriesColumn::Temperature ? "Temperature"
                       : column == SeriesColumn::Humidity  ? "Humidity"
                       : column == SeriesColumn::DewPoint  ? "DewPoint"
                                                           : "HeatIndex";
    const std::string sql = std::string("SELECT Time, ") + name +
                            " FROM Readings WHERE Channel = ?1 AND Time > ?2 AND Time <= ?3 AND " +
                            name + " IS NOT NULL ORDER BY Time, Station";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(impl_->db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return impl_->error("cannot read the history");
    Stmt s;
    s.st = raw;
    sqlite3_bind_int(s.st, 1, channel);
    sqlite3_bind_int64(s.st, 2, boundSeconds(from));
    sqlite3_bind_int64(s.st, 3, boundSeconds(to));
    const bool humidity = column == SeriesColumn::Humidity;
    constexpr std::size_t kRun = 8192;
    std::vector<double> times, values;
    times.reserve(kRun);
    values.reserve(kRun);
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        times.push_back(daysOf(sqlite3_column_int64(s.st, 0)));
        values.push_back(humidity ? static_cast<double>(sqlite3_column_int64(s.st, 1))
                                  : static_cast<double>(columnTemperature(s.st, 1)));
        if (times.size() == kRun) {
            if (!visitor(times, values))
                return {};
            times.clear();
            values.clear();
        }
    }
    if (rc != SQLITE_DONE)
        return impl_->error("cannot read the history");
    if (!times.empty())
        visitor(times, values);
    return {};
}

Result<std::optional<std::pair<std::int64_t, std::int64_t>>>
Archive::storedSeconds(int channel, double from, double to) {
    Result<std::optional<std::pair<double, double>>> stored = span(channel);
    if (!stored)
        return stored.error();
    if (!*stored)
        return std::optional<std::pair<std::int64_t, std::int64_t>>{};
    // The range as whole seconds, no wider than the readings.
    const std::int64_t low =
        std::max<std::int64_t>(boundSeconds(from), secondsOf((*stored)->first) - 1);
    const std::int64_t high =
        std::min<std::int64_t>(boundSeconds(to), secondsOf((*stored)->second));
    if (high <= low)
        return std::optional<std::pair<std::int64_t, std::int64_t>>{};
    return std::optional{std::pair{low, high}};
}

Result<Series> Archive::curve(int channel, double from, double to, SeriesColumn column, int columns,
                              CurveSource source) {
    using archive_detail::ColumnLayout;
    using archive_detail::CurveThinner;
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Result<std::optional<std::pair<std::int64_t, std::int64_t>>> range =
        storedSeconds(channel, from, to);
    if (!range)
        return range.error();
    Series out;
    if (!*range)
        return out;
    const auto [low, high] = **range;
    const int field = static_cast<int>(column);
    const std::string name = kFieldNames[static_cast<std::size_t>(field)];
    const ColumnLayout layout(low, high, columns);
    CurveThinner thinner(layout);

    Stmt readings;
    const std::string readingsSql = "SELECT Time, Station, " + name +
                                    " FROM Readings WHERE Channel = ?1 AND Time > ?2 AND"
                                    " Time <= ?3 AND " +
                                    name + " IS NOT NULL ORDER BY Time, Station";
    if (Status p = impl_->prepare(readings, readingsSql.c_str()); !p)
        return p.error();
    // Readings in after < time <= until.
    const auto readReadings = [&](std::int64_t after, std::int64_t until) -> Status {
        if (!eachInRange(readings, channel, after, until, [&](sqlite3_stmt* st) {
                thinner.add(CurvePoint{sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1),
                                       *columnField(st, 2, field)});
            }))
            return impl_->error("cannot read the history");
        return {};
    };

    // The hours wholly in the range, when columns are whole hours.
    const std::int64_t firstHour = archive_detail::floorDiv(low + kBucketSeconds, kBucketSeconds);
    const std::int64_t lastHour = archive_detail::floorDiv(high + 1, kBucketSeconds) - 1;
    if (source == CurveSource::Fastest && layout.wholeHours && firstHour <= lastHour) {
        if (Status s = readReadings(low, firstHour * kBucketSeconds - 1); !s)
            return s.error();
        Stmt hours;
        const std::string hoursSql = "SELECT Bucket, Station, " + summaryColumns(field) +
                                     " FROM Buckets WHERE Channel = ?1 AND Bucket > ?2 AND"
                                     " Bucket <= ?3 AND " +
                                     name + "FirstAt IS NOT NULL ORDER BY Bucket, Station";
        if (Status p = impl_->prepare(hours, hoursSql.c_str()); !p)
            return p.error();
        if (!eachInRange(hours, channel, firstHour - 1, lastHour, [&](sqlite3_stmt* st) {
                const std::int64_t bucket = sqlite3_column_int64(st, 0);
                thinner.add(Impl::storedExtremes(st, 2, field, bucket, sqlite3_column_int64(st, 1)),
                            layout.columnOf(bucket * kBucketSeconds));
            }))
            return impl_->error("cannot read the history");
        if (Status s = readReadings((lastHour + 1) * kBucketSeconds - 1, high); !s)
            return s.error();
    } else if (Status s = readReadings(low, high); !s) {
        return s.error();
    }
    const std::vector<CurvePoint> points = thinner.finish();
    out.times.reserve(points.size());
    out.values.reserve(points.size());
    for (const CurvePoint& p : points) {
        out.times.push_back(daysOf(p.time));
        out.values.push_back(p.value);
    }
    return out;
}

Result<Archive::Gaps> Archive::gaps(int channel, double from, double to, SeriesColumn column,
                                    std::int64_t longerThanSeconds, CurveSource source) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Result<std::optional<std::pair<std::int64_t, std::int64_t>>> range =
        storedSeconds(channel, from, to);
    if (!range)
        return range.error();
    Gaps out;
    if (!*range)
        return out;
    const auto [low, high] = **range;
    const int field = static_cast<int>(column);
    const std::string name = kFieldNames[static_cast<std::size_t>(field)];
    // Spans of readings as they come in ascending order: a reading alone, or
    // an hour's first and last.
    bool any = false;
    std::int64_t last = 0;
    const auto pass = [&](std::int64_t first, std::int64_t end) {
        if (any && first - last > longerThanSeconds)
            out.emplace_back(daysOf(last), daysOf(first));
        if (!any || end > last)
            last = end;
        any = true;
    };

    Stmt times;
    const std::string timesSql = "SELECT Time FROM Readings WHERE Channel = ?1 AND Time > ?2 AND"
                                 " Time <= ?3 AND " +
                                 name + " IS NOT NULL ORDER BY Time";
    if (Status p = impl_->prepare(times, timesSql.c_str()); !p)
        return p.error();
    const auto readTimes = [&](std::int64_t after, std::int64_t until) -> Status {
        if (!eachInRange(times, channel, after, until, [&](sqlite3_stmt* st) {
                const std::int64_t t = sqlite3_column_int64(st, 0);
                pass(t, t);
            }))
            return impl_->error("cannot read the history");
        return {};
    };

    // The hours wholly in the range.
    const std::int64_t firstHour = archive_detail::floorDiv(low + kBucketSeconds, kBucketSeconds);
    const std::int64_t lastHour = archive_detail::floorDiv(high + 1, kBucketSeconds) - 1;
    if (source == CurveSource::Readings || firstHour > lastHour) {
        if (Status s = readTimes(low, high); !s)
            return s.error();
        return out;
    }
    if (Status s = readTimes(low, firstHour * kBucketSeconds - 1); !s)
        return s.error();
    // Each hour's first and last reading of every station together.
    Stmt hours;
    const std::string hoursSql = "SELECT Bucket, min(" + name + "FirstAt), max(" + name +
                                 "LastAt) FROM Buckets WHERE Channel = ?1 AND Bucket > ?2 AND"
                                 " Bucket <= ?3 AND " +
                                 name + "FirstAt IS NOT NULL GROUP BY Bucket ORDER BY Bucket";
    if (Status p = impl_->prepare(hours, hoursSql.c_str()); !p)
        return p.error();
    if (!eachInRange(hours, channel, firstHour - 1, lastHour, [&](sqlite3_stmt* st) {
            const std::int64_t start = sqlite3_column_int64(st, 0) * kBucketSeconds;
            pass(start + sqlite3_column_int64(st, 1), start + sqlite3_column_int64(st, 2));
        }))
        return impl_->error("cannot read the history");
    if (Status s = readTimes((lastHour + 1) * kBucketSeconds - 1, high); !s)
        return s.error();
    return out;
}

Result<std::unique_ptr<ArchiveCursor>> Archive::cursor(int channel, double from, double to) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(impl_->db, kSelectWindow, -1, &st, nullptr) != SQLITE_OK)
        return impl_->error("cannot read the history");
    sqlite3_bind_int(st, 1, channel);
    sqlite3_bind_int64(st, 2, boundSeconds(from));
    sqlite3_bind_int64(st, 3, boundSeconds(to));
    return std::unique_ptr<ArchiveCursor>(std::make_unique<StatementCursor>(impl_->db, st));
}

Result<std::optional<std::string>> Archive::stationOfFile(std::string_view fileName) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Stmt s;
    if (Status p = impl_->prepare(s, "SELECT s.Serial FROM Files f JOIN Stations s ON s.Id ="
                                     " f.Station WHERE f.Name = ?1 ORDER BY f.Imported DESC"
                                     " LIMIT 1");
        !p)
        return p.error();
    sqlite3_bind_text(s.st, 1, fileName.data(), static_cast<int>(fileName.size()),
                      SQLITE_TRANSIENT);
    return impl_->optionalText(s);
}

Status Archive::copyNamesFrom(const std::string& path) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Stmt attach;
    if (Status p = impl_->prepare(attach, "ATTACH DATABASE ?1 AS old"); !p)
        return p;
    sqlite3_bind_text(attach.st, 1, path.data(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(attach.st) != SQLITE_DONE)
        return impl_->error("cannot read the old history");
    Status copied = impl_->exec(
        "BEGIN IMMEDIATE;"
        "INSERT OR IGNORE INTO Stations(Serial) SELECT Serial FROM old.Stations;"
        "INSERT OR REPLACE INTO Names SELECT s.Id, n.Channel, n.Name FROM old.Names n"
        " JOIN old.Stations o ON o.Id = n.Station JOIN Stations s ON s.Serial = o.Serial;"
        "COMMIT;",
        "cannot take over the channel names");
    if (!copied)
        sqlite3_exec(impl_->db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_exec(impl_->db, "DETACH DATABASE old", nullptr, nullptr, nullptr);
    return copied;
}

Status Archive::setName(std::string_view station, int channel, std::string_view name) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    if (Status s = impl_->exec("BEGIN IMMEDIATE", "cannot write to the history"); !s)
        return s;
    impl_->inChange = true;
    Result<std::optional<std::int64_t>> id =
        impl_->stationId(station.empty() ? std::string_view(kUnknownStation) : station, true);
    if (!id) {
        rollback();
        return id.error();
    }
    Stmt s;
    if (Status p =
            impl_->prepare(s, name.empty() ? "DELETE FROM Names WHERE Station = ?1 AND Channel = ?2"
                                           : "INSERT OR REPLACE INTO Names VALUES(?1, ?2, ?3)");
        !p) {
        rollback();
        return p;
    }
    sqlite3_bind_int64(s.st, 1, **id);
    sqlite3_bind_int(s.st, 2, channel);
    if (!name.empty())
        sqlite3_bind_text(s.st, 3, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.st) != SQLITE_DONE) {
        Error e = impl_->error("cannot write to the history");
        rollback();
        return e;
    }
    if (Status c = impl_->exec("COMMIT", "cannot save the history"); !c) {
        rollback();
        return c;
    }
    impl_->inChange = false;
    return {};
}

Result<std::optional<std::string>> Archive::name(std::string_view station, int channel) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Stmt s;
    if (Status p = impl_->prepare(s, "SELECT n.Name FROM Names n JOIN Stations s ON s.Id ="
                                     " n.Station WHERE s.Serial = ?1 AND n.Channel = ?2");
        !p)
        return p.error();
    const std::string_view serial = station.empty() ? std::string_view(kUnknownStation) : station;
    sqlite3_bind_text(s.st, 1, serial.data(), static_cast<int>(serial.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s.st, 2, channel);
    return impl_->optionalText(s);
}

Result<std::optional<int>> Archive::channelNamed(std::string_view name) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Stmt s;
    if (Status p = impl_->prepare(s, "SELECT Channel FROM Names WHERE Name = ?1 LIMIT 1"); !p)
        return p.error();
    sqlite3_bind_text(s.st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s.st);
    if (rc == SQLITE_ROW)
        return std::optional<int>(sqlite3_column_int(s.st, 0));
    if (rc != SQLITE_DONE)
        return impl_->error("cannot read the history");
    return std::optional<int>();
}

} // namespace vellumet::store
