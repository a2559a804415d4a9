#include "station_snapshot.h"

namespace vellumet {

namespace {

constexpr struct {
    StationPart part;
    const char* name;
} kParts[] = {
    {StationPart::Settings, "settings"},       {StationPart::Identification, "identification"},
    {StationPart::Interval, "interval"},       {StationPart::Alarms, "alarms"},
    {StationPart::Calibration, "calibration"}, {StationPart::CurrentReadings, "readings"},
};

} // namespace

std::string StationSnapshot::missingText(unsigned wanted) const {
    std::string out;
    for (const auto& p : kParts) {
        if (has(p.part) || (wanted & static_cast<unsigned>(p.part)) == 0)
            continue;
        if (!out.empty())
            out += ", ";
        out += p.name;
    }
    return out;
}

AlarmSettings StationSnapshot::alarms() const {
    return decodeAlarmSettings(alarmSwitches, temperatureLimits, humidityLimits);
}

StationSnapshot StationSnapshot::updatedWith(const StationSnapshot& fresh) const {
    StationSnapshot out = *this;
    if (fresh.has(StationPart::Settings))
        out.settings = fresh.settings;
    if (fresh.has(StationPart::Identification))
        out.identText = fresh.identText;
    if (fresh.has(StationPart::Interval))
        out.interval = fresh.interval;
    if (fresh.has(StationPart::Alarms)) {
        out.alarmSwitches = fresh.alarmSwitches;
        out.temperatureLimits = fresh.temperatureLimits;
        out.humidityLimits = fresh.humidityLimits;
    }
    if (fresh.has(StationPart::Calibration))
        out.calibration = fresh.calibration;
    if (fresh.has(StationPart::CurrentReadings))
        out.readings = fresh.readings;
    out.came |= fresh.came;
    out.stopped = fresh.stopped;
    out.stationGone = fresh.stationGone;
    return out;
}

StationSnapshot
readStation(StationLink& link, std::stop_token stop,
            const std::function<void(RefreshStep, const StationSnapshot&)>& afterStep,
            StationRead read) {
    StationSnapshot s;
    const auto ask = [&](const QueryShape& shape) {
        Result<Block> answer = link.query(shape, stop);
        if (!answer) {
            s.stopped = s.stopped || answer.code() == Errc::Cancelled;
            s.stationGone = s.stationGone || answer.code() == Errc::StationGone;
        }
        return answer;
    };
    const auto done = [&](RefreshStep step) {
        if (afterStep)
            afterStep(step, s);
        s.stopped = s.stopped || stop.stop_requested();
        return !s.stopped;
    };

    if (auto a = ask(query::Settings)) {
        s.settings = *a;
        s.came |= static_cast<unsigned>(StationPart::Settings);
    }
    if (auto a = ask(query::Identification)) {
        s.identText = decodeIdentText(*a);
        s.came |= static_cast<unsigned>(StationPart::Identification);
    }
    if (auto a = ask(query::Interval)) {
        s.interval = (*a)[1];
        s.came |= static_cast<unsigned>(StationPart::Interval);
    }
    if (!done(RefreshStep::StationInfo))
        return s;

    bool allAlarms = true;
    for (auto [shape, block] : {std::pair{&query::Alarm1, &s.alarmSwitches},
                                std::pair{&query::Alarm3, &s.temperatureLimits},
                                std::pair{&query::Alarm4, &s.humidityLimits}}) {
        Result<Block> a = ask(*shape);
        allAlarms = allAlarms && a.ok();
        if (a)
            *block = *a;
        else if (a.code() != Errc::Timeout)
            break; // not connected, gone or cancelled: the rest cannot come either
    }
    if (allAlarms)
        s.came |= static_cast<unsigned>(StationPart::Alarms);
    if (!done(RefreshStep::AlarmLimits))
        return s;

    if (auto a = ask(query::Calibration)) {
        s.calibration = *a;
        s.came |= static_cast<unsigned>(StationPart::Calibration);
    }
    if (!done(RefreshStep::Calibration) || read == StationRead::WithoutReadings)
        return s;

    if (auto a = ask(query::Readings)) {
        s.readings = decodeReadings(*a);
        s.came |= static_cast<unsigned>(StationPart::CurrentReadings);
    }
    s.stationGone = s.stationGone || !link.connected();
    done(RefreshStep::CurrentReadings);
    return s;
}

} // namespace vellumet
