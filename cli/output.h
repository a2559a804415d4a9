#pragma once

#include "device/readings.h"
#include "device/station_blocks.h"
#include "device/station_snapshot.h"

#include <QJsonObject>

#include <string>
#include <string_view>

namespace vellumet::cli {

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

std::string liveText(const StationSnapshot& live);
QJsonObject liveJson(const StationSnapshot& live);
std::string liveCsv(const StationSnapshot& live);

// One watch round; timestamp is the PC's local time.
std::string watchText(const StationSnapshot& live, const std::string& timestamp);
std::string watchJsonLine(const StationSnapshot& live, const std::string& timestamp);
std::string watchCsvHeader();
std::string watchCsv(const StationSnapshot& live, const std::string& timestamp);

// The live and watch forms use the snapshot's readings and unit; the info
// forms every part, a part that did not come shown as not answered (text),
// null (JSON) or left out (CSV), and named in "missing".
std::string infoText(const StationSnapshot& info);
QJsonObject infoJson(const StationSnapshot& info);
std::string infoCsv(const StationSnapshot& info);

} // namespace vellumet::cli
