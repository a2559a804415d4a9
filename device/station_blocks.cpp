#include "station_blocks.h"

#include <vector>

namespace vellumet {

namespace {

std::uint32_t bigEndian32(const Block& block, std::size_t offset) {
    return static_cast<std::uint32_t>(block[offset]) << 24 |
           static_cast<std::uint32_t>(block[offset + 1]) << 16 |
           static_cast<std::uint32_t>(block[offset + 2]) << 8 |
           static_cast<std::uint32_t>(block[offset + 3]);
}

bool bitOf(std::uint8_t byte, int channel) {
    return (byte >> (channel - 1) & 1) != 0;
}

} // namespace

bool isEightAreaStation(std::string_view identText) {
    return identText.find(kEightAreaMarker) != std::string_view::npos;
}

int areaCount(std::string_view identText) {
    return isEightAreaStation(identText) ? kMaxAreas : kFiveAreas;
}

StationSettings decodeStationSettings(const Block& b) {
    StationSettings s;
    s.graphType = b[1];
    switch (b[2]) {
    case 12:
    case 24:
    case 48:
        s.graphTimeHours = b[2];
        break;
    default:
        s.graphTimeHours = 72;
        break;
    }
    s.timeFormat = b[3];
    s.dateFormat = b[4];
    s.daylightSaving = b[5];
    s.timeZoneHours = static_cast<std::int8_t>(b[6]);
    s.unit = b[7];
    for (int area = 0; area < kMaxAreas; ++area)
        s.areaMasks[area] = bigEndian32(b, 8 + 4 * static_cast<std::size_t>(area));
    return s;
}

bool areaShows(std::uint32_t mask, int channel, AreaItem item) {
    if (channel < 1 || channel > kChannelCount)
        return false;
    const int bit = 3 * (channel - 1) + static_cast<int>(item);
    return (mask >> bit & 1u) != 0;
}

std::string_view timeFormatName(int index) {
    static constexpr std::string_view names[] = {"h:mm:ss", "AM h:mm:ss", "h:mm:ss AM"};
    return index >= 0 && index < 3 ? names[index] : std::string_view{};
}

std::string_view dateFormatName(int index) {
    static constexpr std::string_view names[] = {"YYYY-MM-DD", "MM-DD-YYYY", "DD-MM-YYYY"};
    return index >= 0 && index < 3 ? names[index] : std::string_view{};
}

AlarmSettings decodeAlarmSettings(const Block& switches, const Block& temperatureLimits,
                                  const Block& humidityLimits) {
    AlarmSettings a;
    a.humiditySwitch = switches[1];
    a.temperatureSwitch = switches[2];
    for (int n = 1; n <= kChannelCount; ++n) {
        HumidityAlarm& h = a.humidity[n - 1];
        h.highEnabled = bitOf(switches[3], n);
        h.lowEnabled = bitOf(switches[4], n);
        const std::uint8_t hh = humidityLimits[2 * n - 1];
        const std::uint8_t hl = humidityLimits[2 * n];
        h.high = hh == 0xFF ? NO_VALUE : hh;
        h.low = hl == 0xFF ? NO_VALUE : hl;

        TemperatureAlarm& t = a.temperature[n - 1];
        t.highEnabled = bitOf(switches[5], n);
        t.lowEnabled = bitOf(switches[6], n);
        t.high = decodeTemperature(temperatureLimits[4 * n - 3], temperatureLimits[4 * n - 2]);
        t.low = decodeTemperature(temperatureLimits[4 * n - 1], temperatureLimits[4 * n]);
    }
    return a;
}

AlarmState alarmStateOf(const AlarmSettings& alarms, int channel, const ChannelReading& reading) {
    if (channel < 0 || channel >= kChannelCount)
        return AlarmState::None;
    if (alarms.temperatureOn() && reading.hasTemperature()) {
        const TemperatureAlarm& t = alarms.temperature[channel];
        if (t.highEnabled && t.high != NO_VALUE_F && reading.temperature > t.high)
            return AlarmState::High;
        if (t.lowEnabled && t.low != NO_VALUE_F && reading.temperature < t.low)
            return AlarmState::Low;
    }
    if (alarms.humidityOn() && reading.hasHumidity()) {
        const HumidityAlarm& h = alarms.humidity[channel];
        if (h.highEnabled && h.high != NO_VALUE && reading.humidity > h.high)
            return AlarmState::High;
        if (h.lowEnabled && h.low != NO_VALUE && reading.humidity < h.low)
            return AlarmState::Low;
    }
    return AlarmState::None;
}

std::string_view alarmStateName(AlarmState state) {
    switch (state) {
    case AlarmState::High:
        return "high";
    case AlarmState::Low:
        return "low";
    case AlarmState::None:
        break;
    }
    return "";
}

CalibrationOffsets decodeCalibration(const Block& b) {
    CalibrationOffsets offsets;
    for (int n = 1; n <= kChannelCount; ++n) {
        CalibrationOffset& c = offsets[n - 1];
        c.temperature = decodeTemperature(b[3 * n - 2], b[3 * n - 1]);
        c.humidity = static_cast<std::int8_t>(b[3 * n]);
    }
    return offsets;
}

bool intervalInRange(int minutes) {
    return minutes >= kIntervalMinMinutes && minutes <= kIntervalMaxMinutes;
}

CommandFrame intervalFrame(int minutes) {
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(minutes)};
    return CommandFrame(cmd::WriteInterval, payload);
}

