#include "mqtt_publisher.h"

#include <mosquitto.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vellumet::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kQos = 1;
// The longest the thread sleeps: keep-alive pings are due from here.
constexpr milliseconds kLongestSleep{1000};

void initLibrary() {
    static const int once = [] { return mosquitto_lib_init(); }();
    (void)once;
}

// The library's texts end with a full stop; ours go on after them.
std::string withoutStop(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string errorText(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(savedErrno);
    return withoutStop(mosquitto_strerror(rc));
}

// The refusals of an MQTT 3.1.1 broker.
std::string refusalText(int rc) {
    switch (rc) {
    case 1:
        return "it does not speak MQTT 3.1.1";
    case 2:
        return "it rejects the client id (--mqtt-client-id)";
    case 3:
        return "it is unavailable";
    case 4:
        return "bad user name or password";
    case 5:
        return "not authorised (check the user name in the URL and the password)";
    default:
        return "refusal " + std::to_string(rc);
    }
}

std::string secondsText(milliseconds delay) {
    const auto s = std::max<long long>(1, (delay.count() + 999) / 1000);
    return std::to_string(s) + " s";
}

} // namespace

MqttPublisher::MqttPublisher(MqttConnection connection, Notice notice, Discovery discovery)
    : connection_(std::move(connection)), notice_(std::move(notice)),
      discovery_(std::move(discovery)), broker_(brokerText(connection_.target)),
      retry_(connection_.firstRetry) {
    initLibrary();
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    nextAttempt_ = Clock::now();
    thread_ = std::thread([this] { run(); });
}

MqttPublisher::~MqttPublisher() {
    close(closeWait_);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void MqttPublisher::publish(const std::vector<MqttMessage>& messages) {
    {
        std::lock_guard lock(mutex_);
        for (const MqttMessage& m : messages) {
            Pending& p = pending_[m.topic];
            p.payload = m.payload;
            p.dirty = true;
        }
    }
    wake();
}

void MqttPublisher::setAvailable(bool available) {
    {
        std::lock_guard lock(mutex_);
        if (available_ == available)
            return;
        available_ = available;
        availabilityDirty_ = true;
    }
    wake();
}

void MqttPublisher::close(milliseconds wait) {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        closeWait_ = wait;
    }
    wake();
    if (thread_.joinable())
        thread_.join();
}

void MqttPublisher::wake() {
    if (wakeFd_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void MqttPublisher::report(const std::string& trouble) {
    if (trouble == lastTrouble_)
        return;
    lastTrouble_ = trouble;
    if (notice_)
        notice_(trouble + "; trying again in " + secondsText(retry_));
}

void MqttPublisher::run() {
    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(mutex_);
            stopping = stop_;
        }
        if (stopping) {
            shutDown(closeWait_);
            return;
        }
        const auto now = Clock::now();
        if (!mosq_ && now >= nextAttempt_)
            connectOnce();

        const int sock = mosq_ ? mosquitto_socket(mosq_) : -1;
        if (mosq_ && sock < 0) {
            // The library closed the connection itself (no answer within the keep-alive).
            connectionLost(!refusal_.empty() ? refusal_ : "the broker stopped answering");
            continue;
        }
        milliseconds sleep = kLongestSleep;
        if (!mosq_)
            sleep = std::clamp(std::chrono::duration_cast<milliseconds>(nextAttempt_ - now),
                               milliseconds(0), kLongestSleep);
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {sock, POLLIN, 0}};
        if (sock >= 0 && mosquitto_want_write(mosq_))
            fds[1].events |= POLLOUT;
        const int ready = ::poll(fds, sock >= 0 ? 2 : 1, static_cast<int>(sleep.count()));
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        if (mosq_) {
            int rc = MOSQ_ERR_SUCCESS;
            if (ready > 0 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)))
                rc = mosquitto_loop_read(mosq_, 1);
            if (rc == MOSQ_ERR_SUCCESS && ready > 0 && (fds[1].revents & POLLOUT))
                rc = mosquitto_loop_write(mosq_, 1);
            if (rc == MOSQ_ERR_SUCCESS)
                rc = mosquitto_loop_misc(mosq_);
            if (rc != MOSQ_ERR_SUCCESS) {
                connectionLost(failureText(rc, errno));
                continue;
            }
        }
        if (ready_)
            flush();
    }
}

void MqttPublisher::connectOnce() {
    // A fresh client for every attempt: whatever the last one still queued
    // is dropped, and the newest payloads are sent anew once connected.
    mosq_ = mosquitto_new(connection_.clientId.c_str(), true, this);
    if (!mosq_) {
        report("cannot set up the MQTT client: " + std::string(std::strerror(errno)));
        nextAttempt_ = Clock::now() + retry_;
        retry_ = std::min(retry_ * 2, connection_.maxRetry);
        return;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq_, &MqttPublisher::onConnect);
    mosquitto_message_callback_set(mosq_, &MqttPublisher::onMessage);
    mosquitto_publish_callback_set(mosq_, &MqttPublisher::onPublish);
    mosquitto_log_callback_set(mosq_, &MqttPublisher::onLog);
    const MqttTarget& t = connection_.target;
    int rc = mosquitto_username_pw_set(mosq_, t.user.empty() ? nullptr : t.user.c_str(),
                                       connection_.password.empty() ? nullptr
                                                                    : connection_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_will_set(mosq_, connection_.availabilityTopic.c_str(),
                                static_cast<int>(std::strlen(kOffline)), kOffline, kQos, true);
    if (rc == MOSQ_ERR_SUCCESS && t.tls) {
        if (connection_.caFile.empty())
            rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            rc = mosquitto_tls_set(mosq_, connection_.caFile.c_str(), nullptr, nullptr, nullptr,
                                   nullptr);
    }
    refusal_.clear();
    libraryError_.clear();
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_connect(mosq_, t.host.c_str(), t.port, connection_.keepAliveSeconds);
        if (rc == MOSQ_ERR_SUCCESS)
            return; // the broker's answer comes through onConnect
    }
    connectionLost(failureText(rc, errno));
}

