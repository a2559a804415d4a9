#include "archive.h"

#include "archive_extremes.h"
#include "archive_hours.h"

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

// The readings are kept an hour of a station's channel to a row, packed
// (archive_hours.h): a download of a million readings writes some
// seventeen thousand rows, not a million.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS Stations(Id INTEGER PRIMARY KEY, Serial TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS Hours(Channel INTEGER NOT NULL, Hour INTEGER NOT NULL,"
    " Station INTEGER NOT NULL, Readings BLOB NOT NULL,"
    " PRIMARY KEY(Channel, Hour, Station)) WITHOUT ROWID;"
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

using archive_detail::BucketFields;
using archive_detail::bucketOf;
using archive_detail::CurvePoint;
using archive_detail::Extremes;
using archive_detail::floorDiv;
using archive_detail::HeldReading;
using archive_detail::kBucketSeconds;
using archive_detail::kFields;

ArchivedRow rowOf(const HeldReading& r) {
    ArchivedRow row;
    row.time = daysOf(r.time);
    row.temperature = r.temperature;
    row.humidity = r.humidity;
    row.dewPoint = r.dewPoint;
    row.heatIndex = r.heatIndex;
    return row;
}

// A reading of some station.
struct StationReading {
    HeldReading reading;
    std::int64_t station = 0;
};

// The per-hour summary: for each value column the first, lowest, highest and
// last reading of the hour (seconds into the hour, value as a curve reads
// it; NULL when the hour has no value there). A plot of years reads these
// instead of every reading. Kept in the same change as the readings.
constexpr std::array<const char*, kFields> kFieldNames = {"Temperature", "Humidity", "DewPoint",
                                                          "HeatIndex"};
constexpr std::array<const char*, 4> kExtremeNames = {"First", "Low", "High", "Last"};
constexpr int kHumidityField = 1;
// PRAGMA user_version of the packed hours with their summary; 1 kept a row
// per reading with the summary, 0 a row per reading without it.
constexpr int kLayoutVersion = 2;
// How long an opening waits for another program that brings the layout up to date.
constexpr int kLayoutBusyTimeoutMs = 120000;

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
std::optional<double> fieldOf(const HeldReading& r, int field) {
    if (field == kHumidityField)
        return r.humidity == kNoHumidity ? std::nullopt
                                         : std::optional<double>(static_cast<double>(r.humidity));
    const float v = field == 0 ? r.temperature : field == 2 ? r.dewPoint : r.heatIndex;
    return v == kNoValue ? std::nullopt : std::optional<double>(static_cast<double>(v));
}

// A stored summary value as the history reads it back; nothing for NULL.
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

void addRecord(BucketFields& fields, std::int64_t station, const HeldReading& r) {
    for (int f = 0; f < kFields; ++f)
        if (const std::optional<double> v = fieldOf(r, f))
            fields[static_cast<std::size_t>(f)].add(CurvePoint{r.time, station, *v});
}

std::string_view blobAt(sqlite3_stmt* st, int index) {
    const void* data = sqlite3_column_blob(st, index);
    return {static_cast<const char*>(data),
            data ? static_cast<std::size_t>(sqlite3_column_bytes(st, index)) : 0};
}

Error damaged(const std::string& path) {
    return makeError(Errc::Database, "the history is damaged (" + path +
                                         "): vellumet-cli archive --rebuild makes it again from"
                                         " the logs in the data folder");
}

// A channel's readings in after < time <= until, an hour at a time: every
// station's readings of the hour, by time and then station.
class HourScan {
public:
    HourScan(std::string path, std::int64_t after, std::int64_t until)
        : path_(std::move(path)), after_(after), until_(until) {}

    Status start(sqlite3* db, int channel, std::optional<std::int64_t> station = {}) {
        if (sqlite3_prepare_v2(db,
                               "SELECT Hour, Station, Readings FROM Hours WHERE Channel = ?1 AND"
                               " Hour >= ?2 AND Hour <= ?3 AND (?4 IS NULL OR Station = ?4)"
                               " ORDER BY Hour, Station",
                               -1, &s_.st, nullptr) != SQLITE_OK)
            return makeError(Errc::Database,
                             "cannot read the history (" + path_ + "): " + sqlite3_errmsg(db));
        db_ = db;
        done_ = until_ <= after_;
        sqlite3_bind_int(s_.st, 1, channel);
        sqlite3_bind_int64(s_.st, 2, floorDiv(after_, kBucketSeconds));
        sqlite3_bind_int64(s_.st, 3, floorDiv(until_, kBucketSeconds));
        if (station)
            sqlite3_bind_int64(s_.st, 4, *station);
        return {};
    }

