#include "influx_format.h"

#include "mqtt_topics.h"

#include <chrono>
#include <cstdio>

namespace vellumet::cli {

namespace {

// Tag values escape commas, spaces and equals signs; line breaks cannot be
// escaped and become blanks.
std::string tagValue(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
        if (c == ',' || c == ' ' || c == '=' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

} // namespace

std::string influxLines(const LiveRound& live, std::string_view station, std::int64_t unixNanos) {
    std::string out;
    const std::string stationTag = tagValue(station.empty() ? "station" : station);
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelReading& r = live.station.readings[n - 1];
        std::string fields;
        const auto add = [&fields](const std::string& field) {
            fields += (fields.empty() ? "" : ",") + field;
        };
        if (const QJsonValue t = temperatureJson(r.temperature); !t.isNull())
            add("temperature=" + number(t.toDouble()));
        if (const QJsonValue h = humidityJson(r.humidity); !h.isNull())
            add("humidity=" + number(h.toDouble()));
        if (const QJsonValue d = temperatureJson(channelDewPoint(r)); !d.isNull())
            add("dew_point=" + number(d.toDouble()));
        if (fields.empty())
            continue; // a line needs a field; a channel without a sensor has none
        if (live.station.has(StationPart::Alarms)) {
            const std::string_view alarm = alarmStateName(channelAlarm(live, n));
            add("alarm=\"" + std::string(alarm.empty() ? "none" : alarm) + '"');
        }
        out += "vellumet,station=" + stationTag + ",channel=CH" + std::to_string(n) + ' ' + fields +
               ' ' + std::to_string(unixNanos) + '\n';
    }
    return out;
}

std::string influxLinesNow(const LiveRound& live, std::string_view serial) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return influxLines(live, stationTopicName(serial, live.station.identText),
                       std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

} // namespace vellumet::cli
