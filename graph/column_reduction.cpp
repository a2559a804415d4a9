#include "column_reduction.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vellumet::graph {

store::Series reduceToColumns(std::span<const double> times, std::span<const double> values,
                              double from, double to, int columns) {
    const std::size_t n = std::min(times.size(), values.size());
    store::Series out;
    if (columns <= 0 || n <= static_cast<std::size_t>(columns) || !(to > from)) {
        out.times.assign(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(n));
        out.values.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    out.times.reserve(static_cast<std::size_t>(columns) * 4);
    out.values.reserve(static_cast<std::size_t>(columns) * 4);

    const double scale = static_cast<double>(columns) / (to - from);
    const auto columnOf = [&](double t) {
        const double c = std::floor((t - from) * scale);
        if (!(c > 0)) // also NaN
            return 0L;
        return std::min(static_cast<long>(c), static_cast<long>(columns) - 1);
    };

    std::size_t first = 0, last = 0, low = 0, high = 0;
    long column = columnOf(times[0]);
    const auto flush = [&] {
        std::array<std::size_t, 4> kept = {first, low, high, last};
        std::sort(kept.begin(), kept.end());
        const auto end = std::unique(kept.begin(), kept.end());
        for (auto it = kept.begin(); it != end; ++it) {
            out.times.push_back(times[*it]);
            out.values.push_back(values[*it]);
        }
    };
    for (std::size_t i = 1; i < n; ++i) {
        const long c = columnOf(times[i]);
        if (c != column) {
            flush();
            column = c;
            first = last = low = high = i;
            continue;
        }
        last = i;
        if (values[i] < values[low])
            low = i;
        if (values[i] > values[high])
            high = i;
    }
    flush();
    return out;
}

} // namespace vellumet::graph
