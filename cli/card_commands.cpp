#include "commands.h"
#include "data_dir.h"
#include "output.h"
#include "terminal.h"

#include "app/data_folder.h"
#include "app/data_folder_lock.h"
#include "device/station_blocks.h"
#include "sdcard/card_transfer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace vellumet::cli {

namespace {

// What the data folder holds of a card file.
struct LocalCopy {
    bool exists = false;
    std::int64_t cardBytes = 0; // card bytes the copy holds
};

LocalCopy localCopyOf(const QString& dataDir, const sdcard::CardEntry& entry) {
    if (!entry.usable())
        return {};
    const QString path = QDir(dataDir).filePath(entry.name);
    if (!QFile::exists(path))
        return {};
    Result<sdcard::LocalCopyState> state = sdcard::inspectLocalCopy(path);
    return state ? LocalCopy{true, state->cardBytes()} : LocalCopy{true, -1};
}

std::string localText(const sdcard::CardEntry& entry, const LocalCopy& copy) {
    if (!entry.usable())
        return "unusable: " + entry.problem.toStdString();
    if (!copy.exists)
        return "--";
    if (copy.cardBytes < 0)
        return "unreadable";
    if (copy.cardBytes == entry.size)
        return "complete";
    return std::to_string(copy.cardBytes) + " of " + std::to_string(entry.size) + " bytes";
}

sdcard::CardListing listCard(Invocation& inv) {
    Result<sdcard::CardListing> listing = sdcard::requestFileList(inv.station(), inv.stop());
    if (inv.interrupted())
        throw CommandError("interrupted");
    if (!listing)
        fail(listing.error());
    if (!listing->complete)
        inv.err() << kProgramName
                  << ": note: the station did not finish its file list; the list may be short\n"
                  << std::flush;
    return std::move(*listing);
}

std::string displayName(const sdcard::CardEntry& entry) {
    return terminalText(entry.name.toStdString());
}

// How long a command waits for another writer of the data folder to finish.
constexpr std::chrono::milliseconds kLockWait{2000};

std::unique_ptr<app::DataFolderLock> lockDataFolder(Invocation& inv, const QString& dataDir) {
    auto lock = app::DataFolderLock::acquire(dataDir, kLockWait, inv.stop());
    if (!lock && lock.code() == Errc::Cancelled)
        throw CommandError("interrupted");
    if (!lock)
        throw CommandError(lock.error().text());
    return std::move(*lock);
}

std::string shownPath(const QString& path) {
    return terminalText(QDir::toNativeSeparators(path).toStdString());
}

// What became of an old local copy that did not fit the card file.
std::string oldCopyText(const sdcard::TransferOutcome& t) {
    switch (t.oldCopy) {
    case sdcard::OldCopy::None:
        return {};
    case sdcard::OldCopy::Longer:
        return "the local copy was longer than the card file; it was kept as " +
               shownPath(t.keptAs) + " and the file fetched anew";
    case sdcard::OldCopy::Differs:
        return "the local copy differed from the card file; it was kept as " + shownPath(t.keptAs) +
               " and the file fetched anew";
    }
    return {};
}

std::string oldCopyJson(sdcard::OldCopy old) {
    switch (old) {
    case sdcard::OldCopy::None:
        break;
    case sdcard::OldCopy::Longer:
        return "longer";
    case sdcard::OldCopy::Differs:
        return "differs";
    }
    return {};
}

// Reads the answer to a question on the terminal, a line at most, giving up
// when the command is asked to stop (Ctrl-C, SIGTERM).
std::string askLine(Invocation& inv) {
    std::string answer;
    for (;;) {
        if (inv.interrupted())
            throw CommandError("interrupted; nothing deleted");
        pollfd in{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&in, 1, 100);
        if (ready < 0 && errno != EINTR)
            throw CommandError("cannot read the answer: " + std::string(std::strerror(errno)));
        if (ready <= 0)
            continue;
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            return answer;
        answer += c;
    }
}

// A bar on standard error, redrawn when the percentage changes.
class FetchBar {
public:
    FetchBar(bool shown, std::string label) : shown_(shown), label_(std::move(label)) {}
    ~FetchBar() {
        if (shown_ && drawn_)
            std::fputs("\r\033[K", stderr);
    }
    void update(std::int64_t done, std::int64_t total) {
        if (!shown_)
            return;
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent == percent_)
            return;
        percent_ = percent;
        drawn_ = true;
        const int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(),
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(30 - filled), ' ').c_str(), percent);
        std::fflush(stderr);
    }

