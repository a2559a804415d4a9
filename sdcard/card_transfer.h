#pragma once

#include "card_files.h"
#include "core/operation.h"
#include "core/result.h"
#include "log_import.h"

#include <QString>

class QFile;

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>

namespace vellumet {
class StationLink;
}

namespace vellumet::sdcard {

// Bytes of the card file asked for by one read request.
inline constexpr std::int64_t kChunkBytes = 4096;

// What a local copy holds. The copy stores every line feed of the card file
// as carriage return plus line feed, so it holds bytes − lineFeeds card bytes;
// a carriage return at its very end may be the first half of a pair whose
// line feed never reached the disk, so it is not counted as held.
struct LocalCopyState {
    std::int64_t bytes = 0;
    std::int64_t lineFeeds = 0;
    bool trailingCr = false;
    // Bytes of the copy that stay when a transfer goes on from it.
    std::int64_t keptBytes() const { return bytes - (trailingCr ? 1 : 0); }
    std::int64_t cardBytes() const { return keptBytes() - lineFeeds; }
};

// Measures a local copy; a copy that does not exist holds nothing. Io when it
// cannot be read or is not a regular file.
Result<LocalCopyState> inspectLocalCopy(const QString& path);

// The last up to count card bytes a local copy holds (its CR LF pairs read as
// line feeds), to be compared with the card before a transfer goes on.
Result<std::string> localCopyTail(const QString& path, const LocalCopyState& state,
                                  std::int64_t count);

// A free name in folder for an old copy of name that must make way:
// NAME.1.EXT, NAME.2.EXT, ... (never one that exists).
QString setAsidePath(const QString& folder, const QString& name);

// Where a transfer starts: at what the copy holds, or from the beginning of
// a fresh copy when the copy holds more than the card file (it cannot be a
// part of it, and is kept aside).
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

// Appends card content to a local copy, one whole chunk at a time, each line
// feed written as carriage return plus line feed. A chunk that cannot be
// written whole is taken out again, so the copy always ends where a chunk
// ended (or, after a crash, inside the chunk being written: still a part of
// the card file).
class LocalCopyWriter {
public:
    // Opens the copy, keeping its first keepBytes bytes and dropping the rest.
    static Result<std::unique_ptr<LocalCopyWriter>> open(const QString& path,
                                                         std::int64_t keepBytes);
    ~LocalCopyWriter();
    Status append(std::string_view cardBytes);

private:
    explicit LocalCopyWriter(std::unique_ptr<QFile> file);
    std::unique_ptr<QFile> file_;
    std::string buffer_;
};

// One content report of a chunk: its text up to the first "}" with every "{"
// taken out. A text starting with "@" ends the chunk; one without its "}" is
// damaged and cannot be trusted. Content that holds "{", "}", "@" at its
// start or a zero byte comes out shorter than it went in; the chunk's count
// (ChunkAssembler) is what catches that.
struct ContentPiece {
    enum class Kind { Content, EndOfChunk, Damaged };
    Kind kind = Kind::Content;
    std::string bytes;
};
ContentPiece parseContentReport(const Block& report, std::size_t received);

// The reports of one chunk put together. The chunk counts only when every
// report was whole and their content adds up to exactly what was asked for;
// a report cut short (by a brace in the content, say) always makes it
// shorter, so a chunk that passes holds the card's bytes and nothing else.
class ChunkAssembler {
public:
    explicit ChunkAssembler(std::int64_t expected) : expected_(expected) {}
    // Takes one report; true once the chunk's end has arrived.
    bool add(const Block& report, std::size_t received);
    // Why the chunk cannot be used, or nullopt when its content is whole
    // (only once the end has arrived).
    std::optional<Error> problem() const;
    const std::string& content() const { return content_; }

private:
    std::int64_t expected_;
    std::string content_;
    std::optional<Error> failure_;
    int reports_ = 0;
};

struct TransferRequest {
    CardEntry entry;                          // as listed, with its size
    QString dataFolder;                       // the copy goes to dataFolder/name
    std::chrono::milliseconds chunkPause{10}; // the station's pause between chunks
};

// Why an old local copy was kept aside and the file fetched anew.
enum class OldCopy {
    None,
    Longer,  // it held more than the card file now has
    Differs, // its last bytes differ from the card's at the same place
};

struct TransferOutcome {
    QString localPath;
    std::int64_t cardSize = 0;
    std::int64_t startedAt = 0; // card bytes the copy held before
    std::int64_t held = 0;      // card bytes the copy holds now
    OldCopy oldCopy = OldCopy::None;
    QString keptAs; // where the old copy now is, when it was kept aside
    bool restarted() const { return oldCopy != OldCopy::None; }
    // Why the transfer stopped before the end; what arrived until then is kept.
    std::optional<Error> chunkFailure;
    bool complete() const { return !chunkFailure; }
};

// Copies the card file into the data folder, fetching only what the local
// copy still lacks, in chunks of 4096 bytes. Before it goes on from a copy it
// reads the card bytes just before that point (up to one chunk) and compares
// them with the copy's end; a copy that differs, or holds more than the card
// file, is kept aside under a new name and the file is fetched anew. A chunk
// that fails (no answer in time, a piece missing or damaged) ends the
// transfer with chunkFailure set: the copy keeps every chunk before it, and
// the next transfer goes on from there. Errors: a name that cannot be used, a
// copy that cannot be opened or written, no station, cancellation. The
// caller holds the data folder's lock.
Result<TransferOutcome> transferFile(StationLink& link, const TransferRequest& request,
                                     const OperationContext& context);

// A transfer followed by the import of the local copy into the record
// database (also after a failed chunk, of the whole lines that arrived, so
// that they are shown), as one long job for the window and the command line.
// Before an import the station is asked for its date format, which decides a
// log's ambiguous dates (the locale only when the station is silent).
struct FetchRequest {
    TransferRequest transfer;
    bool import = true;
    QString databasePath;
    // Known already: the station is not asked.
    std::optional<int> stationDateFormat;
    bool keepRows = false; // for a records list
};

struct FetchOutcome {
    TransferOutcome transfer;
    std::optional<ImportSummary> import;
    std::optional<Error> importFailure;
};

// The station's date-format setting, asked of the station; nothing when it
// does not answer. It tells which way round a log's ambiguous dates are.
std::optional<int> queryStationDateFormat(StationLink& link, const std::stop_token& stop);

Result<FetchOutcome> fetchFile(StationLink& link, const FetchRequest& request,
                               const OperationContext& context);
std::shared_ptr<Operation<FetchOutcome>> makeFetchOperation(StationLink& link,
                                                            FetchRequest request);

} // namespace vellumet::sdcard
