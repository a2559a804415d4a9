#include "log_import.h"

#include <cfloat>
#include <cmath>

#include "app/error_text.h"
#include "store/record_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <array>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace vellumet::sdcard {

namespace {

using store::kNoHumidity;
using store::kNoValue;
using store::LogRecord;

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::size_t kBatchRows = 4096;

using Fields = std::array<std::string_view, 5>;

// Splits at the first fieldCount - 1 commas; the last field runs to the end of
// the line. Returns whether the line has exactly fieldCount fields.
bool splitLine(std::string_view line, int fieldCount, Fields& fields) {
    std::size_t pos = 0;
    int i = 0;
    for (; i < fieldCount - 1; ++i) {
        const std::size_t comma = line.find(',', pos);
        if (comma == std::string_view::npos)
            break;
        fields[static_cast<std::size_t>(i)] = line.substr(pos, comma - pos);
        pos = comma + 1;
    }
    fields[static_cast<std::size_t>(i)] = line.substr(std::min(pos, line.size()));
    const bool complete = i == fieldCount - 1;
    for (++i; i < fieldCount; ++i)
        fields[static_cast<std::size_t>(i)] = {};
    return complete &&
           fields[static_cast<std::size_t>(fieldCount - 1)].find(',') == std::string_view::npos;
}

std::string_view numberStart(std::string_view field) {
    std::size_t pos = 0;
    while (pos < field.size() && (field[pos] == ' ' || field[pos] == '\t'))
        ++pos;
    if (pos < field.size() && field[pos] == '+')
        ++pos;
    return field.substr(pos);
}

bool hasNoValueMark(std::string_view field) {
    return field.find("--") != std::string_view::npos;
}

std::string nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// A message in the user's language; the command line loads no translation
// and so reports in English. All arguments are filled in at once, so that a
// file name holding "%2" stays as it is.
std::string tr(const char* source) {
    return QCoreApplication::translate("LogImport", source).toStdString();
}
std::string tr(const char* source, const QString& a) {
    return QCoreApplication::translate("LogImport", source).arg(a).toStdString();
}
std::string tr(const char* source, const QString& a, const QString& b) {
    return QCoreApplication::translate("LogImport", source).arg(a, b).toStdString();
}
std::string tr(const char* source, const QString& a, const QString& b, const QString& c) {
    return QCoreApplication::translate("LogImport", source).arg(a, b, c).toStdString();
}

QString number(std::uint64_t n) {
    return QString::number(n);
}

// Where the file's lines are read from, chunk by chunk, in both passes.
class LineReader {
public:
    LineReader(QFile& file, std::string* keep, bool wholeLinesOnly = false)
        : file_(file), keep_(keep), wholeLinesOnly_(wholeLinesOnly) {}

