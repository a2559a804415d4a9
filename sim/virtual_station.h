#pragma once

#include "core/result.h"
#include "device/command_frame.h"
#include "device/transport.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vellumet::sim {

// Misbehaviour a profile can ask for, to exercise the program's failure paths.
struct Faults {
    bool silent = false;            // takes every frame, answers nothing
    int answerDelayMs = 0;          // extra delay before the first report of an answer
    int reportMs = 1;               // time per input report (full-speed interrupt endpoint)
    int unplugAfterReports = 0;     // disappears after sending that many reports; 0 = never
    int corruptContentEvery = 0;    // every n-th file content report loses its "}"; 0 = never
    std::set<std::uint8_t> ignored; // command codes taken but never answered
};

struct Profile {
    // Raw answers by command code, sent instead of the generated ones.
    std::map<std::uint8_t, Block> answers;
    // Raw answers of several reports (a file list, a file's content), sent in
    // order; a code listed here is not looked up in answers.
    std::map<std::uint8_t, std::vector<Block>> answerSequences;
    std::string ident = "{ZP7421X@}";
    int screenAway = 0; // screen status byte; non-zero: not on the main screen
    int interval = 5;   // logging interval in minutes
    int unit = 0;       // 0 °C, 1 °F
    std::string sdDir;  // folder that is the card; empty: the generated default card
    Faults faults;
};

// Reads a profile file (JSON). On failure InvalidInput with a one-line reason
// that names the file.
// A relative sdDir is taken relative to the profile's folder.
Result<Profile> loadProfile(const std::string& path);

// One log file of the card.
struct CardFile {
    std::string name;
    std::string content;
};

// The card the station holds when the profile names no folder: a few
// generated log files, the same on every run.
std::vector<CardFile> defaultCard();

// The readings answer the station generates at a moment of its run: eight
// channels that drift slowly and independently, in tenths of °C and percent.
Block generatedReadings(std::chrono::milliseconds sinceStart);

// A complete protocol peer of the base station. Frames arrive through the
// handles of a VirtualTransport; every frame is recorded, but only a
// well-formed one (its "@}" right after the payload its command carries,
// then only zero bytes) is acted on; answers are queued and handed out one report
// per reportMs, as a real interrupt endpoint delivers them. Thread-safe.
class VirtualStation {
public:
    explicit VirtualStation(Profile profile = {});
    ~VirtualStation();
    VirtualStation(const VirtualStation&) = delete;
    VirtualStation& operator=(const VirtualStation&) = delete;

    // Plug and unplug as the program sees them: the device list, the handles
    // (all handles opened before an unplug fail from then on) and the change
    // listeners, which are called on a station thread. Starts plugged.
    void plug();
    void unplug();
    bool plugged() const;

    // Every frame received, in order (64 data bytes).
    std::vector<Block> receivedFrames() const;
    void clearReceived();

    // State as the station holds it.
    Block settingsBlock() const;
    Block calibrationBlock() const;
    // Alarm blocks 1, 3 and 4 (the ones the station answers); others are zero.
    Block alarmBlock(int block) const;
    int interval() const;
    int unit() const;
    int screenAway() const;
    void setScreenAway(int value);
    std::string ident() const;
    std::optional<int> language() const;         // last 0x0B byte
    std::optional<Block> lastClockFrame() const; // last 0x30 frame
    int endOfWriteCount() const;                 // number of 0x2F frames
    std::vector<std::string> cardFileNames() const;
    std::optional<std::string> cardFile(const std::string& name) const;
    // Reports handed out so far, and reports still queued.
    int reportsSent() const;
    int reportsPending() const;

    // Used by the transport's handles. attach() gives the plug cycle a new
    // handle belongs to, or nothing while unplugged.
    std::optional<std::uint64_t> attach() const;
    bool acceptFrame(std::uint64_t generation, const Block& frame);
    // Returns bytes copied, 0 on timeout, -1 when this handle's device is gone.
    int readReport(std::uint64_t generation, std::uint8_t* buffer, std::size_t size, int timeoutMs);
    int addChangeListener(std::function<void(DeviceChange)> listener);
    // Waits for a notification in progress; must not be called from a listener.
    void removeChangeListener(int id);

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        Block report;
    };

    // With mutex_ held; length is the frame's payload length.
    std::vector<Block> answerFor(const Block& frame, std::size_t length);
    void applyWrite(const Block& frame, std::size_t length);
    std::vector<Block> fileListReports() const; // with mutex_ held
    std::vector<Block> fileContentReports(const Block& frame, std::size_t length);
    void deleteCardFile(const std::string& name);
    std::vector<std::string> listNames() const;
    std::optional<std::string> readCardFile(const std::string& name) const;
    void unplugLocked(); // with mutex_ held; queues the notification
    void notify(DeviceChange change);
    void notifierLoop();

    Profile profile_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

    mutable std::mutex mutex_;
    std::condition_variable reportReady_;
    bool plugged_ = true;
    std::uint64_t generation_ = 1;
    std::vector<Block> received_;
    std::deque<Pending> outbox_;
    int reportsSent_ = 0;
    int contentReports_ = 0;
    int endOfWrites_ = 0;
    Block settings_{};
    Block calibration_{};
    Block alarms_[4]{};
    std::optional<int> language_;
    std::optional<Block> clock_;
    std::vector<CardFile> card_; // used when profile_.sdDir is empty

    // Change notifications run on their own thread, so that a listener may
    // call back into the link even when the change happens inside a read.
    std::mutex listenerMutex_; // guards listeners_; held while they run
    std::map<int, std::function<void(DeviceChange)>> listeners_;
    int nextListener_ = 1;
    std::mutex notifyMutex_; // guards changes_, stopNotifier_
    std::condition_variable notifyWake_;
    std::deque<DeviceChange> changes_;
    bool stopNotifier_ = false;
    std::thread notifier_;
};

// The virtual station behind the transport interface: one interface
// "sim:station" with the station's vendor and product id while plugged.
class VirtualTransport final : public Transport {
public:
    static constexpr const char* kPath = "sim:station";
    // The station's USB ids, kept apart from the program's own, so that a
    // wrong id in the program shows up as a station that is never found.
    static constexpr std::uint16_t kVendorId = 0x0483;
    static constexpr std::uint16_t kProductId = 0x5750;

    explicit VirtualTransport(std::shared_ptr<VirtualStation> station);
    ~VirtualTransport() override;

    VirtualStation& station() { return *station_; }

    std::vector<DeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<HidHandle> open(const std::string& path) override;
    void setChangeListener(std::function<void(DeviceChange)> listener) override;

private:
    std::shared_ptr<VirtualStation> station_;
    std::mutex mutex_;
    int listenerId_ = 0;
};

} // namespace vellumet::sim
