#pragma once

#include "device/station_blocks.h"
#include "device/station_link.h"
#include "device/station_snapshot.h"

#include <QJsonObject>

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace vellumet::settings {

// The readable profile file: settings by name, interval, alarms and
// calibration in °C and percent, null for no value. A part the snapshot
// lacks is left out.
QJsonObject profileJson(const StationSnapshot& snapshot);

// What a restore would do: the changed values, and the writes that bring
// the station there (only the blocks that differ).
struct RestorePlan {
    std::vector<std::string> changes; // "alarms.CH1.temperature-high: 35.0 -> 30.0"
    std::optional<CommandFrame> settings;
    std::optional<int> interval;
    std::vector<CommandFrame> alarms;
    std::optional<CommandFrame> calibration;
    StationSnapshot after; // the station as the writes leave it

    bool empty() const { return !settings && !interval && alarms.empty() && !calibration; }
};

// Checks the whole file against the station (every value through the
// windows' checks, the area count matching) before anything is written.
// InvalidInput naming the value that is wrong.
Result<RestorePlan> planRestore(const StationSnapshot& station, const QJsonObject& file);

// Runs the writes of a plan: settings, interval, alarms, calibration. Cut
// short (stopped, the station gone), the error names the parts written, those
// not written and one partly written, if any.
Status applyRestore(StationLink& link, const RestorePlan& plan, std::stop_token stop = {});

// Leaf values that differ between two profiles, as "path: old -> new".
std::vector<std::string> profileDifferences(const QJsonObject& before, const QJsonObject& after);

} // namespace vellumet::settings