std::string MqttPublisher::failureText(int rc, int savedErrno) const {
    if (!refusal_.empty())
        return refusal_;
    if (rc == MOSQ_ERR_TLS)
        return "the TLS handshake failed" +
               (libraryError_.empty() ? std::string() : " (" + withoutStop(libraryError_) + ")") +
               (connection_.caFile.empty() ? "; a private CA is given with --mqtt-ca FILE" : "");
    return errorText(rc, savedErrno);
}

void MqttPublisher::connectionLost(const std::string& reason) {
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    if (ready_) {
        // An accepted connection that broke: back soon, then slower.
        retry_ = connection_.firstRetry;
        lastTrouble_.clear();
    }
    const bool wasReady = ready_;
    ready_ = false;
    report((wasReady ? "lost the MQTT broker at " : "cannot connect to the MQTT broker at ") +
           broker_ + ": " + reason);
    nextAttempt_ = Clock::now() + retry_;
    retry_ = std::min(retry_ * 2, connection_.maxRetry);
    std::lock_guard lock(mutex_);
    for (auto& [topic, p] : pending_)
        p.dirty = true;
    availabilityDirty_ = true;
}

void MqttPublisher::flush() {
    bool available = true;
    bool sendAvailability = false;
    std::vector<MqttMessage> states;
    {
        std::lock_guard lock(mutex_);
        available = available_;
        sendAvailability = availabilityDirty_;
        availabilityDirty_ = false;
        for (auto& [topic, p] : pending_)
            if (p.dirty) {
                states.push_back({topic, p.payload});
                p.dirty = false;
            }
    }
    const auto send = [this](const std::string& topic, const std::string& payload) {
        return mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                 payload.data(), kQos, true) == MOSQ_ERR_SUCCESS;
    };
    bool ok = true;
    if (sendAvailability)
        ok = send(connection_.availabilityTopic, available ? kOnline : kOffline);
    if (ok && discoveryDue_ && discovery_) {
        for (const MqttMessage& m : discovery_())
            ok = ok && send(m.topic, m.payload);
        discoveryDue_ = !ok;
    }
    std::size_t sent = 0;
    while (ok && sent < states.size()) {
        ok = send(states[sent].topic, states[sent].payload);
        sent += ok ? 1 : 0;
    }
    if (!ok) {
        // Sent again after the reconnect that follows.
        std::lock_guard lock(mutex_);
        availabilityDirty_ = availabilityDirty_ || sendAvailability;
        for (std::size_t i = sent; i < states.size(); ++i)
            pending_[states[i].topic].dirty = true;
    }
}

void MqttPublisher::shutDown(milliseconds wait) {
    if (mosq_ && ready_) {
        offlineTaken_ = false;
        if (mosquitto_publish(mosq_, &offlineMid_, connection_.availabilityTopic.c_str(),
                              static_cast<int>(std::strlen(kOffline)), kOffline, kQos,
                              true) == MOSQ_ERR_SUCCESS) {
            const auto deadline = Clock::now() + wait;
            while (!offlineTaken_ && Clock::now() < deadline) {
                pollfd fd{mosquitto_socket(mosq_), POLLIN, 0};
                if (mosquitto_want_write(mosq_))
                    fd.events |= POLLOUT;
                if (fd.fd < 0)
                    break;
                const int ready = ::poll(&fd, 1, 50);
                int rc = MOSQ_ERR_SUCCESS;
                if (ready > 0 && (fd.revents & (POLLIN | POLLERR | POLLHUP)))
                    rc = mosquitto_loop_read(mosq_, 1);
                if (rc == MOSQ_ERR_SUCCESS && ready > 0 && (fd.revents & POLLOUT))
                    rc = mosquitto_loop_write(mosq_, 1);
                if (rc != MOSQ_ERR_SUCCESS)
                    break;
            }
        }
        mosquitto_disconnect(mosq_);
    }
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    ready_ = false;
}

void MqttPublisher::onConnect(mosquitto* mosq, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        p->refusal_ = "the broker refused the connection: " + refusalText(rc);
        return; // the read that called us fails next, and a retry follows
    }
    p->ready_ = true;
    p->retry_ = p->connection_.firstRetry;
    if (!p->everConnected_ || !p->lastTrouble_.empty())
        if (p->notice_)
            p->notice_("publishing to the MQTT broker at " + p->broker_);
    p->everConnected_ = true;
    p->lastTrouble_.clear();
    p->discoveryDue_ = true;
    if (p->connection_.listenForHomeAssistant)
        mosquitto_subscribe(mosq, nullptr, kHomeAssistantStatusTopic, kQos);
    std::lock_guard lock(p->mutex_);
    p->availabilityDirty_ = true;
    for (auto& [topic, pending] : p->pending_)
        pending.dirty = true;
}

void MqttPublisher::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (!message->topic || std::strcmp(message->topic, kHomeAssistantStatusTopic) != 0)
        return;
    // A retained "online" is Home Assistant's old birth message, already
    // answered by the discovery sent at connect.
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<std::size_t>(std::max(0, message->payloadlen)));
    if (payload == kOnline && !message->retain)
        p->discoveryDue_ = true;
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (mid == p->offlineMid_)
        p->offlineTaken_ = true;
}

void MqttPublisher::onLog(mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR && text)
        static_cast<MqttPublisher*>(self)->libraryError_ = text;
}

} // namespace vellumet::cli
