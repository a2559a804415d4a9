#include "graph_plan.h"

#include "column_reduction.h"
#include "store/automation_date.h"

#include <QTimeZone>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace vellumet::graph {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Unix epoch as an automation date.
constexpr double kEpochDays = 25569.0;
constexpr qint64 kMsPerDay = 86400000;
constexpr qint64 kMsPerHour = 3600000;

store::DateTimeParts partsOf(const QDate& date, const QTime& time) {
    return store::DateTimeParts{date.year(), date.month(),  date.day(),
                                time.hour(), time.minute(), time.second()};
}

} // namespace

std::optional<GraphKind> parseGraphKind(std::string_view text) {
    if (sameIgnoringCase(text, "temperature"))
        return GraphKind::Temperature;
    if (sameIgnoringCase(text, "humidity"))
        return GraphKind::Humidity;
    return std::nullopt;
}

KindPlan kindPlan(GraphKind kind) {
    using app::TextId;
    using store::SeriesColumn;
    if (kind == GraphKind::Humidity)
        return {TextId::Humidity, {{0, SeriesColumn::Humidity, TextId::Humidity}}};
    return {TextId::Temperature,
            {{0, SeriesColumn::Temperature, TextId::Temperature},
             {1, SeriesColumn::DewPoint, TextId::DewPoint},
             {2, SeriesColumn::Heatindex, TextId::HeatIndex}}};
}

QString valueAxisTitle(GraphKind kind, const QString& unitText) {
    return kind == GraphKind::Humidity ? QStringLiteral(" (%)") : unitText;
}

QString graphText(app::TextId id) {
    return app::textOrSource(id);
}

PickerValues openingPickers(const QDateTime& now) {
    const QDateTime hourAgo = now.addSecs(-3600);
    return {hourAgo.date(), hourAgo.time(), now.date(), now.time()};
}

PickerValues pickersForSpan(double first, double last) {
    const double start = std::floor(first * 86400.0) / 86400.0 - 1.0 / 86400.0;
    const store::DateTimeParts s = store::fromAutomationDate(start);
    // Rounded up to the second, so the last reading stays inside.
    store::DateTimeParts e = store::fromAutomationDate(std::ceil(last * 86400.0) / 86400.0);
    return {QDate(s.year, s.month, s.day), QTime(s.hour, s.minute, s.second),
            QDate(e.year, e.month, e.day), QTime(e.hour, e.minute, e.second)};
}

Result<Window> composeWindow(const PickerValues& p) {
    if (!p.startDate.isValid() || !p.startTime.isValid() || !p.endDate.isValid() ||
        !p.endTime.isValid())
        return makeError(Errc::InvalidInput, "the start or end of the window is not a time");
    const store::DateTimeParts start = partsOf(p.startDate, p.startTime);
    const store::DateTimeParts end = partsOf(p.endDate, p.endTime);
    if (!store::isValidDateTime(start) || !store::isValidDateTime(end))
        return makeError(Errc::InvalidInput, "the start or end of the window is not a time");
    Window w;
    w.start = store::toAutomationDate(start);
    w.end = store::toAutomationDate(end);
    return w;
}

qint64 AxisClock::offsetOfHour(qint64 hour) {
    const QDateTime wall = QDateTime::fromMSecsSinceEpoch(hour * kMsPerHour, Qt::UTC);
    const QDateTime local(wall.date(), wall.time());
    return local.isValid() ? qint64{local.offsetFromUtc()} * 1000 : 0;
}

