#include "output.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace vellumet::cli {

namespace {

std::string oneDecimal(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0.1f", value);
    return buffer;
}

double roundedTenth(float value) {
    return std::round(static_cast<double>(value) * 10.0) / 10.0;
}

std::string padded(const std::string& text, std::size_t width) {
    const std::size_t shown = displayWidth(text);
    return shown >= width ? text + ' ' : text + std::string(width - shown, ' ');
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string channelName(int channel) {
    return "CH" + std::to_string(channel);
}

// The user's name of a channel, empty when it has none.
const std::string& givenName(const ChannelNames* names, int channel) {
    static const std::string none;
    return names ? (*names)[static_cast<std::size_t>(channel)] : none;
}

// The name a channel goes by: the user's, else its own.
std::string shownName(const ChannelNames* names, int channel) {
    const std::string& given = givenName(names, channel);
    return given.empty() ? channelName(channel) : given;
}

// The channel column of the text forms: "CH4" or "CH4 Cellar".
std::string channelLabel(const ChannelNames* names, int channel) {
    const std::string& given = givenName(names, channel);
    return given.empty() ? channelName(channel) : channelName(channel) + ' ' + terminalText(given);
}

std::size_t labelWidth(const ChannelNames* names) {
    std::size_t width = 6;
    for (int n = 1; n <= kChannelCount; ++n)
        width = std::max(width, displayWidth(channelLabel(names, n)) + 2);
    return width;
}

// Window texts for the values of the settings windows: limits in the station's
// unit without the unit, offsets as differences, "--" when missing.
std::string limitText(float celsius, bool fahrenheit) {
    return trimmed(formatTemperature(celsius, TextForm::NumberOnly, fahrenheit));
}

std::string offsetText(float celsius, bool fahrenheit) {
    return celsius == NO_VALUE_F ? std::string("--")
                                 : formatTemperature(celsius, TextForm::Difference, fahrenheit);
}

std::string humidityText(std::int32_t percent) {
    return trimmed(formatHumidity(percent, TextForm::NumberOnly));
}

std::string_view graphTypeName(int index) {
    static constexpr std::string_view names[] = {"Temperature", "Humidity", "DewPoint",
                                                 "HeatIndex"};
    return index >= 0 && index < 4 ? names[index] : std::string_view{};
}

QJsonValue nameOrNull(std::string_view name) {
    return name.empty() ? QJsonValue()
                        : QJsonValue(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
}

std::string orDash(std::string_view name, int raw) {
    return name.empty() ? std::to_string(raw) : std::string(name);
}

QJsonArray channelsWith(std::uint32_t mask, AreaItem item) {
    QJsonArray channels;
    for (int n = 1; n <= kChannelCount; ++n)
        if (areaShows(mask, n, item))
            channels.append(n);
    return channels;
}

std::string areaDescription(std::uint32_t mask) {
    static constexpr std::pair<AreaItem, const char*> items[] = {
        {AreaItem::Temperature, "Temperature"},
        {AreaItem::DewPoint, "DewPoint"},
        {AreaItem::HeatIndex, "HeatIndex"}};
    std::string text;
    for (int n = 1; n <= kChannelCount; ++n)
        for (const auto& [item, name] : items)
            if (areaShows(mask, n, item))
                text += (text.empty() ? "" : ", ") + channelName(n) + ' ' + name;
    return text.empty() ? std::string("(none)") : text;
}

QJsonValue alarmJson(const LiveRound& live, int channel) {
    if (!live.station.has(StationPart::Alarms))
        return QJsonValue();
    const std::string_view name = alarmStateName(channelAlarm(live, channel));
    return nameOrNull(name);
}

std::string alarmCsv(const LiveRound& live, int channel) {
    return std::string(alarmStateName(channelAlarm(live, channel)));
}

QJsonObject channelJson(const LiveRound& live, int channel) {
    const ChannelReading& r = live.station.readings[channel - 1];
    QJsonObject o;
    o.insert("channel", channel);
    o.insert("temperature", temperatureJson(r.temperature));
    o.insert("humidity", humidityJson(r.humidity));
    o.insert("dewPoint", temperatureJson(channelDewPoint(r)));
    o.insert("alarm", alarmJson(live, channel));
    o.insert("name", QString::fromStdString(shownName(live.names, channel)));
    return o;
}

QJsonArray channelsJson(const LiveRound& live) {
    QJsonArray channels;
    for (int n = 1; n <= kChannelCount; ++n)
        channels.append(channelJson(live, n));
    return channels;
}

std::string channelCsvFields(const LiveRound& live, int channel) {
    const ChannelReading& r = live.station.readings[channel - 1];
    return std::to_string(channel) + ',' + temperatureCsv(r.temperature) + ',' +
           humidityCsv(r.humidity) + ',' + temperatureCsv(channelDewPoint(r)) + ',' +
           alarmCsv(live, channel) + ',' + csvField(shownName(live.names, channel));
}

// The text columns: numbers right-aligned under headings that carry the unit.
struct TextColumns {
    std::string temperature, humidity, dewPoint;
};

TextColumns textHeadings(bool fahrenheit) {
    return {"Temperature " + unitText(fahrenheit), "Humidity %",
            "DewPoint " + unitText(fahrenheit)};
}

std::string channelTextHeader(bool fahrenheit, const ChannelNames* names) {
    const TextColumns h = textHeadings(fahrenheit);
    return padded("", labelWidth(names)) + h.temperature + "  " + h.humidity + "  " + h.dewPoint +
           "  Alarm";
}

std::string channelTextFields(const LiveRound& live, int channel) {
    const ChannelReading& r = live.station.readings[channel - 1];
    const bool f = live.station.fahrenheit();
    const TextColumns h = textHeadings(f);
    std::string line = padded(channelLabel(live.names, channel), labelWidth(live.names)) +
                       rightAligned(limitText(r.temperature, f), displayWidth(h.temperature)) +
                       "  " + rightAligned(humidityText(r.humidity), displayWidth(h.humidity)) +
                       "  " +
                       rightAligned(limitText(channelDewPoint(r), f), displayWidth(h.dewPoint));
    const std::string_view alarm = alarmStateName(channelAlarm(live, channel));
    if (!alarm.empty())
        line += "  " + std::string(alarm);
    return line;
}

// The width of the time column of watch: an ISO time with its UTC offset.
constexpr std::size_t kTimeWidth = 25;

void csvRow(std::ostringstream& out, const std::string& section, const std::string& name,
            int channel, const std::string& value) {
    out << section << ',' << name << ',' << (channel > 0 ? std::to_string(channel) : "") << ','
        << csvField(value) << '\n';
}

} // namespace

QJsonValue temperatureJson(float celsius) {
    return celsius == NO_VALUE_F ? QJsonValue() : QJsonValue(roundedTenth(celsius));
}

QJsonValue humidityJson(std::int32_t percent) {
    return percent == NO_VALUE ? QJsonValue() : QJsonValue(percent);
}

std::string temperatureCsv(float celsius) {
    return celsius == NO_VALUE_F ? std::string() : oneDecimal(celsius);
}

std::string humidityCsv(std::int32_t percent) {
    return percent == NO_VALUE ? std::string() : std::to_string(percent);
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string terminalText(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    const auto hex = [](std::string& out, const char* prefix, unsigned value, int width) {
        out += prefix;
        for (int shift = 4 * (width - 1); shift >= 0; shift -= 4)
            out += digits[(value >> shift) & 0xF];
    };
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            hex(out, "\\x", c, 2);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A UTF-8 sequence: its length from the lead byte, then continuation
        // bytes; overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        const std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        unsigned code = length == 2 ? c & 0x1Fu : length == 3 ? c & 0x0Fu : c & 0x07u;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3Fu);
        }
        valid = valid && !(length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) &&
                !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (!valid) {
            hex(out, "\\x", c, 2);
            ++i;
        } else if (code >= 0x80 && code <= 0x9F) {
            hex(out, "\\u", code, 4);
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string jsonText(const QJsonObject& object, bool compact) {
    const QByteArray bytes =
        QJsonDocument(object).toJson(compact ? QJsonDocument::Compact : QJsonDocument::Indented);
    std::string text = bytes.toStdString();
    if (text.empty() || text.back() != '\n')
        text += '\n';
    return text;
}

std::string jsonKey(store::SeriesColumn column) {
    switch (column) {
    case store::SeriesColumn::Temperature:
        return "temperature";
    case store::SeriesColumn::Humidity:
        return "humidity";
    case store::SeriesColumn::DewPoint:
        return "dewPoint";
    case store::SeriesColumn::Heatindex:
        return "heatIndex";
    }
    return "";
}

std::string unitText(bool fahrenheit) {
    return fahrenheit ? "°F" : "°C";
}

std::size_t displayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) // "°" is two bytes, one character
            ++width;
    return width;
}

std::string rightAligned(const std::string& text, std::size_t width) {
    const std::size_t shown = displayWidth(text);
    return shown >= width ? text : std::string(width - shown, ' ') + text;
}

AlarmState channelAlarm(const LiveRound& live, int channel) {
    if (!live.station.has(StationPart::Alarms))
        return AlarmState::None;
    return alarmStateOf(live.station.alarms(), channel - 1, live.station.readings[channel - 1]);
}

bool anyAlarm(const LiveRound& live) {
    for (int n = 1; n <= kChannelCount; ++n)
        if (channelAlarm(live, n) != AlarmState::None)
            return true;
    return false;
}

std::string countText(std::int64_t count, std::string_view singular, std::string_view plural) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? singular : plural);
}

