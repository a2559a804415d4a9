#pragma once

#include "core/operation.h"
#include "core/result.h"
#include "log_time.h"
#include "store/archive.h"
#include "store/record_store.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::sdcard {

// The rows of an imported log as the records list shows them: the file's own
// bytes, kept once, and where each reading's line lies in them. Fields are
// split when they are asked for.
class LogTable {
public:
    bool indoor() const { return indoor_; }
    int fieldCount() const { return indoor_ ? 3 : 5; }
    std::size_t rowCount() const { return lines_.size(); }
    // Field column of row (Latin-1 bytes as the file holds them); empty for a
    // field the line does not have.
    std::string_view field(std::size_t row, int column) const;
    // Bytes held beyond the file's text.
    std::size_t overheadBytes() const { return lines_.capacity() * sizeof(Line); }
    std::size_t textBytes() const { return text_.size(); }

private:
    friend class LogImporter;
    struct Line {
        std::uint32_t start;
        std::uint32_t length;
    };
    std::string text_;
    std::vector<Line> lines_;
    bool indoor_ = false;
};

struct ImportOptions {
    QString logPath;
    QString databasePath;
    // The name that tells an indoor log ("IN" in it); empty: logPath's file name.
    QString fileName;
    // The station's date-format setting when it is known.
    std::optional<int> stationDateFormat;
    // The order used when neither the file nor the station decides it;
    // Undecided: the user's locale.
    DateOrder fallbackOrder = DateOrder::Undecided;
    // Keep the rows for the records list (the whole file stays in memory).
    bool keepRows = false;
    // Leave out a last line without its line feed (a copy whose transfer
    // stopped inside a line).
    bool wholeLinesOnly = false;
    // The history beside the database (store/archive.h) takes the readings
    // too, under this station (empty: unknown) and channel (nothing: the one
    // the file name tells; a name that tells none is not kept there).
    bool archive = true;
    QString station;
    std::optional<int> channel;
};

struct ImportSummary {
    std::int64_t rows = 0;
    // Earliest and latest time among the rows whose time could be read.
    std::optional<double> firstTime;
    std::optional<double> lastTime;
    QString unitText; // e.g. "(°C)"; empty when the header names none or an unusable one
    // The header's unit part was too long or held control characters, so the
    // temperatures are stored without a unit.
    bool unitRefused = false;
    bool indoor = false;
    DateOrder dateOrder = DateOrder::Undecided; // as used for this file
    // Rows kept in spite of flaws, so that nothing of the log is lost:
    std::int64_t unreadableTimes = 0;      // stored with time 0.0
    std::int64_t unreadableValues = 0;     // stored as missing values
    std::int64_t wrongFieldCounts = 0;     // lines with too few or too many fields
    std::shared_ptr<const LogTable> table; // with keepRows
    // What the import did to the history; nothing when it was not kept there.
    std::optional<int> archiveChannel;
    std::optional<store::ArchiveMerge> archived;
};

// Files above this size are not kept for the list.
inline constexpr std::int64_t kMaxKeptLogBytes = std::int64_t{1} << 30;
// No line of a log comes near this; a longer one means the file is no log.
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

// No unit the station writes comes near this length.
inline constexpr std::size_t kMaxUnitChars = 32;

// The unit part of a log's header: the second field from its "(" on, with
// "C" and "F" shown as "°C" and "°F"; empty when the header has no second
// field. Nothing when the part is longer than kMaxUnitChars or holds a
// control character: such a header names no unit a person could read.
std::optional<QString> unitTextOfHeader(std::string_view header);

// What a value field holds: kNoValue for "--" anywhere in it; nullopt when it
// does not start with a number.
std::optional<float> parseTemperatureField(std::string_view field);
std::optional<std::int32_t> parseHumidityField(std::string_view field);

// Replaces the rows of the record database with the readings of one log.
// Emptying the tables and writing the new rows is one transaction: on any
// failure, cancellation or crash the previous rows stay as they were. Lines
// end at LF, CR LF or a lone CR. A log without a single reading (empty, or a
// header alone) and anything but a regular file are refused, the database
// untouched.
Result<ImportSummary> importLog(const ImportOptions& options, const OperationContext& context);

// What an import notes beside the rows (in Param): the log's file name, the
// unit text of its temperatures and its number of rows.
inline constexpr const char* kParamLogFile = "LogFile";
inline constexpr const char* kParamUnit = "UnitText";
inline constexpr const char* kParamRows = "Rows";

struct ImportedLog {
    QString fileName;
    QString unitText;
    std::int64_t rows = 0;
};

// The log the database's rows came from; nothing when no import noted one
// (an empty database, or rows that another program wrote).
Result<std::optional<ImportedLog>> importedLog(const QString& databasePath);

// Empties Records and Param when their rows came from the log named fileName,
// and tells which rows went; rows of another log, or of no known one, stay.
Result<std::optional<ImportedLog>> forgetRecordsOf(const QString& databasePath,
                                                   const QString& fileName);

// The same as a long operation, for the command line (run) and a window (start).
std::unique_ptr<Operation<ImportSummary>> makeImportOperation(ImportOptions options);

} // namespace vellumet::sdcard
