#include "station_profile.h"

#include "alarm_logic.h"
#include "calibration_logic.h"
#include "settings_text.h"
#include "setup_logic.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <functional>

namespace vellumet::settings {

namespace {

constexpr const char* kFormatKey = "vellumet-station-profile";
constexpr int kFormatVersion = 1;

QJsonValue tenthsJson(std::uint8_t hi, std::uint8_t lo) {
    const float celsius = decodeTemperature(hi, lo);
    if (celsius == NO_VALUE_F)
        return QJsonValue::Null;
    // One decimal written as such, so that the file reads back exactly.
    return QJsonValue(std::round(static_cast<std::int16_t>(hi << 8 | lo)) / 10.0);
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QJsonValue switchJson(std::uint8_t byte) {
    if (byte <= 1)
        return onOff(byte == 0);
    return static_cast<int>(byte);
}

// A stored temperature pair in tenths of °C, or NO_VALUE.
int storedTenths(std::uint8_t hi, std::uint8_t lo) {
    if (decodeTemperature(hi, lo) == NO_VALUE_F)
        return NO_VALUE;
    return static_cast<std::int16_t>(hi << 8 | lo);
}

bool bit(std::uint8_t byte, std::size_t channel) {
    return (byte >> channel & 1) != 0;
}

Error wrong(const std::string& path, const std::string& why) {
    return makeError(Errc::InvalidInput, path + ": " + why);
}

std::string jsonText(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return "--";
    case QJsonValue::Bool:
        return v.toBool() ? "true" : "false";
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 1e9)
            return std::to_string(static_cast<long long>(d));
        return tenthsText(d).toStdString();
    }
    case QJsonValue::String:
        return v.toString().toStdString();
    default:
        return QJsonDocument(v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject()))
            .toJson(QJsonDocument::Compact)
            .toStdString();
    }
}

void differences(const QJsonValue& a, const QJsonValue& b, const std::string& path,
                 std::vector<std::string>& out) {
    if (a.isObject() && b.isObject()) {
        const QJsonObject x = a.toObject();
        const QJsonObject y = b.toObject();
        QStringList keys = x.keys();
        for (const QString& k : y.keys())
            if (!keys.contains(k))
                keys << k;
        for (const QString& k : keys)
            differences(x.value(k), y.value(k),
                        path.empty() ? k.toStdString() : path + '.' + k.toStdString(), out);
        return;
    }
    if (a.isArray() && b.isArray() && a.toArray().size() == b.toArray().size()) {
        const QJsonArray x = a.toArray();
        const QJsonArray y = b.toArray();
        for (qsizetype i = 0; i < x.size(); ++i)
            differences(x[i], y[i], path + '[' + std::to_string(i) + ']', out);
        return;
    }
    if (a != b)
        out.push_back(path + ": " + jsonText(a) + " -> " + jsonText(b));
}

// A temperature of the file in tenths of °C: null is no value; a number must
// have at most one decimal.
Result<int> fileTenths(const QJsonValue& v, const std::string& path) {
    if (v.isNull())
        return NO_VALUE;
    if (!v.isDouble())
        return wrong(path, "a temperature in °C or null is needed");
    const double tenths = v.toDouble() * 10.0;
    if (!(std::fabs(tenths) < 100000.0) || std::fabs(tenths - std::round(tenths)) > 1e-6)
        return wrong(path, "a temperature with at most one decimal is needed");
    return static_cast<int>(std::lround(tenths));
}

Result<int> fileInteger(const QJsonValue& v, const std::string& path, bool nullable) {
    if (nullable && v.isNull())
        return NO_VALUE;
    if (!v.isDouble() || v.toDouble() != std::floor(v.toDouble()) || std::fabs(v.toDouble()) > 1e6)
        return wrong(path, "a whole number is needed");
    return static_cast<int>(v.toDouble());
}

Result<bool> fileOnOff(const QJsonValue& v, const std::string& path) {
    if (v.toString() == QLatin1String("on"))
        return true;
    if (v.toString() == QLatin1String("off"))
        return false;
    return wrong(path, "\"on\" or \"off\" is needed");
}

std::string channelPath(const char* area, std::size_t channel, const char* key) {
    return std::string(area) + ".CH" + std::to_string(channel + 1) + '.' + key;
}

} // namespace

