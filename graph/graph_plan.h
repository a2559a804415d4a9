#pragma once

#include "app/text_table.h"
#include "core/result.h"
#include "graph/curve_gaps.h"
#include "graph/wall_clock_axis.h"
#include "store/record_store.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::graph {

// The two graphs: temperature with dew point and heat index, or humidity.
enum class GraphKind { Temperature, Humidity };

// "temperature" or "humidity", any case.
std::optional<GraphKind> parseGraphKind(std::string_view text);

inline constexpr int kChartSeries = 4;

// One curve of a graph: the chart series it goes to and the column it shows.
struct CurvePlan {
    int series;
    store::SeriesColumn column;
    app::TextId title;
};

struct KindPlan {
    app::TextId chartTitle;
    std::vector<CurvePlan> curves; // series 0 upwards; the other series stay hidden
};

KindPlan kindPlan(GraphKind kind);
// unitText as the log named it for temperatures, " (%)" for humidity.
QString valueAxisTitle(GraphKind kind, const QString& unitText);
// A text of the table in the current language, or its English source when the
// table has not been loaded (the command line).
QString graphText(app::TextId id);

// The four pickers: start date and time of day, end date and time of day.
struct PickerValues {
    QDate startDate;
    QTime startTime;
    QDate endDate;
    QTime endTime;
};

// The graph opens on the hour before now.
PickerValues openingPickers(const QDateTime& now);
// The pickers that hold the whole log: a second before its first reading (a
// window leaves out its start) to its last, whole seconds.
PickerValues pickersForSpan(double first, double last);

// The window the pickers name, as automation dates. Times of day are whole
// seconds.
struct Window {
    double start = 0.0;
    double end = 0.0;
};
// InvalidInput for a date or time that does not exist.
Result<Window> composeWindow(const PickerValues& pickers);

// A curve as read from the store, with the number of rows of its window.
struct LoadedCurve {
    CurvePlan plan;
    std::int64_t rows = 0;
    store::Series points; // reduced when asked for
    // The lines the points are drawn as: one unless the readings have gaps.
    CurveParts parts;
};

// Reads the curves of a kind over start < Time <= end from the open store,
// their times placed on the log's axis (points.times are positions, in
// ascending order). A row of an hour the log runs through twice is left out
// when its place is outside axisFrom..axisTo (positions). With columns > 0
// each curve is thinned to that many pixel columns over axisFrom..axisTo as
// the rows of the window pass by once; without, every column is counted first
// and then read whole. Stops at the first failure, and with Errc::Cancelled
// when stop is requested while the rows pass. Each curve is cut into parts
// at the gaps the rule finds between its readings' places; with thinning, a
// gap narrower than a pixel (four columns) is not cut, as it cannot be seen.
Result<std::vector<LoadedCurve>> loadCurves(store::RecordStore& store, GraphKind kind, double start,
                                            double end, int columns, double axisFrom, double axisTo,
                                            const WallClockAxis& clock,
                                            const std::stop_token& stop = {},
                                            const GapRule& gaps = GapRule(0.0));

// The usual spacing of the open store's readings in seconds (the log's
// logging interval), from a day of readings at its start, middle and end; 0
// for fewer than two readings.
Result<double> logIntervalSeconds(store::RecordStore& store);

// Collects the gaps of a curve as its places pass in ascending order, those
// narrower than minWidth left out.
class GapCollector {
public:
    GapCollector(const GapRule& rule, double minWidth) : rule_(rule), minWidth_(minWidth) {}
    void add(double position) {
        if (any_ && position - last_ >= minWidth_ && rule_.isGap(last_, position))
            gaps_.emplace_back(last_, position);
        any_ = true;
        last_ = position;
    }
    const std::vector<std::pair<double, double>>& gaps() const { return gaps_; }

private:
    const GapRule& rule_;
    double minWidth_;
    bool any_ = false;
    double last_ = 0.0;
    std::vector<std::pair<double, double>> gaps_;
};

} // namespace vellumet::graph
