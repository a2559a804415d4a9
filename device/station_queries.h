#pragma once

#include "readings.h"
#include "station_link.h"

#include <functional>
#include <stop_token>

namespace vellumet {

// The four steps of a refresh of all station data, in the order they run.
enum class RefreshStep {
    StationInfo,     // settings 0x04, identification 0xFE, logging interval 0x41
    AlarmLimits,     // alarm blocks 1, 3 and 4 (0x06, 0x08, 0x09)
    Calibration,     // 0x05
    CurrentReadings, // 0x03
};

// Which answers of a refresh came in time. A kind that did not keeps its
// previous answer in the link's store.
struct RefreshReport {
    bool settings = false;
    bool identification = false;
    bool interval = false;
    bool alarms = false;
    bool calibration = false;
    bool readings = false;
    bool stopped = false; // cancelled between or inside steps
    bool stationGone = false;

    bool stationInfo() const { return settings && identification && interval; }
    bool complete() const { return stationInfo() && alarms && calibration && readings; }
};

// Settings, identification and interval: three queries, all sent even when
// one goes unanswered.
void queryStationInfo(StationLink& link, RefreshReport& report, std::stop_token stop = {});
// Alarm blocks 1, 3 and 4 in a row.
bool queryAlarmLimits(StationLink& link, std::stop_token stop = {});
bool queryCalibration(StationLink& link, std::stop_token stop = {});
bool queryReadings(StationLink& link, std::stop_token stop = {});

// The one refresh every front end runs: the eight queries in order. After
// each step, afterStep sees it (the window copies the answers for its dialogs
// there). Stops between steps once stop is requested.
RefreshReport refreshStation(StationLink& link, std::stop_token stop = {},
                             const std::function<void(RefreshStep)>& afterStep = {});

// The readings as the last readings answer holds them.
Readings lastReadings(const StationLink& link);

} // namespace vellumet
