#pragma once

// The history's per-hour summary and the thinning of its curves, without
// SQLite: what a stretch of readings looks like at a chart's resolution.

#include <array>
#include <cstdint>
#include <vector>

namespace vellumet::store::archive_detail {

// The summary keeps one row per channel, station and hour.
inline constexpr std::int64_t kBucketSeconds = 3600;
// Temperature, humidity, dew point, heat index: as SeriesColumn counts them.
inline constexpr int kFields = 4;

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}
constexpr std::int64_t bucketOf(std::int64_t seconds) {
    return floorDiv(seconds, kBucketSeconds);
}

// Whole seconds low < time <= high, and the hours wholly within them.
struct SecondsRange {
    std::int64_t low = 0;
    std::int64_t high = 0;
    std::int64_t firstHour() const { return floorDiv(low + kBucketSeconds, kBucketSeconds); }
    std::int64_t lastHour() const { return floorDiv(high + 1, kBucketSeconds) - 1; }
};

// A reading as a curve sees it. Readings are ordered by time, then station,
// as the history stores them.
struct CurvePoint {
    std::int64_t time = 0;
    std::int64_t station = 0;
    double value = 0.0;
};

constexpr bool before(const CurvePoint& a, const CurvePoint& b) {
    return a.time < b.time || (a.time == b.time && a.station < b.station);
}

// The first, lowest, highest and last of a set of readings (of the lowest
// and highest values, the earliest). Combining two sets' extremes gives the
// extremes of the union, so a curve thinned from per-hour extremes is the
// curve thinned from the readings themselves, for columns of whole hours.
struct Extremes {
    bool any = false;
    CurvePoint first, low, high, last;

    void add(const CurvePoint& p) {
        if (!any) {
            any = true;
            first = low = high = last = p;
            return;
        }
        if (before(p, first))
            first = p;
        if (before(last, p))
            last = p;
        if (p.value < low.value || (p.value == low.value && before(p, low)))
            low = p;
        if (p.value > high.value || (p.value == high.value && before(p, high)))
            high = p;
    }
    void add(const Extremes& other) {
        if (!other.any)
            return;
        add(other.first);
        add(other.low);
        add(other.high);
        add(other.last);
    }
    // The distinct points among them, in time order.
    void appendTo(std::vector<CurvePoint>& out) const;
};

using BucketFields = std::array<Extremes, kFields>;

// Cuts from < time <= to (whole seconds) into columns of equal width, at
// least `columns` of them when the range is that many seconds long. A column
// at least an hour wide is a whole number of hours starting on the hour, so
// that the summary can stand for its readings.
struct ColumnLayout {
    std::int64_t origin = 0; // where column 0 starts
    std::int64_t width = 1;
    bool wholeHours = false;

    ColumnLayout(std::int64_t from, std::int64_t to, int columns);
    std::int64_t columnOf(std::int64_t time) const { return floorDiv(time - origin, width); }
};

// Keeps a column's extremes as the points come in time order of their
// columns, and hands out the thinned curve.
class CurveThinner {
public:
    explicit CurveThinner(const ColumnLayout& layout) : layout_(layout) {}
    void add(const CurvePoint& p) {
        const std::int64_t c = layout_.columnOf(p.time);
        if (c != column_)
            flush(c);
        extremes_.add(p);
    }
    void add(const Extremes& e, std::int64_t column) {
        if (column != column_)
            flush(column);
        extremes_.add(e);
    }
    std::vector<CurvePoint> finish() {
        flush(column_);
        return std::move(out_);
    }

private:
    void flush(std::int64_t next) {
        extremes_.appendTo(out_);
        extremes_ = {};
        column_ = next;
    }
    ColumnLayout layout_;
    std::int64_t column_ = 0;
    Extremes extremes_;
    std::vector<CurvePoint> out_;
};

} // namespace vellumet::store::archive_detail
