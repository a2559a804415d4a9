#include "commands.h"
#include "data_dir.h"
#include "file_output.h"
#include "output.h"

#include "app/data_folder.h"
#include "device/station_snapshot.h"
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

#include <initializer_list>
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

constexpr unsigned partsOf(std::initializer_list<StationPart> parts) {
    unsigned mask = 0;
    for (StationPart p : parts)
        mask |= static_cast<unsigned>(p);
    return mask;
}

// The station as it is now. The command needs the parts in `needed`: without
// one of them it fails, naming what did not come; another part missing is
// only told.
StationSnapshot snapshot(Invocation& inv, unsigned needed) {
    StationSnapshot s = readStation(inv.station(), inv.stop());
    if (inv.interrupted())
        throw CommandError("interrupted");
    if (!inv.connected())
        throw CommandError("Unconnected: the station went away while it was being read");
    if (!s.complete(needed))
        throw CommandError("the station did not answer: " + s.missingText(needed));
    if (const std::string missing = s.missingText(kInfoParts); !missing.empty())
        inv.err() << kProgramName << ": the station did not answer: " << missing << '\n'
                  << std::flush;
    return s;
}

// One query's answer, for the read-back after a write.
Block readBack(Invocation& inv, const QueryShape& shape, const std::string& what) {
    Result<Block> answer = inv.station().query(shape, inv.stop());
    if (!answer)
        throw CommandError(what + " sent, but the station did not confirm (" +
                           answer.error().text() + ")");
    return *answer;
}

std::vector<std::string> changesBetween(const StationSnapshot& before,
                                        const StationSnapshot& after) {
    return settings::profileDifferences(settings::profileJson(before),
                                        settings::profileJson(after));
}

} // namespace

int runSetSettings(Invocation& inv) {
    static constexpr std::string_view usage =
        "usage: set-settings KEY=VALUE... (keys: graph-type, graph-time, time-format, "
        "date-format, daylight-saving, time-zone, unit, area1 ... area8)";
    const auto pairs = keyValues(inv.args(), 0, usage);
    const StationSnapshot before =
        snapshot(inv, partsOf({StationPart::Settings, StationPart::Identification}));
    StationSettings wanted = before.stationSettings();
    for (const auto& [key, value] : pairs)
        require(settings::applySetting(wanted, key, value, before.areas()));
    const Result<CommandFrame> frame = settings::setupSaveFrame(wanted, before.areas());
    if (!frame)
        fail(frame.error());

    StationLink& link = inv.station();
    require(link.writeSettings(std::span<const CommandFrame>(&*frame, 1), {}, inv.stop()));
    const Block settings = readBack(inv, query::Settings, "the settings were");
    if (!blockHolds(settings, *frame, before.areas()))
        throw CommandError("the settings were sent, but the station reports other values");
    StationSnapshot after = before;
    after.settings = settings;
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
    const StationSnapshot before = snapshot(inv, partsOf({StationPart::Alarms}));
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
    StationSnapshot after = before;
    after.alarmSwitches = readBack(inv, query::Alarm1, "the alarm settings were");
    after.temperatureLimits = readBack(inv, query::Alarm3, "the alarm settings were");
    after.humidityLimits = readBack(inv, query::Alarm4, "the alarm settings were");
    if (!blockHolds(after.alarmSwitches, list[0], before.areas()) ||
        !blockHolds(after.temperatureLimits, list[1], before.areas()) ||
        !blockHolds(after.humidityLimits, list[2], before.areas()))
        throw CommandError("the alarm settings were sent, but the station reports other values");
    inv.output = writeResult(inv.format(), "Alarm settings saved", changesBetween(before, after),
                             "confirmed");
    return kExitOk;
}

int runSetCalibration(Invocation& inv) {
    static constexpr std::string_view usage =
        "usage: set-calibration CHANNEL temperature=OFFSET humidity=OFFSET";
    const int channel = channelArgument(inv.args(), usage);
    const auto pairs = keyValues(inv.args(), 1, usage);
    const StationSnapshot before =
        snapshot(inv, partsOf({StationPart::Calibration, StationPart::CurrentReadings}));
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
    StationSnapshot after = before;
    after.calibration = readBack(inv, query::Calibration, "the calibration was");
    if (!blockHolds(after.calibration, *frame, before.areas()))
        throw CommandError("the calibration was sent, but the station reports other values");
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
    if (Status told = settings::tellStationLanguage(*link, language, inv.stop()); !told)
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
    // The area count tells which settings the block holds; the rest is
    // saved as far as it came.
    const StationSnapshot s =
        snapshot(inv, partsOf({StationPart::Settings, StationPart::Identification}));
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

    const StationSnapshot before = snapshot(inv, kAllParts);
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
    const StationSnapshot after =
        readStation(inv.station(), inv.stop(), {}, StationRead::WithoutReadings);
    if (!after.complete(kInfoParts))
        throw CommandError("the profile was written, but the station did not confirm it (" +
                           (inv.interrupted() ? std::string("interrupted")
                                              : "no answer: " + after.missingText(kInfoParts)) +
                           ")");
    if (settings::profileJson(after) != settings::profileJson(plan->after))
        throw CommandError("the profile was sent, but the station reports other values");
    inv.output = writeResult(inv.format(), "Station profile restored", plan->changes, "confirmed");
    return kExitOk;
}

} // namespace vellumet::cli
