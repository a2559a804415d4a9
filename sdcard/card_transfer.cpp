#include "card_transfer.h"

#include "device/card_frames.h"
#include "device/station_link.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace vellumet::sdcard {

namespace {

std::string shown(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

Error ioError(const std::string& what, const QString& path) {
    return makeError(Errc::Io, what + ' ' + shown(path) + ": " + std::strerror(errno));
}

std::FILE* openFile(const QString& path, const char* mode) {
#ifdef _WIN32
    return _wfopen(reinterpret_cast<const wchar_t*>(path.utf16()),
                   QString::fromLatin1(mode).toStdWString().c_str());
#else
    return std::fopen(QFile::encodeName(path).constData(), mode);
#endif
}

} // namespace

Result<LocalCopyState> inspectLocalCopy(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return LocalCopyState{};
    if (info.isSymLink() || !info.isFile())
        return makeError(Errc::Io, shown(path) + " is not a plain file; it is left alone");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return makeError(Errc::Io,
                         "cannot read " + shown(path) + ": " + file.errorString().toStdString());
    LocalCopyState state;
    char buffer[1 << 16];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0)
            return makeError(Errc::Io, "cannot read " + shown(path) + ": " +
                                           file.errorString().toStdString());
        if (got == 0)
            break;
        state.bytes += got;
        state.lineFeeds += std::count(buffer, buffer + got, '\n');
    }
    return state;
}

ResumePlan planResume(std::int64_t held, std::int64_t cardSize) {
    if (held > cardSize)
        return {0, true};
    return {held, false};
}

ChunkRange chunkAt(std::int64_t start, std::int64_t cardSize) {
    if (start + kChunkBytes >= cardSize)
        return {start, cardSize, true};
    return {start, start + kChunkBytes, false};
}

Result<std::unique_ptr<LocalCopyWriter>> LocalCopyWriter::open(const QString& path, bool truncate) {
    std::FILE* file = openFile(path, truncate ? "wb" : "ab");
    if (!file)
        return ioError("cannot open", path);
    return std::unique_ptr<LocalCopyWriter>(new LocalCopyWriter(file));
}

LocalCopyWriter::~LocalCopyWriter() {
    std::fclose(file_);
}

Status LocalCopyWriter::append(std::string_view cardBytes) {
    buffer_.clear();
    for (const char c : cardBytes) {
        if (c == '\n')
            buffer_ += '\r';
        buffer_ += c;
    }
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size() ||
        std::fflush(file_) != 0)
        return makeError(Errc::Io,
                         std::string("cannot write the local copy: ") + std::strerror(errno));
    return {};
}

ContentPiece parseContentReport(const Block& report, std::size_t received) {
    const std::size_t n = std::min(received, report.size());
    const auto* bytes = reinterpret_cast<const char*>(report.data());
    const void* nul = std::memchr(bytes, 0, n);
    const std::string_view text(
        bytes, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : n);
    const std::size_t close = text.find('}');
    ContentPiece piece;
    piece.bytes = std::string(text.substr(0, close));
    std::erase(piece.bytes, '{');
    if (!piece.bytes.empty() && piece.bytes.front() == '@')
        piece.kind = ContentPiece::Kind::EndOfChunk;
    else if (close == std::string_view::npos)
        piece.kind = ContentPiece::Kind::Damaged;
    return piece;
}

namespace {

// One chunk as the reader thread receives it. The consumer runs on the
// reader thread while the worker waits in stream(); the mutex keeps every
// member's hand-over explicit.
class ChunkReceiver {
public:
    ChunkReceiver(LocalCopyWriter& writer, std::int64_t expected)
        : writer_(writer), expected_(expected) {}

    StreamStep take(const Block& report, std::size_t received) {
        const ContentPiece piece = parseContentReport(report, received);
        std::lock_guard lock(mutex_);
        if (piece.kind == ContentPiece::Kind::EndOfChunk)
            return StreamStep::Complete;
        ++reports_;
        if (failure_)
            return StreamStep::More; // after a damaged piece nothing more of this chunk fits
        if (piece.kind == ContentPiece::Kind::Damaged) {
            // A piece without its end cannot be trusted; what follows it would
            // leave a gap in the copy, so none of it is written.
            failure_ = makeError(Errc::BadData, "report " + std::to_string(reports_) +
                                                    " of the chunk arrived damaged");
            return StreamStep::More;
        }
        if (received_ + static_cast<std::int64_t>(piece.bytes.size()) > expected_) {
            failure_ = makeError(Errc::BadData, "the station sent more than was asked for");
            return StreamStep::More;
        }
        if (Status written = writer_.append(piece.bytes); !written) {
            failure_ = written.error();
            ioFailed_ = true;
            return StreamStep::More;
        }
        received_ += static_cast<std::int64_t>(piece.bytes.size());
        return StreamStep::More;
    }

