#include "station_queries.h"

#include "transactions.h"

namespace vellumet {

bool queryStationInfo(StationLink& link) {
    // All three run even when one goes unanswered.
    const bool settings = queryTransaction(link, query::Settings);
    const bool ident = queryTransaction(link, query::Identification);
    const bool interval = queryTransaction(link, query::Interval);
    return settings && ident && interval;
}

bool queryAlarmLimits(StationLink& link) {
    return alarmQueryChain(link);
}

bool queryCalibration(StationLink& link) {
    if (link.connected.load() == 0)
        return false;
    return queryTransaction(link, query::Calibration);
}

Readings queryReadings(StationLink& link) {
    queryTransaction(link, query::Readings);
    return decodeReadings(link.answers().readingsAnswer());
}

Readings refreshAll(StationLink& link) {
    queryStationInfo(link);
    queryAlarmLimits(link);
    queryCalibration(link);
    return queryReadings(link);
}

} // namespace vellumet
