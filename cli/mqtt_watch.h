#pragma once

#include "command.h"
#include "mqtt_topics.h"
#include "mqtt_url.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vellumet::cli {

class MqttPublisher;

// Held while a line goes to the error stream: watch and the MQTT
// publisher's thread both write notices there.
std::mutex& errorStreamMutex();

// The MQTT options of watch, as given.
struct MqttWatchOptions {
    std::string url;
    std::string caFile;
    std::string passwordFile;
    std::string clientId;
    bool discovery = true;
};

// Takes the MQTT options out of watch's arguments and returns the rest;
// options stays empty without --mqtt. A UsageError for an MQTT option
// without --mqtt, and for a password given on the command line.
std::vector<std::string> takeMqttOptions(const std::vector<std::string>& args,
                                         std::optional<MqttWatchOptions>& options);

// The password: the first line of the file, else VELLUMET_MQTT_PASSWORD,
// else none. A CommandError when the file cannot be read.
std::string mqttPassword(const std::string& passwordFile);

// watch's readings on the broker. Without --mqtt every call does nothing.
// The URL, the password and the CA file are checked when it is made (so that
// a mistake ends watch before the station is read); the connection is made
// with the first reading, which names the station.
class MqttWatch {
public:
    MqttWatch(Invocation& inv, const std::optional<MqttWatchOptions>& options);
    ~MqttWatch(); // "offline", then disconnects
    MqttWatch(const MqttWatch&) = delete;
    MqttWatch& operator=(const MqttWatch&) = delete;

    // The newest reading of every channel.
    void publish(const LiveRound& reading);
    // Whether the station is there: the availability topic follows it.
    void setStationPresent(bool present);

private:
    void notice(const std::string& text);
    std::vector<MqttMessage> discovery() const;

    Invocation& inv_;
    std::optional<MqttWatchOptions> options_;
    MqttTarget target_;
    std::string password_;
    MqttStation station_;
    std::string identText_;
    std::string archivePath_;
    std::unique_ptr<MqttPublisher> publisher_; // last: its thread uses the members above
};

} // namespace vellumet::cli
