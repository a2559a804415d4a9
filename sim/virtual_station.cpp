#include "virtual_station.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

namespace vellumet::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The command codes the station knows. The station keeps its own list, so that
// a wrong code in the program shows up as a station that does not answer.
namespace code {
constexpr std::uint8_t FileList = 0x01;
constexpr std::uint8_t FileRead = 0x02;
constexpr std::uint8_t Readings = 0x03;
constexpr std::uint8_t Settings = 0x04;
constexpr std::uint8_t Calibration = 0x05;
constexpr std::uint8_t AlarmBlock1 = 0x06;
constexpr std::uint8_t AlarmBlock3 = 0x08;
constexpr std::uint8_t AlarmBlock4 = 0x09;
constexpr std::uint8_t SetLanguage = 0x0B;
constexpr std::uint8_t WriteSettings = 0x10;
constexpr std::uint8_t WriteCalibration = 0x11;
constexpr std::uint8_t WriteAlarm1 = 0x12;
constexpr std::uint8_t WriteAlarm3 = 0x14;
constexpr std::uint8_t WriteAlarm4 = 0x15;
constexpr std::uint8_t DeleteFile = 0x20;
constexpr std::uint8_t EndOfWrite = 0x2F;
constexpr std::uint8_t SetClock = 0x30;
constexpr std::uint8_t WriteInterval = 0x40;
constexpr std::uint8_t Interval = 0x41;
constexpr std::uint8_t ScreenStatus = 0x51;
constexpr std::uint8_t Identification = 0xFE;
} // namespace code

constexpr std::uint8_t kOpen = 0x7B;  // "{"
constexpr std::uint8_t kAt = 0x40;    // "@"
constexpr std::uint8_t kClose = 0x7D; // "}"

// Longest piece of file content in one report: "{" + piece + "}" fills 64 bytes.
constexpr std::size_t kMaxPiece = 62;

void putU16(Block& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

void putU32(Block& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint32_t getU32(const Block& b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | b[at + i];
    return v;
}

Block endMarker() {
    Block b{};
    b[0] = kOpen;
    b[1] = kAt;
    b[2] = kClose;
    return b;
}

// Whether the frame ends with "@" "}" at `at` and only zero bytes follow.
bool trailerAt(const Block& frame, std::size_t at) {
    if (at + 1 >= frame.size() || frame[at] != kAt || frame[at + 1] != kClose)
        return false;
    return std::all_of(frame.begin() + static_cast<std::ptrdiff_t>(at) + 2, frame.end(),
                       [](std::uint8_t b) { return b == 0; });
}

// Bytes between the code and the "@}" of the card requests that follow the
// name: the read request's start and end offsets.
constexpr std::size_t kReadOffsetsSize = 8;

// The payload length of a well-formed frame, or nothing for a frame the
// station does not take: no "{" in byte 0, or no "@}" right after the payload
// its command carries, or anything but zero bytes after it. Queries, 0x2F and
// unknown codes carry no payload; each write its fixed one; the settings write
// either five areas (27 bytes) or eight (39). The card requests 0x02 and 0x20
// carry a name of any length: the station takes the frame's last non-zero
// byte as its closing "}", so the name runs from byte 2 to the read request's
// offsets (0x02) or to the "@" (0x20). Whether the name is one the station
// serves is decided by cardNameAllowed.
std::optional<std::size_t> payloadLength(const Block& frame) {
    if (frame[0] != kOpen)
        return std::nullopt;
    std::size_t length = 0;
    switch (frame[1]) {
    case code::WriteSettings:
        length = trailerAt(frame, 2 + 27) ? 27 : 39;
        break;
    case code::WriteInterval:
    case code::SetLanguage:
        length = 1;
        break;
    case code::WriteCalibration:
        length = 24;
        break;
    case code::WriteAlarm1:
        length = 6;
        break;
    case code::WriteAlarm3:
        length = 32;
        break;
    case code::WriteAlarm4:
        length = 16;
        break;
    case code::SetClock:
        length = 8;
        break;
    case code::FileRead:
    case code::DeleteFile: {
        std::size_t last = frame.size();
        while (last > 0 && frame[last - 1] == 0)
            --last;
        // last - 1 is the closing "}", last - 2 the "@".
        const std::size_t fixed = frame[1] == code::FileRead ? kReadOffsetsSize : 0;
        if (last < 4 + fixed)
            return std::nullopt;
        length = last - 4;
        break;
    }
    default:
        length = 0;
        break;
    }
    if (!trailerAt(frame, 2 + length))
        return std::nullopt;
    return length;
}

// Whether a card request may name this file: one or more bytes, no NUL (the
// file system would end the name there and open another file), no path
// separator of either kind, and not "." or "..".
bool cardNameAllowed(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string_view("\0/\\", 3)) == std::string::npos &&
           name != "." && name != "..";
}

struct ChannelModel {
    double temperature; // °C
    double swing;       // °C
    double humidity;    // %
    double humiditySwing;
    double periodSeconds;
    double phase;
};

// Eight sensors in different places: a living room, outdoors, a cellar, a
// freezer, a greenhouse... Each drifts on its own slow cycle.
constexpr ChannelModel kChannels[8] = {
    {21.5, 1.2, 45, 4, 1800, 0.0}, {8.4, 3.5, 78, 12, 2400, 1.1},  {13.0, 0.8, 66, 5, 3000, 2.3},
    {-18.2, 1.5, 30, 6, 900, 0.4}, {26.0, 4.0, 82, 10, 1500, 3.0}, {19.3, 2.0, 52, 7, 2700, 4.2},
    {4.8, 1.0, 88, 6, 3600, 5.1},  {23.7, 2.6, 38, 9, 1200, 0.9},
};

} // namespace