QJsonObject profileJson(const StationSnapshot& s) {
    QJsonObject root;
    root.insert(kFormatKey, kFormatVersion);
    root.insert("areas", s.areas());

    const StationSettings settings = decodeStationSettings(s.settings);
    QJsonObject settingsObject;
    for (const std::string& key : settingKeys(s.areas()))
        settingsObject.insert(QString::fromStdString(key),
                              QString::fromStdString(settingValue(settings, key)));
    root.insert("settings", settingsObject);
    root.insert("interval", s.interval);

    QJsonObject alarms;
    alarms.insert("temperature-alarm", switchJson(s.alarmSwitches[2]));
    alarms.insert("humidity-alarm", switchJson(s.alarmSwitches[1]));
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        QJsonObject ch;
        const Block& t = s.temperatureLimits;
        const Block& h = s.humidityLimits;
        ch.insert("temperature-high", tenthsJson(t[4 * i + 1], t[4 * i + 2]));
        ch.insert("temperature-low", tenthsJson(t[4 * i + 3], t[4 * i + 4]));
        ch.insert("humidity-high", h[2 * i + 1] == 0xFF ? QJsonValue() : QJsonValue(h[2 * i + 1]));
        ch.insert("humidity-low", h[2 * i + 2] == 0xFF ? QJsonValue() : QJsonValue(h[2 * i + 2]));
        ch.insert("humidity-high-alarm", onOff(bit(s.alarmSwitches[3], i)));
        ch.insert("humidity-low-alarm", onOff(bit(s.alarmSwitches[4], i)));
        ch.insert("temperature-high-alarm", onOff(bit(s.alarmSwitches[5], i)));
        ch.insert("temperature-low-alarm", onOff(bit(s.alarmSwitches[6], i)));
        alarms.insert(QStringLiteral("CH%1").arg(i + 1), ch);
    }
    root.insert("alarms", alarms);

    QJsonObject calibration;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        QJsonObject ch;
        ch.insert("temperature", tenthsJson(s.calibration[3 * i + 1], s.calibration[3 * i + 2]));
        ch.insert("humidity", static_cast<std::int8_t>(s.calibration[3 * i + 3]));
        calibration.insert(QStringLiteral("CH%1").arg(i + 1), ch);
    }
    root.insert("calibration", calibration);

    for (const auto& [part, key] :
         {std::pair{StationPart::Settings, "settings"},
          std::pair{StationPart::Interval, "interval"}, std::pair{StationPart::Alarms, "alarms"},
          std::pair{StationPart::Calibration, "calibration"}})
        if (!s.has(part))
            root.remove(QLatin1String(key));
    return root;
}

std::vector<std::string> profileDifferences(const QJsonObject& before, const QJsonObject& after) {
    std::vector<std::string> out;
    differences(before, after, {}, out);
    return out;
}

