#include "graph_plan.h"

#include "column_reduction.h"
#include "store/automation_date.h"

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

namespace {

// Points of a curve on their way to the chart: rows of a repeated hour come in
// by wall-clock time, both passes mixed, and are held until the hour is over
// to be put in the order of their places.
template <typename Sink> class Placing {
public:
    Placing(const WallClockAxis& clock, double axisFrom, double axisTo, Sink sink)
        : clock_(clock), from_(axisFrom), to_(axisTo), sink_(std::move(sink)) {}

    void add(double time, double position, double value) {
        if (!clock_.isRepeated(time)) {
            flush();
            sink_(position, value);
            return;
        }
        // The other pass of the hour, when only one of them is shown.
        if (position < from_ || position > to_)
            return;
        held_.emplace_back(position, value);
    }
    void flush() {
        if (held_.empty())
            return;
        std::stable_sort(held_.begin(), held_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [position, value] : held_)
            sink_(position, value);
        held_.clear();
    }

private:
    const WallClockAxis& clock_;
    double from_;
    double to_;
    Sink sink_;
    std::vector<std::pair<double, double>> held_;
};

// Every point of every curve, read the way the window queries are worded:
// each column counted, then read.
Result<std::vector<LoadedCurve>> loadWholeCurves(store::RecordStore& store, GraphKind kind,
                                                 double start, double end, double axisFrom,
                                                 double axisTo, const WallClockAxis& clock,
                                                 const GapRule& gaps) {
    std::vector<LoadedCurve> curves;
    for (const CurvePlan& plan : kindPlan(kind).curves) {
        Result<std::int64_t> n = store.countSeries(start, end, plan.column);
        if (!n)
            return n.error();
        curves.push_back({plan, *n, {}, {}});
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
        if (clock.isIdentity()) {
            curve.points = std::move(*series);
            curve.parts = splitAtGaps(curve.points.times, gaps);
            continue;
        }
        // Only this column's rows pass here: in a repeated hour a row without
        // a value of it can shift which pass a row of the same time is given.
        WallClockAxis::Walk walk(clock);
        Placing placing(clock, axisFrom, axisTo, [&curve](double position, double value) {
            curve.points.times.push_back(position);
            curve.points.values.push_back(value);
        });
        for (std::size_t i = 0; i < kept; ++i)
            placing.add(series->times[i], walk.next(series->times[i]), series->values[i]);
        placing.flush();
        curve.parts = splitAtGaps(curve.points.times, gaps);
    }
    return curves;
}

} // namespace

Result<std::vector<LoadedCurve>> loadCurves(store::RecordStore& store, GraphKind kind, double start,
                                            double end, int columns, double axisFrom, double axisTo,
                                            const WallClockAxis& clock, const std::stop_token& stop,
                                            const GapRule& gaps) {
    if (columns <= 0)
        return loadWholeCurves(store, kind, start, end, axisFrom, axisTo, clock, gaps);

    // One pass over the window's rows feeds every curve's thinning.
    std::vector<LoadedCurve> curves;
    std::vector<ColumnReducer> reducers;
    std::vector<GapCollector> seen;
    const double pixel = 4.0 * (axisTo - axisFrom) / columns;
    for (const CurvePlan& plan : kindPlan(kind).curves) {
        curves.push_back({plan, 0, {}, {}});
        reducers.emplace_back(axisFrom, axisTo, columns);
        seen.emplace_back(gaps, pixel);
    }
    // Both lists are complete here: each sink holds on to its reducer and
    // collector.
    const auto toReducer = [](ColumnReducer* reducer, GapCollector* collector) {
        return [reducer, collector](double position, double value) {
            collector->add(position);
            reducer->add(position, value);
        };
    };
    using Sink = decltype(toReducer(nullptr, nullptr));
    std::vector<Placing<Sink>> placings;
    for (std::size_t i = 0; i < reducers.size(); ++i)
        placings.emplace_back(clock, axisFrom, axisTo, toReducer(&reducers[i], &seen[i]));
    WallClockAxis::Walk walk(clock);
    std::vector<double> positions;
    const Status read = store.visitWindow(start, end, [&](std::span<const store::LogRecord> rows) {
        // The walk cannot be cut short from here; the runs left pass untouched.
        if (stop.stop_requested())
            return;
        positions.resize(rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            positions[r] = walk.next(rows[r].time);
        for (std::size_t i = 0; i < curves.size(); ++i) {
            const store::SeriesColumn column = curves[i].plan.column;
            Placing<Sink>& placing = placings[i];
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const double value = store::seriesValue(rows[r], column);
                // The missing-value mark, and what the database holds
                // as no value at all.
                if (value == static_cast<double>(store::kNoValue) || std::isnan(value))
                    continue;
                placing.add(rows[r].time, positions[r], value);
            }
        }
    });
    if (!read)
        return read.error();
    if (stop.stop_requested())
        return makeError(Errc::Cancelled, "interrupted");
    for (std::size_t i = 0; i < curves.size(); ++i) {
        placings[i].flush();
        curves[i].rows = static_cast<std::int64_t>(reducers[i].pointsAdded());
        curves[i].points = reducers[i].finish();
        curves[i].parts = splitAtSeenGaps(curves[i].points.times, seen[i].gaps());
    }
    return curves;
}

Result<double> logIntervalSeconds(store::RecordStore& store) {
    // A day at the start, the middle and the end of the log: reading every
    // row of a long log for its usual spacing would cost more than the
    // drawing itself.
    Result<std::optional<store::RecordStore::TimeSpan>> span = store.timeSpan();
    if (!span)
        return span.error();
    if (!*span)
        return 0.0;
    const double first = (*span)->first;
    const double last = (*span)->last;
    constexpr double kSample = 1.0; // a day
    IntervalCounter counter;
    for (const double from :
         {first - 1.0 / 86400.0, (first + last - kSample) / 2.0, last - kSample}) {
        counter.restart();
        const Status read =
            store.visitWindow(std::max(from, first - 1.0 / 86400.0), std::min(from + kSample, last),
                              [&counter](std::span<const store::LogRecord> rows) {
                                  for (const store::LogRecord& r : rows)
                                      counter.add(r.time);
                              });
        if (!read)
            return read.error();
        if (last - first <= kSample)
            break;
    }
    return counter.intervalSeconds();
}

} // namespace vellumet::graph
