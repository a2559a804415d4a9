#include "archive_commands.h"

#include "commands.h"
#include "data_dir.h"
#include "output.h"

#include "app/data_folder.h"
#include "app/data_folder_lock.h"
#include "sdcard/log_import.h"
#include "store/archive.h"
#include "store/automation_date.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <charconv>
#include <limits>
#include <ostream>

namespace vellumet::cli {

namespace {

std::string archivePath(const Invocation& inv) {
    return store::archivePathBeside(prepareDatabase(inv.options().dataDir));
}

} // namespace

int channelOf(store::Archive* archive, const std::string& text) {
    if (const std::optional<int> channel = store::parseChannel(text))
        return *channel;
    if (archive)
        if (Result<std::optional<int>> named = archive->channelNamed(text); named && *named)
            return **named;
    throw UsageError("--channel: '" + text +
                     "' is no channel (CH1 to CH8, IN, or a name given "
                     "with 'name')");
}

std::string shownName(store::Archive& archive, const std::string& station, int channel) {
    const Result<std::optional<std::string>> named = archive.name(station, channel);
    if (named && *named)
        return terminalText(**named);
    if (station != store::kUnknownStation)
        if (const Result<std::optional<std::string>> any =
                archive.name(store::kUnknownStation, channel);
            any && *any)
            return terminalText(**any);
    return store::channelName(channel);
}

namespace {

std::string number(double value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::string valueText(const store::ArchivedRow& r, store::SeriesColumn column) {
    const double v = store::seriesValue(r, column);
    return v == static_cast<double>(store::kNoValue) ? std::string() : number(v);
}

std::string jsonString(const std::string& text) {
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

// Rebuilds the history from the local copies in folder: into a new file
// beside it, which replaces the old one only once it is whole. Names and the
// station each file came from are taken over from the old history.
void rebuild(Invocation& inv, const std::string& database) {
    const QString folder = QFileInfo(app::fromNativePath(database)).absolutePath();
    const auto lock = app::DataFolderLock::acquire(folder, std::chrono::seconds(2), inv.stop());
    if (!lock)
        throw CommandError(lock.error().text());
    const std::string target = store::archivePathBeside(database);

    QTemporaryDir work(QDir(folder).filePath(QStringLiteral(".archive-rebuild-XXXXXX")));
    if (!work.isValid())
        throw CommandError("cannot make a folder for the rebuild in " + folder.toStdString());
    const QString scratchDb = app::databasePath(work.path());
    {
        QFile empty(scratchDb);
        if (!empty.open(QIODevice::WriteOnly))
            throw CommandError("cannot make " + scratchDb.toStdString());
    }
    const std::string fresh = store::archivePathBeside(QFile::encodeName(scratchDb).toStdString());

    // The old history tells which station each file came from.
    auto old = std::make_unique<store::Archive>();
    const bool hadOld = QFileInfo::exists(app::fromNativePath(target)) && old->open(target);

    // Oldest copies first: where two copies differ, the newer one's readings stay.
    QFileInfoList copies = QDir(folder).entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    std::int64_t files = 0, rows = 0;
    for (const QFileInfo& copy : copies) {
        const std::string name = copy.fileName().toStdString();
        if (copy.suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) != 0)
            continue;
        if (!store::channelOfFileName(name))
            continue;
        sdcard::ImportOptions options;
        options.logPath = copy.absoluteFilePath();
        options.databasePath = scratchDb;
        if (hadOld)
            if (Result<std::optional<std::string>> station = old->stationOfFile(name);
                station && *station)
                options.station = QString::fromStdString(**station);
        const Result<sdcard::ImportSummary> done =
            sdcard::importLog(options, OperationContext(inv.stop(), {}));
        if (!done) {
            if (done.code() == Errc::Cancelled || inv.interrupted())
                throw CommandError("interrupted; the history is as before");
            inv.err() << kProgramName << ": note: " << name << " left out: " << done.error().text()
                      << '\n';
            continue;
        }
        ++files;
        rows += done->archived ? done->archived->added + done->archived->changed : 0;
    }
    if (hadOld) {
        store::Archive built;
        if (Status s = built.open(fresh); !s)
            throw CommandError(s.error().text());
        if (Status s = built.copyNamesFrom(target); !s)
            throw CommandError(s.error().text());
    }
    old.reset();
    if (!QFileInfo::exists(app::fromNativePath(fresh))) {
        store::Archive empty;
        if (Status s = empty.open(fresh); !s)
            throw CommandError(s.error().text());
    }
    if (std::rename(fresh.c_str(), target.c_str()) != 0)
        throw CommandError("cannot put the rebuilt history in place of " + target);
    inv.err() << kProgramName << ": rebuilt the history from " << countText(files, "file", "files")
              << ", " << countText(rows, "reading", "readings") << '\n';
}

} // namespace

std::optional<int> importChannelOption(std::vector<std::string>& args) {
    std::optional<int> channel;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        std::size_t taken = 1;
        if (arg == "--channel") {
            if (i + 1 >= args.size())
                throw UsageError("--channel needs a value");
            value = args[i + 1];
            taken = 2;
        } else if (arg.starts_with("--channel="))
            value = arg.substr(10);
        else
            continue;
        channel = channelOf(nullptr, value);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + taken));
        --i;
    }
    return channel;
}