    // Calls onLine(line, offset) for every line (its end removed: LF, CR LF
    // or a lone CR, as the tools that wrote the log had it) and
    // onChunk(bytesRead) after every chunk, until one of them returns false or
    // an error stops the reading.
    template <class OnLine, class OnChunk> Status read(OnLine&& onLine, OnChunk&& onChunk) {
        if (!file_.seek(0))
            return ioError();
        std::vector<char> buffer(kChunkBytes);
        std::size_t held = 0;         // bytes of an unfinished line at the buffer's start
        std::uint64_t heldOffset = 0; // file offset of buffer[0]
        for (;;) {
            if (held == buffer.size()) {
                if (buffer.size() >= kMaxLineBytes)
                    return makeError(
                        Errc::BadData,
                        tr("%1 is not a log: a line at byte %2 is longer than %3 bytes",
                           file_.fileName(), number(heldOffset), number(kMaxLineBytes)));
                buffer.resize(std::min(buffer.size() * 2, kMaxLineBytes));
            }
            const qint64 got =
                file_.read(buffer.data() + held, static_cast<qint64>(buffer.size() - held));
            if (got < 0)
                return ioError();
            const std::size_t n = static_cast<std::size_t>(got);
            if (const void* nul = std::memchr(buffer.data() + held, '\0', n))
                return makeError(
                    Errc::BadData,
                    tr("%1 is not a text log: it holds binary data at byte %2", file_.fileName(),
                       number(heldOffset + static_cast<std::uint64_t>(
                                               static_cast<const char*>(nul) - buffer.data()))));
            if (keep_ && keep_->size() + n > static_cast<std::size_t>(kMaxKeptLogBytes))
                return makeError(Errc::InvalidInput,
                                 tr("%1 grew too large while it was read", file_.fileName()));
            if (keep_)
                keep_->append(buffer.data() + held, n);
            const std::size_t end = held + n;
            const bool last = n == 0;
            // Where the next LF and the next CR lie (end: none); each is
            // searched again only once the lines have passed it.
            const auto next = [&](char c, std::size_t from) {
                const void* at = std::memchr(buffer.data() + from, c, end - from);
                return at ? static_cast<std::size_t>(static_cast<const char*>(at) - buffer.data())
                          : end;
            };
            std::size_t start = 0;
            std::size_t lf = next('\n', 0);
            std::size_t cr = next('\r', 0);
            for (;;) {
                if (lf < start)
                    lf = next('\n', start);
                if (cr < start)
                    cr = next('\r', start);
                const std::size_t stop = std::min(lf, cr);
                std::size_t after = stop + 1;
                if (stop == end) {
                    if (!(last && start < end && !wholeLinesOnly_))
                        break; // the rest of the line comes with the next chunk
                    after = end;
                } else if (stop == cr) {
                    if (stop + 1 == end && !last)
                        break; // an LF may follow in the next chunk
                    if (stop + 1 < end && buffer[stop + 1] == '\n')
                        ++after;
                }
                if (!onLine(std::string_view(buffer.data() + start, stop - start),
                            heldOffset + start))
                    return {};
                start = after;
            }
            if (last)
                return {};
            if (!onChunk(heldOffset + end))
                return {};
            std::memmove(buffer.data(), buffer.data() + start, end - start);
            held = end - start;
            heldOffset += start;
        }
    }

private:
    Error ioError() const {
        return makeError(Errc::Io, tr("cannot read %1: %2", file_.fileName(),
                                      app::systemErrorText(file_.errorString())));
    }

    QFile& file_;
    std::string* keep_;
    bool wholeLinesOnly_;
};

// Parsed rows on their way from the parser to the writer.
struct Batch {
    std::vector<LogRecord> records;
    std::uint64_t bytesDone = 0; // of the file, up to the end of the batch's last line
};

// A short queue between the two threads; a full queue holds the parser back.
class BatchQueue {
public:
    // False when the writer has given up.
    bool push(Batch batch) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return batches_.size() < kDepth || abandoned_; });
        if (abandoned_)
            return false;
        batches_.push_back(std::move(batch));
        changed_.notify_all();
        return true;
    }
    // Nothing once the parser has closed the queue and it is empty.
    std::optional<Batch> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !batches_.empty() || closed_; });
        if (batches_.empty())
            return std::nullopt;
        Batch batch = std::move(batches_.front());
        batches_.pop_front();
        changed_.notify_all();
        return batch;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    void abandon() {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        batches_.clear();
        changed_.notify_all();
    }
    bool abandoned() const {
        std::lock_guard lock(mutex_);
        return abandoned_;
    }

private:
    static constexpr std::size_t kDepth = 4;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> batches_;
    bool closed_ = false;
    bool abandoned_ = false;
};

} // namespace

class LogImporter {
public:
    LogImporter(const ImportOptions& options, const OperationContext& context)
        : options_(options), context_(context) {}