private:
    bool shown_;
    std::string label_;
    bool drawn_ = false;
    int percent_ = -1;
};

struct FetchArgs {
    std::vector<std::string> names;
    bool all = false;
    bool import = true;
};

FetchArgs parseFetchArguments(const std::vector<std::string>& args) {
    FetchArgs parsed;
    for (const std::string& arg : args) {
        if (arg == "--all")
            parsed.all = true;
        else if (arg == "--no-import")
            parsed.import = false;
        else if (arg.starts_with("--"))
            throw UsageError("fetch: unknown option '" + arg + "'");
        else
            parsed.names.push_back(arg);
    }
    if (parsed.all == !parsed.names.empty())
        throw UsageError("fetch needs file names or --all, not both");
    return parsed;
}

struct Fetched {
    std::string name;
    sdcard::FetchOutcome outcome;
};

std::string fetchedText(const Fetched& f) {
    const auto& t = f.outcome.transfer;
    std::string text =
        terminalText(f.name) + ": " + std::to_string(t.held - t.startedAt) + " bytes fetched";
    if (t.restarted())
        text += " (" + oldCopyText(t) + ")";
    else if (t.startedAt > 0)
        text += " (resumed at byte " + std::to_string(t.startedAt) + ")";
    text += ", " + std::to_string(t.held) + " of " + std::to_string(t.cardSize) + " held";
    if (f.outcome.import)
        text += ", " + countText(f.outcome.import->rows, "row", "rows") + " imported";
    else if (f.outcome.importFailure)
        text += ", no readings to import (the records are as they were)";
    return text + '\n';
}

QJsonObject fetchedJson(const Fetched& f) {
    const auto& t = f.outcome.transfer;
    QJsonObject o{
        {"name", QString::fromStdString(f.name)},
        {"bytes", static_cast<qint64>(t.cardSize)},
        {"startedAt", static_cast<qint64>(t.startedAt)},
        {"fetched", static_cast<qint64>(t.held - t.startedAt)},
        {"held", static_cast<qint64>(t.held)},
        {"restarted", t.restarted()},
        {"localPath", QDir::toNativeSeparators(t.localPath)},
    };
    if (t.restarted()) {
        o["oldCopy"] = QString::fromStdString(oldCopyJson(t.oldCopy));
        o["oldCopyKeptAs"] = QDir::toNativeSeparators(t.keptAs);
    }
    o["rows"] =
        f.outcome.import ? QJsonValue(static_cast<qint64>(f.outcome.import->rows)) : QJsonValue();
    return o;
}

std::string fetchedCsv(const Fetched& f) {
    const auto& t = f.outcome.transfer;
    return csvField(f.name) + ',' + std::to_string(t.cardSize) + ',' + std::to_string(t.startedAt) +
           ',' + std::to_string(t.held - t.startedAt) + ',' + std::to_string(t.held) + ',' +
           (t.restarted() ? "true" : "false") + ',' +
           (f.outcome.import ? std::to_string(f.outcome.import->rows) : std::string()) + '\n';
}

} // namespace

int runFiles(Invocation& inv) {
    if (!inv.args().empty())
        throw UsageError("files takes no arguments, got '" + inv.args().front() + "'");
    const QString dataDir = app::fromNativePath(prepareDataDir(inv.options().dataDir));
    const sdcard::CardListing listing = listCard(inv);
    switch (inv.format()) {
    case Format::Text: {
        std::string text = "Name                      Bytes  Size         Local copy\n";
        for (const sdcard::CardEntry& e : listing.entries) {
            std::string name = displayName(e);
            if (name.size() < 20)
                name += std::string(20 - name.size(), ' ');
            std::string bytes = e.size < 0 ? "--" : std::to_string(e.size);
            bytes.insert(0, bytes.size() < 11 ? 11 - bytes.size() : 0, ' ');
            std::string size = e.sizeText.toStdString();
            size += std::string(size.size() < 11 ? 11 - size.size() : 0, ' ');
            text += name + ' ' + bytes + "  " + size + "  " +
                    localText(e, localCopyOf(dataDir, e)) + '\n';
        }
        inv.output = text;
        break;
    }
    case Format::Json: {
        QJsonArray files;
        for (const sdcard::CardEntry& e : listing.entries) {
            const LocalCopy copy = localCopyOf(dataDir, e);
            QJsonObject o{
                {"name", e.name},
                {"bytes", e.size < 0 ? QJsonValue() : QJsonValue(qint64{e.size})},
                {"size", e.sizeText},
                {"usable", e.usable()},
                {"local", copy.exists},
                {"localBytes", copy.exists ? QJsonValue(qint64{copy.cardBytes}) : QJsonValue()}};
            if (!e.usable())
                o["problem"] = e.problem;
            files.append(o);
        }
        inv.output = jsonText(QJsonObject{{"files", files}, {"complete", listing.complete}}, false);
        break;
    }
    case Format::Csv: {
        std::string text = "name,bytes,size,local,localBytes,problem\n";
        for (const sdcard::CardEntry& e : listing.entries) {
            const LocalCopy copy = localCopyOf(dataDir, e);
            text += csvField(e.name.toStdString()) + ',' +
                    (e.size < 0 ? std::string() : std::to_string(e.size)) + ',' +
                    csvField(e.sizeText.toStdString()) + ',' + (copy.exists ? "true" : "false") +
                    ',' + (copy.exists ? std::to_string(copy.cardBytes) : std::string()) + ',' +
                    csvField(e.problem.toStdString()) + '\n';
        }
        inv.output = text;
        break;
    }
    }
    return kExitOk;
}

