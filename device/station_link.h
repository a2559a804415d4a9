#pragma once

#include "command_frame.h"
#include "core/result.h"
#include "manual_reset_event.h"
#include "transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

namespace vellumet {

// Every pause and wait of the link. The station's own figures by default;
// tests shorten them so that a write does not cost real seconds.
struct LinkTiming {
    using ms = std::chrono::milliseconds;
    ms framePause{10}; // after every frame written: the station takes one per 10 ms
    ms writeGap{50};   // after each frame of a write, and before looking at the screen status
    ms statusAnswerWait{1000}; // how long a write waits for the screen-status answer
    ms readPoll{100};          // how long one read waits before the reader looks at the link again
    ms streamQuiet{100};       // a cut-off stream counts as over after this long without a report
    int waitPercent = 100;     // scales every wait of the command table and of the writes

    ms scaled(int tableMs) const { return ms(static_cast<long long>(tableMs) * waitPercent / 100); }

    // Short pauses and waits at a tenth: for tests against a station that answers at once.
    static LinkTiming quick() {
        LinkTiming t;
        t.framePause = ms(1);
        t.writeGap = ms(2);
        t.statusAnswerWait = ms(200);
        t.readPoll = ms(20);
        t.streamQuiet = ms(30);
        t.waitPercent = 10;
        return t;
    }
};

// What the consumer of a multi-report answer says after each report.
enum class StreamStep { More, Complete };
// Sees each report of a streamed answer on the reader thread.
using StreamConsumer = std::function<StreamStep(const Block& report, std::size_t received)>;

// How a write transaction is run.
struct WriteOptions {
    WriteTiming timing = write::Settings;
    bool sendEndOfWrite = true; // settings writes close with 0x2F; the clock does not
};

// The one connection to the station: finds and opens it, runs the reader
// thread that hands every answer to the exchange waiting for it, and offers
// the exchanges every sender uses. Only one request is outstanding at a time;
// the handshake behind that (the expected kind, the response event) is the
// link's own business.
class StationLink {
public:
    explicit StationLink(std::shared_ptr<Transport> transport, LinkTiming timing = {});
    ~StationLink();
    StationLink(const StationLink&) = delete;
    StationLink& operator=(const StationLink&) = delete;

    // --- Connection ---

    // Drops any earlier connection, scans for the station and opens it twice
    // (one handle for the reader, one for the writers). The first call starts
    // the reader thread, found or not. Returns whether the station is open.
    bool openStation();
    // How the last scan ended: ok when it opened the station, AccessDenied
    // when a station is present but this user may not open it, NotConnected
    // when none could be opened.
    Status openStatus() const;
    // Closes the station; the reader thread stays and waits for a new scan.
    void closeStation();
    // What a removal of the station means for everyone using the link: not
    // connected, every reading missing (the readings answer all 0xFF), and any
    // sender waiting for an answer let go at once.
    void markStationGone();
    // Whether the interface the link opened last is still among the present
    // ones (a removal notice may be about some other HID device).
    bool stationStillListed();
    // Whether any station is present, open or not.
    bool stationPresent();

    bool connected() const { return connected_.load() != 0; }
    // The station's temperature unit, from its last settings answer.
    bool fahrenheit() const { return fahrenheit_.load() != 0; }
    std::string devicePath() const;
    // The USB serial number of the interface the link opened last; empty
    // where the station or the transport has none.
    std::string deviceSerial() const;
    const LinkTiming& timing() const { return timing_; }

    // Called on the reader thread when the open station fails a read (it was
    // unplugged); the owner should scan again.
    void setLinkLostListener(std::function<void()> listener);
    // Plug and unplug as the transport reports them (only some do); any thread.
    void setChangeListener(std::function<void(DeviceChange)> listener);
    // Problems of the transport beyond the station itself (a trace that cannot
    // be written).
    Status transportStatus();

    // --- Exchanges ---

    // One request with one answer: wait for the link to be free (at most
    // timing.before), announce the kind, send, wait for the answer (at most
    // timing.after), then leave the link free whether it came or not.
    // Returns the answer; Timeout when it did not come. A late answer is owed
    // for three times the wait: it is dropped when it arrives, never taken
    // for another request's, and no request goes out meanwhile. Once that
    // time is over the link goes on without it.
    Result<Block> query(const QueryShape& shape, std::stop_token stop = {});

    // A request answered by several reports (card file list, file content):
    // each goes to the consumer until it says Complete. Timeout when it did
    // not within timing.after; the rest of a cut-off answer is drained.
    Status stream(const CommandFrame& frame, ResponseKind kind, QueryTiming timing,
                  const StreamConsumer& consumer, std::stop_token stop = {});

    // Frames with no answer sent without the screen-status check (direct clock
    // set, file delete, the interval write with its closing 0x2F): each frame
    // after the first follows a write gap; the closing wait always lasts its
    // full time unless the link is released.
    Status sendWithoutAnswer(std::span<const CommandFrame> frames, QueryTiming timing,
                             std::stop_token stop = {});

    // Changes the station's settings: asks whether it shows its main screen
    // (a status answer that does not come in time leaves the last one in
    // force) and only then sends the frames (each followed by a write gap) and the
    // closing 0x2F. Succeeds only if every frame was written.
    Status writeSettings(std::span<const CommandFrame> frames, const WriteOptions& options = {},
                         std::stop_token stop = {});

