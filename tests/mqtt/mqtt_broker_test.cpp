// watch --mqtt against a real mosquitto broker that each test starts on a
// free port, with a subscriber of its own; the station is the virtual one.
#include "cli/cli.h"
#include "sim/virtual_station.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

QString findProgram(const QString& name) {
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin"});
    return found;
}

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

bool portOpen(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
    Clock::time_point arrived;
};

// A subscriber to everything, on libmosquitto's own thread.
class Subscriber {
public:
    explicit Subscriber(int port, const std::string& caFile = {}, const char* user = nullptr,
                        const char* password = nullptr) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(
            mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* s = static_cast<Subscriber*>(self);
                std::lock_guard lock(s->mutex_);
                s->messages_.push_back({m->topic,
                                        std::string(static_cast<const char*>(m->payload),
                                                    static_cast<std::size_t>(m->payloadlen)),
                                        m->retain, Clock::now()});
                s->changed_.notify_all();
            });
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "#", 1);
        });
        mosquitto_username_pw_set(mosq_, user, password);
        if (!caFile.empty())
            mosquitto_tls_set(mosq_, caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        connected_ = mosquitto_connect(mosq_, "localhost", port, 30) == MOSQ_ERR_SUCCESS;
        mosquitto_loop_start(mosq_);
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
        mosquitto_destroy(mosq_);
    }
    bool connected() const { return connected_; }

    void send(const std::string& topic, const std::string& payload) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, false);
    }

    // Waits until the messages so far satisfy `done`.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 std::chrono::milliseconds timeout = 15s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done(messages_); });
    }
    std::vector<Message> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
};

std::size_t countWhere(const std::vector<Message>& ms,
                       const std::function<bool(const Message&)>& f) {
    return static_cast<std::size_t>(std::count_if(ms.begin(), ms.end(), f));
}

bool isConfig(const Message& m) {
    return m.topic.starts_with("homeassistant/sensor/") && m.topic.ends_with("/config");
}

bool isState(const Message& m) {
    return m.topic.starts_with("t/") && m.topic.ends_with("/state");
}

// The last payload of a topic; empty when none came.
std::string last(const std::vector<Message>& ms, const std::string& topic) {
    for (auto it = ms.rbegin(); it != ms.rend(); ++it)
        if (it->topic == topic)
            return it->payload;
    return {};
}

const std::string kAvailability = "t/zp7421x/availability";

class MqttBroker : public ::testing::Test {
protected:
    void SetUp() override {
        mosquitto_ = findProgram("mosquitto");
        if (mosquitto_.isEmpty())
            GTEST_SKIP() << "mosquitto is not installed (scripts/bootstrap.sh installs it)";
        ASSERT_TRUE(dir_.isValid());
        port_ = freePort();
    }
    void TearDown() override {
        for (QProcess* p : {&watch_, &broker_})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
    }

    std::string path(const QString& name) const { return dir_.filePath(name).toStdString(); }