Result<RestorePlan> planRestore(const StationSnapshot& station, const QJsonObject& file) {
    if (file.value(kFormatKey).toInt(-1) != kFormatVersion)
        return wrong(kFormatKey, "not a station profile of version 1");
    for (const char* part : {"settings", "alarms", "calibration"})
        if (!file.value(part).isObject())
            return wrong(part, "missing");
    const Result<int> areas = fileInteger(file.value("areas"), "areas", false);
    if (!areas)
        return areas.error();
    if (*areas != station.areas())
        return wrong("areas", "the file is for a station with " + std::to_string(*areas) +
                                  " areas, this one has " + std::to_string(station.areas()));

    RestorePlan plan;
    plan.after = station;

    // Settings: every key the station has, nothing else.
    const QJsonObject settingsObject = file.value("settings").toObject();
    StationSettings wanted = decodeStationSettings(station.settings);
    const std::vector<std::string> keys = settingKeys(station.areas());
    for (const QString& k : settingsObject.keys())
        if (std::find(keys.begin(), keys.end(), k.toStdString()) == keys.end())
            return wrong("settings." + k.toStdString(), "not a setting of this station");
    const StationSettings current = decodeStationSettings(station.settings);
    bool settingsChange = false;
    for (const std::string& key : keys) {
        const QJsonValue v = settingsObject.value(QString::fromStdString(key));
        if (!v.isString())
            return wrong("settings." + key, "missing");
        // What the station holds already stays as it is, even a byte that
        // matches no item (the file then gives its number).
        if (v.toString().toStdString() == settingValue(current, key))
            continue;
        if (Status set = applySetting(wanted, key, v.toString().toStdString(), station.areas());
            !set)
            return wrong("settings." + key, set.error().text());
        settingsChange = true;
    }
    const Result<CommandFrame> settingsWrite = settingsChange
                                                   ? setupSaveFrame(wanted, station.areas())
                                                   : settingsFrame(current, station.areas());
    if (!settingsWrite)
        return wrong("settings", settingsWrite.error().text());
    if (settingsWrite->bytes() != settingsFrame(current, station.areas()).bytes()) {
        plan.settings = *settingsWrite;
        plan.after.settings = blockAfterWrite(plan.after.settings, *settingsWrite, station.areas());
    }

    const Result<int> interval = fileInteger(file.value("interval"), "interval", false);
    if (!interval)
        return interval.error();
    if (!intervalInRange(*interval))
        return wrong("interval", text(app::TextId::IntervalRange).toStdString());
    if (*interval != station.interval) {
        plan.interval = *interval;
        plan.after.interval = *interval;
    }

    // Alarms: each value checked on its own first, so that the message names it.
    const QJsonObject alarms = file.value("alarms").toObject();
    const AlarmEditor alarmEditor(station.alarmSwitches, station.temperatureLimits,
                                  station.humidityLimits, false);
    AlarmValues av;
    for (const char* key : {"temperature-alarm", "humidity-alarm"}) {
        const Result<bool> on = fileOnOff(alarms.value(key), std::string("alarms.") + key);
        if (!on)
            return on.error();
        (std::string(key) == "temperature-alarm" ? av.temperatureSwitch : av.humiditySwitch) =
            *on ? 0 : 1;
    }
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        const QJsonObject ch = alarms.value(QStringLiteral("CH%1").arg(i + 1)).toObject();
        struct Limit {
            const char* key;
            int* target;
            bool temperature;
        };
        const Limit limits[] = {{"temperature-high", &av.temperatureHigh[i], true},
                                {"temperature-low", &av.temperatureLow[i], true},
                                {"humidity-high", &av.humidityHigh[i], false},
                                {"humidity-low", &av.humidityLow[i], false}};
        for (const Limit& limit : limits) {
            const std::string path = channelPath("alarms", i, limit.key);
            const QJsonValue v = ch.value(limit.key);
            const Result<int> value =
                limit.temperature ? fileTenths(v, path) : fileInteger(v, path, true);
            if (!value)
                return value.error();
            if (limit.temperature && *value != NO_VALUE &&
                (*value < kTemperatureMinTenths || *value > kTemperatureMaxTenths))
                return wrong(path, text(app::TextId::TempError).toStdString());
            // null is the station's own "no limit" (0xFF), which it may well hold.
            if (!limit.temperature && *value != NO_VALUE &&
                (*value < kHumidityLimitMin || *value > kHumidityLimitMax))
                return wrong(path, text(app::TextId::HumiError).toStdString());
            *limit.target = *value;
            // A temperature the station already holds goes back as its own
            // bytes: 0x7F 0xFF stays as it is rather than become 0xFF 0xFF.
            const std::size_t pair =
                limit.key == std::string("temperature-high") ? 4 * i + 1 : 4 * i + 3;
            if (limit.temperature && *value == storedTenths(station.temperatureLimits[pair],
                                                            station.temperatureLimits[pair + 1]))
                *limit.target = kKeep;
        }
        struct Enable {
            const char* key;
            bool* target;
        };
        const Enable enables[] = {{"temperature-high-alarm", &av.temperatureHighOn[i]},
                                  {"temperature-low-alarm", &av.temperatureLowOn[i]},
                                  {"humidity-high-alarm", &av.humidityHighOn[i]},
                                  {"humidity-low-alarm", &av.humidityLowOn[i]}};
        for (const Enable& e : enables) {
            const Result<bool> on = fileOnOff(ch.value(e.key), channelPath("alarms", i, e.key));
            if (!on)
                return on.error();
            *e.target = *on;
        }
    }
    const Result<AlarmFrames> alarmWrite = alarmEditor.frames(av);
    if (!alarmWrite)
        return wrong("alarms", alarmWrite.error().text());
    const CommandFrame* alarmFrames[] = {&alarmWrite->switches, &alarmWrite->temperatures,
                                         &alarmWrite->humidities};
    Block* alarmBlocks[] = {&plan.after.alarmSwitches, &plan.after.temperatureLimits,
                            &plan.after.humidityLimits};
    for (std::size_t k = 0; k < 3; ++k) {
        const Block next = blockAfterWrite(*alarmBlocks[k], *alarmFrames[k], station.areas());
        if (next != *alarmBlocks[k]) {
            plan.alarms.push_back(*alarmFrames[k]);
            *alarmBlocks[k] = next;
        }
    }

    // Calibration, checked against the station's current readings.
    const QJsonObject calibration = file.value("calibration").toObject();
    const CalibEditor calibEditor(station.calibration, station.readings, false);
    CalibValues cv;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        const QJsonObject ch = calibration.value(QStringLiteral("CH%1").arg(i + 1)).toObject();
        const Result<int> t =
            fileTenths(ch.value("temperature"), channelPath("calibration", i, "temperature"));
        if (!t)
            return t.error();
        const Result<int> h =
            fileInteger(ch.value("humidity"), channelPath("calibration", i, "humidity"), false);
        if (!h)
            return h.error();
        cv.temperature[i] =
            *t == storedTenths(station.calibration[3 * i + 1], station.calibration[3 * i + 2])
                ? kKeep
                : *t;
        cv.humidity[i] = *h;
    }
    const Result<CommandFrame> calibWrite = calibEditor.frame(cv);
    if (!calibWrite)
        return wrong("calibration", calibWrite.error().text());
    const Block nextCalibration =
        blockAfterWrite(plan.after.calibration, *calibWrite, station.areas());
    if (nextCalibration != plan.after.calibration) {
        plan.calibration = *calibWrite;
        plan.after.calibration = nextCalibration;
    }

    plan.changes = profileDifferences(profileJson(station), profileJson(plan.after));
    return plan;
}

