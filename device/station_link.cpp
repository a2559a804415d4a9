#include "station_link.h"

#include "link_texts.h"

#include <algorithm>
#include <optional>

namespace vellumet {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

StationLink::StationLink(std::shared_ptr<Transport> transport, LinkTiming timing)
    : transport_(std::move(transport)), timing_(timing) {}

StationLink::~StationLink() {
    transport_->setChangeListener(nullptr);
    stopReader();
    releaseHandles();
}

// --- Connection ---

void StationLink::startReader() {
    if (!reader_.joinable())
        reader_ = std::thread([this] { readerLoop(); });
}

void StationLink::stopReader() {
    stopping_ = true;
    readEvent_.set();
    if (reader_.joinable())
        reader_.join();
}

void StationLink::releaseHandles() {
    connected_ = 0;
    {
        std::lock_guard lock(writeMutex_);
        writeHandle_.reset();
    }
    // Waits for a read in progress to return (at most one read poll), so the
    // reader never reads a closed handle.
    std::lock_guard lock(readMutex_);
    readHandle_.reset();
    readFailed_ = false;
}

bool StationLink::openStation() {
    std::lock_guard scan(scanMutex_);
    startReader();
    releaseHandles();
    {
        std::lock_guard lock(dispatchMutex_);
        owed_.clear(); // a new connection owes nothing
        slowest_ = {};
    }

    // A refused interface is remembered over one that merely failed: the user can fix it.
    Status outcome = makeError(Errc::NotConnected);
    const auto keepReason = [&outcome](const Error& error) {
        if (outcome.code() != Errc::AccessDenied)
            outcome = error;
    };
    for (const DeviceInfo& info : transport_->enumerate(kStationVendorId, kStationProductId)) {
        {
            std::lock_guard lock(pathMutex_);
            devicePath_ = info.path;
            deviceSerial_ = info.serial;
        }
        if (info.vendorId != kStationVendorId || info.productId != kStationProductId)
            continue;
        auto reader = transport_->tryOpen(info.path);
        if (!reader) {
            keepReason(reader.error());
            continue; // an interface we cannot use counts as not found
        }
        auto writer = transport_->tryOpen(info.path);
        if (!writer) {
            keepReason(writer.error());
            continue;
        }
        {
            std::lock_guard lock(readMutex_);
            readHandle_ = std::move(reader.value());
        }
        {
            std::lock_guard lock(writeMutex_);
            writeHandle_ = std::move(writer.value());
        }
        outcome = Status();
        break;
    }
    {
        std::lock_guard lock(pathMutex_);
        openStatus_ = outcome;
    }
    if (!outcome)
        return false;
    connected_ = 1;
    readEvent_.set();
    return true;
}

Status StationLink::openStatus() const {
    std::lock_guard lock(pathMutex_);
    return openStatus_;
}

void StationLink::closeStation() {
    std::lock_guard scan(scanMutex_);
    releaseHandles();
}

void StationLink::markStationGone() {
    connected_ = 0;
    {
        std::lock_guard lock(dispatchMutex_);
        owed_.clear();
    }
    responseEvent_.set();
}

bool StationLink::stationStillListed() {
    const std::string path = devicePath();
    for (const DeviceInfo& info : transport_->enumerate(kStationVendorId, kStationProductId))
        if (info.path == path)
            return true;
    return false;
}

bool StationLink::stationPresent() {
    return !transport_->enumerate(kStationVendorId, kStationProductId).empty();
}

std::string StationLink::devicePath() const {
    std::lock_guard lock(pathMutex_);
    return devicePath_;
}

std::string StationLink::deviceSerial() const {
    std::lock_guard lock(pathMutex_);
    return deviceSerial_;
}

void StationLink::setLinkLostListener(std::function<void()> listener) {
    std::lock_guard lock(hooksMutex_);
    linkLost_ = std::move(listener);
}

void StationLink::setChangeListener(std::function<void(DeviceChange)> listener) {
    transport_->setChangeListener(std::move(listener));
}

Status StationLink::transportStatus() {
    return transport_->status();
}

// --- Exchanges ---

StationLink::WaitEnd StationLink::awaitResponse(std::chrono::milliseconds timeout,
                                                const std::stop_token& stop) {
    if (stop.stop_requested())
        return WaitEnd::Cancelled; // also when the link happens to be free
    const unsigned epoch = wakeEpoch_.load();
    std::stop_callback wakeOnStop(stop, [this] { responseEvent_.wake(); });
    const bool set = responseEvent_.wait(
        timeout, [&] { return stop.stop_requested() || wakeEpoch_.load() != epoch; });
    if (set)
        return WaitEnd::Signalled;
    return stop.stop_requested() || wakeEpoch_.load() != epoch ? WaitEnd::Cancelled
                                                               : WaitEnd::TimedOut;
}

void StationLink::cancelWaits() {
    ++wakeEpoch_;
    responseEvent_.wake();
}

// The link is free again, unless an answer is still owed: then it becomes
// free when that answer has come and been dropped, or its time is over.
void StationLink::releaseLink() {
    std::lock_guard lock(dispatchMutex_);
    responseEvent_.reset();
    if (owed_.empty())
        responseEvent_.set();
}

Result<StationLink::Exclusive> StationLink::acquireLink(std::chrono::milliseconds timeout,
                                                        const std::stop_token& stop) {
    const auto deadline = Clock::now() + timeout;
    // One request at a time: a second sender waits for the first to finish,
    // and sends nothing rather than cut in when it does not in time.
    if (!exchangeLock_.tryLockUntil(deadline))
        return makeError(Errc::Timeout, kLinkBusy);
    Exclusive exclusive(*this);
    if (stop.stop_requested())
        return makeError(Errc::Cancelled);
    // An owed answer is waited for until it comes or its time is over, however
    // long this request meant to wait for the link: its time is bounded, and a
    // station that never answers one query must not hold back the others.
    for (;;) {
        std::optional<Clock::time_point> owedUntil;
        {
            std::lock_guard lock(dispatchMutex_);
            const auto now = Clock::now();
            while (!owed_.empty() && owed_.front().until <= now)
                owed_.pop_front();
            for (const Owed& owed : owed_)
                owedUntil = std::max(owedUntil.value_or(owed.until), owed.until);
        }
        if (!owedUntil)
            return exclusive;
        const auto slice = *owedUntil - Clock::now();
        if (awaitResponse(std::chrono::ceil<std::chrono::milliseconds>(slice), stop) ==
            WaitEnd::Cancelled)
            return makeError(Errc::Cancelled);
    }
}

Status StationLink::sendFrame(const CommandFrame& frame) {
    if (!connected())
        return makeError(Errc::NotConnected);
    std::array<std::uint8_t, kOutputReportSize> report{};
    std::copy(frame.bytes().begin(), frame.bytes().end(), report.begin() + 1);
    {
        std::lock_guard lock(writeMutex_);
        if (!writeHandle_)
            return makeError(Errc::NotConnected);
        if (!writeHandle_->write(report.data(), report.size()))
            return makeError(Errc::StationGone, kFrameNotTaken);
        ++framesTaken_;
    }
    std::this_thread::sleep_for(timing_.framePause);
    return {};
}

// A wait that was let go because the station went away tells so, rather than
// passing for an answer.
Status StationLink::lostOr(Status status) const {
    if (!connected())
        return makeError(Errc::StationGone, kStationWentAway);
    return status;
}

Status StationLink::answerOutcome(WaitEnd end) const {
    switch (end) {
    case WaitEnd::Signalled:
        return lostOr({});
    case WaitEnd::Cancelled:
        return makeError(Errc::Cancelled);
    case WaitEnd::TimedOut:
        break;
    }
    return lostOr(makeError(Errc::Timeout));
}

// Called when a wait for an answer ended without it. Returns true when the
// answer was filed after all in the meantime; otherwise it is owed.
bool StationLink::oweAnswer(std::chrono::milliseconds within, Clock::time_point sentAt) {
    std::lock_guard lock(dispatchMutex_); // the dispatch hands over and signals under it
    if (responseEvent_.isSet() && connected())
        return true;
    owed_.push_back({sentAt, std::max(Clock::now() + within, sentAt + 2 * slowest_)});
    return false;
}

void StationLink::noteAnswerTime(Clock::time_point sentAt) {
    if (sentAt != Clock::time_point{})
        slowest_ = std::max(slowest_, Clock::now() - sentAt);
}

Result<StationLink::Exclusive> StationLink::claim(int tableWaitMs, ResponseKind kind,
                                                  const std::stop_token& stop) {
    if (!connected())
        return makeError(Errc::NotConnected);
    auto exclusive = acquireLink(timing_.scaled(tableWaitMs), stop);
    if (!exclusive)
        return exclusive.error();
    {
        std::lock_guard lock(dispatchMutex_);
        answer_.reset();
    }
    responseEvent_.reset();
    expectedKind_ = static_cast<int>(kind);
    return exclusive;
}

std::optional<Block> StationLink::takeAnswer() {
    std::lock_guard lock(dispatchMutex_);
    return std::exchange(answer_, std::nullopt);
}

Result<Block> StationLink::query(const QueryShape& shape, std::stop_token stop) {
    auto exclusive = claim(shape.timing.before, shape.kind, stop);
    if (!exclusive)
        return exclusive.error();
    const auto sentAt = Clock::now();
    {
        std::lock_guard lock(dispatchMutex_);
        sentAt_ = sentAt;
    }
    if (Status sent = sendFrame(CommandFrame(shape.code)); !sent)
        return sent.error();
    WaitEnd end = awaitResponse(timing_.scaled(shape.timing.after), stop);
    if (end != WaitEnd::Signalled && oweAnswer(3 * timing_.scaled(shape.timing.after), sentAt))
        end = WaitEnd::Signalled;
    if (Status outcome = answerOutcome(end); !outcome)
        return outcome.error();
    std::optional<Block> answer = takeAnswer();
    if (!answer) // released without an answer: the station went away
        return makeError(Errc::StationGone, kStationWentAway);
    return *answer;
}

Status StationLink::stream(const CommandFrame& frame, ResponseKind kind, QueryTiming timing,
                           const StreamConsumer& consumer, std::stop_token stop) {
    auto exclusive = claim(timing.before, kind, stop);
    if (!exclusive)
        return exclusive.error();
    {
        std::lock_guard lock(dispatchMutex_);
        stream_ = &consumer;
    }
    Status sent = sendFrame(frame);
    WaitEnd end = sent ? awaitResponse(timing_.scaled(timing.after), stop) : WaitEnd::Cancelled;
    {
        std::lock_guard lock(dispatchMutex_);
        if (sent && stream_ == nullptr)
            end = WaitEnd::Signalled; // completed just as the wait gave up
        stream_ = nullptr;            // from here on the consumer is never called again
    }
    if (sent && end != WaitEnd::Signalled)
        drainStream(kind, timing_.scaled(timing.after));
    if (!sent)
        return sent;
    return answerOutcome(end);
}

// The rest of a cut-off streamed answer still comes: the kind stays announced
// with no consumer, so that those reports are dropped, until the station has
// been quiet for a while.
void StationLink::drainStream(ResponseKind kind, std::chrono::milliseconds limit) {
    const auto start = Clock::now();
    {
        std::lock_guard lock(dispatchMutex_);
        lastReport_ = start;
    }
    while (connected() && Clock::now() - start < limit) {
        Clock::time_point last;
        {
            std::lock_guard lock(dispatchMutex_);
            last = lastReport_;
        }
        if (Clock::now() - last >= timing_.streamQuiet)
            break;
        std::this_thread::sleep_for(timing_.streamQuiet / 4);
    }
    int expected = static_cast<int>(kind);
    expectedKind_.compare_exchange_strong(expected, 0);
}

Status StationLink::sendWithoutAnswer(std::span<const CommandFrame> frames, QueryTiming timing,
                                      std::stop_token stop) {
    auto exclusive = claim(timing.before, ResponseKind::NoAnswer, stop);
    if (!exclusive)
        return exclusive.error();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (Status sent = sendFrame(frames[i]); !sent)
            return sent;
        // Frames that follow one another are spaced like a write's; a single
        // frame goes without.
        if (frames.size() > 1)
            std::this_thread::sleep_for(timing_.writeGap);
    }
    const WaitEnd end = awaitResponse(timing_.scaled(timing.after), stop);
    if (end == WaitEnd::Cancelled)
        return makeError(Errc::Cancelled);
    return lostOr({});
}