    Result<ImportSummary> run() {
        // Opening a FIFO or a device could wait for ever, and reading one
        // would never end: only a regular file is opened.
        const QFileInfo info(options_.logPath);
        if (info.isDir())
            return makeError(Errc::Io, tr("%1 is a folder, not a log file", options_.logPath));
        if (info.exists() && !info.isFile())
            return makeError(Errc::Io, tr("%1 is not a regular file; only a log file is imported",
                                          options_.logPath));
        QFile file(options_.logPath);
        if (!file.open(QIODevice::ReadOnly))
            return makeError(Errc::Io, tr("cannot open %1: %2", options_.logPath,
                                          app::systemErrorText(file.errorString())));
        total_ = file.size();

        const QString name = options_.fileName.isEmpty() ? QFileInfo(options_.logPath).fileName()
                                                         : options_.fileName;
        summary_.indoor = name.contains(QLatin1String("IN"));
        fieldCount_ = summary_.indoor ? 3 : 5;

        std::shared_ptr<LogTable> table;
        if (options_.keepRows) {
            if (total_ > kMaxKeptLogBytes)
                return makeError(Errc::InvalidInput,
                                 tr("%1 is %2 MB; logs above %3 MB are not imported",
                                    options_.logPath, QString::number(total_ >> 20),
                                    QString::number(kMaxKeptLogBytes >> 20)));
            table = std::make_shared<LogTable>();
            table->indoor_ = summary_.indoor;
            table->text_.reserve(static_cast<std::size_t>(total_));
        }

        if (Status s = decideOrder(file); !s)
            return s.error();
        if (!sawReading_)
            return noReadings();

        store::RecordStore store;
        if (Status s = store.openDatabase(nativePath(options_.databasePath)); !s)
            return s.error();
        Result<store::Transaction> transaction = store.beginTransaction();
        if (!transaction)
            return transaction.error();
        if (Status s = store.beginReplacement(); !s)
            return s.error();
        store::Archive archive;
        if (Status s = beginArchive(archive, name); !s)
            return s.error();

        // Reading and parsing run on a thread of their own while this one
        // writes the rows: the two take about the same time.
        BatchQueue queue;
        Status read;
        std::thread parser([&] {
            read = parseRows(file, table.get(), queue);
            queue.close();
        });
        // The history is merged on a thread of its own, from the same batches.
        BatchQueue toArchive;
        Status archived;
        std::thread archiver([&] {
            while (std::optional<Batch> batch = toArchive.pop())
                if (archived = archive.merge(batch->records); !archived) {
                    toArchive.abandon();
                    break;
                }
        });
        Status written;
        while (std::optional<Batch> batch = queue.pop()) {
            if (Status s = store.appendRecords(batch->records); !s) {
                written = s;
                break;
            }
            context_.progress(static_cast<std::int64_t>(batch->bytesDone), total_);
            if (summary_.archiveChannel && !toArchive.push(std::move(*batch)))
                break; // the history failed
            if (context_.cancelled())
                break;
        }
        queue.abandon();
        parser.join();
        if (!written || context_.cancelled())
            toArchive.abandon();
        toArchive.close();
        archiver.join();
        if (!written)
            return written.error();
        if (!archived)
            return archived.error();
        if (context_.cancelled())
            return makeError(Errc::Cancelled, tr("import cancelled; the records are as before"));
        if (!read)
            return read.error();
        if (summary_.rows == 0) // the file changed since the first pass
            return noReadings();
        if (Status s = store.finishReplacement(); !s)
            return s.error();
        // Which log the rows are, beside them: a delete of that log takes its
        // rows with it, and a later graph finds its unit.
        for (const auto& [key, value] : {std::pair{kParamLogFile, name.toStdString()},
                                         std::pair{kParamUnit, summary_.unitText.toStdString()},
                                         std::pair{kParamRows, std::to_string(summary_.rows)}})
            if (Status s = store.writeParam(key, value); !s)
                return s.error();
        // The history first: should the records fail now, the readings are
        // kept, and importing again changes nothing there.
        if (summary_.archiveChannel) {
            if (Status s = archive.commit(); !s)
                return s.error();
            summary_.archived = archive.merged();
        }
        if (Status s = transaction->commit(); !s)
            return s.error();
        context_.progress(total_, total_);

        if (table) {
            table->lines_.shrink_to_fit();
            summary_.table = std::move(table);
        }
        return summary_;
    }

private:
    // Opens the change of the history this import makes, when it keeps one.
    Status beginArchive(store::Archive& archive, const QString& name) {
        if (!options_.archive)
            return {};
        summary_.archiveChannel =
            options_.channel ? options_.channel : store::channelOfFileName(name.toStdString());
        if (!summary_.archiveChannel)
            return {};
        if (Status s = archive.open(store::archivePathBeside(nativePath(options_.databasePath)));
            !s)
            return s;
        return archive.begin(options_.station.toStdString(), *summary_.archiveChannel,
                             name.toStdString());
    }

    Error noReadings() const {
        return makeError(Errc::NoReadings,
                         tr("no readings in %1; the database is unchanged", options_.logPath));
    }