std::string liveText(const LiveRound& live) {
    std::ostringstream out;
    out << channelTextHeader(live.station.fahrenheit(), live.names) << '\n';
    for (int n = 1; n <= kChannelCount; ++n)
        out << channelTextFields(live, n) << '\n';
    return out.str();
}

QJsonObject liveJson(const LiveRound& live) {
    QJsonObject o;
    o.insert("time", QString::fromStdString(live.time));
    o.insert("unit", QString::fromStdString(unitText(live.station.fahrenheit())));
    o.insert("channels", channelsJson(live));
    return o;
}

std::string liveCsv(const LiveRound& live) {
    std::ostringstream out;
    out << "channel,temperature,humidity,dewPoint,alarm,name\n";
    for (int n = 1; n <= kChannelCount; ++n)
        out << channelCsvFields(live, n) << '\n';
    return out.str();
}

std::string watchTextHeader(bool fahrenheit, const ChannelNames* names) {
    return padded("Time", kTimeWidth + 2) + channelTextHeader(fahrenheit, names) + '\n';
}

std::string watchText(const LiveRound& live) {
    std::ostringstream out;
    for (int n = 1; n <= kChannelCount; ++n)
        out << padded(live.time, kTimeWidth + 2) << channelTextFields(live, n) << '\n';
    return out.str();
}

