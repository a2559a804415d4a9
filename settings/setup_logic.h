#pragma once

#include "device/station_blocks.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vellumet::settings {

// The Setup window's lists: the value each item stands for, in item order.
inline constexpr std::array<int, 4> kGraphTimeHours = {12, 24, 48, 72};
inline constexpr int kTimeZoneMin = -12;
inline constexpr int kTimeZoneMax = 12;

QStringList graphTypeItems(); // localised: Temperature, Humidity, DewPoint, HeatIndex
QStringList graphTimeItems();
QStringList timeFormatItems();
QStringList dateFormatItems();
QStringList daylightSavingItems();
QStringList timeZoneItems(); // "-12" … "12"
QStringList unitItems();
QStringList areaItems(int areas); // "CH Area1" …

// The item each combo box shows for a settings block; -1 where the station's
// byte matches no item (the box then shows no selection).
struct SetupSelection {
    int graphType = -1;
    int graphTime = -1;
    int timeFormat = -1;
    int dateFormat = -1;
    int daylightSaving = -1;
    int timeZone = -1;
    int unit = -1;

    bool operator==(const SetupSelection&) const = default;
};

SetupSelection selectionFor(const StationSettings& settings);

// The settings a Save sends: each box with a selection gives its item's value;
// a box without one keeps the station's own byte, so that Save never sends a
// byte no item stands for and never changes a value the user did not touch.
StationSettings applySelection(const StationSettings& station, const SetupSelection& selection);

// Three bits per channel: bit 3(n-1) temperature, +1 dew point, +2 heat index.
inline constexpr std::uint32_t kAreaBits = 0xFFFFFFu;

// The area grid: the masks of all areas, and which one the grid shows.
// Grid edits reach an area's mask when another area is chosen; Save takes
// the grid as it stands for the chosen area.
class AreaGrid {
public:
    void load(const StationSettings& settings, int areas);
    // The masks areas 1..8 hold; areas beyond the station's count keep theirs.
    const std::array<std::uint32_t, kMaxAreas>& masks() const { return masks_; }
    int selected() const { return selected_; }
    int areas() const { return areas_; }

    // Chooses another area (0-based). Unless initialising, the grid as it
    // stands is stored into the area shown so far first. Returns the new
    // area's mask for the grid.
    std::uint32_t select(int area, std::uint32_t gridNow, bool initialising = false);

    // The masks a Save carries, with the grid as it stands for the chosen area.
    std::array<std::uint32_t, kMaxAreas> masksForSave(std::uint32_t gridNow) const;

    // Whether a box of the grid can be changed: in area 1 only CH1's.
    static bool boxEnabled(int area, int channel) { return area != 0 || channel == 1; }

    void setAreas(int areas) { areas_ = areas >= kMaxAreas ? kMaxAreas : kFiveAreas; }

private:
    std::array<std::uint32_t, kMaxAreas> masks_{};
    int selected_ = 0;
    int areas_ = kFiveAreas;
};

// Every mask the frame carries must show something: InvalidInput with
// "CH Area input error." otherwise.
Status checkAreaMasks(const std::array<std::uint32_t, kMaxAreas>& masks, int areas);

// The checked settings write: the masks checked, then the frame.
Result<CommandFrame> setupSaveFrame(const StationSettings& settings, int areas);

// An interval box's text: a whole number from 1 to 240, else InvalidInput with
// "Interval Range of values: 1 to 240 Minute". Text that is not a whole number
// ("7.5", letters, an empty box) is refused too, never read in part, and the
// message then also asks for a whole number.
Result<int> intervalFromText(const QString& text);
// "Please enter a whole number of minutes." in the user's language.
QString wholeMinutesText();

} // namespace vellumet::settings

namespace vellumet::settings {

// The settings as a person names them, for the command line and station
// profiles: graph-type, graph-time, time-format, date-format, daylight-saving,
// time-zone, unit, area1 … area8.
std::vector<std::string> settingKeys(int areas);
// The value of one key as text ("temperature", "24", "YYYY-MM-DD", "on",
// "-5", "C", "CH1-temperature,CH1-dewpoint"); a byte that matches no item
// is given as its number.
std::string settingValue(const StationSettings& settings, const std::string& key);
// Sets one key; InvalidInput naming the key and the accepted values otherwise.
// An area left showing nothing is refused with "CH Area input error.".
Status applySetting(StationSettings& settings, const std::string& key, const std::string& value,
                    int areas);

} // namespace vellumet::settings