Block generatedReadings(std::chrono::milliseconds sinceStart) {
    const double t = static_cast<double>(sinceStart.count()) / 1000.0;
    Block b{};
    for (std::size_t c = 0; c < 8; ++c) {
        const ChannelModel& m = kChannels[c];
        const double angle = 2.0 * std::numbers::pi * t / m.periodSeconds + m.phase;
        const double temperature =
            std::clamp(m.temperature + m.swing * std::sin(angle), -40.0, 60.0);
        // Humidity falls as the temperature rises, as it does in a closed room.
        const double humidity =
            std::clamp(m.humidity - m.humiditySwing * std::sin(angle), 1.0, 99.0);
        const auto tenths = static_cast<std::int16_t>(std::lround(temperature * 10.0));
        putU16(b, 3 * c + 1, static_cast<std::uint16_t>(tenths));
        b[3 * c + 3] = static_cast<std::uint8_t>(std::lround(humidity));
    }
    return b;
}

VirtualStation::VirtualStation(Profile profile) : profile_(std::move(profile)) {
    // Settings as a station fresh from the box: temperature graph over 24 h,
    // time zone +1, each area showing its channel's temperature and dew point
    // (area 1 also the heat index).
    settings_[1] = 0;
    settings_[2] = 24;
    settings_[6] = 1;
    settings_[7] = static_cast<std::uint8_t>(profile_.unit);
    for (std::size_t area = 0; area < 8; ++area) {
        const std::uint32_t bits = area == 0 ? 0b111u : 0b011u;
        putU32(settings_, 8 + 4 * area, bits << (3 * area));
    }
    // Alarms: both switches on, CH1 high and low temperature limits enabled,
    // 35.0 / -10.0 °C and 80 / 20 % on every channel.
    alarms_[0][5] = 0x01;
    alarms_[0][6] = 0x01;
    for (std::size_t ch = 0; ch < 8; ++ch) {
        putU16(alarms_[2], 4 * ch + 1, 350);
        putU16(alarms_[2], 4 * ch + 3, static_cast<std::uint16_t>(std::int16_t{-100}));
        alarms_[3][2 * ch + 1] = 80;
        alarms_[3][2 * ch + 2] = 20;
    }
    if (profile_.sdDir.empty())
        card_ = defaultCard();
    notifier_ = std::thread([this] { notifierLoop(); });
}

