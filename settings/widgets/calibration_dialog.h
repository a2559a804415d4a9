#pragma once

#include "station_dialog.h"

#include "device/station_snapshot.h"
#include "settings/calibration_logic.h"

#include <array>
#include <optional>

class QLineEdit;
class QPushButton;

namespace vellumet::ui {

// The Calibration window: a temperature and a humidity offset per channel.
class CalibrationDialog : public StationDialog {
    Q_OBJECT
public:
    CalibrationDialog(StationLink& link, app::Messenger& messenger, const StationSnapshot& station,
                      QWidget* parent = nullptr);

    void save();
    QLineEdit* temperature(int channel) const {
        return temperature_[static_cast<std::size_t>(channel - 1)];
    }
    QLineEdit* humidity(int channel) const {
        return humidity_[static_cast<std::size_t>(channel - 1)];
    }
    QPushButton* saveButton() const { return save_; }

private:
    std::optional<settings::CalibEditor> editor_;
    std::array<QLineEdit*, kChannelCount> temperature_{};
    std::array<QLineEdit*, kChannelCount> humidity_{};
    QPushButton* save_ = nullptr;
    QPushButton* exit_ = nullptr;
};

} // namespace vellumet::ui