    // Lets every wait in progress return at once (shut-down).
    void cancelWaits();

    // How many frames the station has taken over this link: a sender that is
    // cut off compares it before and after, to tell how far its write got.
    std::uint64_t framesTaken() const { return framesTaken_.load(); }

private:
    friend struct LinkTestAccess; // tests drive the dispatch directly

    enum class WaitEnd { Signalled, TimedOut, Cancelled };
    WaitEnd awaitResponse(std::chrono::milliseconds timeout, const std::stop_token& stop);
    // Frees the link at the end of an exchange, unless an answer is owed.
    void releaseLink();
    // Held by the sender whose request is outstanding; a plain flag under a
    // mutex, so that a second sender can wait for it with a deadline.
    class ExchangeLock {
    public:
        bool tryLockUntil(std::chrono::steady_clock::time_point deadline) {
            std::unique_lock lock(mutex_);
            if (!freed_.wait_until(lock, deadline, [this] { return !held_; }))
                return false;
            held_ = true;
            return true;
        }
        void unlock() {
            {
                std::lock_guard lock(mutex_);
                held_ = false;
            }
            freed_.notify_one();
        }

    private:
        std::mutex mutex_;
        std::condition_variable freed_;
        bool held_ = false;
    };
    // The link for one exchange: when destroyed it frees the link (or
    // leaves it to the owed answer) and lets the next sender in.
    class Exclusive {
    public:
        explicit Exclusive(StationLink& link) : link_(&link) {}
        Exclusive(Exclusive&& other) noexcept : link_(std::exchange(other.link_, nullptr)) {}
        Exclusive& operator=(Exclusive&&) = delete;
        ~Exclusive() {
            if (link_) {
                link_->releaseLink();
                link_->exchangeLock_.unlock();
            }
        }

    private:
        StationLink* link_;
    };
    // The link for one exchange: no other sender's request is outstanding
    // (Timeout when one still is after timeout) and no answer is owed (an
    // owed answer is waited for until its time is over).
    Result<Exclusive> acquireLink(std::chrono::milliseconds timeout, const std::stop_token& stop);
    // The start of every exchange: the station open, the link this sender's
    // (waiting at most the table's wait, scaled), the kind announced.
    Result<Exclusive> claim(int tableWaitMs, ResponseKind kind, const std::stop_token& stop);
    Status sendFrame(const CommandFrame& frame);
    Status lostOr(Status status) const;
    // How an exchange ended, from the way its wait for the answer ended.
    Status answerOutcome(WaitEnd end) const;
    // The answer the dispatch handed over, taken once.
    std::optional<Block> takeAnswer();
    // Called when a wait for the answer to a frame sent at sentAt ended
    // without it. Returns true when the answer came after all in the
    // meantime; otherwise it is owed for `within`, or for twice the longest
    // time this station has taken to answer, if that is longer.
    bool oweAnswer(std::chrono::milliseconds within,
                   std::chrono::steady_clock::time_point sentAt = std::chrono::steady_clock::now());
    // Under dispatchMutex_: an answer to a frame sent at sentAt came now.
    void noteAnswerTime(std::chrono::steady_clock::time_point sentAt);
    void drainStream(ResponseKind kind, std::chrono::milliseconds limit);

    void dispatchAnswer(const Block& answer, std::size_t received);
    bool dropOwedAnswer();
    void readerLoop();
    void startReader();
    void stopReader();
    void releaseHandles();

    std::shared_ptr<Transport> transport_;
    const LinkTiming timing_;

    std::atomic<int> connected_{0};
    std::atomic<int> expectedKind_{0};
    std::atomic<int> fahrenheit_{0};
    std::atomic<int> away_{0}; // the last screen-status answer: non-zero away from the main screen
    ManualResetEvent responseEvent_{true};
    std::atomic<unsigned> wakeEpoch_{0};
    std::atomic<std::uint64_t> framesTaken_{0};
    ExchangeLock exchangeLock_;

    std::mutex scanMutex_; // one scan at a time
    mutable std::mutex pathMutex_;
    std::string devicePath_;
    std::string deviceSerial_;
    Status openStatus_ = makeError(Errc::NotConnected); // guarded by pathMutex_

    std::mutex readMutex_; // owns readHandle_; held by the reader during a read
    std::unique_ptr<HidHandle> readHandle_;
    bool readFailed_ = false;
    std::mutex writeMutex_; // owns writeHandle_
    std::unique_ptr<HidHandle> writeHandle_;

    ManualResetEvent readEvent_{false};
    std::atomic<bool> stopping_{false};
    std::thread reader_;

    // Answers owed by exchanges that gave up waiting, each with the moment
    // after which it is no longer expected; and the stream being received.
    std::mutex dispatchMutex_;
    struct Owed {
        std::chrono::steady_clock::time_point sentAt;
        std::chrono::steady_clock::time_point until;
    };
    std::deque<Owed> owed_;
    // The longest any answer took on this connection, late ones included: a
    // station that answers late is given that long before the link goes on.
    std::chrono::steady_clock::duration slowest_{};
    std::chrono::steady_clock::time_point sentAt_{}; // the pending query's frame
    const StreamConsumer* stream_ = nullptr;
    std::optional<Block> answer_; // the pending query's answer, once it came
    std::chrono::steady_clock::time_point lastReport_{};

    std::mutex hooksMutex_;
    std::function<void()> linkLost_;
};

} // namespace vellumet
