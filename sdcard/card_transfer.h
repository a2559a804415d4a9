#pragma once

#include "card_files.h"
#include "core/operation.h"
#include "core/result.h"
#include "log_import.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace vellumet {
class StationLink;
}

namespace vellumet::sdcard {

// Bytes of the card file asked for by one read request.
inline constexpr std::int64_t kChunkBytes = 4096;

// What a local copy holds. The copy stores every line feed of the card file
// as carriage return plus line feed, so it holds bytes − lineFeeds card bytes.
struct LocalCopyState {
    std::int64_t bytes = 0;
    std::int64_t lineFeeds = 0;
    std::int64_t cardBytes() const { return bytes - lineFeeds; }
};

// Measures a local copy; a copy that does not exist holds nothing. Io when it
// cannot be read or is not a regular file.
Result<LocalCopyState> inspectLocalCopy(const QString& path);

// Where a transfer starts: at what the copy holds, or from the beginning of
// a fresh copy when the copy holds more than the card file (it cannot be a
// part of it).
struct ResumePlan {
    std::int64_t start = 0;
    bool restart = false;
};
ResumePlan planResume(std::int64_t cardBytesHeld, std::int64_t cardSize);

// One read request: bytes start to end (exclusive) of the card file.
struct ChunkRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool last = false;
    std::int64_t expected() const { return end - start; }
};
ChunkRange chunkAt(std::int64_t start, std::int64_t cardSize);

// Appends card content to a local copy, one content report at a time, each
// line feed written as carriage return plus line feed and each report handed
// to the file system before the next, so that an unplug or a crash leaves
// only whole reports in it.
class LocalCopyWriter {
public:
    static Result<std::unique_ptr<LocalCopyWriter>> open(const QString& path, bool truncate);
    ~LocalCopyWriter();
    Status append(std::string_view cardBytes);

private:
    explicit LocalCopyWriter(std::FILE* file) : file_(file) {}
    std::FILE* file_;
    std::string buffer_;
};

// One content report of a chunk: its text up to the first "}" with every "{"
// taken out. A text starting with "@" ends the chunk; one without its "}" is
// damaged and cannot be trusted.
struct ContentPiece {
    enum class Kind { Content, EndOfChunk, Damaged };
    Kind kind = Kind::Content;
    std::string bytes;
};
ContentPiece parseContentReport(const Block& report, std::size_t received);

struct TransferRequest {
    CardEntry entry;                          // as listed, with its size
    QString dataFolder;                       // the copy goes to dataFolder/name
    std::chrono::milliseconds chunkPause{10}; // the station's pause between chunks
};

struct TransferOutcome {
    QString localPath;
    std::int64_t cardSize = 0;
    std::int64_t startedAt = 0; // card bytes the copy held before
    std::int64_t held = 0;      // card bytes the copy holds now
    bool restarted = false;     // the copy was longer than the card file and was begun anew
    // Why the transfer stopped before the end; what arrived until then is kept.
    std::optional<Error> chunkFailure;
    bool complete() const { return !chunkFailure; }
};

// Copies the card file into the data folder, fetching only what the local
// copy still lacks, in chunks of 4096 bytes. A chunk that fails (no answer in
// time, a piece missing or damaged) ends the transfer with chunkFailure set:
// the copy keeps every piece before the damage, and the next transfer goes on
// from there. Errors: a name that cannot be used, a copy that cannot be
// opened or written, no station, cancellation.
Result<TransferOutcome> transferFile(StationLink& link, const TransferRequest& request,
                                     const OperationContext& context);

// A transfer followed by the import of the local copy into the record
// database (also after a failed chunk, so that the rows that arrived are
// shown), as one long job for the window and the command line.
struct FetchRequest {
    TransferRequest transfer;
    bool import = true;
    QString databasePath;
    std::optional<int> stationDateFormat;
    bool keepRows = false; // for a records list
};

struct FetchOutcome {
    TransferOutcome transfer;
    std::optional<ImportSummary> import;
    std::optional<Error> importFailure;
};

Result<FetchOutcome> fetchFile(StationLink& link, const FetchRequest& request,
                               const OperationContext& context);
std::shared_ptr<Operation<FetchOutcome>> makeFetchOperation(StationLink& link,
                                                            FetchRequest request);

} // namespace vellumet::sdcard