    // Parses the rows after the header into batches for the writer; stops
    // early when the writer gives up.
    Status parseRows(QFile& file, LogTable* table, BatchQueue& queue) {
        Batch batch;
        batch.records.reserve(kBatchRows);
        bool header = true;
        bool abandoned = false;
        LineReader reader(file, table ? &table->text_ : nullptr, options_.wholeLinesOnly);
        Status read = reader.read(
            [&](std::string_view line, std::uint64_t offset) {
                if (header) {
                    header = false;
                    const std::optional<QString> unit = unitTextOfHeader(line);
                    summary_.unitText = unit.value_or(QString());
                    summary_.unitRefused = !unit;
                    return true;
                }
                if (line.empty())
                    return true;
                batch.records.push_back(parseRecord(line));
                if (table)
                    table->lines_.push_back({static_cast<std::uint32_t>(offset),
                                             static_cast<std::uint32_t>(line.size())});
                if (batch.records.size() < kBatchRows)
                    return true;
                batch.bytesDone = offset + line.size();
                if (!queue.push(std::move(batch))) {
                    abandoned = true;
                    return false;
                }
                batch = Batch();
                batch.records.reserve(kBatchRows);
                return true;
            },
            [&](std::uint64_t) { return !queue.abandoned(); });
        if (read && !abandoned && !batch.records.empty()) {
            batch.bytesDone = static_cast<std::uint64_t>(total_);
            queue.push(std::move(batch));
        }
        return read;
    }

    // The date order is a property of the file: the first line that shows it
    // decides for all, else the station's setting, else the locale.
    Status decideOrder(QFile& file) {
        DateOrder found = DateOrder::Undecided;
        bool header = true;
        LineReader reader(file, nullptr);
        Status s = reader.read(
            [&](std::string_view line, std::uint64_t) {
                if (header) {
                    header = false;
                    return true;
                }
                if (line.empty())
                    return true;
                sawReading_ = true;
                found = orderShownBy(line.substr(0, line.find(',')));
                return found == DateOrder::Undecided;
            },
            [&](std::uint64_t) { return !context_.cancelled(); });
        if (!s)
            return s;
        if (found == DateOrder::Undecided && options_.stationDateFormat)
            found = orderOfStationDateFormat(*options_.stationDateFormat);
        if (found == DateOrder::Undecided || found == DateOrder::YearFirst) {
            // Year-first files need no order; any day-month line in them is
            // read by the fallback.
            const DateOrder fallback = options_.fallbackOrder != DateOrder::Undecided
                                           ? options_.fallbackOrder
                                           : orderOfLocale(QLocale::system());
            order_ = fallback;
            summary_.dateOrder = found == DateOrder::YearFirst ? found : fallback;
        } else {
            order_ = found;
            summary_.dateOrder = found;
        }
        return {};
    }

    LogRecord parseRecord(std::string_view line) {
        Fields fields;
        if (!splitLine(line, fieldCount_, fields))
            ++summary_.wrongFieldCounts;
        LogRecord r;
        if (const std::optional<double> time = parseLogTime(fields[0], order_)) {
            r.time = *time;
            summary_.firstTime = std::min(summary_.firstTime.value_or(*time), *time);
            summary_.lastTime = std::max(summary_.lastTime.value_or(*time), *time);
        } else {
            r.time = 0.0;
            ++summary_.unreadableTimes;
        }
        r.temperature = temperature(fields[1]);
        r.humidity = humidity(fields[2]);
        if (!summary_.indoor) {
            r.dewPoint = temperature(fields[3]);
            r.heatIndex = temperature(fields[4]);
        }
        ++summary_.rows;
        return r;
    }

    float temperature(std::string_view field) {
        const std::optional<float> v = parseTemperatureField(field);
        if (!v && !field.empty())
            ++summary_.unreadableValues;
        return v.value_or(kNoValue);
    }

    std::int32_t humidity(std::string_view field) {
        const std::optional<std::int32_t> v = parseHumidityField(field);
        if (!v && !field.empty())
            ++summary_.unreadableValues;
        return v.value_or(kNoHumidity);
    }

    const ImportOptions& options_;
    const OperationContext& context_;
    ImportSummary summary_;
    std::int64_t total_ = 0;
    bool sawReading_ = false;
    int fieldCount_ = 5;
    DateOrder order_ = DateOrder::MonthFirst;
};

