#pragma once

#include "core/result.h"

#include <string>
#include <string_view>

namespace vellumet::cli {

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttsPort = 8883;
inline constexpr const char* kDefaultTopicPrefix = "vellumet";

// Where readings go: mqtt://[user@]host[:port][/prefix] or mqtts://… (TLS).
struct MqttTarget {
    bool tls = false;
    std::string user; // empty: no user name
    std::string host; // an IPv6 address without its brackets
    int port = kMqttPort;
    std::string prefix = kDefaultTopicPrefix; // one or more topic levels

    bool operator==(const MqttTarget&) const = default;
};

// InvalidInput with a one-line reason for anything else: another scheme, a
// password in the URL, a missing host, a bad port, a prefix with wildcards or
// empty levels.
Result<MqttTarget> parseMqttUrl(std::string_view url);

// "host:port" ("[::1]:1883" for IPv6), for messages.
std::string brokerText(const MqttTarget& target);

} // namespace vellumet::cli
