#include "commands.h"
#include "data_dir.h"
#include "file_output.h"
#include "output.h"

#include "app/data_folder.h"
#include "device/station_queries.h"
#include "settings/alarm_logic.h"
#include "settings/calibration_logic.h"
#include "settings/language_logic.h"
#include "settings/setup_logic.h"
#include "settings/station_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <utility>

namespace vellumet::cli {

namespace {

constexpr qint64 kMaxProfileBytes = 1024 * 1024;

// KEY=VALUE arguments, in the order given.
std::vector<std::pair<std::string, std::string>>
keyValues(const std::vector<std::string>& args, std::size_t first, std::string_view usage) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = first; i < args.size(); ++i) {
        const auto eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("expected KEY=VALUE, got '" + args[i] + "'; " + std::string(usage));
        pairs.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
    }
    if (pairs.empty())
        throw UsageError(std::string(usage));
    return pairs;
}

int channelArgument(const std::vector<std::string>& args, std::string_view usage) {
    if (args.empty())
        throw UsageError(std::string(usage));
    int channel = 0;
    try {
        channel = parseInteger(args.front(), "CHANNEL");
    } catch (const UsageError&) {
        channel = 0;
    }
    if (channel < 1 || channel > kChannelCount)
        throw UsageError("CHANNEL must be 1 to 8, not '" + args.front() + "'");
    return channel;
}

void require(const Status& status) {
    if (!status)
        fail(status.error());
}

// The result of a write: what was written and whether the station's own
// answer confirms it.
std::string writeResult(Format format, const std::string& message,
                        const std::vector<std::string>& changes, const std::string& outcome) {
    switch (format) {
    case Format::Json: {
        QJsonObject o;
        o.insert("message", QString::fromStdString(message));
        QJsonArray list;
        for (const std::string& c : changes)
            list.append(QString::fromStdString(c));
        o.insert("changes", list);
        o.insert("outcome", QString::fromStdString(outcome));
        return jsonText(o, false);
    }
    case Format::Csv: {
        std::string out = "message,change,outcome\n";
        for (const std::string& c : changes)
            out += csvField(message) + ',' + csvField(c) + ',' + outcome + '\n';
        if (changes.empty())
            out += csvField(message) + ",," + outcome + '\n';
        return out;
    }
    case Format::Text:
        break;
    }
    std::string out;
    for (const std::string& c : changes)
        out += "  " + terminalText(c) + '\n';
    return message + " (" + outcome + ")\n" + out;
}

// Whether the block the station now sends holds the frame's payload.
bool blockHolds(const Block& block, const CommandFrame& frame, std::size_t payload) {
    for (std::size_t i = 0; i < payload; ++i)
        if (block[i + 1] != frame.bytes()[i + 2])
            return false;
    return true;
}

settings::StationSnapshot snapshot(Invocation& inv) {
    Result<settings::StationSnapshot> s = settings::readSnapshot(inv.station(), inv.stop());
    if (inv.interrupted())
        throw CommandError("interrupted");
    if (!s)
        fail(s.error());
    return std::move(*s);
}

std::vector<std::string> changesBetween(const settings::StationSnapshot& before,
                                        const settings::StationSnapshot& after) {
    return settings::profileDifferences(settings::profileJson(before),
                                        settings::profileJson(after));
}

} // namespace

int runSetSettings(Invocation& inv) {
    static constexpr std::string_view usage =
        "usage: set-settings KEY=VALUE... (keys: graph-type, graph-time, time-format, "
        "date-format, daylight-saving, time-zone, unit, area1 ... area8)";
    const auto pairs = keyValues(inv.args(), 0, usage);
    const settings::StationSnapshot before = snapshot(inv);
    StationSettings wanted = decodeStationSettings(before.settings);
    for (const auto& [key, value] : pairs)
        require(settings::applySetting(wanted, key, value, before.areas));
    const Result<CommandFrame> frame = settings::setupSaveFrame(wanted, before.areas);
    if (!frame)
        fail(frame.error());

    StationLink& link = inv.station();
    require(link.writeSettings(std::span<const CommandFrame>(&*frame, 1), {}, inv.stop()));
    if (Status asked = link.query(query::Settings, inv.stop()); !asked)
        throw CommandError("the settings were sent, but the station did not confirm them (" +
                           asked.error().text() + ")");
    const std::size_t payload = 7 + 4 * static_cast<std::size_t>(before.areas);
    if (!blockHolds(link.answers().settingsAnswer(), *frame, payload))
        throw CommandError("the settings were sent, but the station reports other values");
    settings::StationSnapshot after = before;
    for (std::size_t i = 0; i < payload; ++i)
        after.settings[i + 1] = frame->bytes()[i + 2];
    inv.output =
        writeResult(inv.format(), "Settings saved", changesBetween(before, after), "confirmed");
    return kExitOk;
}

