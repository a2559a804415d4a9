#pragma once

#include "readings.h"
#include "station_link.h"

namespace vellumet {

// The queries of one refresh of all station data, in the order the polling
// loop runs them. Each leaves its answers in the link's AnswerStore and
// returns whether all of them came in time (the store keeps the previous
// answer of a kind that did not).

// Settings (0x04), identification (0xFE) and logging interval (0x41).
bool queryStationInfo(StationLink& link);
// Alarm blocks 1, 3 and 4; returns at once when not connected.
bool queryAlarmLimits(StationLink& link);
// Calibration offsets; returns at once when not connected.
bool queryCalibration(StationLink& link);
// Current readings, decoded from the last readings answer (which is the
// previous one when the station did not answer).
Readings queryReadings(StationLink& link);

// All four in order; returns the decoded readings.
Readings refreshAll(StationLink& link);

} // namespace vellumet
