#include "trace_transport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace vellumet {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

class TracingHandle final : public HidHandle {
public:
    TracingHandle(std::unique_ptr<HidHandle> inner, std::shared_ptr<TraceLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

    bool write(const std::uint8_t* report, std::size_t size) override {
        // The report id (byte 0) is not part of the frame.
        if (size > 1)
            log_->record(TraceLog::Direction::Out, report + 1, size - 1);
        return inner_->write(report, size);
    }

    int read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        const int n = inner_->read(buffer, size, timeoutMs);
        if (n > 0)
            log_->record(TraceLog::Direction::In, buffer, static_cast<std::size_t>(n));
        return n;
    }

private:
    std::unique_ptr<HidHandle> inner_;
    std::shared_ptr<TraceLog> log_;
};

} // namespace

TraceLog::TraceLog(std::ostream& out, std::string name) : out_(&out), name_(std::move(name)) {
    start();
}

TraceLog::TraceLog(const std::string& path)
    : file_(std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc)),
      name_("trace file " + path) {
    if (file_->is_open())
        out_ = file_.get();
    else
        error_ = makeError(Errc::Io, "cannot create the " + name_);
    start();
}

void TraceLog::start() {
    buffer_.reserve(kFlushBytes + kMaxLineLength);
    if (out_ != nullptr)
        flusher_ = std::thread([this] { flusherLoop(); });
}

TraceLog::~TraceLog() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable())
        flusher_.join();
    (void)flush();
}

std::size_t TraceLog::formatLine(char* out, std::uint64_t milliseconds, Direction direction,
                                 const std::uint8_t* data, std::size_t size) {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + milliseconds % 10);
        milliseconds /= 10;
    } while (milliseconds != 0);
    char* p = out;
    while (count > 0)
        *p++ = digits[--count];
    const char* tag = direction == Direction::Out ? " OUT " : " IN ";
    while (*tag != '\0')
        *p++ = *tag++;
    const std::size_t n = std::min(size, kReportDataSize);
    for (std::size_t i = 0; i < n; ++i) {
        *p++ = kHexDigits[data[i] >> 4];
        *p++ = kHexDigits[data[i] & 0x0F];
    }
    for (std::size_t i = n; i < kReportDataSize; ++i) {
        *p++ = '0';
        *p++ = '0';
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

void TraceLog::record(Direction direction, const std::uint8_t* data, std::size_t size) {
    if (out_ == nullptr)
        return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    std::array<char, kMaxLineLength> line;
    const std::size_t length =
        formatLine(line.data(), static_cast<std::uint64_t>(elapsed.count()), direction, data, size);
    bool full = false;
    {
        std::lock_guard lock(mutex_);
        buffer_.append(line.data(), length);
        full = buffer_.size() >= kFlushBytes;
    }
    if (full)
        wake_.notify_one();
}

Status TraceLog::flush() {
    if (out_ == nullptr)
        return status();
    std::lock_guard write(writeMutex_);
    std::string pending;
    {
        std::lock_guard lock(mutex_);
        if (!buffer_.empty()) {
            pending.reserve(kFlushBytes + kMaxLineLength);
            pending.swap(buffer_);
        }
    }
    if (pending.empty() || error_)
        return error_ ? Status(*error_) : Status();
    errno = 0;
    out_->write(pending.data(), static_cast<std::streamsize>(pending.size()));
    out_->flush();
    if (!out_->good()) {
        const int cause = errno;
        error_ = makeError(
            Errc::Io, "cannot write the " + name_ +
                          (cause != 0 ? ": " + std::string(std::strerror(cause)) : std::string()));
        return *error_;
    }
    return {};
}

Status TraceLog::status() const {
    std::lock_guard write(writeMutex_);
    return error_ ? Status(*error_) : Status();
}

void TraceLog::flusherLoop() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, kFlushInterval,
                       [this] { return stop_ || buffer_.size() >= kFlushBytes; });
        if (stop_)
            break;
        lock.unlock();
        (void)flush();
        lock.lock();
    }
}

TracingTransport::TracingTransport(std::shared_ptr<Transport> inner, std::shared_ptr<TraceLog> log)
    : inner_(std::move(inner)), log_(std::move(log)) {}

TracingTransport::TracingTransport(std::shared_ptr<Transport> inner, const std::string& tracePath)
    : TracingTransport(std::move(inner), std::make_shared<TraceLog>(tracePath)) {}

TracingTransport::TracingTransport(std::shared_ptr<Transport> inner, std::ostream& out)
    : TracingTransport(std::move(inner), std::make_shared<TraceLog>(out)) {}

TracingTransport::~TracingTransport() {
    // Handles still open keep the log alive; what is traced so far is on disk now.
    (void)log_->flush();
}

std::vector<DeviceInfo> TracingTransport::enumerate(std::uint16_t vendorId,
                                                    std::uint16_t productId) {
    return inner_->enumerate(vendorId, productId);
}

std::unique_ptr<HidHandle> TracingTransport::open(const std::string& path) {
    auto handle = inner_->open(path);
    if (!handle)
        return nullptr;
    return std::make_unique<TracingHandle>(std::move(handle), log_);
}

Result<std::unique_ptr<HidHandle>> TracingTransport::tryOpen(const std::string& path) {
    auto handle = inner_->tryOpen(path);
    if (!handle)
        return handle.error();
    return std::unique_ptr<HidHandle>(
        std::make_unique<TracingHandle>(std::move(handle.value()), log_));
}

void TracingTransport::setChangeListener(std::function<void(DeviceChange)> listener) {
    inner_->setChangeListener(std::move(listener));
}

} // namespace vellumet