qint64 AxisClock::toAxis(double automationDate) {
    const qint64 wallMs =
        std::llround((automationDate - kEpochDays) * static_cast<double>(kMsPerDay));
    const qint64 hour =
        wallMs >= 0 ? wallMs / kMsPerHour : -((-wallMs + kMsPerHour - 1) / kMsPerHour);
    if (hour < firstHour_ || hour > lastHour_) {
        offsetMs_ = offsetOfHour(hour);
        firstHour_ = lastHour_ = hour;
        // The offset holds up to the zone's transitions on either side; the
        // hours next to one are asked for on their own.
        const QTimeZone zone = QTimeZone::systemTimeZone();
        if (zone.isValid()) {
            const QDateTime instant =
                QDateTime::fromMSecsSinceEpoch(hour * kMsPerHour - offsetMs_, Qt::UTC);
            const auto wallHourOf = [this](const QDateTime& utc) {
                const qint64 ms = utc.toMSecsSinceEpoch() + offsetMs_;
                return ms >= 0 ? ms / kMsPerHour : -((-ms + kMsPerHour - 1) / kMsPerHour);
            };
            const QTimeZone::OffsetData next = zone.nextTransition(instant);
            const QTimeZone::OffsetData previous = zone.previousTransition(instant);
            const qint64 last = next.atUtc.isValid() ? wallHourOf(next.atUtc) - 2
                                                     : std::numeric_limits<qint64>::max();
            const qint64 first = previous.atUtc.isValid() ? wallHourOf(previous.atUtc) + 2
                                                          : std::numeric_limits<qint64>::min();
            const bool agrees =
                zone.offsetFromUtc(instant) * 1000LL == offsetMs_ &&
                (!previous.atUtc.isValid() || previous.offsetFromUtc * 1000LL == offsetMs_);
            if (agrees && first <= hour && hour <= last) {
                firstHour_ = first;
                lastHour_ = last;
            }
        }
    }
    return wallMs - offsetMs_;
}

double AxisClock::fromAxis(qint64 msecs) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs);
    const qint64 wallMs = msecs + qint64{local.offsetFromUtc()} * 1000;
    return kEpochDays + static_cast<double>(wallMs) / static_cast<double>(kMsPerDay);
}

namespace {

// Every point of every curve, read the way the window queries are worded:
// each column counted, then read.
Result<std::vector<LoadedCurve>> loadWholeCurves(store::RecordStore& store, GraphKind kind,
                                                 double start, double end) {
    std::vector<LoadedCurve> curves;
    for (const CurvePlan& plan : kindPlan(kind).curves) {
        Result<std::int64_t> n = store.countSeries(start, end, plan.column);
        if (!n)
            return n.error();
        curves.push_back({plan, *n, {}});
    }
    for (LoadedCurve& curve : curves) {
        if (curve.rows <= 0)
            continue;
        if (Status s = store.selectSeries(start, end, curve.plan.column); !s)
            return s.error();
        Result<store::Series> series = store.readSeries(curve.rows);
        if (!series)
            return series.error();
        // Fewer rows than counted (the table changed in between) leave zeros
        // at the end, which are no readings.
        const auto read = std::find_if(series->times.rbegin(), series->times.rend(),
                                       [](double t) { return t != 0.0; });
        const auto kept = static_cast<std::size_t>(series->times.rend() - read);
        series->times.resize(kept);
        series->values.resize(kept);
        curve.points = std::move(*series);
    }
    return curves;
}

} // namespace

Result<std::vector<LoadedCurve>> loadCurves(store::RecordStore& store, GraphKind kind, double start,
                                            double end, int columns, double axisFrom, double axisTo,
                                            const std::stop_token& stop) {
    if (columns <= 0)
        return loadWholeCurves(store, kind, start, end);

    // One pass over the window's rows feeds every curve's thinning.
    std::vector<LoadedCurve> curves;
    std::vector<ColumnReducer> reducers;
    for (const CurvePlan& plan : kindPlan(kind).curves) {
        curves.push_back({plan, 0, {}});
        reducers.emplace_back(axisFrom, axisTo, columns);
    }
    const Status read = store.visitWindow(start, end, [&](std::span<const store::LogRecord> rows) {
        // The walk cannot be cut short from here; the runs left pass untouched.
        if (stop.stop_requested())
            return;
        for (std::size_t i = 0; i < curves.size(); ++i) {
            const store::SeriesColumn column = curves[i].plan.column;
            ColumnReducer& reducer = reducers[i];
            for (const store::LogRecord& row : rows) {
                const double value = store::seriesValue(row, column);
                // The missing-value mark, and what the database holds
                // as no value at all.
                if (value == static_cast<double>(store::kNoValue) || std::isnan(value))
                    continue;
                reducer.add(row.time, value);
            }
        }
    });
    if (!read)
        return read.error();
    if (stop.stop_requested())
        return makeError(Errc::Cancelled, "interrupted");
    for (std::size_t i = 0; i < curves.size(); ++i) {
        curves[i].rows = static_cast<std::int64_t>(reducers[i].pointsAdded());
        curves[i].points = reducers[i].finish();
    }
    return curves;
}

} // namespace vellumet::graph