VirtualStation::~VirtualStation() {
    {
        std::lock_guard lock(notifyMutex_);
        stopNotifier_ = true;
    }
    notifyWake_.notify_all();
    notifier_.join();
}

void VirtualStation::plug() {
    {
        std::lock_guard lock(mutex_);
        if (plugged_)
            return;
        plugged_ = true;
    }
    notify(DeviceChange::Arrival);
}

void VirtualStation::unplug() {
    std::lock_guard lock(mutex_);
    if (plugged_)
        unplugLocked();
}

void VirtualStation::unplugLocked() {
    plugged_ = false;
    ++generation_; // every handle of this plug cycle is dead from now on
    outbox_.clear();
    reportReady_.notify_all();
    notify(DeviceChange::Removal);
}

bool VirtualStation::plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

std::optional<std::uint64_t> VirtualStation::attach() const {
    std::lock_guard lock(mutex_);
    if (!plugged_)
        return std::nullopt;
    return generation_;
}

std::vector<Block> VirtualStation::receivedFrames() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void VirtualStation::clearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

Block VirtualStation::settingsBlock() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

Block VirtualStation::calibrationBlock() const {
    std::lock_guard lock(mutex_);
    return calibration_;
}

Block VirtualStation::alarmBlock(int block) const {
    std::lock_guard lock(mutex_);
    if (block < 1 || block > 4)
        return Block{};
    return alarms_[block - 1];
}

int VirtualStation::interval() const {
    std::lock_guard lock(mutex_);
    return profile_.interval;
}

int VirtualStation::unit() const {
    std::lock_guard lock(mutex_);
    return settings_[7];
}

int VirtualStation::screenAway() const {
    std::lock_guard lock(mutex_);
    return profile_.screenAway;
}

void VirtualStation::setScreenAway(int value) {
    std::lock_guard lock(mutex_);
    profile_.screenAway = value;
}

std::string VirtualStation::ident() const {
    std::lock_guard lock(mutex_);
    return profile_.ident;
}

std::optional<int> VirtualStation::language() const {
    std::lock_guard lock(mutex_);
    return language_;
}

std::optional<Block> VirtualStation::lastClockFrame() const {
    std::lock_guard lock(mutex_);
    return clock_;
}

int VirtualStation::endOfWriteCount() const {
    std::lock_guard lock(mutex_);
    return endOfWrites_;
}

std::vector<std::string> VirtualStation::cardFileNames() const {
    std::lock_guard lock(mutex_);
    return listNames();
}

std::optional<std::string> VirtualStation::cardFile(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return readCardFile(name);
}

int VirtualStation::reportsSent() const {
    std::lock_guard lock(mutex_);
    return reportsSent_;
}

int VirtualStation::reportsPending() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(outbox_.size());
}

bool VirtualStation::acceptFrame(std::uint64_t generation, const Block& frame) {
    std::lock_guard lock(mutex_);
    if (!plugged_ || generation != generation_)
        return false;
    received_.push_back(frame);
    const auto length = payloadLength(frame);
    if (!length)
        return true; // not a well-formed frame; the station ignores it
    applyWrite(frame, *length);
    if (profile_.faults.silent || profile_.faults.ignored.contains(frame[1]))
        return true;
    const std::vector<Block> answers = answerFor(frame, *length);
    if (answers.empty())
        return true;
    const auto now = Clock::now();
    const auto step = std::chrono::milliseconds(std::max(0, profile_.faults.reportMs));
    auto due = now + std::chrono::milliseconds(std::max(0, profile_.faults.answerDelayMs));
    if (!outbox_.empty())
        due = std::max(due, outbox_.back().due);
    for (const Block& report : answers) {
        due += step;
        outbox_.push_back({due, report});
    }
    reportReady_.notify_all();
    return true;
}