std::string_view LogTable::field(std::size_t row, int column) const {
    if (row >= lines_.size() || column < 0 || column >= fieldCount())
        return {};
    const Line& line = lines_[row];
    Fields fields;
    splitLine(std::string_view(text_).substr(line.start, line.length), fieldCount(), fields);
    return fields[static_cast<std::size_t>(column)];
}

std::optional<QString> unitTextOfHeader(std::string_view header) {
    const std::size_t first = header.find(',', header.empty() ? 0 : 1);
    if (first == std::string_view::npos)
        return QString();
    const std::size_t second = header.find(',', first + 1);
    if (second == std::string_view::npos)
        return QString();
    std::string_view field = header.substr(first + 1, second - first - 1);
    if (const std::size_t paren = field.find('('); paren != std::string_view::npos)
        field = field.substr(paren);
    // The header comes from the card: a unit part of any length or with
    // control characters in it would end up in every axis title.
    const auto control = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || (u >= 0x7f && u < 0xa0);
    };
    if (field.size() > kMaxUnitChars || std::any_of(field.begin(), field.end(), control))
        return std::nullopt;
    QString unit = QString::fromLatin1(field.data(), static_cast<qsizetype>(field.size()));
    unit.replace(QLatin1Char('C'), QStringLiteral("°C"));
    unit.replace(QLatin1Char('F'), QStringLiteral("°F"));
    return unit;
}

std::optional<float> parseTemperatureField(std::string_view field) {
    if (hasNoValueMark(field))
        return kNoValue;
    const std::string_view text = numberStart(field);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    // A number no float can hold is no reading (and converting it would be
    // undefined): it counts as unreadable.
    if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(FLT_MAX))
        return std::nullopt;
    return static_cast<float>(value);
}

std::optional<std::int32_t> parseHumidityField(std::string_view field) {
    if (hasNoValueMark(field))
        return kNoHumidity;
    const std::string_view text = numberStart(field);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

Result<ImportSummary> importLog(const ImportOptions& options, const OperationContext& context) {
    return LogImporter(options, context).run();
}

namespace {

Result<std::optional<ImportedLog>> readImportedLog(store::RecordStore& store) {
    Result<std::optional<std::string>> file = store.readParam(kParamLogFile);
    if (!file)
        return file.error();
    if (!*file)
        return std::optional<ImportedLog>();
    ImportedLog log;
    log.fileName = QString::fromStdString(**file);
    Result<std::optional<std::string>> unit = store.readParam(kParamUnit);
    if (!unit)
        return unit.error();
    log.unitText = QString::fromStdString(unit->value_or(std::string()));
    Result<std::optional<std::string>> rows = store.readParam(kParamRows);
    if (!rows)
        return rows.error();
    if (*rows)
        std::from_chars((*rows)->data(), (*rows)->data() + (*rows)->size(), log.rows);
    return std::optional<ImportedLog>(std::move(log));
}

} // namespace

Result<std::optional<ImportedLog>> importedLog(const QString& databasePath) {
    if (!QFile::exists(databasePath)) // nothing imported yet
        return std::optional<ImportedLog>();
    store::RecordStore store;
    if (Status s = store.openDatabase(nativePath(databasePath)); !s)
        return s.error();
    return readImportedLog(store);
}

Result<std::optional<ImportedLog>> forgetRecordsOf(const QString& databasePath,
                                                   const QString& fileName) {
    if (!QFile::exists(databasePath)) // nothing imported yet
        return std::optional<ImportedLog>();
    store::RecordStore store;
    if (Status s = store.openDatabase(nativePath(databasePath)); !s)
        return s.error();
    Result<store::Transaction> transaction = store.beginTransaction();
    if (!transaction)
        return transaction.error();
    Result<std::optional<ImportedLog>> held = readImportedLog(store);
    if (!held)
        return held.error();
    if (!*held || (*held)->fileName != fileName)
        return std::optional<ImportedLog>();
    if (Status s = store.clearTables(); !s)
        return s.error();
    if (Status s = transaction->commit(); !s)
        return s.error();
    return held;
}

std::unique_ptr<Operation<ImportSummary>> makeImportOperation(ImportOptions options) {
    return std::make_unique<Operation<ImportSummary>>(
        [options = std::move(options)](const OperationContext& context) {
            return importLog(options, context);
        });
}

} // namespace vellumet::sdcard
