#pragma once

#include "device/readings.h"
#include "device/station_blocks.h"
#include "device/station_snapshot.h"
#include "store/record_store.h"

#include <QJsonObject>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vellumet::cli {

// One refresh as live and watch print it: the station as it was read (its
// readings, its unit for the text form, its alarm limits if they came; without
// them no channel is said to be in alarm or not: null, an empty field) and
// the PC's local time of the reading (ISO 8601 with its UTC offset).
// The names the user gave the channels of the station (channel 1 to 8; slot 0
// unused), empty for a channel without one. The text form shows a name beside
// its channel; JSON and CSV carry the name shown in a "name" field and column,
// the channel's own ("CH1") for one without.
using ChannelNames = std::array<std::string, kChannelCount + 1>;

struct LiveRound {
    const StationSnapshot& station;
    std::string time;
    const ChannelNames* names = nullptr;
};

// The channel's alarm state (channel 1 to 8); None also when no limits came.
AlarmState channelAlarm(const LiveRound& live, int channel);
bool anyAlarm(const LiveRound& live);

// Width in characters of UTF-8 text ("°" is one), and text right-aligned in
// a column of that many characters.
std::size_t displayWidth(const std::string& text);
std::string rightAligned(const std::string& text, std::size_t width);

// "1 row", "2 rows".
std::string countText(std::int64_t count, std::string_view singular, std::string_view plural);

// Numbers for JSON and CSV: °C and percent, one decimal for temperatures,
// null (JSON) or an empty field (CSV) for a missing value.
QJsonValue temperatureJson(float celsius);
QJsonValue humidityJson(std::int32_t percent);
std::string temperatureCsv(float celsius);
std::string humidityCsv(std::int32_t percent);
// Quotes a CSV field when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);
// Station text (UTF-8) made safe for a terminal: control characters are shown
// as "\x1b" (C0 and DEL) or "\u009b" (C1), bytes that are not UTF-8 as
// "\xff", and a backslash as "\\", so that a device cannot drive the
// terminal and what is shown reads back unambiguously. Other text is kept.
std::string terminalText(std::string_view text);
std::string jsonText(const QJsonObject& object, bool compact);

// The JSON key of a record column: "temperature", "humidity", "dewPoint",
// "heatIndex".
std::string jsonKey(store::SeriesColumn column);

// The unit the station shows, as text: "°C" or "°F".
std::string unitText(bool fahrenheit);

std::string liveText(const LiveRound& live);
QJsonObject liveJson(const LiveRound& live);
std::string liveCsv(const LiveRound& live);

// One watch round, each line led by live.time; the headers start a stream.
std::string watchTextHeader(bool fahrenheit, const ChannelNames* names = nullptr);
std::string watchText(const LiveRound& live);
std::string watchJsonLine(const LiveRound& live);
std::string watchCsvHeader();
std::string watchCsv(const LiveRound& live);

// The info forms show every part, a part that did not come as not answered
// (text), null (JSON) or left out (CSV), and named in "missing".
std::string infoText(const StationSnapshot& info);
QJsonObject infoJson(const StationSnapshot& info);
std::string infoCsv(const StationSnapshot& info);

} // namespace vellumet::cli