int runFetch(Invocation& inv) {
    const FetchArgs args = parseFetchArguments(inv.args());
    const QString dataDir = app::fromNativePath(prepareDataDir(inv.options().dataDir));
    const auto lock = lockDataFolder(inv, dataDir);
    if (args.import)
        prepareDatabase(inv.options().dataDir);
    StationLink& link = inv.station();
    const sdcard::CardListing listing = listCard(inv);

    std::vector<const sdcard::CardEntry*> chosen;
    std::vector<std::string> refused;
    if (args.all) {
        for (const sdcard::CardEntry& e : listing.entries) {
            if (e.readable())
                chosen.push_back(&e);
            else
                refused.push_back(displayName(e) + ": " +
                                  (e.usable() ? e.readProblem : e.problem).toStdString());
        }
    } else {
        for (const std::string& name : args.names) {
            const sdcard::CardEntry* e = sdcard::findEntry(listing, QString::fromStdString(name));
            if (!e)
                throw CommandError("the card has no file '" + terminalText(name) + "'");
            if (!e->readable())
                throw CommandError("cannot fetch '" + terminalText(name) + "': " +
                                   (e->usable() ? e->readProblem : e->problem).toStdString());
            chosen.push_back(e);
        }
    }

    const bool showBar = progressBarWanted(inv.err());
    std::vector<Fetched> done;
    for (const sdcard::CardEntry* entry : chosen) {
        sdcard::FetchRequest request;
        request.transfer.entry = *entry;
        request.transfer.dataFolder = dataDir;
        request.import = args.import;
        request.databasePath = app::databasePath(dataDir);
        auto operation = sdcard::makeFetchOperation(link, request);
        FetchBar bar(showBar, "Fetching " + displayName(*entry));
        operation->onProgress([&](std::int64_t at, std::int64_t total) {
            if (inv.interrupted())
                operation->cancel();
            bar.update(at, total);
        });
        Result<sdcard::FetchOutcome> result = operation->run();
        if (!result)
            throw CommandError(displayName(*entry) + ": " + result.error().text());
        const sdcard::TransferOutcome& t = result->transfer;
        if (t.chunkFailure) {
            std::string message = displayName(*entry) +
                                  ": the transfer failed: " + t.chunkFailure->text() + "; " +
                                  std::to_string(t.held) + " of " + std::to_string(t.cardSize) +
                                  " bytes are kept in " + shownPath(t.localPath) +
                                  ", and fetching it again goes on from there";
            if (t.restarted())
                message += " (" + oldCopyText(t) + ")";
            if (result->import)
                message += "; the records were replaced by the whole lines that arrived: " +
                           std::to_string(result->import->rows) + " rows now stand in the database";
            else if (result->importFailure)
                message += "; their import failed as well, so the records are as they were: " +
                           result->importFailure->text();
            throw CommandError(message);
        }
        // A log without readings leaves the records as they are; its copy is
        // whole, so that is no failure of the fetch.
        if (result->importFailure && result->importFailure->code != Errc::NoReadings)
            throw CommandError(displayName(*entry) + " was fetched, but its import failed: " +
                               result->importFailure->text());
        done.push_back({entry->name.toStdString(), std::move(*result)});
    }
    if (!refused.empty()) {
        std::string message = std::to_string(refused.size()) + " file(s) cannot be fetched:";
        for (const std::string& r : refused)
            message += "\n  " + r;
        throw CommandError(message + "\n(the other " + std::to_string(done.size()) +
                           " file(s) were fetched)");
    }

    switch (inv.format()) {
    case Format::Text:
        for (const Fetched& f : done)
            inv.output += fetchedText(f);
        break;
    case Format::Json: {
        QJsonArray files;
        for (const Fetched& f : done)
            files.append(fetchedJson(f));
        inv.output = jsonText(QJsonObject{{"fetched", files}}, false);
        break;
    }
    case Format::Csv:
        inv.output = "name,bytes,startedAt,fetched,held,restarted,rows\n";
        for (const Fetched& f : done)
            inv.output += fetchedCsv(f);
        break;
    }
    return kExitOk;
}