Status StationLink::writeSettings(std::span<const CommandFrame> frames, const WriteOptions& options,
                                  std::stop_token stop) {
    auto exclusive = claim(options.timing.linkWait, ResponseKind::ScreenStatus, stop);
    if (!exclusive)
        return exclusive.error();
    const auto statusSentAt = Clock::now();
    {
        std::lock_guard lock(dispatchMutex_);
        sentAt_ = statusSentAt;
    }
    if (Status sent = sendFrame(CommandFrame(cmd::ScreenStatus)); !sent)
        return sent;
    // The station needs the write gap after the status query in any case; a
    // status answer that comes a little later is still waited for, so that a
    // station showing a menu is not written to. One that never comes leaves
    // the flag as the last status answer set it.
    std::this_thread::sleep_for(timing_.writeGap);
    const WaitEnd statusEnd = awaitResponse(timing_.statusAnswerWait, stop);
    if (statusEnd == WaitEnd::Cancelled)
        return makeError(Errc::Cancelled);
    if (statusEnd == WaitEnd::TimedOut)
        (void)oweAnswer(3 * timing_.statusAnswerWait, statusSentAt);
    if (!connected())
        return makeError(Errc::StationGone, kStationWentAway);
    if (std::optional<Block> status = takeAnswer())
        away_ = (*status)[1];
    if (away_.load() != 0)
        return makeError(Errc::AwayFromMainScreen);

    expectedKind_ = static_cast<int>(ResponseKind::NoAnswer);
    const auto sendSpaced = [&](const CommandFrame& frame) -> Status {
        Status sent = sendFrame(frame);
        if (sent)
            std::this_thread::sleep_for(timing_.writeGap);
        return sent;
    };
    for (const CommandFrame& frame : frames)
        if (Status sent = sendSpaced(frame); !sent)
            return sent;
    if (options.sendEndOfWrite)
        if (Status sent = sendSpaced(CommandFrame(cmd::EndOfWrite)); !sent)
            return sent;
    const WaitEnd end = awaitResponse(timing_.scaled(options.timing.closingWait), stop);
    if (end == WaitEnd::Cancelled)
        return makeError(Errc::Cancelled);
    return lostOr({});
}

