#include "archive_commands.h"
#include "commands.h"
#include "data_dir.h"
#include "output.h"
#include "terminal.h"

#include "app/data_folder.h"
#include "app/data_folder_lock.h"
#include "sdcard/log_import.h"
#include "store/automation_date.h"
#include "store/record_store.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>

namespace vellumet::cli {

namespace {

std::string databasePath(const Invocation& inv) {
    return prepareDatabase(inv.options().dataDir);
}

std::string orderText(sdcard::DateOrder order) {
    switch (order) {
    case sdcard::DateOrder::YearFirst:
        return "YYYY-MM-DD";
    case sdcard::DateOrder::MonthFirst:
        return "MM-DD-YYYY";
    case sdcard::DateOrder::DayFirst:
        return "DD-MM-YYYY";
    case sdcard::DateOrder::Undecided:
        break;
    }
    return "";
}

std::string optionalTime(const std::optional<double>& time) {
    return time ? store::formatDateTime(*time) : std::string();
}

// A bar on standard error, redrawn when the percentage changes.
class ProgressBar {
public:
    explicit ProgressBar(bool shown) : shown_(shown) {}
    ~ProgressBar() {
        if (shown_ && drawn_)
            std::fputs("\r\033[K", stderr);
    }
    void update(std::int64_t done, std::int64_t total) {
        if (!shown_ || total <= 0)
            return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == percent_)
            return;
        percent_ = percent;
        drawn_ = true;
        const int filled = percent * 30 / 100;
        std::fprintf(stderr, "\rImporting [%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(30 - filled, ' ').c_str(), percent);
        std::fflush(stderr);
    }

private:
    bool shown_;
    bool drawn_ = false;
    int percent_ = -1;
};

void importNotices(Invocation& inv, const sdcard::ImportSummary& s) {
    const auto note = [&](std::int64_t count, const char* what) {
        if (count > 0)
            inv.err() << kProgramName << ": note: " << count << ' ' << what << '\n';
    };
    note(s.wrongFieldCounts, "line(s) with too few or too many fields; missing fields are "
                             "stored as missing values");
    note(s.unreadableTimes, "time text(s) that are no date; stored with time 0 "
                            "(1899-12-30 00:00:00)");
    note(s.unreadableValues, "value(s) that are no number; stored as missing values");
    note(s.unitRefused ? 1 : 0, "header whose unit is too long or holds control characters; "
                                "the readings are stored without a unit");
    inv.err() << std::flush;
}

std::string importText(const std::string& file, const sdcard::ImportSummary& s) {
    std::string text = "Imported " + countText(s.rows, "row", "rows") + " from " + file + '\n';
    text += "First:   " + (s.firstTime ? optionalTime(s.firstTime) : "--") + '\n';
    text += "Last:    " + (s.lastTime ? optionalTime(s.lastTime) : "--") + '\n';
    text += "Unit:    " + (s.unitText.isEmpty() ? "--" : s.unitText.toStdString()) + '\n';
    text += std::string("Indoor:  ") + (s.indoor ? "yes" : "no") + '\n';
    text += "Dates:   " + orderText(s.dateOrder) + '\n';
    return text;
}

QJsonObject importJson(const std::string& file, const sdcard::ImportSummary& s) {
    const auto time = [](const std::optional<double>& t) {
        return t ? QJsonValue(QString::fromStdString(store::formatDateTime(*t))) : QJsonValue();
    };
    return QJsonObject{
        {"file", QString::fromStdString(file)},
        {"rows", static_cast<qint64>(s.rows)},
        {"first", time(s.firstTime)},
        {"last", time(s.lastTime)},
        {"unit", s.unitText},
        {"unitRefused", s.unitRefused},
        {"indoor", s.indoor},
        {"dateOrder", QString::fromStdString(orderText(s.dateOrder))},
        {"wrongFieldCounts", static_cast<qint64>(s.wrongFieldCounts)},
        {"unreadableTimes", static_cast<qint64>(s.unreadableTimes)},
        {"unreadableValues", static_cast<qint64>(s.unreadableValues)},
    };
}

std::string importCsv(const std::string& file, const sdcard::ImportSummary& s) {
    return "file,rows,first,last,unit,indoor,dateOrder\n" + csvField(file) + ',' +
           std::to_string(s.rows) + ',' + optionalTime(s.firstTime) + ',' +
           optionalTime(s.lastTime) + ',' + csvField(s.unitText.toStdString()) + ',' +
           (s.indoor ? "true" : "false") + ',' + orderText(s.dateOrder) + '\n';
}

struct RecordsQuery {
    double from = std::numeric_limits<double>::lowest();
    double to = std::numeric_limits<double>::max();
    std::optional<store::SeriesColumn> column;
};

RecordsQuery parseRecordsArguments(const std::vector<std::string>& args) {
    RecordsQuery query;
    OptionReader words(args);
    while (words.next()) {
        const std::string& arg = words.arg();
        const std::string name = words.name();
        std::string value;
        if (name == "--from" || name == "--to" || name == "--column")
            value = words.value();
        if (name == "--from")
            query.from = parseTimeOption(value, name);
        else if (name == "--to")
            query.to = parseTimeOption(value, name);
        else if (name == "--column") {
            Result<store::SeriesColumn> column = store::parseSeriesColumn(value);
            if (!column)
                throw UsageError("--column: " + column.error().text());
            query.column = *column;
        } else
            throw UsageError("records: unknown argument '" + arg + "'");
    }
    if (query.from > query.to)
        throw UsageError("Time Error: --from is later than --to");
    return query;
}

// Numbers as stored: the shortest text that reads back as the same float.
std::string number(double value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

bool missing(double value) {
    return value == static_cast<double>(store::kNoValue);
}

constexpr store::SeriesColumn kAllColumns[] = {
    store::SeriesColumn::Temperature, store::SeriesColumn::Humidity, store::SeriesColumn::DewPoint,
    store::SeriesColumn::Heatindex};

// unit: the temperature unit of the text form's headings, as "°C".
std::string recordsOutput(Format format, const std::vector<store::LogRecord>& records,
                          const std::optional<store::SeriesColumn>& only, const std::string& unit) {
    std::vector<store::SeriesColumn> columns;
    if (only)
        columns.push_back(*only);
    else
        columns.assign(std::begin(kAllColumns), std::end(kAllColumns));

    std::string out;
    out.reserve(records.size() * 64 + 128);
    switch (format) {
    case Format::Text: {
        // Numbers right-aligned under headings that carry the unit.
        std::vector<std::string> headings;
        for (store::SeriesColumn c : columns)
            headings.push_back(std::string(store::seriesColumnName(c)) + ' ' +
                               (c == store::SeriesColumn::Humidity ? std::string("%") : unit));
        out += "Time               ";
        for (const std::string& heading : headings)
            out += "  " + heading;
        out += '\n';
        for (const store::LogRecord& r : records) {
            out += store::formatDateTime(r.time);
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const double v = store::seriesValue(r, columns[i]);
                out += "  ";
                out += rightAligned(missing(v) ? "--" : number(v), displayWidth(headings[i]));
            }
            out += '\n';
        }
        break;
    }
    case Format::Json: {
        out += "{\n    \"count\": " + std::to_string(records.size()) + ",\n    \"rows\": [";
        bool first = true;
        for (const store::LogRecord& r : records) {
            out += first ? "\n        {" : ",\n        {";
            first = false;
            out += "\"time\": \"" + store::formatDateTime(r.time) + '"';
            for (store::SeriesColumn c : columns) {
                const double v = store::seriesValue(r, c);
                out += ", \"" + jsonKey(c) + "\": " + (missing(v) ? "null" : number(v));
            }
            out += '}';
        }
        out += first ? "]\n}\n" : "\n    ]\n}\n";
        break;
    }
    case Format::Csv: {
        out += "time";
        for (store::SeriesColumn c : columns)
            out += ',' + jsonKey(c);
        out += '\n';
        for (const store::LogRecord& r : records) {
            out += store::formatDateTime(r.time);
            for (store::SeriesColumn c : columns) {
                const double v = store::seriesValue(r, c);
                out += ',';
                if (!missing(v))
                    out += number(v);
            }
            out += '\n';
        }
        break;
    }
    }
    return out;
}

// The unit the last import noted beside its rows, without its brackets
// ("(°C)" is shown as "°C"); °C when none was noted.
std::string temperatureUnit(store::RecordStore& store) {
    const Result<std::optional<std::string>> noted = store.readParam(sdcard::kParamUnit);
    std::string unit = noted && *noted ? **noted : std::string();
    if (unit.size() >= 2 && unit.front() == '(' && unit.back() == ')')
        unit = unit.substr(1, unit.size() - 2);
    return unit.empty() ? std::string("°C") : terminalText(unit);
}

} // namespace

int runImport(Invocation& inv) {
    std::vector<std::string> args = inv.args();
    const std::optional<int> channel = importChannelOption(args);
    if (args.size() != 1 || args[0].empty())
        throw UsageError("import needs exactly one log file");
    const std::string path = args[0];

    sdcard::ImportOptions options;
    options.channel = channel;
    options.logPath = app::fromNativePath(path);
    options.databasePath = app::fromNativePath(databasePath(inv));
    // One writer of the data folder at a time: a fetch may be writing the database.
    const auto lock = app::DataFolderLock::acquire(QFileInfo(options.databasePath).absolutePath(),
                                                   std::chrono::seconds(2), inv.stop());
    if (!lock)
        throw CommandError(lock.error().text());

    auto operation = sdcard::makeImportOperation(options);
    ProgressBar bar(progressBarWanted(inv.err()));
    operation->onProgress([&](std::int64_t done, std::int64_t total) {
        if (inv.interrupted())
            operation->cancel();
        bar.update(done, total);
    });
    const Result<sdcard::ImportSummary> result = operation->run();
    if (!result)
        throw CommandError(result.error().text());

    const std::string file = QFileInfo(options.logPath).fileName().toStdString();
    importNotices(inv, *result);
    switch (inv.format()) {
    case Format::Text:
        inv.output = importText(file, *result) + importArchiveText(*result);
        break;
    case Format::Json: {
        QJsonObject json = importJson(file, *result);
        json.insert(QStringLiteral("archive"), importArchiveJson(*result));
        inv.output = jsonText(json, false);
        break;
    }
    case Format::Csv:
        inv.output = importCsv(file, *result);
        break;
    }
    return kExitOk;
}

int runRecords(Invocation& inv) {
    if (std::find(inv.args().begin(), inv.args().end(), "--archive") != inv.args().end())
        return runArchiveRecords(inv);
    const RecordsQuery query = parseRecordsArguments(inv.args());
    store::RecordStore store;
    if (Status s = store.openDatabase(databasePath(inv)); !s)
        throw CommandError(s.error().text());
    Result<std::vector<store::LogRecord>> records =
        store.readRecords(query.from, query.to, query.column, inv.stop());
    if (!records)
        throw CommandError(records.code() == Errc::Cancelled ? "interrupted"
                                                             : records.error().text());
    inv.output = recordsOutput(inv.format(), *records, query.column, temperatureUnit(store));
    // Nothing of a result that was stopped is printed.
    if (inv.interrupted())
        throw CommandError("interrupted");
    return kExitOk;
}

} // namespace vellumet::cli