std::string watchJsonLine(const LiveRound& live) {
    return jsonText(liveJson(live), true);
}

std::string watchCsvHeader() {
    return "time,channel,temperature,humidity,dewPoint,alarm,name\n";
}

std::string watchCsv(const LiveRound& live) {
    std::ostringstream out;
    for (int n = 1; n <= kChannelCount; ++n)
        out << csvField(live.time) << ',' << channelCsvFields(live, n) << '\n';
    return out.str();
}

namespace {

// The parts of the station that did not answer, by name.
QJsonArray missingJson(const StationSnapshot& info) {
    QJsonArray out;
    const std::string text = info.missingText(kInfoParts);
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t comma = text.find(", ", from);
        out.append(QString::fromStdString(text.substr(from, comma - from)));
        from = comma == std::string::npos ? text.size() : comma + 2;
    }
    return out;
}

} // namespace

std::string infoText(const StationSnapshot& info) {
    const StationSettings s = info.stationSettings();
    const AlarmSettings alarms = info.alarms();
    const CalibrationOffsets calibration = info.calibrationOffsets();
    const bool f = info.fahrenheit();
    const int areas = info.areas();
    std::ostringstream out;
    const auto line = [&out](const std::string& label, const std::string& value) {
        out << padded(label + ':', 20) << value << '\n';
    };
    const std::string notAnswered = "(not answered)";
    line("Identification",
         info.has(StationPart::Identification) ? terminalText(info.identText) : notAnswered);
    line("Interval",
         info.has(StationPart::Interval) ? std::to_string(info.interval) + " Minute" : notAnswered);
    if (info.has(StationPart::Settings)) {
        line("Graph Type", orDash(graphTypeName(s.graphType), s.graphType));
        line("Graph Time", std::to_string(s.graphTimeHours) + "H");
        line("Time Format", orDash(timeFormatName(s.timeFormat), s.timeFormat));
        line("Date Format", orDash(dateFormatName(s.dateFormat), s.dateFormat));
        line("DST", s.daylightSaving == 0   ? std::string("OFF")
                    : s.daylightSaving == 1 ? std::string("ON")
                                            : std::to_string(s.daylightSaving));
        line("TimeZone", std::to_string(s.timeZoneHours));
        line("Units", unitText(s.unit != 0));
        for (int area = 1; area <= areas; ++area)
            line("CH Area" + std::to_string(area), areaDescription(s.areaMasks[area - 1]));
    } else {
        line("Settings", notAnswered);
    }

    out << '\n';
    // Limits and offsets right-aligned under headings with their units.
    const std::string unit = unitText(f);
    if (info.has(StationPart::Alarms)) {
        line("Temperature Alarm", alarms.temperatureOn() ? "ON" : "OFF");
        line("Humidity Alarm", alarms.humidityOn() ? "ON" : "OFF");
        const std::string headings[] = {"Temp High " + unit, "Temp Low " + unit, "Humi High %",
                                        "Humi Low %"};
        out << padded("", 6) << headings[0] << "  " << headings[1] << "  " << headings[2] << "  "
            << headings[3] << '\n';
        const auto cell = [&headings](int column, bool enabled, const std::string& value) {
            return std::string(enabled ? "[x] " : "[ ] ") +
                   rightAligned(value, displayWidth(headings[column]) - 4);
        };
        for (int n = 1; n <= kChannelCount; ++n) {
            const TemperatureAlarm& t = alarms.temperature[n - 1];
            const HumidityAlarm& h = alarms.humidity[n - 1];
            out << padded(channelName(n), 6) << cell(0, t.highEnabled, limitText(t.high, f)) << "  "
                << cell(1, t.lowEnabled, limitText(t.low, f)) << "  "
                << cell(2, h.highEnabled, humidityText(h.high)) << "  "
                << cell(3, h.lowEnabled, humidityText(h.low)) << '\n';
        }
    } else {
        line("Alarms", notAnswered);
    }

    out << "\nCalibration\n";
    if (info.has(StationPart::Calibration)) {
        const std::string offsetHeading = "Temperature " + unit;
        out << padded("", 6) << offsetHeading << "  Humidity %\n";
        for (int n = 1; n <= kChannelCount; ++n) {
            const CalibrationOffset& c = calibration[n - 1];
            out << padded(channelName(n), 6)
                << rightAligned(offsetText(c.temperature, f), displayWidth(offsetHeading)) << "  "
                << rightAligned(std::to_string(c.humidity), 10) << '\n';
        }
    } else {
        out << notAnswered << '\n';
    }
    return out.str();
}

