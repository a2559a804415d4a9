#pragma once

#include "command_frame.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vellumet {

// The last answer of every kind, as the reader thread filed it. Blocks keep
// their contents until the next answer of their kind; all start zeroed.
// Every accessor copies under a lock, so readers on other threads never see
// a half-written block.
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

    // Used by the removal handling, which fills the readings with 0xFF.
    void setReadingsAnswer(const Block& block) { put(readings_, block, block.size()); }

    // Extra copies of the screen-status flag (one per dialog that writes to the
    // station), all written by the same dispatch step as the store's own.
    void addAwayCopy(std::atomic<int>* copy);
    void removeAwayCopy(std::atomic<int>* copy);

    // Called on the reader thread with every settings answer, after it is stored.
    void setSettingsSink(std::function<void(const Block&)> sink);

private:
    friend class StationLink;

    Block get(const Block& block) const {
        std::lock_guard lock(mutex_);
        return block;
    }
    void put(Block& target, const Block& source, std::size_t n);
    void storeAway(int value);
    void storeIdent(std::string text);

    mutable std::mutex mutex_;
    Block readings_{};
    Block settings_{};
    Block calibration_{};
    Block alarms_[4]{};
    std::string ident_;
    std::atomic<int> interval_{0};
    std::atomic<int> away_{0};
    std::vector<std::atomic<int>*> awayCopies_;
    std::function<void(const Block&)> settingsSink_;
};

} // namespace vellumet
