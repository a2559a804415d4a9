#pragma once

#include "answer_store.h"
#include "command_frame.h"
#include "manual_reset_event.h"
#include "transport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vellumet {

// The one connection to the station: finds and opens it, writes command
// frames, and runs the reader thread that files every answer according to
// the kind the sender announced in expectedKind.
//
// Only one request is outstanding at a time. A sender waits for
// responseEvent, resets it, sets expectedKind and sends; the reader stores the
// answer, clears expectedKind and sets responseEvent as its very last step.
class StationLink {
public:
    // How long the reader's read call waits before it looks at the link state
    // again; bounds the time a re-scan or shut-down waits for the reader.
    static constexpr int kReadPollMs = 100;

    explicit StationLink(std::shared_ptr<Transport> transport);
    ~StationLink();
    StationLink(const StationLink&) = delete;
    StationLink& operator=(const StationLink&) = delete;

    // Drops any earlier connection, scans for the station and opens it twice
    // (one handle for the reader, one for the writers). The first call starts
    // the reader thread, found or not. Returns whether the station is open.
    bool openStation();

    // Closes the station; the reader thread stays and waits for a new scan.
    void closeStation();

    // What a removal of the station means for everyone using the link: not
    // connected, every reading missing (the readings answer all 0xFF), and any
    // sender waiting for an answer let go at once.
    void markStationGone();

    // Whether the interface the link opened last is still among the present
    // ones (a removal notice may be about some other HID device).
    bool stationStillListed();

    // Writes one frame as an output report with report id 0, then pauses
    // 10 ms so that the station is not flooded. Does nothing, and does not
    // pause, while not connected.
    void sendFrame(const CommandFrame& frame) { sendFrame(frame.bytes()); }
    void sendFrame(const Block& frame);

    // Files one answer (its data bytes, report id dropped) according to
    // expectedKind. Called by the reader thread; public for tests.
    void dispatchAnswer(const Block& answer, std::size_t received);

    ResponseKind expected() const { return static_cast<ResponseKind>(expectedKind.load()); }
    void expect(ResponseKind kind) { expectedKind.store(static_cast<int>(kind)); }

    std::string devicePath() const;
    AnswerStore& answers() { return answers_; }
    const AnswerStore& answers() const { return answers_; }
    Transport& transport() { return *transport_; }

    // Kinds 9 and 10 (card file list and content) go to this handler, which
    // then owns expectedKind and responseEvent for them. Runs on the reader thread.
    using CardHandler = std::function<void(ResponseKind, const Block&, std::size_t)>;
    void setCardHandler(CardHandler handler);

    // Called on the reader thread when the open station fails a read (it was
    // unplugged); the owner should scan again. The reader stops reading that
    // handle until the next scan.
    void setLinkLostListener(std::function<void()> listener);

    std::atomic<int> connected{0};
    std::atomic<int> expectedKind{0};
    std::atomic<int> fahrenheit{0};
    ManualResetEvent responseEvent{true};

private:
    void readerLoop();
    void applySettingsAnswer();
    void startReader();
    void stopReader();
    void releaseHandles();

    std::shared_ptr<Transport> transport_;
    AnswerStore answers_;

    std::mutex scanMutex_; // one scan at a time
    mutable std::mutex pathMutex_;
    std::string devicePath_;

    std::mutex readMutex_; // owns readHandle_; held by the reader during a read
    std::unique_ptr<HidHandle> readHandle_;
    bool readFailed_ = false;
    std::mutex writeMutex_; // owns writeHandle_
    std::unique_ptr<HidHandle> writeHandle_;

    ManualResetEvent readEvent_{false};
    std::atomic<bool> stopping_{false};
    std::thread reader_;

    std::mutex hooksMutex_;
    CardHandler cardHandler_;
    std::function<void()> linkLost_;
};

} // namespace vellumet
