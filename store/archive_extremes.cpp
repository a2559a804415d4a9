#include "archive_extremes.h"

#include <algorithm>

namespace vellumet::store::archive_detail {

void Extremes::appendTo(std::vector<CurvePoint>& out) const {
    if (!any)
        return;
    std::array<CurvePoint, 4> kept = {first, low, high, last};
    std::sort(kept.begin(), kept.end(), before);
    const auto end = std::unique(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
        return a.time == b.time && a.station == b.station;
    });
    out.insert(out.end(), kept.begin(), end);
}

ColumnLayout::ColumnLayout(std::int64_t from, std::int64_t to, int columns) : origin(from + 1) {
    const std::int64_t span = to - from;
    width = std::max<std::int64_t>(1, span / std::max(columns, 1));
    if (width >= kBucketSeconds) {
        wholeHours = true;
        width -= width % kBucketSeconds;
        origin = bucketOf(from + 1) * kBucketSeconds;
    }
}

} // namespace vellumet::store::archive_detail
