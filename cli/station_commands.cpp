#include "channel_names.h"
#include "commands.h"
#include "influx_format.h"
#include "mqtt_watch.h"
#include "output.h"
#include "terminal.h"

#include "device/station_blocks.h"
#include "device/station_snapshot.h"
#include "device/time_sync.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>

namespace vellumet::cli {

namespace {

using Clock = std::chrono::steady_clock;

inline constexpr double kDefaultWatchSeconds = 20.0; // the window's refresh period

inline constexpr double kMaxWatchSeconds = 24 * 60 * 60;

std::string localTimestamp() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
}

// The reading every front end runs, ended early by Ctrl-C.
StationSnapshot refresh(Invocation& inv) {
    return readStation(inv.station(), inv.stop());
}

void checkInterrupted(const Invocation& inv) {
    if (inv.interrupted())
        throw CommandError("interrupted");
}

void expectNoArguments(Invocation& inv, std::string_view command) {
    if (!inv.args().empty())
        throw UsageError(std::string(command) + " takes no arguments, got '" + inv.args().front() +
                         "' (see --help)");
}

void checkStillThere(Invocation& inv) {
    if (!inv.connected())
        throw CommandError("Unconnected: the station went away while it was being read");
}

std::string stationTimeText(const StationTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void notice(Invocation& inv, const std::string& text) {
    std::lock_guard lock(errorStreamMutex()); // the MQTT publisher's thread writes there too
    inv.err() << kProgramName << ": " << text << '\n' << std::flush;
}

// A message result with the value it is about and how sure it is: "sent"
// (the station cannot be asked) or "confirmed" (read back from the station).
std::string messageResult(Format format, const std::string& message, const std::string& key,
                          const QJsonValue& value, const std::string& csvValue,
                          const std::string& outcome, const std::string& detail) {
    switch (format) {
    case Format::Json: {
        QJsonObject o;
        o.insert("message", QString::fromStdString(message));
        o.insert(QString::fromStdString(key), value);
        o.insert("outcome", QString::fromStdString(outcome));
        return jsonText(o, false);
    }
    case Format::Csv:
        return "message," + key + ",outcome\n" + csvField(message) + ',' + csvField(csvValue) +
               ',' + outcome + '\n';
    case Format::Text:
        break;
    }
    return message + ": " + detail + '\n';
}

// Sleeps until the deadline, waking at once when interrupted.
void sleepUntil(Clock::time_point deadline, const Invocation& inv) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    std::stop_token stop = inv.stop();
    wake.wait_until(lock, stop, deadline, [] { return false; });
}

} // namespace

int runLive(Invocation& inv) {
    expectNoArguments(inv, "live");
    inv.station();
    const StationSnapshot r = refresh(inv);
    checkInterrupted(inv);
    checkStillThere(inv);
    if (!r.has(StationPart::CurrentReadings))
        throw CommandError("the station did not answer the readings query");
    StationNames names(archivePathOf(inv.options().dataDir));
    std::string note;
    const LiveRound reading{r, localTimestamp(), &names.of(r, &note)};
    if (!note.empty())
        notice(inv, note);
    if (inv.options().influx) {
        inv.output = influxLinesNow(reading, inv.station().deviceSerial());
        return kExitOk;
    }
    switch (inv.format()) {
    case Format::Text:
        inv.output = liveText(reading);
        break;
    case Format::Json:
        inv.output = jsonText(liveJson(reading), false);
        break;
    case Format::Csv:
        inv.output = liveCsv(reading);
        break;
    }
    return kExitOk;
}

