#include "commands.h"
#include "output.h"

#include "device/station_blocks.h"
#include "device/station_queries.h"
#include "device/time_sync.h"
#include "device/transactions.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <thread>

namespace vellumet::cli {

namespace {

using Clock = std::chrono::steady_clock;

inline constexpr double kDefaultWatchSeconds = 20.0; // the window's refresh period

struct Refresh {
    LiveReadings live;
    bool answered = false;
};

// The polling loop's refresh (queries 0x04, 0xFE, 0x41, 0x06, 0x08, 0x09,
// 0x05, 0x03, each as its transaction), keeping whether the readings came.
Refresh refresh(StationLink& link) {
    queryStationInfo(link);
    queryAlarmLimits(link);
    queryCalibration(link);
    Refresh r;
    r.answered = queryTransaction(link, query::Readings);
    r.live.readings = decodeReadings(link.answers().readingsAnswer());
    r.live.fahrenheit = link.fahrenheit.load() != 0;
    return r;
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

std::string localTimestamp() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
}

std::string stationTimeText(const StationTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void notice(Invocation& inv, const std::string& text) {
    inv.err() << kProgramName << ": " << text << '\n' << std::flush;
}

// A message result: the text as it stands, or with the values that go with it.
std::string messageResult(Format format, const std::string& message, const std::string& key,
                          const QJsonValue& value, const std::string& csvValue) {
    switch (format) {
    case Format::Json: {
        QJsonObject o;
        o.insert("message", QString::fromStdString(message));
        o.insert(QString::fromStdString(key), value);
        return jsonText(o, false);
    }
    case Format::Csv:
        return "message," + key + '\n' + csvField(message) + ',' + csvField(csvValue) + '\n';
    case Format::Text:
        break;
    }
    return message + '\n';
}

// Sleeps until the deadline, waking early when interrupted.
void sleepUntil(Clock::time_point deadline, const Invocation& inv) {
    while (!inv.interrupted()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(50)));
    }
}

} // namespace

int runLive(Invocation& inv) {
    expectNoArguments(inv, "live");
    StationLink& link = inv.station();
    const Refresh r = refresh(link);
    checkStillThere(inv);
    if (!r.answered)
        throw CommandError("the station did not answer the readings query");
    switch (inv.format()) {
    case Format::Text:
        inv.output = liveText(r.live);
        break;
    case Format::Json:
        inv.output = jsonText(liveJson(r.live), false);
        break;
    case Format::Csv:
        inv.output = liveCsv(r.live);
        break;
    }
    return kExitOk;
}

int runWatch(Invocation& inv) {
    static constexpr std::string_view usage = "usage: watch [--every SECONDS] [--count N]";
    double every = kDefaultWatchSeconds;
    int count = 0; // 0: until interrupted
    const auto& args = inv.args();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const auto value = [&]() -> std::string {
            if (eq != std::string::npos)
                return arg.substr(eq + 1);
            if (i + 1 >= args.size())
                throw UsageError(name + " needs a value; " + std::string(usage));
            return args[++i];
        };
        if (name == "--every") {
            every = parseSeconds(value(), "--every");
        } else if (name == "--count") {
            count = parseInteger(value(), "--count");
            if (count < 1)
                throw UsageError("--count must be at least 1");
        } else {
            throw UsageError("watch: unexpected '" + arg + "'; " + std::string(usage));
        }
    }

    StationLink& link = inv.station();
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(every));
    int printed = 0;
    bool headerDone = false;
    bool lossAnnounced = false;
    auto roundStart = Clock::now();
    for (int round = 1; !inv.interrupted(); ++round) {
        bool printedNow = false;
        if (!inv.connected() && inv.rescan()) {
            notice(inv, "station found again");
            lossAnnounced = false;
        }
        if (inv.connected()) {
            const Refresh r = refresh(link);
            if (inv.connected() && r.answered) {
                const std::string time = localTimestamp();
                std::string text;
                switch (inv.format()) {
                case Format::Text:
                    text = watchText(r.live, time);
                    break;
                case Format::Json:
                    text = watchJsonLine(r.live, time);
                    break;
                case Format::Csv:
                    if (!headerDone)
                        text = watchCsvHeader();
                    headerDone = true;
                    text += watchCsv(r.live, time);
                    break;
                }
                inv.out() << text << std::flush;
                printedNow = true;
                ++printed;
            } else if (inv.connected()) {
                notice(inv, "the station did not answer the readings query; trying again");
            }
        }
        if (!inv.connected() && !lossAnnounced) {
            notice(inv, "station lost; waiting for it to come back");
            lossAnnounced = true;
        }
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
    StationLink& link = inv.station();
    const bool infoAnswered = queryStationInfo(link);
    const bool alarmsAnswered = queryAlarmLimits(link);
    const bool calibrationAnswered = queryCalibration(link);
    checkStillThere(inv);
    if (!infoAnswered || !alarmsAnswered || !calibrationAnswered)
        throw CommandError("the station did not answer every query; nothing printed");

    const AnswerStore& answers = link.answers();
    StationInfo info;
    info.identText = answers.identText();
    info.interval = answers.intervalAnswer();
    info.settings = decodeStationSettings(answers.settingsAnswer());
    info.alarms =
        decodeAlarmSettings(answers.alarmAnswer(1), answers.alarmAnswer(3), answers.alarmAnswer(4));
    info.calibration = decodeCalibration(answers.calibrationAnswer());
    info.fahrenheit = link.fahrenheit.load() != 0;
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
    switch (guardedTimeSync(link, now)) {
    case WriteOutcome::Sent:
        break;
    case WriteOutcome::AwayFromMainScreen:
        throw CommandError("Please switch the device to the main screen.");
    case WriteOutcome::NotConnected:
        throw CommandError("Unconnected");
    }
    const std::string time = stationTimeText(now);
    inv.output = messageResult(inv.format(), "Sync Time Success", "time",
                               QString::fromStdString(time), time);
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
    switch (setLoggingInterval(link, minutes)) {
    case IntervalResult::Sent:
        break;
    case IntervalResult::OutOfRange: // checked above
        throw UsageError("Interval Range of values: 1 to 240 Minute");
    case IntervalResult::NotConnected:
        throw CommandError("Unconnected");
    }
    inv.output = messageResult(inv.format(), "Set Interval Success", "interval", minutes,
                               std::to_string(minutes));
    return kExitOk;
}

} // namespace vellumet::cli
