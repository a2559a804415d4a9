#pragma once

#include "command_frame.h"
#include "station_link.h"

#include <ctime>
#include <stop_token>

namespace vellumet {

// Calendar fields of the PC's local time, as the station's clock takes them.
struct StationTime {
    int year = 2000;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
    int weekday = 0; // 0 Sunday .. 6 Saturday

    bool operator==(const StationTime&) const = default;
};

// The local calendar fields of a moment; the current moment by default.
StationTime localStationTime(std::time_t moment);
StationTime localStationTime();

// 0x30: year (big-endian), month, day, hour, minute, second, weekday.
CommandFrame timeFrame(const StationTime& time);

// The menu's time sync: a write transaction (screen-status check first) that
// sends only the time frame, with no closing 0x2F. AwayFromMainScreen when
// the station showed a menu and got nothing.
Status guardedTimeSync(StationLink& link, const StationTime& time, std::stop_token stop = {});

// The time sync without the screen-status check.
Status directTimeSync(StationLink& link, const StationTime& time, std::stop_token stop = {});

} // namespace vellumet
