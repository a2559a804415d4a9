#include "time_sync.h"

#include <array>

namespace vellumet {

StationTime localStationTime(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    StationTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    // A leap second would read 60, which the station's clock has no place for.
    t.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    t.weekday = local.tm_wday;
    return t;
}

StationTime localStationTime() {
    return localStationTime(std::time(nullptr));
}

CommandFrame timeFrame(const StationTime& t) {
    const std::array<std::uint8_t, 8> payload = {
        static_cast<std::uint8_t>(t.year >> 8 & 0xFF),
        static_cast<std::uint8_t>(t.year & 0xFF),
        static_cast<std::uint8_t>(t.month),
        static_cast<std::uint8_t>(t.day),
        static_cast<std::uint8_t>(t.hour),
        static_cast<std::uint8_t>(t.minute),
        static_cast<std::uint8_t>(t.second),
        static_cast<std::uint8_t>(t.weekday),
    };
    return CommandFrame(cmd::SetClock, payload);
}

Status guardedTimeSync(StationLink& link, const StationTime& time, std::stop_token stop) {
    const CommandFrame frame = timeFrame(time);
    WriteOptions options;
    options.timing = write::Clock;
    options.sendEndOfWrite = false;
    return link.writeSettings(std::span<const CommandFrame>(&frame, 1), options, stop);
}

Status directTimeSync(StationLink& link, const StationTime& time, std::stop_token stop) {
    const CommandFrame frame = timeFrame(time);
    return link.sendWithoutAnswer(std::span<const CommandFrame>(&frame, 1),
                                  query::SetClockDirect.timing, stop);
}

} // namespace vellumet