Status applyRestore(StationLink& link, const RestorePlan& plan, std::stop_token stop) {
    struct Part {
        const char* name;
        std::uint64_t frames; // every frame the station takes for it
        std::function<Status()> write;
        std::uint64_t asked = 1; // frames before the first that changes anything
    };
    std::vector<Part> parts;
    const auto oneFrame = [](const CommandFrame& frame) {
        return std::span<const CommandFrame>(&frame, 1);
    };
    // A settings write is the status query, its frames and the closing 0x2F.
    if (plan.settings)
        parts.push_back({"settings", 3,
                         [&] { return link.writeSettings(oneFrame(*plan.settings), {}, stop); }});
    if (plan.interval) // the interval and the closing 0x2F, without a status query
        parts.push_back(
            {"interval", 2, [&] { return setLoggingInterval(link, *plan.interval, stop); }, 0});
    if (!plan.alarms.empty())
        parts.push_back({"alarms", plan.alarms.size() + 2,
                         [&] { return link.writeSettings(plan.alarms, {}, stop); }});
    if (plan.calibration)
        parts.push_back({"calibration", 3, [&] {
                             return link.writeSettings(oneFrame(*plan.calibration), {}, stop);
                         }});

    std::vector<std::string> written;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::uint64_t before = link.framesTaken();
        const Status status = parts[p].write();
        if (status) {
            written.push_back(parts[p].name);
            continue;
        }
        // Cut short: say exactly how far it got. A write whose frames all went
        // out was written even when the wait after them was cut.
        const std::uint64_t taken = link.framesTaken() - before;
        std::string partly;
        if (taken >= parts[p].frames)
            written.push_back(parts[p].name);
        else if (taken > parts[p].asked)
            partly = std::string(parts[p].name) + " (" + std::to_string(taken - parts[p].asked) +
                     " of " + std::to_string(parts[p].frames - parts[p].asked) + " frames)";
        std::vector<std::string> notWritten;
        if (taken < parts[p].frames && partly.empty())
            notWritten.push_back(parts[p].name);
        for (std::size_t q = p + 1; q < parts.size(); ++q)
            notWritten.push_back(parts[q].name);
        const auto list = [](const std::vector<std::string>& names) {
            std::string out;
            for (const std::string& n : names)
                out += (out.empty() ? "" : ", ") + n;
            return out.empty() ? std::string("nothing") : out;
        };
        const std::string why = status.code() == Errc::Cancelled     ? "interrupted"
                                : status.code() == Errc::StationGone ? "the station went away"
                                                                     : status.error().text();
        std::string message = "the restore was cut short (" + why + "): written: " + list(written) +
                              "; not written: " + list(notWritten);
        if (!partly.empty())
            message += "; partly written: " + partly;
        return makeError(status.code(), message);
    }
    return {};
}

} // namespace vellumet::settings