int runSetAlarm(Invocation& inv) {
    static constexpr std::string_view usage =
        "usage: set-alarm CHANNEL KEY=VALUE... (keys: temperature-high, temperature-low, "
        "humidity-high, humidity-low, temperature-high-alarm ... humidity-low-alarm, "
        "temperature-alarm, humidity-alarm)";
    const int channel = channelArgument(inv.args(), usage);
    const auto pairs = keyValues(inv.args(), 1, usage);
    const settings::StationSnapshot before = snapshot(inv);
    StationLink& link = inv.station();
    const settings::AlarmEditor editor(before.alarmSwitches, before.temperatureLimits,
                                       before.humidityLimits, link.fahrenheit());
    settings::AlarmForm form = editor.opening();
    for (const auto& [key, value] : pairs)
        require(settings::applyAlarmKey(form, channel, key, value));
    const Result<settings::AlarmFrames> frames = editor.frames(form);
    if (!frames)
        fail(frames.error());

    const CommandFrame list[] = {frames->switches, frames->temperatures, frames->humidities};
    require(link.writeSettings(list, {}, inv.stop()));
    if (!queryAlarmLimits(link, inv.stop()))
        throw CommandError("the alarm settings were sent, but the station did not confirm them");
    const AnswerStore& answers = link.answers();
    if (!blockHolds(answers.alarmAnswer(1), list[0], 6) ||
        !blockHolds(answers.alarmAnswer(3), list[1], 32) ||
        !blockHolds(answers.alarmAnswer(4), list[2], 16))
        throw CommandError("the alarm settings were sent, but the station reports other values");
    settings::StationSnapshot after = before;
    after.alarmSwitches = answers.alarmAnswer(1);
    after.temperatureLimits = answers.alarmAnswer(3);
    after.humidityLimits = answers.alarmAnswer(4);
    inv.output = writeResult(inv.format(), "Alarm settings saved", changesBetween(before, after),
                             "confirmed");
    return kExitOk;
}

int runSetCalibration(Invocation& inv) {
    static constexpr std::string_view usage =
        "usage: set-calibration CHANNEL temperature=OFFSET humidity=OFFSET";
    const int channel = channelArgument(inv.args(), usage);
    const auto pairs = keyValues(inv.args(), 1, usage);
    const settings::StationSnapshot before = snapshot(inv);
    StationLink& link = inv.station();
    const settings::CalibEditor editor(before.calibration, before.readings, link.fahrenheit());
    settings::CalibForm form = editor.opening();
    const auto i = static_cast<std::size_t>(channel - 1);
    for (const auto& [key, value] : pairs) {
        if (key == "temperature")
            form.temperature[i] = QString::fromStdString(value);
        else if (key == "humidity")
            form.humidity[i] = QString::fromStdString(value);
        else
            throw UsageError("unknown calibration setting '" + key +
                             "'; use temperature or humidity");
    }
    const Result<CommandFrame> frame = editor.frame(form);
    if (!frame)
        fail(frame.error());

    require(link.writeSettings(std::span<const CommandFrame>(&*frame, 1), {}, inv.stop()));
    if (!queryCalibration(link, inv.stop()))
        throw CommandError("the calibration was sent, but the station did not confirm it");
    if (!blockHolds(link.answers().calibrationAnswer(), *frame, 24))
        throw CommandError("the calibration was sent, but the station reports other values");
    settings::StationSnapshot after = before;
    after.calibration = link.answers().calibrationAnswer();
    inv.output =
        writeResult(inv.format(), "Calibration saved", changesBetween(before, after), "confirmed");
    return kExitOk;
}

