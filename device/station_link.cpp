#include "station_link.h"

#include <algorithm>
#include <chrono>

namespace vellumet {

namespace {

std::string latin1ToUtf8(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = bytes[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

StationLink::StationLink(std::shared_ptr<Transport> transport) : transport_(std::move(transport)) {}

StationLink::~StationLink() {
    stopReader();
    releaseHandles();
}

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
    connected = 0;
    {
        std::lock_guard lock(writeMutex_);
        writeHandle_.reset();
    }
    // Waits for a read in progress to return (at most kReadPollMs), so the
    // reader never reads a closed handle.
    std::lock_guard lock(readMutex_);
    readHandle_.reset();
    readFailed_ = false;
}

bool StationLink::openStation() {
    std::lock_guard scan(scanMutex_);
    startReader();
    releaseHandles();

    for (const DeviceInfo& info : transport_->enumerate(kStationVendorId, kStationProductId)) {
        {
            std::lock_guard lock(pathMutex_);
            devicePath_ = info.path;
        }
        if (info.vendorId != kStationVendorId || info.productId != kStationProductId)
            continue;
        auto reader = transport_->open(info.path);
        auto writer = reader ? transport_->open(info.path) : nullptr;
        if (!reader || !writer)
            continue; // an interface we cannot use counts as not found
        {
            std::lock_guard lock(readMutex_);
            readHandle_ = std::move(reader);
        }
        {
            std::lock_guard lock(writeMutex_);
            writeHandle_ = std::move(writer);
        }
        connected = 1;
        readEvent_.set();
        return true;
    }
    return false;
}

void StationLink::closeStation() {
    std::lock_guard scan(scanMutex_);
    releaseHandles();
}

void StationLink::markStationGone() {
    connected = 0;
    Block gone;
    gone.fill(0xFF);
    answers_.setReadingsAnswer(gone);
    responseEvent.set();
}

bool StationLink::stationStillListed() {
    const std::string path = devicePath();
    for (const DeviceInfo& info : transport_->enumerate(kStationVendorId, kStationProductId))
        if (info.path == path)
            return true;
    return false;
}

std::string StationLink::devicePath() const {
    std::lock_guard lock(pathMutex_);
    return devicePath_;
}

void StationLink::sendFrame(const Block& frame) {
    if (connected.load() == 0)
        return;
    std::array<std::uint8_t, kOutputReportSize> report{};
    std::copy(frame.begin(), frame.end(), report.begin() + 1);
    {
        std::lock_guard lock(writeMutex_);
        if (!writeHandle_)
            return;
        writeHandle_->write(report.data(), report.size());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void StationLink::setCardHandler(CardHandler handler) {
    std::lock_guard lock(hooksMutex_);
    cardHandler_ = std::move(handler);
}

void StationLink::setLinkLostListener(std::function<void()> listener) {
    std::lock_guard lock(hooksMutex_);
    linkLost_ = std::move(listener);
}

void StationLink::readerLoop() {
    // Persistent like the station's own receive buffer: a short report leaves
    // the tail of the previous one in place.
    Block receiveBuffer{};
    while (!stopping_) {
        std::unique_lock lock(readMutex_);
        if (connected.load() != 1 || !readHandle_ || readFailed_) {
            lock.unlock();
            readEvent_.wait();
            readEvent_.reset();
            continue;
        }
        const int n = readHandle_->read(receiveBuffer.data(), receiveBuffer.size(), kReadPollMs);
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

void StationLink::dispatchAnswer(const Block& answer, std::size_t received) {
    if (received == 0)
        return;
    const std::size_t n = std::min(received, answer.size());
    const ResponseKind kind = expected();
    bool answered = true;
    switch (kind) {
    case ResponseKind::Settings:
        answers_.put(answers_.settings_, answer, n);
        applySettingsAnswer();
        break;
    case ResponseKind::SettingsAlt:
        answers_.put(answers_.settings_, answer, n);
        break;
    case ResponseKind::Calibration:
        answers_.put(answers_.calibration_, answer, n);
        break;
    case ResponseKind::Alarm1:
    case ResponseKind::Alarm2:
    case ResponseKind::Alarm3:
    case ResponseKind::Alarm4:
        answers_.put(
            answers_.alarms_[static_cast<int>(kind) - static_cast<int>(ResponseKind::Alarm1)],
            answer, n);
        break;
    case ResponseKind::Readings:
        answers_.put(answers_.readings_, answer, n);
        break;
    case ResponseKind::FileList:
    case ResponseKind::FileContent: {
        CardHandler handler;
        {
            std::lock_guard lock(hooksMutex_);
            handler = cardHandler_;
        }
        if (handler)
            handler(kind, answer, n);
        answered = false; // the card handler clears and signals itself
        break;
    }
    case ResponseKind::Interval:
        answers_.interval_.store(answer[1]);
        break;
    case ResponseKind::ScreenStatus:
        answers_.storeAway(answer[1]);
        break;
    case ResponseKind::Identification: {
        const auto end = std::find(answer.begin(), answer.begin() + n, std::uint8_t{0});
        answers_.storeIdent(
            latin1ToUtf8(answer.data(), static_cast<std::size_t>(end - answer.begin())));
        break;
    }
    default:
        answered = false; // nothing expected, or no answer wanted: dropped
        break;
    }
    if (answered) {
        expectedKind.store(0);
        responseEvent.set(); // always last: the sender wakes to a complete answer
    }
}

void StationLink::applySettingsAnswer() {
    const Block settings = answers_.settingsAnswer();
    fahrenheit.store(settings[7]);
    std::function<void(const Block&)> sink;
    {
        std::lock_guard lock(answers_.mutex_);
        sink = answers_.settingsSink_;
    }
    if (sink)
        sink(settings);
}

} // namespace vellumet