// --- Reader ---

void StationLink::readerLoop() {
    // Persistent like the station's own receive buffer: a short report leaves
    // the tail of the previous one in place.
    Block receiveBuffer{};
    const int pollMs = static_cast<int>(timing_.readPoll.count());
    while (!stopping_) {
        std::unique_lock lock(readMutex_);
        if (connected_.load() != 1 || !readHandle_ || readFailed_) {
            lock.unlock();
            readEvent_.wait();
            readEvent_.reset();
            continue;
        }
        const int n = readHandle_->read(receiveBuffer.data(), receiveBuffer.size(), pollMs);
        if (n < 0) {
            readFailed_ = true;
            lock.unlock();
            std::function<void()> lost;
            {
                std::lock_guard hooks(hooksMutex_);
                lost = linkLost_;
            }
            if (lost)
                lost();
            continue;
        }
        lock.unlock();
        if (n == 0)
            continue;
        dispatchAnswer(receiveBuffer, static_cast<std::size_t>(n));
        receiveBuffer[1] = 0;
    }
}

// An answer whose exchange gave up waiting may still come. No request is
// sent while it is owed, so the next report is that answer: it is dropped,
// and the link is free again. Once its time is over it is no longer expected.
bool StationLink::dropOwedAnswer() {
    const auto now = Clock::now();
    while (!owed_.empty() && owed_.front().until <= now)
        owed_.pop_front();
    if (owed_.empty())
        return false;
    noteAnswerTime(owed_.front().sentAt);
    owed_.pop_front();
    if (owed_.empty())
        responseEvent_.set();
    return true;
}