    // The readings in the range of the next hour that has any; false at the end.
    Result<bool> next(std::vector<StationReading>& out) {
        out.clear();
        std::optional<std::int64_t> hour;
        bool several = false;
        while (!done_) {
            if (!onRow_) {
                const int rc = sqlite3_step(s_.st);
                if (rc == SQLITE_DONE) {
                    done_ = true;
                    break;
                }
                if (rc != SQLITE_ROW)
                    return makeError(Errc::Database, "cannot read the history (" + path_ +
                                                         "): " + sqlite3_errmsg(db_));
                onRow_ = true;
            }
            const std::int64_t h = sqlite3_column_int64(s_.st, 0);
            if (hour && h != *hour) {
                if (!out.empty())
                    break; // the row starts the next call's hour
                several = false;
            } else if (hour) {
                several = true;
            }
            hour = h;
            onRow_ = false;
            unpacked_.clear();
            if (!archive_detail::unpackHour(h * kBucketSeconds, blobAt(s_.st, 2), unpacked_))
                return damaged(path_);
            const std::int64_t station = sqlite3_column_int64(s_.st, 1);
            for (const HeldReading& r : unpacked_)
                if (r.time > after_ && r.time <= until_)
                    out.push_back({r, station});
        }
        if (several)
            std::stable_sort(out.begin(), out.end(),
                             [](const StationReading& a, const StationReading& b) {
                                 return a.reading.time < b.reading.time;
                             });
        return !out.empty();
    }

private:
    std::string path_;
    std::int64_t after_, until_;
    sqlite3* db_ = nullptr;
    Stmt s_;
    bool onRow_ = false;
    bool done_ = false;
    std::vector<HeldReading> unpacked_;
};

// Every station's readings of a channel in after < time <= until, an hour
// at a time, to `take`, which returns false to stop.
template <typename Take>
Status eachHour(sqlite3* db, const std::string& path, int channel, std::int64_t after,
                std::int64_t until, std::optional<std::int64_t> station, Take&& take) {
    HourScan scan(path, after, until);
    if (Status s = scan.start(db, channel, station); !s)
        return s;
    std::vector<StationReading> hour;
    for (;;) {
        Result<bool> more = scan.next(hour);
        if (!more)
            return more.error();
        if (!*more || !take(std::as_const(hour)))
            return {};
    }
}

// Hours of the open change with their readings, until written.
struct OpenHour {
    std::vector<HeldReading> readings;
    bool dirty = false;
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
    Stmt file, hourRead, hourWrite, bucketWrite, bucketDelete;
    bool open = false;
    bool inChange = false;
    std::int64_t station = 0;
    int channel = 0;
    std::string fileName;
    std::int64_t fileRows = 0;
    // Hours the open change touched and has not written yet, by hour.
    std::map<std::int64_t, OpenHour> hours;
    // At most this many are held before they are written (within the change).
    static constexpr std::size_t kOpenHours = 64;
    std::vector<std::int64_t> seconds;
    std::string packed;