int VirtualStation::readReport(std::uint64_t generation, std::uint8_t* buffer, std::size_t size,
                               int timeoutMs) {
    std::unique_lock lock(mutex_);
    // A negative timeout waits without end, as hidapi's blocking read does.
    const auto deadline = timeoutMs < 0 ? Clock::time_point::max()
                                        : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!plugged_ || generation != generation_)
            return -1;
        const auto now = Clock::now();
        if (!outbox_.empty() && outbox_.front().due <= now) {
            const Block report = outbox_.front().report;
            outbox_.pop_front();
            const std::size_t n = std::min(size, report.size());
            std::copy_n(report.begin(), n, buffer);
            ++reportsSent_;
            if (profile_.faults.unplugAfterReports > 0 &&
                reportsSent_ == profile_.faults.unplugAfterReports)
                unplugLocked(); // this report still arrives; the next read finds it gone
            return static_cast<int>(n);
        }
        if (now >= deadline)
            return 0;
        const auto wake = outbox_.empty() ? deadline : std::min(deadline, outbox_.front().due);
        reportReady_.wait_until(lock, wake);
    }
}

std::vector<Block> VirtualStation::answerFor(const Block& frame, std::size_t length) {
    const std::uint8_t code = frame[1];
    if (const auto raw = profile_.answerSequences.find(code); raw != profile_.answerSequences.end())
        return raw->second;
    if (const auto raw = profile_.answers.find(code); raw != profile_.answers.end())
        return {raw->second};
    Block b{};
    switch (code) {
    case code::Readings:
        return {generatedReadings(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_))};
    case code::Settings:
        return {settings_};
    case code::Calibration:
        return {calibration_};
    case code::AlarmBlock1:
        return {alarms_[0]};
    case code::AlarmBlock3:
        return {alarms_[2]};
    case code::AlarmBlock4:
        return {alarms_[3]};
    case code::Interval:
        b[1] = static_cast<std::uint8_t>(profile_.interval);
        return {b};
    case code::ScreenStatus:
        b[1] = static_cast<std::uint8_t>(profile_.screenAway);
        return {b};
    case code::Identification:
        // Read from answer byte 0 up to the first zero byte.
        std::copy_n(profile_.ident.begin(), std::min(profile_.ident.size(), b.size()), b.begin());
        return {b};
    case code::FileList:
        return fileListReports();
    case code::FileRead:
        return fileContentReports(frame, length);
    default:
        return {}; // writes and unknown codes: no answer
    }
}

void VirtualStation::applyWrite(const Block& frame, std::size_t length) {
    switch (frame[1]) {
    case code::WriteSettings: {
        // The frame carries settings bytes 1..39 one position further on; a
        // five-area frame stops after area 5 and leaves areas 6 to 8 alone.
        const std::size_t last = 1 + length;
        for (std::size_t i = 2; i <= last; ++i)
            settings_[i - 1] = frame[i];
        break;
    }
    case code::WriteInterval:
        if (frame[2] >= 1 && frame[2] <= 240)
            profile_.interval = frame[2];
        break;
    case code::WriteCalibration:
        for (std::size_t i = 2; i <= 25; ++i)
            calibration_[i - 1] = frame[i];
        break;
    case code::WriteAlarm1:
        for (std::size_t i = 2; i <= 7; ++i)
            alarms_[0][i - 1] = frame[i];
        break;
    case code::WriteAlarm3:
        for (std::size_t i = 2; i <= 33; ++i)
            alarms_[2][i - 1] = frame[i];
        break;
    case code::WriteAlarm4:
        for (std::size_t i = 2; i <= 17; ++i)
            alarms_[3][i - 1] = frame[i];
        break;
    case code::SetClock:
        clock_ = frame;
        break;
    case code::SetLanguage:
        language_ = frame[2];
        break;
    case code::DeleteFile:
        deleteCardFile(std::string(frame.begin() + 2, frame.begin() + 2 + length));
        break;
    case code::EndOfWrite:
        ++endOfWrites_;
        break;
    default:
        break;
    }
}