std::string importArchiveText(const sdcard::ImportSummary& s) {
    if (!s.archived)
        return "Archive: --\n";
    return "Archive: " + store::channelName(*s.archiveChannel) + ", " +
           std::to_string(s.archived->added) + " new, " + std::to_string(s.archived->changed) +
           " changed, " + std::to_string(s.archived->unchanged) + " already held\n";
}

QJsonValue importArchiveJson(const sdcard::ImportSummary& s) {
    if (!s.archived)
        return QJsonValue();
    return QJsonObject{{"channel", QString::fromStdString(store::channelName(*s.archiveChannel))},
                       {"added", static_cast<qint64>(s.archived->added)},
                       {"changed", static_cast<qint64>(s.archived->changed)},
                       {"unchanged", static_cast<qint64>(s.archived->unchanged)}};
}

int runArchive(Invocation& inv) {
    bool rebuildWanted = false;
    for (const std::string& arg : inv.args()) {
        if (arg == "--rebuild")
            rebuildWanted = true;
        else
            throw UsageError("archive: unknown argument '" + arg + "'");
    }
    const std::string database = prepareDatabase(inv.options().dataDir);
    if (rebuildWanted)
        rebuild(inv, database);
    store::Archive archive;
    if (Status s = archive.open(store::archivePathBeside(database)); !s)
        throw CommandError(s.error().text());
    Result<std::vector<store::ChannelHistory>> channels = archive.channels();
    if (!channels)
        throw CommandError(channels.error().text());

    std::string out;
    switch (inv.format()) {
    case Format::Text:
        out += "Station   Channel  First                Last                      Rows  Files  "
               "Gaps\n";
        for (const store::ChannelHistory& h : *channels) {
            const std::string station = terminalText(h.station);
            out += station + std::string(station.size() < 10 ? 10 - station.size() : 1, ' ');
            const std::string name = shownName(archive, h.station, h.channel);
            out += name + std::string(displayWidth(name) < 9 ? 9 - displayWidth(name) : 1, ' ');
            out += store::formatDateTime(h.first) + "  " + store::formatDateTime(h.last) + "  " +
                   rightAligned(std::to_string(h.rows), 10) + "  " +
                   rightAligned(std::to_string(h.files), 5) + "  " +
                   rightAligned(std::to_string(h.gaps.size()), 4) + '\n';
        }
        break;
    case Format::Json: {
        QJsonArray list;
        for (const store::ChannelHistory& h : *channels) {
            QJsonArray gaps;
            for (const auto& [from, to] : h.gaps)
                gaps.append(
                    QJsonObject{{"from", QString::fromStdString(store::formatDateTime(from))},
                                {"to", QString::fromStdString(store::formatDateTime(to))}});
            list.append(QJsonObject{
                {"station", QString::fromStdString(h.station)},
                {"channel", QString::fromStdString(store::channelName(h.channel))},
                {"name", QString::fromStdString(shownName(archive, h.station, h.channel))},
                {"first", QString::fromStdString(store::formatDateTime(h.first))},
                {"last", QString::fromStdString(store::formatDateTime(h.last))},
                {"rows", static_cast<qint64>(h.rows)},
                {"files", static_cast<qint64>(h.files)},
                {"intervalSeconds", static_cast<qint64>(h.intervalSeconds)},
                {"gaps", gaps}});
        }
        out = jsonText(QJsonObject{{"channels", list}}, false);
        break;
    }
    case Format::Csv:
        out += "station,channel,name,first,last,rows,files,gaps\n";
        for (const store::ChannelHistory& h : *channels)
            out += csvField(h.station) + ',' + store::channelName(h.channel) + ',' +
                   csvField(shownName(archive, h.station, h.channel)) + ',' +
                   store::formatDateTime(h.first) + ',' + store::formatDateTime(h.last) + ',' +
                   std::to_string(h.rows) + ',' + std::to_string(h.files) + ',' +
                   std::to_string(h.gaps.size()) + '\n';
        break;
    }
    inv.output = std::move(out);
    return kExitOk;
}

int runName(Invocation& inv) {
    std::vector<std::string> args = inv.args();
    std::string station;
    for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i] == "--station" || args[i].starts_with("--station=")) {
            const bool joined = args[i].size() > 9;
            if (!joined && i + 1 >= args.size())
                throw UsageError("--station needs a value");
            station = joined ? args[i].substr(10) : args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i + (joined ? 1 : 2)));
            --i;
        }
    if (args.empty() || args.size() > 2)
        throw UsageError("name needs a channel and a name (an empty name removes it)");
    const std::optional<int> channel = store::parseChannel(args[0]);
    if (!channel)
        throw UsageError("'" + args[0] + "' is no channel (CH1 to CH8 or IN)");
    const std::string name = args.size() == 2 ? args[1] : std::string();
    if (name.size() > 64)
        throw UsageError("a channel name has at most 64 bytes");
    if (store::parseChannel(name))
        throw UsageError("'" + name + "' is a channel's own name");
    store::Archive archive;
    if (Status s = archive.open(archivePath(inv)); !s)
        throw CommandError(s.error().text());
    if (Status s = archive.setName(station, *channel, name); !s)
        throw CommandError(s.error().text());
    return kExitOk;
}