void StationLink::dispatchAnswer(const Block& answer, std::size_t received) {
    if (received == 0)
        return;
    const std::size_t n = std::min(received, answer.size());
    std::lock_guard lock(dispatchMutex_);
    const auto kind = static_cast<ResponseKind>(expectedKind_.load());

    if (kind == ResponseKind::FileList || kind == ResponseKind::FileContent) {
        lastReport_ = Clock::now();
        if (dropOwedAnswer() || !stream_)
            return; // late, or the rest of a stream nobody waits for any more
        if ((*stream_)(answer, n) == StreamStep::Complete) {
            stream_ = nullptr;
            expectedKind_ = 0;
            responseEvent_.set();
        }
        return;
    }
    if (dropOwedAnswer())
        return;

    switch (kind) {
    case ResponseKind::Settings:
        fahrenheit_ = answer[7];
        break;
    case ResponseKind::Calibration:
    case ResponseKind::Alarm1:
    case ResponseKind::Alarm3:
    case ResponseKind::Alarm4:
    case ResponseKind::Readings:
    case ResponseKind::Interval:
    case ResponseKind::ScreenStatus:
    case ResponseKind::Identification:
        break;
    default:
        return; // nothing expected, or no answer wanted: dropped
    }
    // The whole receive buffer, as the station's own reader would see it.
    noteAnswerTime(sentAt_);
    answer_ = answer;
    expectedKind_ = 0;
    responseEvent_.set(); // always last: the sender wakes to a complete answer
}

} // namespace vellumet