Status setLoggingInterval(StationLink& link, int minutes, std::stop_token stop) {
    if (!intervalInRange(minutes))
        return makeError(Errc::InvalidInput, "Interval Range of values: 1 to 240 Minute");
    const CommandFrame frames[] = {intervalFrame(minutes), CommandFrame(cmd::EndOfWrite)};
    return link.sendWithoutAnswer(frames, query::WriteInterval.timing, stop);
}

CommandFrame settingsFrame(const StationSettings& settings, int areas) {
    const int areaCount = areas >= kMaxAreas ? kMaxAreas : kFiveAreas;
    std::vector<std::uint8_t> payload;
    const int hours = settings.graphTimeHours;
    payload.push_back(static_cast<std::uint8_t>(settings.graphType));
    payload.push_back(
        static_cast<std::uint8_t>(hours == 12 || hours == 24 || hours == 48 ? hours : 72));
    payload.push_back(static_cast<std::uint8_t>(settings.timeFormat));
    payload.push_back(static_cast<std::uint8_t>(settings.dateFormat));
    payload.push_back(static_cast<std::uint8_t>(settings.daylightSaving));
    payload.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(settings.timeZoneHours)));
    // The unit byte goes back as the station holds it.
    payload.push_back(static_cast<std::uint8_t>(settings.unit));
    for (int area = 0; area < areaCount; ++area) {
        const std::uint32_t mask = settings.areaMasks[static_cast<std::size_t>(area)] & 0xFFFFFFu;
        for (int shift = 24; shift >= 0; shift -= 8)
            payload.push_back(static_cast<std::uint8_t>(mask >> shift & 0xFF));
    }
    return CommandFrame(cmd::WriteSettings, payload);
}

std::size_t writePayloadSize(const CommandFrame& frame, int areas) {
    switch (frame.code()) {
    case cmd::WriteSettings:
        return 7 + 4 * static_cast<std::size_t>(areas >= kMaxAreas ? kMaxAreas : kFiveAreas);
    case cmd::WriteAlarm1:
        return 6;
    case cmd::WriteAlarm3:
        return 32;
    case cmd::WriteAlarm4:
        return 16;
    case cmd::WriteCalibration:
        return 24;
    default:
        return 0;
    }
}

Block blockAfterWrite(const Block& block, const CommandFrame& frame, int areas) {
    Block out = block;
    const std::size_t payload = writePayloadSize(frame, areas);
    for (std::size_t i = 0; i < payload; ++i)
        out[i + 1] = frame.bytes()[i + 2];
    return out;
}

bool blockHolds(const Block& block, const CommandFrame& frame, int areas) {
    return blockAfterWrite(block, frame, areas) == block;
}

std::string decodeIdentText(const Block& answer) {
    std::string out;
    for (const std::uint8_t c : answer) {
        if (c == 0)
            break;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace vellumet
