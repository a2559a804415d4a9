#include "station_queries.h"

#include "transactions.h"

namespace vellumet {

void queryStationInfo(StationLink& link) {
    queryTransaction(link, query::Settings);
    queryTransaction(link, query::Identification);
    queryTransaction(link, query::Interval);
}

void queryAlarmLimits(StationLink& link) {
    alarmQueryChain(link);
}

void queryCalibration(StationLink& link) {
    if (link.connected.load() == 0)
        return;
    queryTransaction(link, query::Calibration);
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