int runWatch(Invocation& inv) {
    static constexpr std::string_view usage =
        "usage: watch [--every SECONDS] [--count N] [--no-header] [--exit-on-alarm] "
        "[--mqtt URL ...]";
    double every = kDefaultWatchSeconds;
    int count = 0; // 0: until interrupted
    bool header = true;
    bool exitOnAlarm = false;
    std::optional<MqttWatchOptions> mqttOptions;
    const std::vector<std::string> args = takeMqttOptions(inv.args(), mqttOptions);
    OptionReader words(args);
    while (words.next()) {
        const std::string& arg = words.arg();
        const std::string name = words.name();
        const auto value = [&] { return words.value(usage); };
        if (name == "--every") {
            every = parseSeconds(value(), "--every", kMaxWatchSeconds);
        } else if (arg == "--no-header") {
            header = false;
        } else if (arg == "--exit-on-alarm") {
            exitOnAlarm = true;
        } else if (name == "--count") {
            count = parseInteger(value(), "--count");
            if (count < 1)
                throw UsageError("--count must be at least 1");
        } else {
            throw UsageError("watch: unexpected '" + arg + "'; " + std::string(usage));
        }
    }

    MqttWatch mqtt(inv, mqttOptions);
    inv.station();
    StationNames names(archivePathOf(inv.options().dataDir));
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(every));
    int printed = 0;
    // A log appended to already has its header.
    bool headerDone = !header || outputContinuesAFile(inv.out());
    bool lossAnnounced = false;
    auto roundStart = Clock::now();
    for (int round = 1; !inv.interrupted(); ++round) {
        bool printedNow = false;
        if (!inv.connected() && inv.rescan()) {
            notice(inv, "station found again");
            lossAnnounced = false;
        }
        if (inv.connected()) {
            const StationSnapshot r = refresh(inv);
            if (inv.interrupted())
                break;
            if (inv.connected() && r.has(StationPart::CurrentReadings)) {
                std::string note;
                const LiveRound reading{r, localTimestamp(), &names.of(r, &note)};
                if (!note.empty())
                    notice(inv, note);
                mqtt.publish(reading);
                std::string text;
                switch (inv.format()) {
                case Format::Text:
                    if (inv.options().influx) { // influx is a text form without a header
                        text = influxLinesNow(reading, inv.station().deviceSerial());
                        break;
                    }
                    if (!headerDone)
                        text = watchTextHeader(r.fahrenheit(), reading.names);
                    text += watchText(reading);
                    break;
                case Format::Json:
                    text = watchJsonLine(reading);
                    break;
                case Format::Csv:
                    if (!headerDone)
                        text = watchCsvHeader();
                    text += watchCsv(reading);
                    break;
                }
                headerDone = true;
                // A logger must know when its log is not being written: the
                // watch ends on the first failed write.
                if (Status written = writeOutput(inv.out(), text); !written)
                    throw CommandError(written.error().text());
                printedNow = true;
                ++printed;
                if (exitOnAlarm && anyAlarm(reading)) {
                    std::string tripped;
                    for (int n = 1; n <= kChannelCount; ++n)
                        if (const auto state = channelAlarm(reading, n); state != AlarmState::None)
                            tripped += (tripped.empty() ? "" : ", ") + std::string("CH") +
                                       std::to_string(n) + ' ' + std::string(alarmStateName(state));
                    notice(inv, "alarm: " + tripped);
                    return kExitAlarm;
                }
            } else if (inv.connected()) {
                notice(inv, "the station did not answer the readings query; trying again");
            }
        }
        if (!inv.connected() && !lossAnnounced) {
            notice(inv, "station lost; waiting for it to come back");
            lossAnnounced = true;
        }
        mqtt.setStationPresent(inv.connected());
        if (inv.env().afterWatchRound)
            inv.env().afterWatchRound({round, printedNow, inv.connected()});
        if (count > 0 && printed >= count)
            break;
        // Rounds start a period apart; one that took longer is followed at once.
        roundStart = std::max(roundStart + period, Clock::now());
        sleepUntil(roundStart, inv);
    }
    return kExitOk;
}

int runInfo(Invocation& inv) {
    expectNoArguments(inv, "info");
    // The readings are not part of the info.
    const StationSnapshot info =
        readStation(inv.station(), inv.stop(), {}, StationRead::WithoutReadings);
    checkInterrupted(inv);
    checkStillThere(inv);
    const std::string missing = info.missingText(kInfoParts);
    if ((info.came & kInfoParts) == 0)
        throw CommandError("the station did not answer any query; nothing printed");
    // What came is printed; what did not is named.
    if (!missing.empty())
        notice(inv, "the station did not answer: " + missing);
    switch (inv.format()) {
    case Format::Text:
        inv.output = infoText(info);
        break;
    case Format::Json:
        inv.output = jsonText(infoJson(info), false);
        break;
    case Format::Csv:
        inv.output = infoCsv(info);
        break;
    }
    return kExitOk;
}

int runSyncTime(Invocation& inv) {
    expectNoArguments(inv, "sync-time");
    StationLink& link = inv.station();
    const StationTime now = localStationTime();
    if (Status sent = guardedTimeSync(link, now, inv.stop()); !sent)
        fail(sent.error());
    // The station cannot be asked for its clock, so the time can only be said
    // to have been sent, not confirmed.
    const std::string time = stationTimeText(now);
    inv.output =
        messageResult(inv.format(), "Sync Time Success", "time", QString::fromStdString(time), time,
                      "sent", time + " sent to the station");
    return kExitOk;
}

int runSetInterval(Invocation& inv) {
    if (inv.args().size() != 1)
        throw UsageError("usage: set-interval MINUTES (1 to 240)");
    // As in the Setup dialog, text that is not a number counts as out of range.
    int minutes = 0;
    try {
        minutes = parseInteger(inv.args().front(), "MINUTES");
    } catch (const UsageError&) {
        minutes = 0;
    }
    if (!intervalInRange(minutes))
        throw UsageError("Interval Range of values: 1 to 240 Minute");

    StationLink& link = inv.station();
    if (Status sent = setLoggingInterval(link, minutes, inv.stop()); !sent)
        fail(sent.error());
    // Read back: only the station's own answer says that it took the value.
    const Result<Block> asked = link.query(query::Interval, inv.stop());
    if (!asked)
        throw CommandError("the interval was sent, but the station did not confirm it (" +
                           asked.error().text() + ")");
    const int reported = (*asked)[1];
    if (reported != minutes)
        throw CommandError("the interval was sent, but the station reports " +
                           std::to_string(reported) + " minutes");
    inv.output = messageResult(inv.format(), "Set Interval Success", "interval", minutes,
                               std::to_string(minutes), "confirmed",
                               "the station confirms " + std::to_string(minutes) + " minutes");
    return kExitOk;
}

} // namespace vellumet::cli