std::vector<std::string> VirtualStation::listNames() const {
    std::vector<std::string> names;
    if (profile_.sdDir.empty()) {
        for (const CardFile& f : card_)
            names.push_back(f.name);
        return names;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(profile_.sdDir, ec)) {
        std::error_code typeError;
        if (entry.is_regular_file(typeError))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> VirtualStation::readCardFile(const std::string& name) const {
    if (!cardNameAllowed(name))
        return std::nullopt;
    if (profile_.sdDir.empty()) {
        for (const CardFile& f : card_)
            if (f.name == name)
                return f.content;
        return std::nullopt;
    }
    std::ifstream in(std::filesystem::path(profile_.sdDir) / name, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void VirtualStation::deleteCardFile(const std::string& name) {
    if (!cardNameAllowed(name))
        return;
    if (profile_.sdDir.empty()) {
        std::erase_if(card_, [&](const CardFile& f) { return f.name == name; });
        return;
    }
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(profile_.sdDir) / name, ec);
}

std::vector<Block> VirtualStation::fileListReports() const {
    std::vector<Block> reports;
    for (const std::string& name : listNames()) {
        // Lead byte, name, ",", size (4 bytes), "}": a name needs room for the
        // size, and a comma in it would end the name early; such files are
        // not listed, as the station could not name them either. Nor are
        // names a request may not name (one with a backslash, say).
        if (!cardNameAllowed(name) || name.size() > 58 || name.find(',') != std::string::npos)
            continue;
        std::uint32_t size = 0;
        if (profile_.sdDir.empty()) {
            size = static_cast<std::uint32_t>(readCardFile(name)->size());
        } else {
            std::error_code ec;
            size = static_cast<std::uint32_t>(
                std::filesystem::file_size(std::filesystem::path(profile_.sdDir) / name, ec));
            if (ec)
                continue;
        }
        Block b{};
        b[0] = kOpen;
        std::copy(name.begin(), name.end(), b.begin() + 1);
        const std::size_t comma = 1 + name.size();
        b[comma] = ',';
        putU32(b, comma + 1, size);
        b[comma + 5] = kClose;
        reports.push_back(b);
    }
    reports.push_back(endMarker());
    return reports;
}

std::vector<Block> VirtualStation::fileContentReports(const Block& frame, std::size_t length) {
    // Name, start (4 bytes), end (4 bytes); payloadLength found the name's end.
    const std::size_t nameLength = length - kReadOffsetsSize;
    const std::string name(frame.begin() + 2, frame.begin() + 2 + nameLength);
    const std::uint32_t from = getU32(frame, 2 + nameLength);
    const std::uint32_t to = getU32(frame, 6 + nameLength);
    if (!cardNameAllowed(name))
        return {endMarker()}; // as for a file the card does not hold

    // The range is clipped to the file before anything is read or sized, so a
    // request for bytes 0 to 0xFFFFFFFF costs the file's size and no more.
    std::string piece;
    if (profile_.sdDir.empty()) {
        for (const CardFile& f : card_)
            if (f.name == name && from < f.content.size())
                piece = f.content.substr(from, std::min<std::size_t>(to, f.content.size()) - from);
    } else {
        const std::filesystem::path path = std::filesystem::path(profile_.sdDir) / name;
        std::error_code ec;
        const bool regular = std::filesystem::is_regular_file(path, ec);
        const std::uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
        const std::uintmax_t stop = std::min<std::uintmax_t>(to, ec ? 0 : size);
        std::ifstream in;
        if (from < stop)
            in.open(path, std::ios::binary);
        if (in.is_open() && in.seekg(from)) {
            piece.resize(static_cast<std::size_t>(stop - from));
            in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
            piece.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
        }
    }
    if (to <= from)
        piece.clear();

    std::vector<Block> reports;
    for (std::size_t at = 0; at < piece.size(); at += kMaxPiece) {
        const std::size_t n = std::min(kMaxPiece, piece.size() - at);
        Block b{};
        b[0] = kOpen;
        std::copy_n(piece.begin() + static_cast<std::ptrdiff_t>(at), n, b.begin() + 1);
        ++contentReports_;
        const int every = profile_.faults.corruptContentEvery;
        if (every <= 0 || contentReports_ % every != 0)
            b[1 + n] = kClose;
        reports.push_back(b);
    }
    reports.push_back(endMarker());
    return reports;
}

int VirtualStation::addChangeListener(std::function<void(DeviceChange)> listener) {
    std::lock_guard lock(listenerMutex_);
    const int id = nextListener_++;
    listeners_[id] = std::move(listener);
    return id;
}

void VirtualStation::removeChangeListener(int id) {
    std::lock_guard lock(listenerMutex_);
    listeners_.erase(id);
}

void VirtualStation::notify(DeviceChange change) {
    {
        std::lock_guard lock(notifyMutex_);
        changes_.push_back(change);
    }
    notifyWake_.notify_all();
}

void VirtualStation::notifierLoop() {
    std::unique_lock lock(notifyMutex_);
    for (;;) {
        notifyWake_.wait(lock, [this] { return stopNotifier_ || !changes_.empty(); });
        if (stopNotifier_)
            return;
        const DeviceChange change = changes_.front();
        changes_.pop_front();
        lock.unlock();
        {
            std::lock_guard listeners(listenerMutex_);
            for (auto& [id, listener] : listeners_)
                if (listener)
                    listener(change);
        }
        lock.lock();
    }
}

// --- transport ---------------------------------------------------------------

namespace {

class VirtualHandle final : public HidHandle {
public:
    VirtualHandle(std::shared_ptr<VirtualStation> station, std::uint64_t generation)
        : station_(std::move(station)), generation_(generation) {}

    bool write(const std::uint8_t* report, std::size_t size) override {
        if (size < 1 || report[0] != 0)
            return false; // the station has no numbered reports
        Block frame{};
        std::copy_n(report + 1, std::min(size - 1, frame.size()), frame.begin());
        return station_->acceptFrame(generation_, frame);
    }

    int read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        return station_->readReport(generation_, buffer, size, timeoutMs);
    }

private:
    std::shared_ptr<VirtualStation> station_;
    std::uint64_t generation_;
};

} // namespace

VirtualTransport::VirtualTransport(std::shared_ptr<VirtualStation> station)
    : station_(std::move(station)) {}

VirtualTransport::~VirtualTransport() {
    std::lock_guard lock(mutex_);
    if (listenerId_ != 0)
        station_->removeChangeListener(listenerId_);
}

std::vector<DeviceInfo> VirtualTransport::enumerate(std::uint16_t vendorId,
                                                    std::uint16_t productId) {
    if (!station_->plugged() || vendorId != kVendorId || productId != kProductId)
        return {};
    return {DeviceInfo{kPath, kVendorId, kProductId}};
}

std::unique_ptr<HidHandle> VirtualTransport::open(const std::string& path) {
    if (path != kPath)
        return nullptr;
    const auto generation = station_->attach();
    if (!generation)
        return nullptr;
    return std::make_unique<VirtualHandle>(station_, *generation);
}

void VirtualTransport::setChangeListener(std::function<void(DeviceChange)> listener) {
    std::lock_guard lock(mutex_);
    if (listenerId_ != 0)
        station_->removeChangeListener(listenerId_);
    listenerId_ = listener ? station_->addChangeListener(std::move(listener)) : 0;
}

} // namespace vellumet::sim