    // extra: lines added to the listener's configuration.
    void startBroker(const QStringList& extra = {}) {
        QFile conf(dir_.filePath("mosquitto.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // Started by root, mosquitto would become the user "mosquitto", who may
        // not read the test's files: it stays whoever runs the test.
        const passwd* self = ::getpwuid(::getuid());
        QString text = QString("listener %1 127.0.0.1\npersistence false\nuser %2\n")
                           .arg(port_)
                           .arg(self ? self->pw_name : "root");
        if (!extra.join("").contains("password_file"))
            text += "allow_anonymous true\n";
        text += extra.join('\n') + '\n';
        conf.write(text.toUtf8());
        conf.close();
        broker_.setProcessChannelMode(QProcess::MergedChannels);
        broker_.start(mosquitto_, {"-c", conf.fileName()});
        ASSERT_TRUE(broker_.waitForStarted());
        const auto deadline = Clock::now() + 10s;
        while (!portOpen(port_) && Clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        if (!portOpen(port_)) {
            broker_.kill();
            broker_.waitForFinished(5000);
            FAIL() << "mosquitto did not start:\n" << broker_.readAll().toStdString();
        }
    }

    void stopBroker() {
        broker_.terminate();
        ASSERT_TRUE(broker_.waitForFinished(10000));
    }

    void startWatch(const QStringList& mqttArgs, const QProcessEnvironment& env = {}) {
        launch(QStringList{"--simulate", "--data-dir", dir_.filePath("data"), "--format", "json",
                           "watch", "--every", "1"} +
                   mqttArgs,
               env);
    }

    // The program with these arguments, its output into files of its own.
    void launch(const QStringList& args, const QProcessEnvironment& env = {}) {
        watch_.setProcessEnvironment(env.isEmpty() ? QProcessEnvironment::systemEnvironment()
                                                   : env);
        ++runs_;
        watch_.setStandardOutputFile(dir_.filePath(QString("out%1").arg(runs_)));
        watch_.setStandardErrorFile(dir_.filePath(QString("err%1").arg(runs_)));
        watch_.start(VELLUMET_CLI_PATH, args);
        ASSERT_TRUE(watch_.waitForStarted());
    }

    QString url(const QString& scheme = "mqtt", const QString& user = {}) const {
        return scheme + "://" + (user.isEmpty() ? "" : user + "@") +
               "localhost:" + QString::number(port_) + "/t";
    }

    QString fileText(const QString& name) const {
        QFile file(dir_.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // What the last watch printed so far: its rounds (one JSON line each) and its notices.
    int roundsPrinted() const {
        return static_cast<int>(fileText(QString("out%1").arg(runs_)).count('\n'));
    }
    QString errors() const { return fileText(QString("err%1").arg(runs_)); }

    QString mosquitto_;
    QTemporaryDir dir_;
    int port_ = 0;
    QProcess broker_;
    QProcess watch_;
    int runs_ = 0;
};

const auto kAllArrived = [](const std::vector<Message>& ms) {
    return last(ms, kAvailability) == "online" && countWhere(ms, isConfig) >= 32 &&
           countWhere(ms, isState) >= 8;
};

const auto kAllArrivedWithoutDiscovery = [](const std::vector<Message>& ms) {
    return last(ms, kAvailability) == "online" && countWhere(ms, isState) >= 8;
};

TEST_F(MqttBroker, DiscoveryStatesAndAvailabilityArriveAndSigtermLeavesOffline) {
    // A channel the user named is named so in Home Assistant.
    ASSERT_TRUE(
        run(VELLUMET_CLI_PATH, {"--data-dir", dir_.filePath("data"), "name", "CH4", "Cellar"}));
    startBroker();
    Subscriber sub(port_);
    ASSERT_TRUE(sub.connected());
    startWatch({"--mqtt", url()});
    ASSERT_TRUE(sub.waitFor(kAllArrived)) << errors().toStdString();
    const auto nameOf = [&](const char* id) {
        return QJsonDocument::fromJson(
                   QByteArray::fromStdString(
                       last(sub.messages(), std::string("homeassistant/sensor/") + id + "/config")))
            .object()
            .value("name")
            .toString();
    };
    EXPECT_EQ(nameOf("vellumet_zp7421x_ch4_humidity"), "Cellar Humidity");
    EXPECT_EQ(nameOf("vellumet_zp7421x_ch3_humidity"), "CH3 Humidity");

    const std::vector<Message> ms = sub.messages();
    for (const Message& m : ms)
        if (isState(m)) {
            const QJsonObject state =
                QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
            EXPECT_TRUE(state.contains("time") && state.contains("temperature") &&
                        state.contains("humidity") && state.contains("dewPoint") &&
                        state.contains("alarm"))
                << m.payload;
            EXPECT_EQ(state.value("temperatureUnit").toString(), "°C");
        }
    // Eight channels, each with its four values.
    EXPECT_EQ(countWhere(ms, isConfig) % 32, 0u);
    EXPECT_FALSE(last(ms, "homeassistant/sensor/vellumet_zp7421x_ch1_temperature/config").empty());
    EXPECT_FALSE(last(ms, "t/zp7421x/ch1/temperature").empty());

    // Home Assistant coming online asks for the configs again.
    const std::size_t before = countWhere(ms, isConfig);
    sub.send("homeassistant/status", "online");
    EXPECT_TRUE(
        sub.waitFor([&](const auto& now) { return countWhere(now, isConfig) >= before + 32; }));

    watch_.terminate();
    ASSERT_TRUE(watch_.waitForFinished(10000));
    EXPECT_EQ(watch_.exitCode(), 128 + SIGTERM);
    EXPECT_TRUE(sub.waitFor([](const auto& now) { return last(now, kAvailability) == "offline"; }));
}

TEST_F(MqttBroker, KilledWatchIsOfflineThroughTheWill) {
    startBroker();
    Subscriber sub(port_);
    startWatch({"--mqtt", url(), "--no-discovery"});
    ASSERT_TRUE(sub.waitFor([](const auto& ms) { return last(ms, kAvailability) == "online"; }));
    ::kill(static_cast<pid_t>(watch_.processId()), SIGKILL);
    ASSERT_TRUE(watch_.waitForFinished(5000));
    EXPECT_TRUE(sub.waitFor([](const auto& ms) { return last(ms, kAvailability) == "offline"; }));
    EXPECT_EQ(countWhere(sub.messages(), isConfig), 0u) << "--no-discovery sends none";
}

TEST_F(MqttBroker, BrokerBackGetsTheNewestStatesAndDiscoveryWhileTheStationWasReadThroughout) {
    startBroker();
    {
        Subscriber sub(port_);
        launch({"--simulate", "--data-dir", dir_.filePath("data"), "--format", "json", "watch",
                "--every", "2.5", "--mqtt", url()});
        ASSERT_TRUE(sub.waitFor(kAllArrived));
    }
    stopBroker();
    const int roundsBefore = roundsPrinted();
    std::this_thread::sleep_for(6s);
    EXPECT_GE(roundsPrinted() - roundsBefore, 2) << "the station is read while the broker is away";
    EXPECT_EQ(watch_.state(), QProcess::Running);

    // No persistence: whatever the new broker holds came after it started.
    // The subscriber is there before watch's next try (1, 2, 4 s after the loss).
    const QDateTime restarted = QDateTime::currentDateTime();
    startBroker();
    Subscriber sub(port_);
    ASSERT_TRUE(sub.waitFor(kAllArrived, 20s)) << errors().toStdString();
    const std::vector<Message> ms = sub.messages();
    const auto online = std::find_if(ms.begin(), ms.end(), [](const Message& m) {
        return m.topic == kAvailability && m.payload == "online";
    });
    const auto firstState = std::find_if(ms.begin(), ms.end(), isState);
    ASSERT_TRUE(online != ms.end() && firstState != ms.end());
    // With the connection, not with the next round 2.5 s on: the newest kept
    // while the broker was away.
    EXPECT_LT(firstState->arrived - online->arrived, 500ms);
    for (const Message& m : ms)
        if (isState(m)) {
            const QDateTime time =
                QDateTime::fromString(QJsonDocument::fromJson(QByteArray::fromStdString(m.payload))
                                          .object()
                                          .value("time")
                                          .toString(),
                                      Qt::ISODate);
            // Newest: read during the outage, not a reading from before it.
            EXPECT_GE(time.toSecsSinceEpoch(), restarted.toSecsSinceEpoch() - 4) << m.payload;
        }
    const QString err = errors();
    EXPECT_TRUE(err.contains("lost the MQTT broker")) << err.toStdString();
    EXPECT_LE(err.count('\n'), 4) << "one line per kind of trouble, not one per retry:\n"
                                  << err.toStdString();
}

// A broker that is back before the next round still gets the last states:
// what it had went with it.
TEST_F(MqttBroker, BrokerBackBetweenRoundsGetsTheLastStatesAgain) {
    startBroker();
    {
        Subscriber sub(port_);
        launch({"--simulate", "--data-dir", dir_.filePath("data"), "watch", "--every", "60",
                "--mqtt", url(), "--no-discovery"});
        ASSERT_TRUE(sub.waitFor(kAllArrivedWithoutDiscovery));
    }
    stopBroker();
    std::this_thread::sleep_for(1500ms);
    startBroker();
    Subscriber sub(port_);
    EXPECT_TRUE(sub.waitFor(kAllArrivedWithoutDiscovery, 20s)) << errors().toStdString();
    EXPECT_EQ(roundsPrinted(), 9) << "one round: a heading and eight channels";
}

// The availability follows the station: "offline" while it is unplugged,
// "online" again once it is back, and "offline" when watch ends; watch goes
// on throughout. In-process, so that the test can pull the virtual station.
TEST_F(MqttBroker, AvailabilityFollowsTheStation) {
    startBroker();
    Subscriber sub(port_);
    auto station = std::make_shared<vellumet::sim::VirtualStation>();
    auto transport = std::make_shared<vellumet::sim::VirtualTransport>(station);
    std::stop_source stop;
    vellumet::cli::Environment env;
    env.stop = stop.get_token();
    env.linkTiming = vellumet::LinkTiming::quick();
    env.makeTransport = [transport](const vellumet::TransportOptions&) {
        return std::static_pointer_cast<vellumet::Transport>(transport);
    };
    // What the availability said, in order, repeats left out.
    const auto availability = [](const std::vector<Message>& ms) {
        std::vector<std::string> said;
        for (const Message& m : ms)
            if (m.topic == kAvailability && (said.empty() || said.back() != m.payload))
                said.push_back(m.payload);
        return said;
    };
    using Said = std::vector<std::string>;
    // Each step waits for the broker to show the one before.
    env.afterWatchRound = [&](const vellumet::cli::WatchRound& round) {
        const Said said = availability(sub.messages());
        if (said == Said{"online"} && round.connected)
            station->unplug();
        else if (said == Said{"online", "offline"})
            station->plug();
    };
    std::ostringstream out, err;
    std::atomic<int> status = -1;
    std::thread watch([&] {
        status = vellumet::cli::run(
            {"--simulate", "--data-dir", dir_.filePath("data").toStdString(), "--format", "json",
             "watch", "--every", "0.2", "--mqtt", url().toStdString(), "--no-discovery"},
            out, err, env);
    });
    const bool followed = sub.waitFor(
        [&](const auto& ms) {
            return availability(ms) == Said{"online", "offline", "online"};
        },
        20s);
    stop.request_stop();
    watch.join();
    EXPECT_TRUE(followed) << err.str();
    EXPECT_EQ(status.load(), 1) << "a stop without a signal exits 1: " << err.str();
    EXPECT_TRUE(sub.waitFor([&](const auto& ms) {
        return availability(ms) == Said{"online", "offline", "online", "offline"};
    })) << "watch ended: offline";
    EXPECT_NE(err.str().find("station lost"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("station found again"), std::string::npos) << err.str();
}

// A test CA, made here, and a server certificate for localhost it signed.
bool makeCertificates(const QString& dir, const QString& openssl) {
    const auto at = [&](const char* name) { return dir + '/' + name; };
    QFile ext(at("san.ext"));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    ext.close();
    return run(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                         "/CN=Vellumet test CA", "-keyout", at("ca.key"), "-out", at("ca.pem")}) &&
           run(openssl, {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                         "-keyout", at("server.key"), "-out", at("server.csr")}) &&
           run(openssl, {"x509", "-req", "-in", at("server.csr"), "-CA", at("ca.pem"), "-CAkey",
                         at("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", at("san.ext"),
                         "-out", at("server.pem")});
}

TEST_F(MqttBroker, TlsWithAPrivateCa) {
    const QString openssl = findProgram("openssl");
    if (openssl.isEmpty())
        GTEST_SKIP() << "openssl is not installed (scripts/bootstrap.sh installs it)";
    const QString d = dir_.path();
    ASSERT_TRUE(makeCertificates(d, openssl));
    startBroker({"cafile " + d + "/ca.pem", "certfile " + d + "/server.pem",
                 "keyfile " + d + "/server.key"});
    Subscriber sub(port_, path("ca.pem"));
    ASSERT_TRUE(sub.connected());
    startWatch({"--mqtt", url("mqtts"), "--mqtt-ca", dir_.filePath("ca.pem")});
    EXPECT_TRUE(sub.waitFor(kAllArrived)) << errors().toStdString();
    watch_.terminate();
    ASSERT_TRUE(watch_.waitForFinished(10000));

    // Without the CA the system's store does not trust the broker: one line says why.
    startWatch({"--mqtt", url("mqtts")});
    std::this_thread::sleep_for(3s);
    watch_.terminate();
    ASSERT_TRUE(watch_.waitForFinished(10000));
    const QString err = errors();
    EXPECT_TRUE(err.contains("TLS handshake failed")) << err.toStdString();
    EXPECT_TRUE(err.contains("--mqtt-ca")) << err.toStdString();
}

TEST_F(MqttBroker, WrongPasswordIsOneLineAndRetriesRightOneConnects) {
    const QString passwd = findProgram("mosquitto_passwd");
    if (passwd.isEmpty())
        GTEST_SKIP() << "mosquitto_passwd is not installed (it comes with mosquitto)";
    ASSERT_TRUE(run(passwd, {"-b", "-c", dir_.filePath("passwords"), "station", "right"}));
    startBroker({"allow_anonymous false", "password_file " + dir_.filePath("passwords")});
    QFile file(dir_.filePath("pw"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("right\n");
    file.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELLUMET_MQTT_PASSWORD", "wrong");
    startWatch({"--mqtt", url("mqtt", "station")}, env);
    // Retries at about 1, 3 and 7 s: three refusals.
    std::this_thread::sleep_for(4500ms);
    EXPECT_EQ(watch_.state(), QProcess::Running);
    const QString err = errors();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("refused") && err.contains("password")) << err.toStdString();
    watch_.terminate();
    ASSERT_TRUE(watch_.waitForFinished(10000));

    // The file wins over the environment.
    Subscriber sub(port_, {}, "station", "right");
    ASSERT_TRUE(sub.connected());
    startWatch({"--mqtt", url("mqtt", "station"), "--mqtt-password-file", dir_.filePath("pw")},
               env);
    EXPECT_TRUE(sub.waitFor(kAllArrived)) << errors().toStdString();
}

// Key=value lines of a unit or an environment file, the last of each key.
std::map<QString, QString> keyValues(const QString& path) {
    std::map<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const auto eq = line.indexOf('=');
        if (line.isEmpty() || line.startsWith('#') || eq < 1)
            continue;
        values[line.left(eq)] = line.mid(eq + 1);
    }
    return values;
}

// systemd's expansion of a command line without quotes: "${X}" is one word,
// "$X" as many as it has (none when empty).
QStringList expanded(const QString& command, const std::map<QString, QString>& env) {
    QStringList words;
    for (const QString& word : command.split(' ', Qt::SkipEmptyParts)) {
        if (word.startsWith("${") && word.endsWith('}')) {
            const auto it = env.find(word.mid(2, word.size() - 3));
            words << (it == env.end() ? QString() : it->second);
        } else if (word.startsWith('$')) {
            const auto it = env.find(word.mid(1));
            if (it != env.end())
                words << it->second.split(' ', Qt::SkipEmptyParts);
        } else {
            words << word;
        }
    }
    return words;
}

TEST_F(MqttBroker, ServiceCommandLineRunsWithItsDefaultSettings) {
    const QString packaging = VELLUMET_SOURCE_DIR "/packaging/";
    const auto unit = keyValues(packaging + "vellumet-watch.service");
    auto env = keyValues(packaging + "vellumet-watch.default");
    ASSERT_TRUE(unit.count("ExecStart"));
    ASSERT_TRUE(env.count("VELLUMET_MQTT_URL") && env.count("VELLUMET_EVERY"));
    // The settings a user changes: the broker, and here the virtual station.
    env["VELLUMET_MQTT_URL"] = url();
    env["VELLUMET_WATCH_OPTIONS"] = "--simulate";
    QStringList command = expanded(unit.at("ExecStart"), env);
    ASSERT_EQ(command.value(0), "/usr/bin/vellumet-cli");
    const QString state = dir_.filePath("state");
    ASSERT_TRUE(QDir().mkpath(state));
    command.replaceInStrings("/var/lib/vellumet", state);

    startBroker();
    Subscriber sub(port_);
    launch(command.mid(1));
    EXPECT_TRUE(sub.waitFor(kAllArrived)) << command.join(' ').toStdString() << '\n'
                                          << errors().toStdString();

    // systemctl stop sends SIGTERM; the unit must count that exit as a success,
    // or Restart=on-failure would start it again.
    watch_.terminate();
    ASSERT_TRUE(watch_.waitForFinished(10000));
    EXPECT_EQ(watch_.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(
        unit.count("SuccessExitStatus") &&
        unit.at("SuccessExitStatus").split(' ').contains(QString::number(watch_.exitCode())))
        << "exit " << watch_.exitCode();
    EXPECT_TRUE(sub.waitFor([](const auto& ms) { return last(ms, kAvailability) == "offline"; }));
}

} // namespace
