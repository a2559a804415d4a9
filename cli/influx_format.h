#pragma once

#include "output.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vellumet::cli {

// InfluxDB line protocol: one line per channel that has any value,
// measurement "vellumet", tags station and channel, fields temperature,
// humidity and dew_point (°C and percent, floats) and alarm ("none", "high",
// "low"; left out when the alarm limits did not come), and the reading's
// time in nanoseconds since 1970.
std::string influxLines(const LiveRound& live, std::string_view station, std::int64_t unixNanos);

// The same at the present time, the station named as on the broker
// (stationTopicName) from its USB serial number or identification.
std::string influxLinesNow(const LiveRound& live, std::string_view serial);

} // namespace vellumet::cli