int runDelete(Invocation& inv) {
    std::string name;
    bool yes = false;
    for (const std::string& arg : inv.args()) {
        if (arg == "--yes")
            yes = true;
        else if (arg.starts_with("--"))
            throw UsageError("delete: unknown option '" + arg + "'");
        else if (!name.empty())
            throw UsageError("delete takes one file name");
        else
            name = arg;
    }
    if (name.empty())
        throw UsageError("delete needs a file name");
    const QString dataDir = app::fromNativePath(prepareDataDir(inv.options().dataDir));
    std::unique_ptr<app::DataFolderLock> lock;
    if (yes)
        lock = lockDataFolder(inv, dataDir);
    const sdcard::CardListing listing = listCard(inv);
    const sdcard::CardEntry* entry = sdcard::findEntry(listing, QString::fromStdString(name));
    if (!entry)
        throw CommandError("the card has no file '" + terminalText(name) + "'");
    if (!entry->usable())
        throw CommandError("cannot delete '" + terminalText(name) +
                           "': " + entry->problem.toStdString());
    if (!yes) {
        if (!isatty(STDIN_FILENO))
            throw UsageError("delete asks before it deletes; give --yes when no one can answer");
        inv.err() << "Delete " << displayName(*entry) << " on the card and its local copy? [y/N] "
                  << std::flush;
        const std::string answer = askLine(inv);
        if (answer != "y" && answer != "Y" && answer != "yes")
            throw CommandError("nothing deleted");
        // Not held while the question waits: no one else is kept from writing meanwhile.
        lock = lockDataFolder(inv, dataDir);
    }
    if (Status sent = sdcard::deleteCardFile(inv.station(), *entry, inv.stop()); !sent)
        fail(sent.error());
    const QString local = QDir(dataDir).filePath(entry->name);
    bool localRemoved = false;
    if (QFile::exists(local)) {
        if (!QFile::remove(local))
            throw CommandError("the card file was deleted, but its local copy " +
                               QDir::toNativeSeparators(local).toStdString() +
                               " could not be removed");
        localRemoved = true;
    }
    // The records go with the file only when they are its readings.
    const Result<std::optional<sdcard::ImportedLog>> forgotten =
        sdcard::forgetRecordsOf(app::databasePath(dataDir), entry->name);
    if (!forgotten)
        throw CommandError("the card file was deleted, but its readings could not be removed "
                           "from the record database: " +
                           forgotten.error().text());
    const std::int64_t recordsRemoved = *forgotten ? (*forgotten)->rows : 0;
    const bool recordsCleared = forgotten->has_value();
    switch (inv.format()) {
    case Format::Text:
        inv.output = "Deleted " + displayName(*entry) + " on the card" +
                     (localRemoved ? " and its local copy" : "") + '\n';
        if (recordsCleared)
            inv.output += "Removed its " + std::to_string(recordsRemoved) +
                          " readings from the record database\n";
        break;
    case Format::Json:
        inv.output = jsonText(QJsonObject{{"deleted", entry->name},
                                          {"localCopyRemoved", localRemoved},
                                          {"recordsCleared", recordsCleared},
                                          {"recordsRemoved", qint64(recordsRemoved)}},
                              false);
        break;
    case Format::Csv:
        inv.output = "deleted,localCopyRemoved,recordsCleared,recordsRemoved\n" +
                     csvField(entry->name.toStdString()) + ',' + (localRemoved ? "true" : "false") +
                     ',' + (recordsCleared ? "true" : "false") + ',' +
                     std::to_string(recordsRemoved) + '\n';
        break;
    }
    return kExitOk;
}

} // namespace vellumet::cli
