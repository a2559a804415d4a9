#pragma once

#include "store/record_store.h"

#include <span>

namespace vellumet::graph {

// Thins a curve for a chart that is `columns` pixels wide over the time range
// from..to: of the points that fall into each pixel column it keeps the first,
// the last, the lowest and the highest, in time order. The line through them
// covers the same pixels as the line through all points, so no peak is lost.
// A curve with no more points than columns, or an empty range, is returned
// whole. Times must be ascending; times outside the range count to the
// nearest edge column.
store::Series reduceToColumns(std::span<const double> times, std::span<const double> values,
                              double from, double to, int columns);

} // namespace vellumet::graph