    std::int64_t received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::optional<Error> failure() {
        std::lock_guard lock(mutex_);
        return failure_;
    }
    bool ioFailed() {
        std::lock_guard lock(mutex_);
        return ioFailed_;
    }

private:
    LocalCopyWriter& writer_;
    const std::int64_t expected_;
    std::mutex mutex_;
    std::int64_t received_ = 0;
    int reports_ = 0;
    std::optional<Error> failure_;
    bool ioFailed_ = false;
};

} // namespace

Result<TransferOutcome> transferFile(StationLink& link, const TransferRequest& request,
                                     const OperationContext& context) {
    const CardEntry& entry = request.entry;
    const std::string name = entry.name.toStdString();
    if (!entry.usable())
        return makeError(Errc::InvalidInput,
                         "cannot copy \"" + name + "\": " + entry.problem.toStdString());
    if (!entry.readProblem.isEmpty())
        return makeError(Errc::InvalidInput,
                         "cannot copy \"" + name + "\": " + entry.readProblem.toStdString());
    if (entry.size < 0)
        return makeError(Errc::InvalidInput, "the card gave no size for \"" + name + "\"");
    if (!link.connected())
        return makeError(Errc::NotConnected);

    TransferOutcome outcome;
    outcome.localPath = QDir(request.dataFolder).filePath(entry.name);
    outcome.cardSize = entry.size;
    Result<LocalCopyState> state = inspectLocalCopy(outcome.localPath);
    if (!state)
        return state.error();
    const ResumePlan plan = planResume(state->cardBytes(), entry.size);
    outcome.startedAt = plan.start;
    outcome.held = plan.start;
    outcome.restarted = plan.restart;
    auto writer = LocalCopyWriter::open(outcome.localPath, plan.restart);
    if (!writer)
        return writer.error();

    const std::int64_t total = entry.size - plan.start;
    context.progress(0, total);
    for (std::int64_t start = plan.start;; start += kChunkBytes) {
        if (context.cancelled())
            return makeError(Errc::Cancelled);
        const ChunkRange chunk = chunkAt(start, entry.size);
        Result<CommandFrame> frame = fileReadRequest(name, static_cast<std::uint32_t>(chunk.start),
                                                     static_cast<std::uint32_t>(chunk.end));
        if (!frame)
            return frame.error();
        ChunkReceiver receiver(**writer, chunk.expected());
        const StreamConsumer consumer = [&receiver](const Block& report, std::size_t n) {
            return receiver.take(report, n);
        };
        const Status status = link.stream(*frame, ResponseKind::FileContent, query::FileRead.timing,
                                          consumer, context.stopToken());
        outcome.held = start + receiver.received();
        context.progress(outcome.held - plan.start, total);
        if (receiver.ioFailed())
            return *receiver.failure();
        if (!status && status.code() == Errc::Cancelled)
            return status.error();
        const auto where =
            " at byte " + std::to_string(outcome.held) + " of " + std::to_string(entry.size);
        if (!status) {
            outcome.chunkFailure = makeError(status.code(), status.error().text() + where);
            return outcome;
        }
        if (std::optional<Error> damaged = receiver.failure()) {
            outcome.chunkFailure = makeError(damaged->code, damaged->message + where);
            return outcome;
        }
        if (receiver.received() != chunk.expected()) {
            outcome.chunkFailure = makeError(
                Errc::BadData, "the station sent " + std::to_string(receiver.received()) + " of " +
                                   std::to_string(chunk.expected()) + " bytes of a chunk" + where);
            return outcome;
        }
        if (chunk.last)
            return outcome;
        std::this_thread::sleep_for(request.chunkPause);
    }
}

Result<FetchOutcome> fetchFile(StationLink& link, const FetchRequest& request,
                               const OperationContext& context) {
    Result<TransferOutcome> transfer = transferFile(link, request.transfer, context);
    if (!transfer)
        return transfer.error();
    FetchOutcome outcome;
    outcome.transfer = std::move(*transfer);
    if (!request.import)
        return outcome;
    ImportOptions options;
    options.logPath = outcome.transfer.localPath;
    options.databasePath = request.databasePath;
    options.fileName = request.transfer.entry.name;
    options.stationDateFormat = request.stationDateFormat;
    options.keepRows = request.keepRows;
    Result<ImportSummary> imported = importLog(options, context);
    if (imported)
        outcome.import = std::move(*imported);
    else if (imported.code() == Errc::Cancelled)
        return imported.error();
    else
        outcome.importFailure = imported.error();
    return outcome;
}

std::shared_ptr<Operation<FetchOutcome>> makeFetchOperation(StationLink& link,
                                                            FetchRequest request) {
    return std::make_shared<Operation<FetchOutcome>>(
        [&link, request = std::move(request)](const OperationContext& context) {
            return fetchFile(link, request, context);
        });
}

} // namespace vellumet::sdcard
