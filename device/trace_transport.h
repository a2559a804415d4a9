#pragma once

#include "core/result.h"
#include "transport.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

namespace vellumet {

// The protocol trace: one text line per report,
//   "<ms since start> OUT <128 hex digits>"  for every frame written,
//   "<ms since start> IN <128 hex digits>"   for every report read,
// the 64 data bytes in upper-case hex, report id left out. A report shorter
// than 64 bytes is padded with zero bytes so that every line has one shape.
//
// Lines are gathered in memory and written out in blocks: by a background
// flush at most every kFlushInterval, when the buffer grows past
// kFlushBytes, and on destruction. That keeps the cost per report to a
// short formatting step under one lock, while the file stays readable (at
// most ~100 ms behind) while the program runs.
class TraceLog {
public:
    static constexpr std::chrono::milliseconds kFlushInterval{100};
    static constexpr std::size_t kFlushBytes = 64 * 1024;

    enum class Direction { Out, In };

    // Writes to out, which must outlive the log; name is how errors call it.
    explicit TraceLog(std::ostream& out, std::string name = "trace");
    // Creates (truncates) the file at path; ok() tells whether that worked.
    explicit TraceLog(const std::string& path);
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    bool ok() const { return out_ != nullptr && out_->good(); }

    void record(Direction direction, const std::uint8_t* data, std::size_t size);

    // Writes everything buffered so far and flushes the stream. Returns
    // status().
    Status flush();

    // The first failure of the trace: the file could not be created, or a
    // write to it failed (a full disk, /dev/full). Once a write has failed the
    // trace is incomplete for good, so the first error stays; later lines are
    // dropped rather than kept in memory.
    Status status() const;

    // Formats one line (with its line feed) into out, which must hold
    // kMaxLineLength characters; returns the number of characters written.
    static constexpr std::size_t kMaxLineLength = 20 + 5 + 128 + 1;
    static std::size_t formatLine(char* out, std::uint64_t milliseconds, Direction direction,
                                  const std::uint8_t* data, std::size_t size);

private:
    void start();
    void flusherLoop();

    std::unique_ptr<std::ofstream> file_;
    std::ostream* out_ = nullptr;
    std::string name_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

    std::mutex mutex_; // guards buffer_ and stop_
    std::string buffer_;
    bool stop_ = false;
    std::condition_variable wake_;
    mutable std::mutex writeMutex_; // taken before mutex_: blocks reach the stream in order
    std::optional<Error> error_;    // guarded by writeMutex_
    std::thread flusher_;
};

// A transport that passes everything to another one and records every report
// in a TraceLog. Used for the real and the virtual station alike.
class TracingTransport final : public Transport {
public:
    TracingTransport(std::shared_ptr<Transport> inner, std::shared_ptr<TraceLog> log);
    // Opens (truncates) the trace file; check traceOk() afterwards.
    TracingTransport(std::shared_ptr<Transport> inner, const std::string& tracePath);
    // Traces into a stream that outlives every handle this transport opens.
    TracingTransport(std::shared_ptr<Transport> inner, std::ostream& out);
    ~TracingTransport() override;

    bool traceOk() const { return log_->ok(); }
    // Writes out what is traced so far and tells whether the whole trace
    // reached its file (see TraceLog::status). Call it before the program
    // ends: the destructor flushes too, but can tell nobody.
    Status traceStatus() { return log_->flush(); }
    Status status() override { return traceStatus(); }
    TraceLog& log() { return *log_; }

    std::vector<DeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<HidHandle> open(const std::string& path) override;
    Result<std::unique_ptr<HidHandle>> tryOpen(const std::string& path) override;
    void setChangeListener(std::function<void(DeviceChange)> listener) override;

private:
    std::shared_ptr<Transport> inner_;
    std::shared_ptr<TraceLog> log_;
};

} // namespace vellumet