    // Whether the channel holds an hour of this station in first <= hour <=
    // last; the readings of the first such hour are added to `readings`.
    Result<bool> heldHour(std::int64_t first, std::int64_t last,
                          std::vector<HeldReading>* readings = nullptr) {
        if (Status p = prepare(hourRead, "SELECT Hour, Readings FROM Hours WHERE Channel = ?1 AND"
                                         " Hour >= ?2 AND Hour <= ?3 AND Station = ?4 LIMIT 1");
            !p)
            return p.error();
        sqlite3_bind_int(hourRead.st, 1, channel);
        sqlite3_bind_int64(hourRead.st, 2, first);
        sqlite3_bind_int64(hourRead.st, 3, last);
        sqlite3_bind_int64(hourRead.st, 4, station);
        const int rc = sqlite3_step(hourRead.st);
        const bool unpacked =
            rc != SQLITE_ROW || !readings ||
            archive_detail::unpackHour(sqlite3_column_int64(hourRead.st, 0) * kBucketSeconds,
                                       blobAt(hourRead.st, 1), *readings);
        sqlite3_reset(hourRead.st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return error("cannot read the history");
        if (!unpacked)
            return damaged(path);
        return rc == SQLITE_ROW;
    }

    // The open change's hour, read from the history unless it is known to
    // hold none of it.
    Result<OpenHour*> hourAt(std::int64_t hour, bool knownNew) {
        if (const auto held = hours.find(hour); held != hours.end())
            return &held->second;
        if (hours.size() >= kOpenHours)
            if (Status s = writeHours(); !s)
                return s.error();
        OpenHour& h = hours[hour];
        if (!knownNew)
            if (Result<bool> read = heldHour(hour, hour, &h.readings); !read)
                return read.error();
        return &h;
    }

    // Writes the open change's hours that changed, and forgets them all.
    Status writeHours() {
        for (const auto& [hour, h] : hours)
            if (h.dirty)
                if (Status s = storeHour(channel, station, hour, h.readings); !s)
                    return s;
        hours.clear();
        return {};
    }

    // Writes an hour of a station's channel, and its summary unless that is
    // worked out afterwards.
    enum class Summary { Write, Later };
    Status storeHour(int ch, std::int64_t st, std::int64_t hour,
                     std::span<const HeldReading> readings, Summary summary = Summary::Write) {
        if (Status p = prepare(hourWrite, "INSERT OR REPLACE INTO Hours VALUES(?1, ?2, ?3, ?4)");
            !p)
            return p;
        packed.clear();
        archive_detail::packHour(hour * kBucketSeconds, readings, packed);
        sqlite3_bind_int(hourWrite.st, 1, ch);
        sqlite3_bind_int64(hourWrite.st, 2, hour);
        sqlite3_bind_int64(hourWrite.st, 3, st);
        sqlite3_bind_blob(hourWrite.st, 4, packed.data(), static_cast<int>(packed.size()),
                          SQLITE_STATIC);
        const int rc = sqlite3_step(hourWrite.st);
        sqlite3_reset(hourWrite.st);
        if (rc != SQLITE_DONE)
            return error("cannot write to the history");
        if (summary == Summary::Later)
            return {};
        BucketFields fields;
        for (const HeldReading& r : readings)
            addRecord(fields, st, r);
        return writeBucket(ch, st, hour, fields);
    }

    // The fields of one summary row, from column `at` on.
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

    // Works the summary out again from the hours, in the open change.
    Status summarize() {
        if (Status s = exec(("DROP TABLE IF EXISTS Buckets;" + summarySchema()).c_str(),
                            "cannot set up the history");
            !s)
            return s;
        Stmt all;
        if (Status p = prepare(all, "SELECT Channel, Hour, Station, Readings FROM Hours"); !p)
            return p;
        std::vector<HeldReading> readings;
        int rc;
        while ((rc = sqlite3_step(all.st)) == SQLITE_ROW) {
            const int ch = sqlite3_column_int(all.st, 0);
            const std::int64_t hour = sqlite3_column_int64(all.st, 1);
            const std::int64_t st = sqlite3_column_int64(all.st, 2);
            readings.clear();
            if (!archive_detail::unpackHour(hour * kBucketSeconds, blobAt(all.st, 3), readings))
                return damaged(path);
            BucketFields fields;
            for (const HeldReading& r : readings)
                addRecord(fields, st, r);
            if (Status s = writeBucket(ch, st, hour, fields); !s)
                return s;
        }
        return rc == SQLITE_DONE ? Status() : Status(error("cannot read the history"));
    }

    // A history that kept a row per reading gets them packed by the hour, in
    // the open change; the summary is worked out afterwards.
    Status packReadings() {
        Stmt all;
        if (Status p = prepare(all, "SELECT Channel, Time, Station, Temperature, Humidity,"
                                    " DewPoint, HeatIndex FROM Readings ORDER BY Channel, Time,"
                                    " Station");
            !p)
            return p;
        struct Filling {
            std::int64_t hour = 0;
            std::vector<HeldReading> readings;
        };
        std::map<std::int64_t, Filling> filling; // per station
        int ch = -1;
        const auto flush = [&]() -> Status {
            for (const auto& [st, f] : filling)
                if (Status s = storeHour(ch, st, f.hour, f.readings, Summary::Later); !s)
                    return s;
            filling.clear();
            return {};
        };
        int rc;
        while ((rc = sqlite3_step(all.st)) == SQLITE_ROW) {
            const int next = sqlite3_column_int(all.st, 0);
            if (next != ch) {
                if (Status s = flush(); !s)
                    return s;
                ch = next;
            }
            HeldReading r;
            r.time = sqlite3_column_int64(all.st, 1);
            r.temperature = columnTemperature(all.st, 3);
            r.humidity = columnHumidity(all.st, 4);
            r.dewPoint = columnTemperature(all.st, 5);
            r.heatIndex = columnTemperature(all.st, 6);
            const std::int64_t st = sqlite3_column_int64(all.st, 2);
            const auto [at, fresh] = filling.try_emplace(st);
            Filling& f = at->second;
            if (!fresh && f.hour != bucketOf(r.time)) {
                if (Status s = storeHour(ch, st, f.hour, f.readings, Summary::Later); !s)
                    return s;
                f.readings.clear();
            }
            f.hour = bucketOf(r.time);
            f.readings.push_back(r);
        }
        if (rc != SQLITE_DONE)
            return error("cannot read the history");
        if (Status s = flush(); !s)
            return s;
        return exec("DROP TABLE Readings", "cannot set up the history");
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

    Result<bool> hasTable(const char* name) {
        Stmt s;
        if (Status p = prepare(s, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1");
            !p)
            return p.error();
        sqlite3_bind_text(s.st, 1, name, -1, SQLITE_STATIC);
        const int rc = sqlite3_step(s.st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return error("cannot read the history");
        return rc == SQLITE_ROW;
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
    const auto fail = [this](Status s) {
        impl_.reset();
        return s;
    };
    if (rc != SQLITE_OK)
        return fail(impl_->error("cannot open the history"));
    sqlite3_busy_timeout(impl_->db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(impl_->db, 1);
    // Larger pages hold more packed hours; the size only takes effect on a
    // new file.
    if (Status s = impl_->exec("PRAGMA page_size = 16384", "cannot set up the history"); !s)
        return fail(s);
    if (Status s = impl_->exec(kSchema, "cannot set up the history"); !s)
        return fail(s);
    impl_->open = true;
    Result<int> version = impl_->userVersion();
    if (!version)
        return fail(version.error());
    if (*version >= kLayoutVersion)
        return {};
    // A new file, or one a version before kept: packed and summed up in one
    // change, then made small again. Another program may be at it too: what
    // is to be done is decided once the change is this one's, and it may
    // take a while for a large history.
    sqlite3_busy_timeout(impl_->db, kLayoutBusyTimeoutMs);
    const Status began = impl_->exec("BEGIN IMMEDIATE", "cannot write to the history");
    sqlite3_busy_timeout(impl_->db, kBusyTimeoutMs);
    if (!began)
        return fail(began);
    impl_->inChange = true;
    version = impl_->userVersion();
    if (!version)
        return fail(version.error());
    if (*version >= kLayoutVersion) {
        rollback();
        return {};
    }
    Result<bool> perReading = impl_->hasTable("Readings");
    if (!perReading)
        return fail(perReading.error());
    if (*perReading)
        if (Status s = impl_->packReadings(); !s)
            return fail(s);
    if (Status s = impl_->summarize(); !s)
        return fail(s);
    if (Status s = impl_->exec(
            ("PRAGMA user_version = " + std::to_string(kLayoutVersion) + ";COMMIT").c_str(),
            "cannot save the history");
        !s)
        return fail(s);
    impl_->inChange = false;
    // Gives the pages the rows per reading took back; the history is whole
    // either way.
    if (*perReading)
        sqlite3_exec(impl_->db, "VACUUM", nullptr, nullptr, nullptr);
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
    if (Status s = impl_->summarize(); !s) {
        rollback();
        return s;
    }
    if (Status s = impl_->exec("COMMIT", "cannot save the history"); !s) {
        rollback();
        return s;
    }
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
    impl_->hours.clear();
    return {};
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
    // A new download mostly follows what the history holds: when it holds no
    // hour of the run's span, none need be read. (An hour the change holds
    // unwritten is found among its open hours first; in ascending time no
    // hour is left and come back to.)
    bool knownNew = false;
    if (ascending) {
        Result<bool> held = impl_->heldHour(bucketOf(times.front()), bucketOf(times.back()));
        if (!held)
            return held.error();
        knownNew = !*held;
    }
    OpenHour* hour = nullptr;
    std::int64_t at = 0;
    std::size_t n = 0;
    for (const LogRecord& r : rows) {
        if (timeless(r))
            continue;
        const std::int64_t time = times[n++];
        if (!hour || bucketOf(time) != at) {
            at = bucketOf(time);
            Result<OpenHour*> h = impl_->hourAt(at, knownNew);
            if (!h)
                return h.error();
            hour = *h;
        }
        const HeldReading fresh = archive_detail::heldOf(time, r);
        std::vector<HeldReading>& held = hour->readings;
        if (held.empty() || held.back().time < time) {
            held.push_back(fresh);
            hour->dirty = true;
            ++merged_.added;
            continue;
        }
        const auto place =
            std::lower_bound(held.begin(), held.end(), time,
                             [](const HeldReading& h, std::int64_t t) { return h.time < t; });
        if (place->time != time) {
            held.insert(place, fresh);
            hour->dirty = true;
            ++merged_.added;
        } else if (archive_detail::sameReading(fresh, *place)) {
            ++merged_.unchanged;
        } else {
            *place = fresh;
            hour->dirty = true;
            ++merged_.changed;
        }
    }
    return {};
}

Status Archive::commit() {
    if (!impl_ || !impl_->inChange)
        return makeError(Errc::Database, "no change of the history is open");
    if (Status s = impl_->writeHours(); !s)
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
        impl_->hours.clear();
    }
}

Status Archive::clear() {
    if (!impl_ || !impl_->inChange)
        return makeError(Errc::Database, "no change of the history is open");
    impl_->hours.clear();
    return impl_->exec("DELETE FROM Hours; DELETE FROM Files; DELETE FROM Buckets;",
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
    // Every hour once, in the order the history keeps them (channel, hour,
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
    if (Status p = impl_->prepare(all, "SELECT Channel, Hour, Station, Readings FROM Hours ORDER BY"
                                       " Channel, Hour, Station");
        !p)
        return p.error();
    std::vector<HeldReading> hour;
    int rc;
    while ((rc = sqlite3_step(all.st)) == SQLITE_ROW) {
        const int next = sqlite3_column_int(all.st, 0);
        if (next != channel) {
            finish();
            channel = next;
        }
        hour.clear();
        if (!archive_detail::unpackHour(sqlite3_column_int64(all.st, 1) * kBucketSeconds,
                                        blobAt(all.st, 3), hour))
            return damaged(impl_->path);
        std::vector<std::int64_t>& t = times[sqlite3_column_int64(all.st, 2)];
        for (const HeldReading& r : hour)
            t.push_back(r.time);
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
    constexpr std::size_t kSample = 300;
    Stmt head, tail;
    if (Status p = impl_->prepare(head, "SELECT Hour, Readings FROM Hours WHERE Channel = ?1 AND"
                                        " Hour >= ?2 AND Hour <= ?3 AND Station = ?4 ORDER BY"
                                        " Hour");
        !p)
        return p.error();
    if (Status p = impl_->prepare(tail, "SELECT Hour, Readings FROM Hours WHERE Channel = ?1 AND"
                                        " Hour >= ?2 AND Hour <= ?3 AND Station = ?4 ORDER BY"
                                        " Hour DESC");
        !p)
        return p.error();
    std::vector<ChannelOutline> out;
    std::vector<HeldReading> hour;
    for (Held& h : held) {
        std::map<std::int64_t, std::int64_t> spacing;
        std::vector<std::int64_t> ends;
        for (sqlite3_stmt* st : {head.st, tail.st}) {
            const bool fromStart = st == head.st;
            sqlite3_reset(st);
            sqlite3_bind_int(st, 1, h.o.channel);
            // Within the station's own hours, however few its readings.
            sqlite3_bind_int64(st, 2, h.firstHour);
            sqlite3_bind_int64(st, 3, h.lastHour);
            sqlite3_bind_int64(st, 4, h.station);
            std::vector<std::int64_t> sample;
            int rc = SQLITE_ROW;
            while (sample.size() < kSample && (rc = sqlite3_step(st)) == SQLITE_ROW) {
                hour.clear();
                if (!archive_detail::unpackHour(sqlite3_column_int64(st, 0) * kBucketSeconds,
                                                blobAt(st, 1), hour))
                    return damaged(impl_->path);
                if (fromStart)
                    for (auto r = hour.begin(); r != hour.end() && sample.size() < kSample; ++r)
                        sample.push_back(r->time);
                else
                    for (auto r = hour.rbegin(); r != hour.rend() && sample.size() < kSample; ++r)
                        sample.push_back(r->time);
            }
            sqlite3_reset(st);
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                return impl_->error("cannot read the history");
            if (sample.empty())
                continue;
            ends.push_back(sample.front());
            for (std::size_t i = 1; i < sample.size(); ++i)
                ++spacing[sample[i] > sample[i - 1] ? sample[i] - sample[i - 1]
                                                    : sample[i - 1] - sample[i]];
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

class ScanCursor : public ArchiveCursor {
public:
    explicit ScanCursor(std::unique_ptr<HourScan> scan) : scan_(std::move(scan)) {}
    Result<std::optional<ArchivedRow>> next() override {
        if (at_ == hour_.size()) {
            at_ = 0;
            Result<bool> more = scan_->next(hour_);
            if (!more)
                return more.error();
            if (!*more)
                return std::optional<ArchivedRow>();
        }
        return std::optional<ArchivedRow>(rowOf(hour_[at_++].reading));
    }

private:
    std::unique_ptr<HourScan> scan_;
    std::vector<StationReading> hour_;
    std::size_t at_ = 0;
};

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
    std::vector<ArchivedRow> run;
    constexpr std::size_t kRun = 4096;
    run.reserve(kRun);
    bool stopped = false;
    const Status read =
        eachHour(impl_->db, impl_->path, channel, boundSeconds(from), boundSeconds(to), stationId,
                 [&](const std::vector<StationReading>& hour) {
                     for (const StationReading& r : hour)
                         run.push_back(rowOf(r.reading));
                     if (run.size() >= kRun) {
                         stopped = !visitor(run);
                         run.clear();
                     }
                     return !stopped;
                 });
    if (!read)
        return read;
    if (!stopped && !run.empty())
        visitor(run);
    return {};
}

Result<std::optional<std::pair<double, double>>> Archive::span(int channel) {
    using Span = std::optional<std::pair<double, double>>;
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    // The first and the last hour, each a look-up in the key (min and max
    // together would read every hour), and their readings' ends.
    Stmt s;
    if (Status p =
            impl_->prepare(s, "SELECT Hour, Readings FROM Hours WHERE Channel = ?1 AND Hour IN"
                              " ((SELECT min(Hour) FROM Hours WHERE Channel = ?1),"
                              " (SELECT max(Hour) FROM Hours WHERE Channel = ?1))");
        !p)
        return p.error();
    sqlite3_bind_int(s.st, 1, channel);
    std::optional<std::int64_t> first, last;
    std::vector<HeldReading> hour;
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        hour.clear();
        if (!archive_detail::unpackHour(sqlite3_column_int64(s.st, 0) * kBucketSeconds,
                                        blobAt(s.st, 1), hour))
            return damaged(impl_->path);
        if (hour.empty())
            continue;
        first = std::min(first.value_or(hour.front().time), hour.front().time);
        last = std::max(last.value_or(hour.back().time), hour.back().time);
    }
    if (rc != SQLITE_DONE)
        return impl_->error("cannot read the history");
    if (!first)
        return Span();
    return Span(std::pair{daysOf(*first), daysOf(*last)});
}

Status Archive::visitValues(int channel, double from, double to, SeriesColumn column,
                            const ValueVisitor& visitor) {
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    const int field = static_cast<int>(column);
    constexpr std::size_t kRun = 8192;
    std::vector<double> times, values;
    times.reserve(kRun);
    values.reserve(kRun);
    bool stopped = false;
    const Status read =
        eachHour(impl_->db, impl_->path, channel, boundSeconds(from), boundSeconds(to), {},
                 [&](const std::vector<StationReading>& hour) {
                     for (const StationReading& r : hour)
                         if (const std::optional<double> v = fieldOf(r.reading, field)) {
                             times.push_back(daysOf(r.reading.time));
                             values.push_back(*v);
                         }
                     if (times.size() >= kRun) {
                         stopped = !visitor(times, values);
                         times.clear();
                         values.clear();
                     }
                     return !stopped;
                 });
    if (!read)
        return read;
    if (!stopped && !times.empty())
        visitor(times, values);
    return {};
}

Result<std::optional<archive_detail::SecondsRange>> Archive::storedSeconds(int channel, double from,
                                                                           double to) {
    using Range = std::optional<archive_detail::SecondsRange>;
    Result<std::optional<std::pair<double, double>>> stored = span(channel);
    if (!stored)
        return stored.error();
    if (!*stored)
        return Range();
    // The range as whole seconds, no wider than the readings.
    const std::int64_t low =
        std::max<std::int64_t>(boundSeconds(from), secondsOf((*stored)->first) - 1);
    const std::int64_t high =
        std::min<std::int64_t>(boundSeconds(to), secondsOf((*stored)->second));
    if (high <= low)
        return Range();
    return Range({low, high});
}

namespace {

// Each reading of a channel in after < time <= until with a value in the
// field, in time order, to `take`.
template <typename Take>
Status eachValue(sqlite3* db, const std::string& path, int channel, std::int64_t after,
                 std::int64_t until, int field, Take&& take) {
    if (until <= after)
        return {};
    return eachHour(db, path, channel, after, until, {},
                    [&](const std::vector<StationReading>& hour) {
                        for (const StationReading& r : hour)
                            if (const std::optional<double> v = fieldOf(r.reading, field))
                                take(CurvePoint{r.reading.time, r.station, *v});
                        return true;
                    });
}

} // namespace

Result<Series> Archive::curve(int channel, double from, double to, SeriesColumn column, int columns,
                              CurveSource source) {
    using archive_detail::ColumnLayout;
    using archive_detail::CurveThinner;
    if (!impl_)
        return makeError(Errc::Database, "the history is not open");
    Result<std::optional<archive_detail::SecondsRange>> range = storedSeconds(channel, from, to);
    if (!range)
        return range.error();
    Series out;
    if (!*range)
        return out;
    const auto [low, high] = **range;
    const std::int64_t firstHour = (*range)->firstHour();
    const std::int64_t lastHour = (*range)->lastHour();
    const int field = static_cast<int>(column);
    const std::string name = kFieldNames[static_cast<std::size_t>(field)];
    const ColumnLayout layout(low, high, columns);
    CurveThinner thinner(layout);
    // Readings in after < time <= until.
    const auto readReadings = [&](std::int64_t after, std::int64_t until) {
        return eachValue(impl_->db, impl_->path, channel, after, until, field,
                         [&](const CurvePoint& p) { thinner.add(p); });
    };

    // The hours wholly in the range are read from the summary when columns
    // are whole hours.
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
    Result<std::optional<archive_detail::SecondsRange>> range = storedSeconds(channel, from, to);
    if (!range)
        return range.error();
    Gaps out;
    if (!*range)
        return out;
    const auto [low, high] = **range;
    const std::int64_t firstHour = (*range)->firstHour();
    const std::int64_t lastHour = (*range)->lastHour();
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
    const auto readTimes = [&](std::int64_t after, std::int64_t until) {
        return eachValue(impl_->db, impl_->path, channel, after, until, field,
                         [&](const CurvePoint& p) { pass(p.time, p.time); });
    };

    // The hours wholly in the range from the summary.
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
    auto scan = std::make_unique<HourScan>(impl_->path, boundSeconds(from), boundSeconds(to));
    if (Status s = scan->start(impl_->db, channel); !s)
        return s.error();
    return std::unique_ptr<ArchiveCursor>(std::make_unique<ScanCursor>(std::move(scan)));
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
