#include "column_reduction.h"

#include <algorithm>
#include <cmath>

namespace vellumet::graph {

ColumnReducer::ColumnReducer(double from, double to, int columns)
    : from_(from), scale_(to > from ? static_cast<double>(columns) / (to - from) : 0.0),
      columns_(to > from ? std::max(columns, 0) : 0) {
    // Until there are more points than columns every point is kept as it
    // comes; the points so far are thinned when the next one arrives.
    if (columns_ > 0) {
        out_.times.reserve(static_cast<std::size_t>(columns_));
        out_.values.reserve(static_cast<std::size_t>(columns_));
    }
}

long ColumnReducer::columnOf(double time) const {
    const double c = std::floor((time - from_) * scale_);
    if (!(c > 0)) // also NaN
        return 0L;
    return std::min(static_cast<long>(c), static_cast<long>(columns_) - 1);
}

void ColumnReducer::add(double time, double value) {
    const std::size_t order = added_++;
    if (thinning_) {
        reduce(order, time, value);
        return;
    }
    if (columns_ <= 0 || out_.times.size() < static_cast<std::size_t>(columns_)) {
        out_.times.push_back(time);
        out_.values.push_back(value);
        return;
    }
    thinning_ = true;
    store::Series kept;
    std::swap(kept, out_);
    out_.times.reserve(static_cast<std::size_t>(columns_) * 4);
    out_.values.reserve(static_cast<std::size_t>(columns_) * 4);
    for (std::size_t i = 0; i < kept.times.size(); ++i)
        reduce(i, kept.times[i], kept.values[i]);
    reduce(order, time, value);
}

void ColumnReducer::findEdges() {
    // The column of a time only grows with the time, so the edges are the
    // first times of this column and of the next, found to the last bit.
    const auto edge = [this](long column) {
        if (column <= 0)
            return -HUGE_VAL;
        if (column >= columns_)
            return HUGE_VAL;
        double t = from_ + static_cast<double>(column) / scale_;
        while (columnOf(t) >= column)
            t = std::nextafter(t, -HUGE_VAL);
        while (columnOf(t) < column)
            t = std::nextafter(t, HUGE_VAL);
        return t;
    };
    lowEdge_ = edge(column_);
    highEdge_ = edge(column_ + 1);
}

void ColumnReducer::reduce(std::size_t order, double time, double value) {
    // Most points fall into the column of the point before; only the others
    // (and a time that is no number) need the column worked out.
    if (!(time >= lowEdge_ && time < highEdge_)) {
        const long c = columnOf(time);
        if (c != column_ || column_ < 0) {
            if (column_ >= 0)
                flush();
            column_ = c;
            findEdges();
            first_ = last_ = low_ = high_ = Point{order, time, value};
            return;
        }
    }
    last_.order = order;
    last_.time = time;
    last_.value = value;
    if (value < low_.value)
        low_ = Point{order, time, value};
    if (value > high_.value)
        high_ = Point{order, time, value};
}

void ColumnReducer::flush() {
    std::array<Point, 4> kept = {first_, low_, high_, last_};
    std::sort(kept.begin(), kept.end(),
              [](const Point& a, const Point& b) { return a.order < b.order; });
    const auto end = std::unique(kept.begin(), kept.end(),
                                 [](const Point& a, const Point& b) { return a.order == b.order; });
    for (auto it = kept.begin(); it != end; ++it) {
        out_.times.push_back(it->time);
        out_.values.push_back(it->value);
    }
}

store::Series ColumnReducer::finish() {
    if (thinning_ && column_ >= 0)
        flush();
    column_ = -1;
    thinning_ = false;
    return std::move(out_);
}

store::Series reduceToColumns(std::span<const double> times, std::span<const double> values,
                              double from, double to, int columns) {
    const std::size_t n = std::min(times.size(), values.size());
    ColumnReducer reducer(from, to, columns);
    for (std::size_t i = 0; i < n; ++i)
        reducer.add(times[i], values[i]);
    return reducer.finish();
}

} // namespace vellumet::graph