int runSetLanguage(Invocation& inv) {
    if (inv.args().size() != 1 || (inv.args()[0] != "en" && inv.args()[0] != "de"))
        throw UsageError("usage: set-language en|de");
    const app::UiLanguage language =
        inv.args()[0] == "de" ? app::UiLanguage::German : app::UiLanguage::English;
    const std::string folder = prepareDataDir(inv.options().dataDir);
    const QString ini =
        QDir(QString::fromStdString(folder)).filePath(QString::fromLatin1(app::kSettingsFileName));
    // Main.ini first: the window's language follows it even when the station is not told.
    require(settings::writeLanguageChoice(ini, language));
    const std::string value = settings::languageValue(language).toStdString();
    StationLink* link = nullptr;
    try {
        link = &inv.station();
    } catch (const CommandError& e) {
        throw CommandError("Main.ini now says " + value +
                           ", but the station was not told: " + e.what());
    }
    if (Status told = settings::tellStationLanguage(*link, language, nullptr, inv.stop()); !told)
        throw CommandError("Main.ini now says " + value +
                           ", but the station was not told: " + told.error().text());
    // The station cannot be asked for its language: sent, not confirmed.
    inv.output = writeResult(inv.format(), "Language set to " + value, {}, "sent");
    return kExitOk;
}

int runBackup(Invocation& inv) {
    if (inv.args().size() != 1)
        throw UsageError("usage: backup FILE.json");
    // A target that can never be written is refused before the station is read.
    if (Status target = checkOutputTarget(inv.args()[0]); !target)
        throw CommandError(target.error().text());
    const settings::StationSnapshot s = snapshot(inv);
    const QByteArray json = QJsonDocument(settings::profileJson(s)).toJson(QJsonDocument::Indented);
    if (Status saved = writeWholeFile(
            inv.args()[0],
            std::string_view(json.constData(), static_cast<std::size_t>(json.size())), inv.stop());
        !saved)
        throw CommandError(saved.error().text());
    inv.output = writeResult(inv.format(), "Station profile saved to " + inv.args()[0], {}, "read");
    return kExitOk;
}

int runRestore(Invocation& inv) {
    static constexpr std::string_view usage = "usage: restore FILE.json [--dry-run]";
    std::string path;
    bool dryRun = false;
    for (const std::string& arg : inv.args()) {
        if (arg == "--dry-run")
            dryRun = true;
        else if (path.empty())
            path = arg;
        else
            throw UsageError(std::string(usage));
    }
    if (path.empty())
        throw UsageError(std::string(usage));

    QFile file(QString::fromStdString(path));
    const QFileInfo info(file);
    if (!info.isFile() || info.size() > kMaxProfileBytes || !file.open(QIODevice::ReadOnly))
        throw CommandError("cannot read " + path + " (a profile file of at most 1 MB is needed)");
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(kMaxProfileBytes), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        throw UsageError(path + ": not a JSON object (" + parseError.errorString().toStdString() +
                         " at byte " + std::to_string(parseError.offset) + ")");

    const settings::StationSnapshot before = snapshot(inv);
    const Result<settings::RestorePlan> plan = settings::planRestore(before, doc.object());
    if (!plan)
        throw UsageError(path + ": " + plan.error().text() + "; nothing was written");
    if (dryRun || plan->empty()) {
        inv.output = writeResult(inv.format(),
                                 plan->empty() ? "The station already holds this profile"
                                               : "A restore would change",
                                 plan->changes, dryRun ? "dry run" : "unchanged");
        return kExitOk;
    }
    require(settings::applyRestore(inv.station(), *plan, inv.stop()));
    Result<settings::StationSnapshot> after = settings::readSnapshot(inv.station(), inv.stop());
    if (!after)
        throw CommandError("the profile was written, but the station did not confirm it (" +
                           (inv.interrupted() ? std::string("interrupted") : after.error().text()) +
                           ")");
    if (settings::profileJson(*after) != settings::profileJson(plan->after))
        throw CommandError("the profile was sent, but the station reports other values");
    inv.output = writeResult(inv.format(), "Station profile restored", plan->changes, "confirmed");
    return kExitOk;
}

} // namespace vellumet::cli
