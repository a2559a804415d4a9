#pragma once

#include "device/command_frame.h"
#include "device/readings.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace vellumet::ui {

// Nine slots as the readings arrays have them: eight channels and one spare
// that always holds NO_VALUE.
inline constexpr int kReadingSlots = 9;

// What the polling loop hands to the Setup dialog.
struct SettingCopy {
    int intervalAnswer = 0;
    std::string identText;
    Block settingsAnswer{};
};

// Alarm blocks 1 to 4 as the station last sent them.
struct AlarmCopy {
    std::array<Block, 4> alarmAnswer{};
};

struct CalibCopy {
    Block calibrationOffsets{};
    std::array<float, kReadingSlots> temperatures;
    std::array<std::int32_t, kReadingSlots> humidities;
    CalibCopy() {
        temperatures.fill(NO_VALUE_F);
        humidities.fill(NO_VALUE);
    }
};

// The copies the main window keeps for its dialogs. Written by the polling
// thread, read by the dialogs on the user-interface thread.
class DialogCopies {
public:
    SettingCopy setting() const {
        std::lock_guard lock(mutex_);
        return setting_;
    }
    AlarmCopy alarm() const {
        std::lock_guard lock(mutex_);
        return alarm_;
    }
    CalibCopy calib() const {
        std::lock_guard lock(mutex_);
        return calib_;
    }

    void setSettingInfo(int interval, std::string ident, const Block& settings) {
        std::lock_guard lock(mutex_);
        setting_.intervalAnswer = interval;
        setting_.identText = std::move(ident);
        setting_.settingsAnswer = settings;
    }
    void setAlarm(const std::array<Block, 4>& blocks) {
        std::lock_guard lock(mutex_);
        alarm_.alarmAnswer = blocks;
    }
    void setCalibrationOffsets(const Block& block) {
        std::lock_guard lock(mutex_);
        calib_.calibrationOffsets = block;
    }
    void setCalibReadings(const std::array<float, kReadingSlots>& temperatures,
                          const std::array<std::int32_t, kReadingSlots>& humidities) {
        std::lock_guard lock(mutex_);
        calib_.temperatures = temperatures;
        calib_.humidities = humidities;
    }

private:
    mutable std::mutex mutex_;
    SettingCopy setting_;
    AlarmCopy alarm_;
    CalibCopy calib_;
};

} // namespace vellumet::ui
