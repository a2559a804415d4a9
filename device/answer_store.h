#pragma once

#include "command_frame.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vellumet {

class AnswerStore;

// A copy of the screen-status flag kept for one window that writes to the
// station, updated by every screen-status answer for as long as the
// subscription lives. Ends on its own when destroyed.
class AwaySubscription {
public:
    AwaySubscription() = default;
    int value() const { return flag_ ? flag_->load() : 0; }
    bool active() const { return flag_ != nullptr; }

private:
    friend class AnswerStore;
    explicit AwaySubscription(std::shared_ptr<std::atomic<int>> flag) : flag_(std::move(flag)) {}
    std::shared_ptr<std::atomic<int>> flag_;
};

// The last answer of every kind, as the reader thread filed it. Blocks keep
// their contents until the next answer of their kind; all start zeroed.
// Every accessor copies under a lock, so readers on other threads never see
// a half-written block. Only the link writes here; everyone else gets it const.
class AnswerStore {
public:
    Block readingsAnswer() const { return get(readings_); }
    Block settingsAnswer() const { return get(settings_); }
    Block calibrationAnswer() const { return get(calibration_); }
    // Alarm blocks 1 to 4.
    Block alarmAnswer(int block) const;
    int intervalAnswer() const { return interval_.load(); }
    int awayFromMainScreen() const { return away_.load(); }
    std::string identText() const;

    // A copy of the screen-status flag for one window, starting at the
    // current value.
    AwaySubscription subscribeAway();

    // Writers, used by the link's dispatch and removal handling.
    enum class Slot {
        ReadingsBlock,
        SettingsBlock,
        CalibrationBlock,
        Alarm1,
        Alarm2,
        Alarm3,
        Alarm4
    };
    void store(Slot slot, const Block& source, std::size_t n);
    void storeInterval(int minutes) { interval_.store(minutes); }
    void storeAway(int value);
    void storeIdent(std::string text);

private:
    Block get(const Block& block) const {
        std::lock_guard lock(mutex_);
        return block;
    }
    Block& slot(Slot slot);

    mutable std::mutex mutex_;
    Block readings_{};
    Block settings_{};
    Block calibration_{};
    Block alarms_[4]{};
    std::string ident_;
    std::atomic<int> interval_{0};
    std::atomic<int> away_{0};
    std::vector<std::weak_ptr<std::atomic<int>>> awayCopies_;
};

} // namespace vellumet
