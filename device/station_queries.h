#pragma once

#include "readings.h"
#include "station_link.h"

namespace vellumet {

// The queries of one refresh of all station data, in the order the polling
// loop runs them. Each leaves its answers in the link's AnswerStore.

// Settings (0x04), identification (0xFE) and logging interval (0x41).
void queryStationInfo(StationLink& link);
// Alarm blocks 1, 3 and 4; returns at once when not connected.
void queryAlarmLimits(StationLink& link);
// Calibration offsets; returns at once when not connected.
void queryCalibration(StationLink& link);
// Current readings, decoded from the last readings answer (which is the
// previous one when the station did not answer).
Readings queryReadings(StationLink& link);

// All four in order; returns the decoded readings.
Readings refreshAll(StationLink& link);

} // namespace vellumet
