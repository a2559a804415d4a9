#pragma once

#include "store/record_store.h"

#include <array>
#include <cstddef>
#include <span>

namespace vellumet::graph {

// Thins a curve for a chart that is `columns` pixels wide over the time range
// from..to, as its points arrive in time order: of the points that fall into
// each pixel column it keeps the first, the last, the lowest and the highest,
// in time order. The line through them covers the same pixels as the line
// through all points, so no peak is lost. A curve with no more points than
// columns, or an empty range, is kept whole. Times outside the range count to
// the nearest edge column.
class ColumnReducer {
public:
    ColumnReducer(double from, double to, int columns);

    void add(double time, double value);
    std::size_t pointsAdded() const { return added_; }
    // The thinned curve; the reducer is spent afterwards.
    store::Series finish();

private:
    struct Point {
        std::size_t order;
        double time;
        double value;
    };
    long columnOf(double time) const;
    // The times that fall into column_: lowEdge_ <= time < highEdge_.
    void findEdges();
    // Scalars rather than a Point: copying a point just built on the stack
    // stalls on every call.
    void reduce(std::size_t order, double time, double value);
    void flush();

    double from_;
    double scale_;
    int columns_;
    bool thinning_ = false; // set once there are more points than columns
    std::size_t added_ = 0;
    long column_ = -1;
    double lowEdge_ = 0.0;
    double highEdge_ = 0.0;
    Point first_{}, last_{}, low_{}, high_{};
    store::Series out_;
};

// The same over a whole curve at once.
store::Series reduceToColumns(std::span<const double> times, std::span<const double> values,
                              double from, double to, int columns);

} // namespace vellumet::graph
