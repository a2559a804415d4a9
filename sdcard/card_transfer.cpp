#include "card_transfer.h"

#include "app/error_text.h"
#include "device/card_frames.h"
#include "device/station_blocks.h"
#include "device/station_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

namespace vellumet::sdcard {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A message in the user's language; the command line loads no translation
// and so reports in English.
std::string tr(const char* source) {
    return QCoreApplication::translate("CardTransfer", source).toStdString();
}
std::string tr(const char* source, const QString& a) {
    return QCoreApplication::translate("CardTransfer", source).arg(a).toStdString();
}
// Both at once, so that a file name holding "%2" stays as it is.
std::string tr(const char* source, const QString& a, const QString& b) {
    return QCoreApplication::translate("CardTransfer", source).arg(a, b).toStdString();
}

} // namespace

Result<LocalCopyState> inspectLocalCopy(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return LocalCopyState{};
    if (info.isSymLink() || !info.isFile())
        return makeError(Errc::Io, tr("%1 is not a plain file; it is left alone", shown(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return makeError(Errc::Io, tr("cannot read %1: %2", shown(path),
                                      app::systemErrorText(file.errorString())));
    LocalCopyState state;
    char buffer[1 << 16];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0)
            return makeError(Errc::Io, tr("cannot read %1: %2", shown(path),
                                          app::systemErrorText(file.errorString())));
        if (got == 0)
            break;
        state.bytes += got;
        state.lineFeeds += std::count(buffer, buffer + got, '\n');
        state.trailingCr = buffer[got - 1] == '\r';
    }
    return state;
}

Result<std::string> localCopyTail(const QString& path, const LocalCopyState& state,
                                  std::int64_t count) {
    // Every card byte takes one or two bytes of the copy.
    const std::int64_t end = state.keptBytes();
    const std::int64_t begin = std::max<std::int64_t>(0, end - 2 * count - 1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(begin))
        return makeError(Errc::Io, tr("cannot read %1: %2", shown(path),
                                      app::systemErrorText(file.errorString())));
    const QByteArray raw = file.read(end - begin);
    if (raw.size() != end - begin)
        return makeError(Errc::Io, tr("cannot read %1: it changed while it was read", shown(path)));
    std::string card;
    card.reserve(static_cast<std::size_t>(raw.size()));
    for (qsizetype i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            card += raw[i];
    if (static_cast<std::int64_t>(card.size()) > count)
        card.erase(0, card.size() - static_cast<std::size_t>(count));
    return card;
}

QString setAsidePath(const QString& folder, const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    for (int n = 1;; ++n) {
        const QString path =
            QDir(folder).filePath(stem + QLatin1Char('.') + QString::number(n) + extension);
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return path;
    }
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

LocalCopyWriter::LocalCopyWriter(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

Result<std::unique_ptr<LocalCopyWriter>> LocalCopyWriter::open(const QString& path,
                                                               std::int64_t keepBytes) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !file->resize(keepBytes) ||
        !file->seek(keepBytes))
        return makeError(Errc::Io, tr("cannot open %1: %2", shown(path),
                                      app::systemErrorText(file->errorString())));
    return std::unique_ptr<LocalCopyWriter>(new LocalCopyWriter(std::move(file)));
}

LocalCopyWriter::~LocalCopyWriter() = default;

Status LocalCopyWriter::append(std::string_view cardBytes) {
    buffer_.clear();
    for (const char c : cardBytes) {
        if (c == '\n')
            buffer_ += '\r';
        buffer_ += c;
    }
    const qint64 at = file_->pos();
    const qint64 written = file_->write(buffer_.data(), static_cast<qint64>(buffer_.size()));
    if (written == static_cast<qint64>(buffer_.size()))
        return {};
    std::string why = tr("cannot write the local copy %1: %2", shown(file_->fileName()),
                         app::systemErrorText(file_->errorString()));
    // Take the part that did reach the disk out again, so that the copy ends
    // where the last whole chunk ended.
    if (!file_->resize(at) || !file_->seek(at))
        why += tr(" (and the part written could not be taken out again)");
    return makeError(Errc::Io, why);
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

bool ChunkAssembler::add(const Block& report, std::size_t received) {
    const ContentPiece piece = parseContentReport(report, received);
    if (piece.kind == ContentPiece::Kind::EndOfChunk)
        return true;
    ++reports_;
    if (failure_)
        return false; // the chunk is lost already; its reports are only drained
    if (piece.kind == ContentPiece::Kind::Damaged) {
        failure_ = makeError(
            Errc::BadData, tr("report %1 of the chunk arrived damaged", QString::number(reports_)));
        return false;
    }
    if (static_cast<std::int64_t>(content_.size() + piece.bytes.size()) > expected_) {
        failure_ = makeError(Errc::BadData, tr("the station sent more than was asked for"));
        return false;
    }
    content_ += piece.bytes;
    return false;
}

std::optional<Error> ChunkAssembler::problem() const {
    if (failure_)
        return failure_;
    if (static_cast<std::int64_t>(content_.size()) != expected_)
        return makeError(Errc::BadData,
                         tr("the station sent %1 of %2 bytes of a chunk",
                            QString::number(content_.size()), QString::number(expected_)));
    return std::nullopt;
}

namespace {

// One chunk as it arrives: the reports are put together on the reader
// thread while the worker waits in stream(); the mutex keeps the hand-over
// explicit.
struct ChunkRead {
    std::string content;
    std::optional<Error> failure; // why the chunk cannot be used
    bool cancelled = false;
};

ChunkRead readChunk(StationLink& link, const std::string& name, const ChunkRange& range,
                    const OperationContext& context) {
    ChunkRead read;
    Result<CommandFrame> frame = fileReadRequest(name, static_cast<std::uint32_t>(range.start),
                                                 static_cast<std::uint32_t>(range.end));
    if (!frame) {
        read.failure = frame.error();
        return read;
    }
    std::mutex mutex;
    ChunkAssembler chunk(range.expected());
    const StreamConsumer consumer = [&](const Block& report, std::size_t n) {
        std::lock_guard lock(mutex);
        return chunk.add(report, n) ? StreamStep::Complete : StreamStep::More;
    };
    const Status status = link.stream(*frame, ResponseKind::FileContent, query::FileRead.timing,
                                      consumer, context.stopToken());
    std::lock_guard lock(mutex);
    if (!status) {
        read.cancelled = status.code() == Errc::Cancelled;
        read.failure = status.error();
    } else if (std::optional<Error> problem = chunk.problem()) {
        read.failure = std::move(problem);
    } else {
        read.content = chunk.content();
    }
    return read;
}

// The link's own phrase, in the user's language like the rest of the sentence.
Error at(const Error& error, const std::string& where) {
    return makeError(error.code, app::errorText(error).toStdString() + where);
}

} // namespace

Result<TransferOutcome> transferFile(StationLink& link, const TransferRequest& request,
                                     const OperationContext& context) {
    const CardEntry& entry = request.entry;
    const std::string name = entry.name.toStdString();
    if (!entry.usable())
        return makeError(Errc::InvalidInput,
                         tr("cannot copy \"%1\": %2", entry.name, entry.problem));
    if (!entry.readProblem.isEmpty())
        return makeError(Errc::InvalidInput,
                         tr("cannot copy \"%1\": %2", entry.name, entry.readProblem));
    if (entry.size < 0)
        return makeError(Errc::InvalidInput, tr("the card gave no size for \"%1\"", entry.name));
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
    bool verified = false;
    if (plan.restart) {
        outcome.oldCopy = OldCopy::Longer;
    } else if (plan.start > 0) {
        // The name and the size alone do not tell that the copy is a part of
        // this card file: the card bytes just before the resume point must be
        // the copy's last bytes.
        if (context.cancelled())
            return makeError(Errc::Cancelled);
        const ChunkRange before{std::max<std::int64_t>(0, plan.start - kChunkBytes), plan.start,
                                false};
        ChunkRead card = readChunk(link, name, before, context);
        if (card.cancelled)
            return makeError(Errc::Cancelled);
        if (card.failure) {
            outcome.chunkFailure =
                at(*card.failure, tr(" while the card bytes before byte %1 were read to compare "
                                     "them with the local copy",
                                     QString::number(plan.start)));
            return outcome;
        }
        Result<std::string> copy = localCopyTail(outcome.localPath, *state, before.expected());
        if (!copy)
            return copy.error();
        if (*copy != card.content)
            outcome.oldCopy = OldCopy::Differs;
        verified = true;
        std::this_thread::sleep_for(request.chunkPause);
    }
    std::int64_t keep = state->keptBytes();
    if (outcome.restarted()) {
        // The old copy may hold readings the card no longer has: it is kept.
        outcome.keptAs = setAsidePath(request.dataFolder, entry.name);
        if (!QFile::rename(outcome.localPath, outcome.keptAs))
            return makeError(Errc::Io, tr("cannot keep the old copy %1 as %2",
                                          shown(outcome.localPath), shown(outcome.keptAs)));
        outcome.startedAt = 0;
        outcome.held = 0;
        keep = 0;
    }
    auto writer = LocalCopyWriter::open(outcome.localPath, keep);
    if (!writer)
        return writer.error();

    const std::int64_t first = outcome.startedAt;
    const std::int64_t total = entry.size - first;
    context.progress(0, total);
    if (verified && !outcome.restarted() && first == entry.size)
        return outcome; // the copy is whole and matches the card
    for (std::int64_t start = first;; start += kChunkBytes) {
        if (context.cancelled())
            return makeError(Errc::Cancelled);
        const ChunkRange chunk = chunkAt(start, entry.size);
        ChunkRead read = readChunk(link, name, chunk, context);
        if (read.cancelled)
            return makeError(Errc::Cancelled);
        const std::string where =
            tr(" at byte %1 of %2", QString::number(outcome.held), QString::number(entry.size));
        if (read.failure) {
            outcome.chunkFailure = at(*read.failure, where);
            return outcome;
        }
        if (Status written = (*writer)->append(read.content); !written)
            return written.error();
        outcome.held = chunk.end;
        context.progress(outcome.held - first, total);
        if (chunk.last)
            return outcome;
        std::this_thread::sleep_for(request.chunkPause);
    }
}

std::optional<int> queryStationDateFormat(StationLink& link, const std::stop_token& stop) {
    const Result<Block> settings = link.query(query::Settings, stop);
    if (!settings)
        return std::nullopt;
    return decodeStationSettings(*settings).dateFormat;
}

Result<FetchOutcome> fetchFile(StationLink& link, const FetchRequest& request,
                               const OperationContext& context) {
    std::optional<int> dateFormat = request.stationDateFormat;
    if (request.import && !dateFormat && link.connected())
        dateFormat = queryStationDateFormat(link, context.stopToken());
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
    options.stationDateFormat = dateFormat;
    options.keepRows = request.keepRows;
    // The history keeps the readings under the station they came from.
    if (const Result<Block> ident = link.query(query::Identification, context.stopToken()))
        options.station = QString::fromStdString(decodeIdentText(*ident)).trimmed();
    // A transfer that failed may have ended inside a line.
    options.wholeLinesOnly = !outcome.transfer.complete();
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
