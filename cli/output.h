#pragma once

#include "device/readings.h"
#include "device/station_blocks.h"

#include <QJsonObject>

#include <string>
#include <string_view>

namespace vellumet::cli {

// One refresh's readings with the station's unit (which only the text form uses).
struct LiveReadings {
    Readings readings;
    bool fahrenheit = false;
};

// Everything the station tells about itself.
struct StationInfo {
    std::string identText;
    int interval = 0;
    StationSettings settings;
    AlarmSettings alarms;
    CalibrationOffsets calibration{};
    bool fahrenheit = false;
};

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

// The unit the station shows, as text: "°C" or "°F".
std::string unitText(bool fahrenheit);

std::string liveText(const LiveReadings& live);
QJsonObject liveJson(const LiveReadings& live);
std::string liveCsv(const LiveReadings& live);

// One watch round; timestamp is the PC's local time.
std::string watchText(const LiveReadings& live, const std::string& timestamp);
std::string watchJsonLine(const LiveReadings& live, const std::string& timestamp);
std::string watchCsvHeader();
std::string watchCsv(const LiveReadings& live, const std::string& timestamp);

std::string infoText(const StationInfo& info);
QJsonObject infoJson(const StationInfo& info);
std::string infoCsv(const StationInfo& info);

} // namespace vellumet::cli