int runArchiveRecords(Invocation& inv) {
    std::vector<std::string> args;
    std::vector<std::string> channelTexts;
    double from = std::numeric_limits<double>::lowest();
    double to = std::numeric_limits<double>::max();
    std::optional<store::SeriesColumn> only;
    OptionReader words(inv.args());
    while (words.next()) {
        const std::string& arg = words.arg();
        if (arg == "--archive")
            continue;
        const std::string name = words.name();
        if (name != "--from" && name != "--to" && name != "--column" && name != "--channel")
            throw UsageError("records: unknown argument '" + arg + "'");
        const std::string value = words.value();
        if (name == "--from")
            from = parseTimeOption(value, name);
        else if (name == "--to")
            to = parseTimeOption(value, name);
        else if (name == "--channel")
            channelTexts.push_back(value);
        else if (name == "--column") {
            Result<store::SeriesColumn> column = store::parseSeriesColumn(value);
            if (!column)
                throw UsageError("--column: " + column.error().text());
            only = *column;
        } else
            throw UsageError("records: unknown argument '" + arg + "'");
    }
    if (channelTexts.empty())
        throw UsageError("records --archive needs --channel NAME");
    if (from > to)
        throw UsageError("Time Error: --from is later than --to");

    store::Archive archive;
    if (Status s = archive.open(archivePath(inv)); !s)
        throw CommandError(s.error().text());
    std::vector<int> channels;
    std::vector<std::string> labels;
    for (const std::string& text : channelTexts) {
        channels.push_back(channelOf(&archive, text));
        labels.push_back(shownName(archive, store::kUnknownStation, channels.back()));
    }
    std::vector<store::SeriesColumn> columns;
    if (only)
        columns.push_back(*only);
    else
        columns = {store::SeriesColumn::Temperature, store::SeriesColumn::Humidity,
                   store::SeriesColumn::DewPoint, store::SeriesColumn::Heatindex};

    std::vector<std::unique_ptr<store::ArchiveCursor>> cursors;
    for (int channel : channels) {
        Result<std::unique_ptr<store::ArchiveCursor>> cursor = archive.cursor(channel, from, to);
        if (!cursor)
            throw CommandError(cursor.error().text());
        cursors.push_back(std::move(*cursor));
    }
    std::vector<std::optional<store::ArchivedRow>> heads(cursors.size());
    const auto advance = [&](std::size_t i) {
        Result<std::optional<store::ArchivedRow>> next = cursors[i]->next();
        if (!next)
            throw CommandError(next.error().text());
        heads[i] = *next;
    };
    for (std::size_t i = 0; i < cursors.size(); ++i)
        advance(i);

    // One line per time, a group of columns per channel; streamed, so that a
    // history of any length prints in constant memory.
    const bool several = channels.size() > 1;
    const char separator = inv.format() == Format::Csv ? ',' : '\t';
    std::ostream& out = inv.out();
    std::string line;
    if (inv.format() != Format::Json) {
        line = "time";
        for (std::size_t c = 0; c < channels.size(); ++c)
            for (store::SeriesColumn column : columns)
                line +=
                    separator +
                    (several ? (inv.format() == Format::Csv ? csvField(labels[c]) : labels[c]) + ' '
                             : std::string()) +
                    jsonKey(column);
        out << line << '\n';
    } else
        out << "[";
    std::int64_t count = 0;
    for (;;) {
        if (inv.interrupted())
            throw CommandError("interrupted");
        std::optional<double> time;
        for (const auto& head : heads)
            if (head && (!time || head->time < *time))
                time = head->time;
        if (!time)
            break;
        if (inv.format() == Format::Json) {
            line = count ? ",\n  {" : "\n  {";
            line += "\"time\": \"" + store::formatDateTime(*time) + '"';
        } else
            line = store::formatDateTime(*time);
        for (std::size_t c = 0; c < heads.size(); ++c) {
            const bool here = heads[c] && heads[c]->time == *time;
            for (store::SeriesColumn column : columns) {
                const std::string v = here ? valueText(*heads[c], column) : std::string();
                if (inv.format() == Format::Json)
                    line +=
                        ", " +
                        jsonString((several ? labels[c] + ' ' : std::string()) + jsonKey(column)) +
                        ": " + (v.empty() ? "null" : v);
                else
                    line += separator + v;
            }
            if (here)
                advance(c);
        }
        if (inv.format() == Format::Json)
            line += '}';
        else
            line += '\n';
        out << line;
        ++count;
    }
    if (inv.format() == Format::Json)
        out << (count ? "\n]\n" : "]\n");
    out.flush();
    return kExitOk;
}

} // namespace vellumet::cli
