#include "mqtt_topics.h"

#include "core/version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cctype>

namespace vellumet::cli {

namespace {

struct ValueKind {
    const char* key;         // in the state's JSON and in the plain topic
    const char* jsonKey;     // the state's JSON key
    const char* caption;     // in the entity's name
    const char* deviceClass; // Home Assistant's
    const char* unit;        // nullptr: none
};

constexpr std::array<ValueKind, 4> kValues{{
    {"temperature", "temperature", "Temperature", "temperature", "°C"},
    {"humidity", "humidity", "Humidity", "humidity", "%"},
    {"dew_point", "dewPoint", "Dew point", "temperature", "°C"},
    {"alarm", "alarm", "Alarm", "enum", nullptr},
}};

std::string compactJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string channelLevel(int channel) {
    return "ch" + std::to_string(channel);
}

std::string channelBase(const MqttStation& station, int channel) {
    return station.prefix + '/' + station.name + '/' + channelLevel(channel);
}

std::string plainNumber(const QJsonValue& value) {
    if (value.isNull())
        return {};
    return QString::number(value.toDouble(), 'g', 10).toStdString();
}

QJsonValue alarmValue(const LiveRound& live, int channel) {
    if (!live.station.has(StationPart::Alarms))
        return QJsonValue();
    const std::string_view name = alarmStateName(channelAlarm(live, channel));
    return QString::fromUtf8(name.empty() ? "none" : name.data(),
                             static_cast<int>(name.empty() ? 4 : name.size()));
}

std::string uniqueId(const MqttStation& station, int channel, const ValueKind& value) {
    return "vellumet_" + station.name + '_' + channelLevel(channel) + '_' + value.key;
}

} // namespace

std::string stationTopicName(std::string_view serial, std::string_view identText) {
    const std::string_view source = serial.empty() ? identText : serial;
    std::string name;
    bool gap = false;
    for (char c : source) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            if (gap && !name.empty())
                name += '_';
            gap = false;
            name += static_cast<char>(std::tolower(u));
        } else if (c == '-' || c == '_') {
            if (gap && !name.empty())
                name += '_';
            gap = false;
            name += c;
        } else {
            gap = true;
        }
    }
    return name.empty() ? std::string("station") : name;
}

std::string stationModel(std::string_view identText) {
    std::string model;
    for (char c : identText)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')
            model += c;
    return model.empty() ? std::string("thermo-hygrometer") : model;
}

std::string availabilityTopic(const MqttStation& station) {
    return station.prefix + '/' + station.name + "/availability";
}

std::string stateTopic(const MqttStation& station, int channel) {
    return channelBase(station, channel) + "/state";
}

std::vector<MqttMessage> channelMessages(const MqttStation& station, const LiveRound& live) {
    std::vector<MqttMessage> messages;
    for (int n = 1; n <= kChannelCount; ++n) {
        const ChannelReading& r = live.station.readings[n - 1];
        const QJsonValue values[] = {temperatureJson(r.temperature), humidityJson(r.humidity),
                                     temperatureJson(channelDewPoint(r)), alarmValue(live, n)};
        QJsonObject state;
        state.insert("time", QString::fromStdString(live.time));
        for (std::size_t i = 0; i < kValues.size(); ++i)
            state.insert(kValues[i].jsonKey, values[i]);
        state.insert("temperatureUnit", QStringLiteral("°C"));
        state.insert("humidityUnit", QStringLiteral("%"));
        messages.push_back({stateTopic(station, n), compactJson(state)});
        for (std::size_t i = 0; i < kValues.size(); ++i) {
            const std::string text =
                values[i].isString() ? values[i].toString().toStdString() : plainNumber(values[i]);
            messages.push_back({channelBase(station, n) + '/' + kValues[i].key, text});
        }
    }
    return messages;
}

std::vector<MqttMessage> discoveryMessages(const MqttStation& station,
                                           const std::vector<std::string>& names) {
    QJsonObject device;
    device.insert("identifiers", QJsonArray{QString::fromStdString("vellumet_" + station.name)});
    device.insert("name", QString::fromStdString("Thermo-hygrometer " + station.name));
    device.insert("model", QString::fromStdString(station.model));
    device.insert("sw_version", QString::fromStdString(std::string("Vellumet ") + kVersion));

    std::vector<MqttMessage> messages;
    for (int n = 1; n <= kChannelCount; ++n) {
        const std::size_t at = static_cast<std::size_t>(n - 1);
        const std::string channelName =
            at < names.size() && !names[at].empty() ? names[at] : "CH" + std::to_string(n);
        for (const ValueKind& value : kValues) {
            const std::string id = uniqueId(station, n, value);
            QJsonObject config;
            config.insert("name", QString::fromStdString(channelName + ' ' + value.caption));
            config.insert("unique_id", QString::fromStdString(id));
            config.insert("object_id", QString::fromStdString(id));
            config.insert("state_topic", QString::fromStdString(stateTopic(station, n)));
            config.insert("value_template", QString::fromStdString(std::string("{{ value_json.") +
                                                                   value.jsonKey + " }}"));
            config.insert("device_class", QString::fromLatin1(value.deviceClass));
            if (value.unit) {
                config.insert("state_class", QStringLiteral("measurement"));
                config.insert("unit_of_measurement", QString::fromUtf8(value.unit));
            } else {
                config.insert("options", QJsonArray{"none", "high", "low"});
            }
            config.insert("availability_topic", QString::fromStdString(availabilityTopic(station)));
            config.insert("payload_available", QString::fromLatin1(kOnline));
            config.insert("payload_not_available", QString::fromLatin1(kOffline));
            config.insert("device", device);
            messages.push_back(
                {std::string(kDiscoveryPrefix) + "/sensor/" + id + "/config", compactJson(config)});
        }
    }
    return messages;
}

} // namespace vellumet::cli
