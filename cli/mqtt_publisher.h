#pragma once

#include "mqtt_topics.h"
#include "mqtt_url.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace vellumet::cli {

// How to reach the broker and what to leave there.
struct MqttConnection {
    MqttTarget target;
    std::string caFile;   // mqtts: a private CA; empty: the system's CA store
    std::string password; // empty: none
    std::string clientId;
    std::string availabilityTopic;       // "online" on connect, "offline" as the will and at close
    bool listenForHomeAssistant = false; // resend discovery when Home Assistant comes online
    int keepAliveSeconds = 30;
    // Reconnects wait firstRetry, doubling up to maxRetry; a connection that
    // was accepted starts over at firstRetry.
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds maxRetry{60000};
};

// Keeps retained messages on a broker through libmosquitto, on a thread of its
// own: it connects, reconnects after any failure with a growing pause, and
// whenever it is connected it brings the broker up to date. Only the newest
// payload of each topic is kept while the broker is away, so nothing piles
// up however long that lasts. Everything is published with QoS 1, retained.
class MqttPublisher {
public:
    // One line about the connection (refused, lost, back); runs on the
    // publisher's thread, once per new kind of trouble.
    using Notice = std::function<void(const std::string&)>;
    // The discovery configs, built on the publisher's thread at every connect
    // and whenever Home Assistant says it is online; empty function: none.
    using Discovery = std::function<std::vector<MqttMessage>()>;

    MqttPublisher(MqttConnection connection, Notice notice, Discovery discovery);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // The newest payload of each topic; sent at once when connected, else on
    // the next connect. Any thread.
    void publish(const std::vector<MqttMessage>& messages);
    // What the availability topic says while connected: "online" or "offline".
    void setAvailable(bool available);
    // Publishes "offline", waits up to `wait` for the broker to take it, and
    // disconnects. The destructor does it when it was not called.
    void close(std::chrono::milliseconds wait = std::chrono::milliseconds(2000));

private:
    struct Pending {
        std::string payload;
        bool dirty = true;
    };

    void run();
    void connectOnce();
    void connectionLost(const std::string& reason);
    void flush();
    void shutDown(std::chrono::milliseconds wait);
    void report(const std::string& trouble);
    // Why a connection failed or broke, from the library's return code.
    std::string failureText(int rc, int savedErrno) const;
    void wake();

    static void onConnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onLog(mosquitto*, void* self, int level, const char* text);

    const MqttConnection connection_;
    const Notice notice_;
    const Discovery discovery_;
    const std::string broker_; // host:port, for messages
    int wakeFd_ = -1;

    // Shared with the callers, under mutex_.
    std::mutex mutex_;
    std::map<std::string, Pending> pending_;
    bool available_ = true;
    bool availabilityDirty_ = true;
    bool stop_ = false;
    std::chrono::milliseconds closeWait_{2000};

    // The publisher's thread only.
    mosquitto* mosq_ = nullptr;
    bool ready_ = false; // the broker accepted the connection
    bool discoveryDue_ = false;
    std::string refusal_; // why the broker refused the last connect
    std::string libraryError_;
    std::string lastTrouble_;
    bool everConnected_ = false;
    int offlineMid_ = -1;
    bool offlineTaken_ = false;
    std::chrono::milliseconds retry_;
    std::chrono::steady_clock::time_point nextAttempt_{};

    std::thread thread_; // last: starts once everything above is set
};

} // namespace vellumet::cli
