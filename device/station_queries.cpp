#include "station_queries.h"

namespace vellumet {

namespace {

bool answered(const Status& status, RefreshReport* report = nullptr) {
    if (report && !status) {
        report->stopped = report->stopped || status.code() == Errc::Cancelled;
        report->stationGone = report->stationGone || status.code() == Errc::StationGone;
    }
    return status.ok();
}

} // namespace

void queryStationInfo(StationLink& link, RefreshReport& report, std::stop_token stop) {
    report.settings = answered(link.query(query::Settings, stop), &report);
    report.identification = answered(link.query(query::Identification, stop), &report);
    report.interval = answered(link.query(query::Interval, stop), &report);
}

bool queryAlarmLimits(StationLink& link, std::stop_token stop) {
    // Each wait for the link to be free is also the wait for the previous answer.
    bool all = true;
    for (const QueryShape* shape : {&query::Alarm1, &query::Alarm3, &query::Alarm4}) {
        const Status status = link.query(*shape, stop);
        all = all && status.ok();
        if (!status && status.code() != Errc::Timeout)
            break; // not connected, gone or cancelled: the rest cannot come either
    }
    return all;
}

bool queryCalibration(StationLink& link, std::stop_token stop) {
    return link.query(query::Calibration, stop).ok();
}

bool queryReadings(StationLink& link, std::stop_token stop) {
    return link.query(query::Readings, stop).ok();
}

Readings lastReadings(const StationLink& link) {
    return decodeReadings(link.answers().readingsAnswer());
}

RefreshReport refreshStation(StationLink& link, std::stop_token stop,
                             const std::function<void(RefreshStep)>& afterStep) {
    RefreshReport report;
    const auto done = [&](RefreshStep step) {
        if (afterStep)
            afterStep(step);
        report.stopped = report.stopped || stop.stop_requested();
        return !report.stopped;
    };
    queryStationInfo(link, report, stop);
    if (!done(RefreshStep::StationInfo))
        return report;
    report.alarms = queryAlarmLimits(link, stop);
    if (!done(RefreshStep::AlarmLimits))
        return report;
    report.calibration = queryCalibration(link, stop);
    if (!done(RefreshStep::Calibration))
        return report;
    report.readings = queryReadings(link, stop);
    done(RefreshStep::CurrentReadings);
    report.stationGone = report.stationGone || !link.connected();
    return report;
}

} // namespace vellumet
