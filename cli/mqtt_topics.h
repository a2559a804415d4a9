#pragma once

#include "output.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::cli {

// One retained message.
struct MqttMessage {
    std::string topic;
    std::string payload;
    bool operator==(const MqttMessage&) const = default;
};

inline constexpr const char* kDiscoveryPrefix = "homeassistant";
inline constexpr const char* kHomeAssistantStatusTopic = "homeassistant/status";
inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";

// The station's name in topics and unique ids: its USB serial number when it
// has one, else its identification text; lower case letters, digits, "-" and
// "_" only (every other run of characters becomes one "_"); "station" when
// nothing is left.
std::string stationTopicName(std::string_view serial, std::string_view identText);

// What one station is called on the broker.
struct MqttStation {
    std::string prefix; // topic prefix, e.g. "vellumet" or "home/sensors"
    std::string name;   // stationTopicName
    std::string model;  // from the identification, e.g. "ZP7421X"
};

std::string availabilityTopic(const MqttStation& station);
// "<prefix>/<station>/ch<n>/state"; channel 1 to 8.
std::string stateTopic(const MqttStation& station, int channel);

// A channel's state and one plain message per value ("temperature",
// "humidity", "dew_point", "alarm"): numbers in °C and percent whatever the
// station shows, an empty payload for a value the channel does not have (so
// that no stale value stays retained). Channels are 1 to 8.
std::vector<MqttMessage> channelMessages(const MqttStation& station, const LiveRound& live);

// Home Assistant discovery: one config per channel and value, each sensor's
// name the channel's own name (or "CH<n>") and the value's. names[n-1] is
// channel n's name, empty when it has none.
std::vector<MqttMessage> discoveryMessages(const MqttStation& station,
                                           const std::vector<std::string>& names);

// The model shown for the station: its identification without the braces and
// markers around it ("{ZP7421X@}" gives "ZP7421X"); "thermo-hygrometer" when
// it gave none.
std::string stationModel(std::string_view identText);

} // namespace vellumet::cli
