#include "card_files.h"

#include "device/card_frames.h"
#include "device/station_link.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace vellumet::sdcard {

namespace {

// Files the program keeps in the data folder itself: a card file of that name
// would overwrite them. Compared without regard to case, as the file systems
// of Windows and macOS do.
constexpr std::array kOwnFiles = {"7421.mdb",     "main.ini",     "7421.mdb-journal",
                                  "7421.mdb-wal", "7421.mdb-shm", "vellumet.lock"};

bool isOwnFile(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return std::find(kOwnFiles.begin(), kOwnFiles.end(), lower) != kOwnFiles.end();
}

// Bytes before the first zero byte of a report.
std::string_view reportText(const Block& report, std::size_t received) {
    const std::size_t n = std::min(received, report.size());
    const auto* bytes = reinterpret_cast<const char*>(report.data());
    const void* nul = std::memchr(bytes, 0, n);
    return {bytes, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : n};
}

// A problem in the user's language; the command line loads no translation
// and so reports in English.
QString tr(const char* source) {
    return QCoreApplication::translate("CardFiles", source);
}

} // namespace

QString sizeText(std::int64_t bytes) {
    if (bytes < 0)
        return QStringLiteral("--");
    if (bytes <= 1048576)
        return QString::asprintf("%0.2f KB", static_cast<double>(bytes) / 1024.0);
    return QString::asprintf("%0.2f MB", static_cast<double>(bytes) / 1024.0 / 1024.0);
}

QString nameProblem(std::string_view name) {
    if (name.empty())
        return tr("the station listed a file without a name");
    const QString shown = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    if (name == "." || name == "..")
        return tr("the name \"%1\" is not a file name").arg(shown);
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return tr("the name holds control characters");
        if (c == '/' || c == '\\' || c == ':')
            return tr("the name \"%1\" holds a folder or drive separator").arg(shown);
    }
    if (isOwnFile(name))
        return tr("the name \"%1\" is one of the program's own files").arg(shown);
    if (name.size() > kMaxDeleteNameBytes)
        // Both at once, so that a name holding "%2" stays as it is.
        return tr("the name \"%1\" is longer than %2 characters")
            .arg(shown, QString::number(kMaxDeleteNameBytes));
    return {};
}

QString readNameProblem(std::string_view name) {
    if (name.size() > kMaxReadNameBytes)
        return tr("the name is longer than the %1 characters a read request can carry")
            .arg(kMaxReadNameBytes);
    return {};
}

std::optional<CardEntry> parseFileLine(const Block& report, std::size_t received) {
    const std::string_view text = reportText(report, received);
    if (text.substr(0, 3) == "{@}")
        return std::nullopt;
    CardEntry entry;
    const std::size_t comma = text.find(',');
    const std::size_t nameEnd = comma == std::string_view::npos ? text.size() : comma;
    entry.rawName = std::string(text.substr(std::min<std::size_t>(1, nameEnd),
                                            nameEnd - std::min<std::size_t>(1, nameEnd)));
    entry.name =
        QString::fromLatin1(entry.rawName.data(), static_cast<qsizetype>(entry.rawName.size()));
    if (comma == std::string_view::npos || comma + 5 > std::min(received, report.size())) {
        entry.problem = tr("the station sent a list line without a size");
        entry.sizeText = sizeText(-1);
        return entry;
    }
    // Four bytes after the comma, big-endian; taken unsigned, as a card file
    // cannot have a negative size.
    std::uint32_t size = 0;
    for (std::size_t i = 1; i <= 4; ++i)
        size = size << 8 | report[comma + i];
    entry.size = size;
    entry.sizeText = sizeText(entry.size);
    entry.problem = nameProblem(entry.rawName);
    entry.readProblem = readNameProblem(entry.rawName);
    return entry;
}

Result<CardListing> requestFileList(StationLink& link, std::stop_token stop) {
    // Filled on the reader thread while stream() waits, read here after it
    // returned; the link hands the consumer over under its dispatch lock, and
    // the mutex makes that explicit.
    struct Shared {
        std::mutex mutex;
        CardListing listing;
    } shared;
    const StreamConsumer consumer = [&shared](const Block& report, std::size_t received) {
        std::optional<CardEntry> entry = parseFileLine(report, received);
        std::lock_guard lock(shared.mutex);
        if (!entry) {
            shared.listing.complete = true;
            return StreamStep::Complete;
        }
        shared.listing.entries.push_back(std::move(*entry));
        return StreamStep::More;
    };
    const Status status = link.stream(fileListRequest(), ResponseKind::FileList,
                                      query::FileList.timing, consumer, std::move(stop));
    std::lock_guard lock(shared.mutex);
    if (!status && status.code() != Errc::Timeout && shared.listing.entries.empty())
        return status.error();
    return std::move(shared.listing);
}

const CardEntry* findEntry(const CardListing& listing, const QString& name) {
    const auto it = std::find_if(listing.entries.rbegin(), listing.entries.rend(),
                                 [&](const CardEntry& e) { return e.name == name; });
    return it == listing.entries.rend() ? nullptr : &*it;
}

Status deleteCardFile(StationLink& link, const CardEntry& entry, std::stop_token stop) {
    if (!entry.usable())
        return makeError(Errc::InvalidInput, "cannot delete \"" + entry.name.toStdString() +
                                                 "\": " + entry.problem.toStdString());
    Result<CommandFrame> frame = fileDeleteRequest(entry.name.toStdString());
    if (!frame)
        return frame.error();
    const CommandFrame frames[] = {*frame};
    return link.sendWithoutAnswer(frames, query::DeleteFile.timing, std::move(stop));
}

} // namespace vellumet::sdcard