QJsonObject infoJson(const StationSnapshot& info) {
    const StationSettings s = info.stationSettings();
    const AlarmSettings decodedAlarms = info.alarms();
    const CalibrationOffsets offsets = info.calibrationOffsets();
    QJsonObject settings;
    settings.insert("graphType", s.graphType);
    settings.insert("graphTypeName", nameOrNull(graphTypeName(s.graphType)));
    settings.insert("graphTimeHours", s.graphTimeHours);
    settings.insert("timeFormat", s.timeFormat);
    settings.insert("timeFormatName", nameOrNull(timeFormatName(s.timeFormat)));
    settings.insert("dateFormat", s.dateFormat);
    settings.insert("dateFormatName", nameOrNull(dateFormatName(s.dateFormat)));
    settings.insert("daylightSaving", s.daylightSaving != 0);
    settings.insert("timeZone", s.timeZoneHours);
    settings.insert("unit", QString::fromStdString(unitText(s.unit != 0)));
    QJsonArray areas;
    for (int area = 1; area <= info.areas(); ++area) {
        const std::uint32_t mask = s.areaMasks[area - 1];
        QJsonObject a;
        a.insert("area", area);
        a.insert("mask", static_cast<qint64>(mask));
        a.insert("temperature", channelsWith(mask, AreaItem::Temperature));
        a.insert("dewPoint", channelsWith(mask, AreaItem::DewPoint));
        a.insert("heatIndex", channelsWith(mask, AreaItem::HeatIndex));
        areas.append(a);
    }
    settings.insert("areas", areas);

    QJsonObject alarms;
    alarms.insert("temperatureAlarm", decodedAlarms.temperatureOn());
    alarms.insert("humidityAlarm", decodedAlarms.humidityOn());
    QJsonArray alarmChannels;
    for (int n = 1; n <= kChannelCount; ++n) {
        const TemperatureAlarm& t = decodedAlarms.temperature[n - 1];
        const HumidityAlarm& h = decodedAlarms.humidity[n - 1];
        QJsonObject c;
        c.insert("channel", n);
        c.insert("temperatureHigh", temperatureJson(t.high));
        c.insert("temperatureHighEnabled", t.highEnabled);
        c.insert("temperatureLow", temperatureJson(t.low));
        c.insert("temperatureLowEnabled", t.lowEnabled);
        c.insert("humidityHigh", humidityJson(h.high));
        c.insert("humidityHighEnabled", h.highEnabled);
        c.insert("humidityLow", humidityJson(h.low));
        c.insert("humidityLowEnabled", h.lowEnabled);
        alarmChannels.append(c);
    }
    alarms.insert("channels", alarmChannels);

    QJsonArray calibration;
    for (int n = 1; n <= kChannelCount; ++n) {
        QJsonObject c;
        c.insert("channel", n);
        c.insert("temperature", temperatureJson(offsets[n - 1].temperature));
        c.insert("humidity", offsets[n - 1].humidity);
        calibration.append(c);
    }

    const auto part = [&info](StationPart p, const QJsonValue& value) {
        return info.has(p) ? value : QJsonValue();
    };
    QJsonObject o;
    o.insert("identification",
             part(StationPart::Identification, QString::fromStdString(info.identText)));
    o.insert("eightAreas", part(StationPart::Identification, isEightAreaStation(info.identText)));
    o.insert("interval", part(StationPart::Interval, info.interval));
    o.insert("unit",
             part(StationPart::Settings, QString::fromStdString(unitText(info.fahrenheit()))));
    o.insert("settings", part(StationPart::Settings, settings));
    o.insert("alarms", part(StationPart::Alarms, alarms));
    o.insert("calibration", part(StationPart::Calibration, calibration));
    o.insert("missing", missingJson(info));
    return o;
}

