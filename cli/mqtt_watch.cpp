#include "mqtt_watch.h"

#include "mqtt_publisher.h"
#include "mqtt_url.h"

#include "app/data_folder.h"
#include "store/archive.h"

#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>

namespace vellumet::cli {

namespace {

constexpr std::string_view kPasswordVariable = "VELLUMET_MQTT_PASSWORD";

// The station's key in the history: its identification, as an import files it.
std::string historyStation(const std::string& identText) {
    return QString::fromStdString(identText).trimmed().toStdString();
}

} // namespace

std::vector<std::string> takeMqttOptions(const std::vector<std::string>& args,
                                         std::optional<MqttWatchOptions>& options) {
    MqttWatchOptions found;
    bool any = false;
    std::string firstOption;
    std::vector<std::string> rest;
    OptionReader words(args);
    while (words.next()) {
        const std::string& name = words.name();
        const auto value = [&] {
            std::string v = words.value();
            if (v.empty())
                throw UsageError(name + " needs a value");
            return v;
        };
        if (name == "--mqtt") {
            found.url = value();
        } else if (name == "--mqtt-ca") {
            found.caFile = value();
        } else if (name == "--mqtt-password-file") {
            found.passwordFile = value();
        } else if (name == "--mqtt-client-id") {
            found.clientId = value();
        } else if (name == "--no-discovery") {
            words.noValue();
            found.discovery = false;
        } else if (name == "--mqtt-password") {
            throw UsageError("the MQTT password is not taken on the command line, where other "
                             "users can see it; use --mqtt-password-file FILE or " +
                             std::string(kPasswordVariable));
        } else {
            rest.push_back(words.arg()); // watch's own, word by word
            continue;
        }
        if (firstOption.empty() && name != "--mqtt")
            firstOption = name;
        any = true;
    }
    if (any && found.url.empty())
        throw UsageError(firstOption + " needs --mqtt URL");
    if (!found.caFile.empty()) {
        if (Result<MqttTarget> t = parseMqttUrl(found.url); t && !t->tls)
            throw UsageError("--mqtt-ca is for an mqtts:// broker; the URL is mqtt://");
    }
    if (any)
        options = found;
    return rest;
}

std::string mqttPassword(const std::string& passwordFile) {
    if (!passwordFile.empty()) {
        std::ifstream in(passwordFile);
        if (!in)
            throw CommandError("cannot read the MQTT password file " + passwordFile + ": " +
                               std::strerror(errno));
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            throw CommandError("the MQTT password file " + passwordFile +
                               " is empty; the password is its first line");
        return line;
    }
    const char* fromEnvironment = std::getenv(std::string(kPasswordVariable).c_str());
    return fromEnvironment ? std::string(fromEnvironment) : std::string();
}

MqttWatch::MqttWatch(Invocation& inv, const std::optional<MqttWatchOptions>& options)
    : inv_(inv), options_(options) {
    if (!options_)
        return;
    Result<MqttTarget> target = parseMqttUrl(options_->url);
    if (!target)
        throw UsageError(target.error().text());
    target_ = *target;
    if (!options_->caFile.empty()) {
        std::ifstream ca(options_->caFile);
        if (!ca)
            throw CommandError("cannot read the CA file " + options_->caFile + ": " +
                               std::strerror(errno));
    }
    password_ = mqttPassword(options_->passwordFile);
    if (!password_.empty() && target_.user.empty())
        throw UsageError("an MQTT password needs a user name: mqtt://USER@" + target_.host);
    const QString folder = inv.options().dataDir.empty()
                               ? app::defaultDataFolder()
                               : app::fromNativePath(inv.options().dataDir);
    archivePath_ = store::archivePathBeside(app::nativePath(app::databasePath(folder)));
}

MqttWatch::~MqttWatch() {
    if (publisher_)
        publisher_->close();
}

std::mutex& errorStreamMutex() {
    static std::mutex mutex;
    return mutex;
}

void MqttWatch::notice(const std::string& text) {
    std::lock_guard lock(errorStreamMutex());
    inv_.err() << kProgramName << ": " << text << '\n' << std::flush;
}

void MqttWatch::publish(const LiveRound& reading) {
    if (!options_)
        return;
    if (!publisher_) {
        // The first reading names the station; the name holds for the whole run.
        identText_ = reading.station.identText;
        station_ = {target_.prefix,
                    stationTopicName(inv_.station().deviceSerial(), reading.station.identText),
                    stationModel(reading.station.identText)};
        MqttConnection c;
        c.target = target_;
        c.caFile = options_->caFile;
        c.password = password_;
        c.clientId = options_->clientId.empty() ? "vellumet-" + station_.name : options_->clientId;
        c.availabilityTopic = availabilityTopic(station_);
        c.listenForHomeAssistant = options_->discovery;
        MqttPublisher::Discovery discovery;
        if (options_->discovery)
            discovery = [this] { return this->discovery(); };
        publisher_ = std::make_unique<MqttPublisher>(
            std::move(c), [this](const std::string& text) { notice(text); }, std::move(discovery));
    }
    publisher_->publish(channelMessages(station_, reading));
}

void MqttWatch::setStationPresent(bool present) {
    if (publisher_)
        publisher_->setAvailable(present);
}

std::vector<MqttMessage> MqttWatch::discovery() const {
    // Names the user gave the channels, read afresh each time so that a
    // rename shows after Home Assistant's next start; no history, no names.
    std::vector<std::string> names(kChannelCount);
    store::Archive archive;
    if (archive.openExisting(archivePath_)) {
        for (int n = 1; n <= kChannelCount; ++n) {
            for (const std::string& key : {historyStation(identText_), std::string()}) {
                Result<std::optional<std::string>> name = archive.name(key, n);
                if (name && *name) {
                    names[static_cast<std::size_t>(n - 1)] = **name;
                    break;
                }
            }
        }
    }
    return discoveryMessages(station_, names);
}

} // namespace vellumet::cli
