#pragma once

#include "store/record_store.h"

#include <QTimeZone>

#include <cstddef>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vellumet::graph {

// A stretch without readings longer than this many logging intervals is a gap
// the curve is not drawn across.
inline constexpr int kGapIntervals = 3;

// Tells a gap between two readings of a curve. Times are in days (positions on
// the log's axis, or wall-clock times of the history). With a time zone, the
// hour the zone skips when the clock goes forward takes no time: the readings
// either side of it are as close as the clock on the wall says minus that hour.
class GapRule {
public:
    // intervalSeconds <= 0: no gaps at all.
    explicit GapRule(double intervalSeconds, QTimeZone zone = {});

    bool isGap(double before, double after) const;
    double limitDays() const { return limit_; }

private:
    double limit_ = 0.0;
    QTimeZone zone_;
};

// The most common spacing of times as they come, in whole seconds; 0 when
// fewer than two times came or none of them ascend.
class IntervalCounter {
public:
    void add(double time);
    // The next time starts a new run: no spacing to the last one.
    void restart() { any_ = false; }
    double intervalSeconds() const;

private:
    double last_ = 0.0;
    bool any_ = false;
    std::unordered_map<long long, long long> counts_; // spacing, times seen
};

// Parts of a curve drawn as one line each: [begin, end) indices into its
// points, in order. A part of one point is a reading alone between two gaps.
using CurveParts = std::vector<std::pair<std::size_t, std::size_t>>;

// The parts of whole curve (times ascending).
CurveParts splitAtGaps(std::span<const double> times, const GapRule& rule);

// The parts of a thinned curve, cut where a pair of its neighbouring points
// spans one of the gaps seen while the whole curve passed (start, end; in
// ascending order). No reading lies inside a gap, so a pair of kept points
// spans each of them.
CurveParts splitAtSeenGaps(std::span<const double> times,
                           std::span<const std::pair<double, double>> gaps);

} // namespace vellumet::graph