std::string infoCsv(const StationSnapshot& info) {
    const StationSettings s = info.stationSettings();
    const AlarmSettings alarms = info.alarms();
    const CalibrationOffsets calibration = info.calibrationOffsets();
    std::ostringstream out;
    out << "section,name,channel,value\n";
    if (info.has(StationPart::Identification))
        csvRow(out, "station", "identification", 0, info.identText);
    if (info.has(StationPart::Interval))
        csvRow(out, "station", "interval", 0, std::to_string(info.interval));
    for (const QJsonValue& name : missingJson(info))
        csvRow(out, "station", "missing", 0, name.toString().toStdString());
    if (info.has(StationPart::Settings)) {
        csvRow(out, "settings", "graphType", 0, std::to_string(s.graphType));
        csvRow(out, "settings", "graphTimeHours", 0, std::to_string(s.graphTimeHours));
        csvRow(out, "settings", "timeFormat", 0, std::to_string(s.timeFormat));
        csvRow(out, "settings", "dateFormat", 0, std::to_string(s.dateFormat));
        csvRow(out, "settings", "daylightSaving", 0, std::to_string(s.daylightSaving));
        csvRow(out, "settings", "timeZone", 0, std::to_string(s.timeZoneHours));
        csvRow(out, "settings", "unit", 0, unitText(s.unit != 0));
        for (int area = 1; area <= info.areas(); ++area)
            csvRow(out, "settings", "area" + std::to_string(area) + "Mask", 0,
                   std::to_string(s.areaMasks[area - 1]));
    }
    if (info.has(StationPart::Alarms)) {
        csvRow(out, "alarm", "temperatureAlarm", 0, alarms.temperatureOn() ? "ON" : "OFF");
        csvRow(out, "alarm", "humidityAlarm", 0, alarms.humidityOn() ? "ON" : "OFF");
        for (int n = 1; n <= kChannelCount; ++n) {
            const TemperatureAlarm& t = alarms.temperature[n - 1];
            const HumidityAlarm& h = alarms.humidity[n - 1];
            csvRow(out, "alarm", "temperatureHigh", n, temperatureCsv(t.high));
            csvRow(out, "alarm", "temperatureHighEnabled", n, t.highEnabled ? "1" : "0");
            csvRow(out, "alarm", "temperatureLow", n, temperatureCsv(t.low));
            csvRow(out, "alarm", "temperatureLowEnabled", n, t.lowEnabled ? "1" : "0");
            csvRow(out, "alarm", "humidityHigh", n, humidityCsv(h.high));
            csvRow(out, "alarm", "humidityHighEnabled", n, h.highEnabled ? "1" : "0");
            csvRow(out, "alarm", "humidityLow", n, humidityCsv(h.low));
            csvRow(out, "alarm", "humidityLowEnabled", n, h.lowEnabled ? "1" : "0");
        }
    }
    if (info.has(StationPart::Calibration))
        for (int n = 1; n <= kChannelCount; ++n) {
            csvRow(out, "calibration", "temperature", n,
                   temperatureCsv(calibration[n - 1].temperature));
            csvRow(out, "calibration", "humidity", n, std::to_string(calibration[n - 1].humidity));
        }
    return out.str();
}

} // namespace vellumet::cli
