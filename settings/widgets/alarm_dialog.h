#pragma once

#include "station_dialog.h"

#include "device/station_snapshot.h"
#include "settings/alarm_logic.h"

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vellumet::ui {

// The Alarm window: high and low limits per channel, their switches and the
// two ON/OFF switches, in the station's unit.
class AlarmDialog : public StationDialog {
    Q_OBJECT
public:
    AlarmDialog(StationLink& link, app::Messenger& messenger, const StationSnapshot& station,
                QWidget* parent = nullptr);

    void save();
    settings::AlarmForm form() const;

    // Row 0 temperature high, 1 temperature low, 2 humidity high, 3 humidity low.
    QLineEdit* limit(int row, int channel) const {
        return limits_[static_cast<std::size_t>(row)][static_cast<std::size_t>(channel - 1)];
    }
    QCheckBox* enable(int row, int channel) const {
        return enables_[static_cast<std::size_t>(row)][static_cast<std::size_t>(channel - 1)];
    }
    QComboBox* temperatureSwitch() const { return temperatureSwitch_; }
    QComboBox* humiditySwitch() const { return humiditySwitch_; }
    QPushButton* saveButton() const { return save_; }
    QString unitText() const;

private:
    void switchChanged();

    std::optional<settings::AlarmEditor> editor_;
    QComboBox* temperatureSwitch_ = nullptr;
    QComboBox* humiditySwitch_ = nullptr;
    std::array<std::array<QLineEdit*, kChannelCount>, 4> limits_{};
    std::array<std::array<QCheckBox*, kChannelCount>, 4> enables_{};
    QPushButton* save_ = nullptr;
    QPushButton* exit_ = nullptr;
};

} // namespace vellumet::ui
