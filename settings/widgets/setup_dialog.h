#pragma once

#include "station_dialog.h"

#include "device/station_snapshot.h"
#include "settings/setup_logic.h"

#include <array>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;

namespace vellumet::ui {

// The Setup window: the station's general settings, the area grid and the
// logging interval. The window is made for each opening; the area masks and
// whether the station has eight areas live in `areas`, which its owner keeps
// for the whole run, so that an area's mask outlasts the window: areas 6 to 8
// while a five-area station is attached, and every area while none is.
class SetupDialog : public StationDialog {
    Q_OBJECT
public:
    SetupDialog(StationLink& link, app::Messenger& messenger, const StationSnapshot& station,
                settings::AreaGrid& areas, QWidget* parent = nullptr);

    void save();
    void setInterval();

    QComboBox* graphType() const { return combos_[0]; }
    QComboBox* graphTime() const { return combos_[1]; }
    QComboBox* timeFormat() const { return combos_[2]; }
    QComboBox* dateFormat() const { return combos_[3]; }
    QComboBox* daylightSaving() const { return combos_[4]; }
    QComboBox* timeZone() const { return combos_[5]; }
    QComboBox* units() const { return combos_[6]; }
    QComboBox* area() const { return area_; }
    QLineEdit* interval() const { return interval_; }
    // item 0 temperature, 1 dew point, 2 heat index; channel 1..8
    QCheckBox* box(int item, int channel) const {
        return boxes_[static_cast<std::size_t>(item)][static_cast<std::size_t>(channel - 1)];
    }
    QPushButton* saveButton() const { return save_; }
    QPushButton* setIntervalButton() const { return setInterval_; }
    QPushButton* exitButton() const { return exit_; }

protected:
    // Enter commits what it was pressed on: the interval in its box, a
    // focused button, and the settings everywhere else.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void areaChanged(int area);
    std::uint32_t gridMask() const;
    void showMask(std::uint32_t mask, int area);

    StationSettings station_;
    settings::AreaGrid& grid_;
    bool initialising_ = true;
    std::array<QComboBox*, 7> combos_{};
    QComboBox* area_ = nullptr;
    QLineEdit* interval_ = nullptr;
    std::array<std::array<QCheckBox*, kChannelCount>, 3> boxes_{};
    QPushButton* save_ = nullptr;
    QPushButton* setInterval_ = nullptr;
    QPushButton* exit_ = nullptr;
};

} // namespace vellumet::ui
