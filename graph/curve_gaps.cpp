#include "curve_gaps.h"

#include "store/automation_date.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace vellumet::graph {

namespace {

constexpr double kSecondDays = 1.0 / 86400.0;

// Seconds east of UTC of a wall-clock time in a zone; nothing when the zone
// does not know it (a time in a skipped hour).
std::optional<int> offsetAt(const QTimeZone& zone, double time) {
    const store::DateTimeParts p = store::fromAutomationDate(time);
    const QDateTime local(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second), zone);
    if (!local.isValid())
        return std::nullopt;
    return local.offsetFromUtc();
}

} // namespace

GapRule::GapRule(double intervalSeconds, QTimeZone zone) : zone_(std::move(zone)) {
    // Times are whole seconds: half a second absorbs the rounding of days.
    if (intervalSeconds > 0.0 && std::isfinite(intervalSeconds))
        limit_ = (kGapIntervals * intervalSeconds + 0.5) * kSecondDays;
}

bool GapRule::isGap(double before, double after) const {
    if (limit_ <= 0.0 || after - before <= limit_)
        return false;
    if (!zone_.isValid())
        return true;
    // Only the clock put forward between them makes the stretch shorter than
    // it looks; put back, the wall-clock spacing is what the readings show.
    const std::optional<int> from = offsetAt(zone_, before);
    const std::optional<int> to = offsetAt(zone_, after);
    if (!from || !to || *to <= *from)
        return true;
    return after - before - (*to - *from) * kSecondDays > limit_;
}

void IntervalCounter::add(double time) {
    if (!std::isfinite(time) || time == 0.0)
        return;
    if (any_) {
        const long long spacing = std::llround((time - last_) * 86400.0);
        if (spacing > 0)
            ++counts_[spacing];
    }
    any_ = true;
    last_ = time;
}

double IntervalCounter::intervalSeconds() const {
    const auto most =
        std::max_element(counts_.begin(), counts_.end(), [](const auto& a, const auto& b) {
            return a.second < b.second || (a.second == b.second && a.first > b.first);
        });
    return most == counts_.end() ? 0.0 : static_cast<double>(most->first);
}

CurveParts splitAtGaps(std::span<const double> times, const GapRule& rule) {
    CurveParts parts;
    if (times.empty())
        return parts;
    std::size_t begin = 0;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (rule.isGap(times[i - 1], times[i])) {
            parts.emplace_back(begin, i);
            begin = i;
        }
    parts.emplace_back(begin, times.size());
    return parts;
}

CurveParts splitAtSeenGaps(std::span<const double> times,
                           std::span<const std::pair<double, double>> gaps) {
    CurveParts parts;
    if (times.empty())
        return parts;
    std::size_t begin = 0;
    std::size_t g = 0;
    for (std::size_t i = 1; i < times.size() && g < gaps.size(); ++i) {
        // Gaps that end before this pair starts were inside a thinned column.
        while (g < gaps.size() && gaps[g].second <= times[i - 1])
            ++g;
        if (g < gaps.size() && gaps[g].first >= times[i - 1] && gaps[g].second <= times[i]) {
            parts.emplace_back(begin, i);
            begin = i;
            ++g;
        }
    }
    parts.emplace_back(begin, times.size());
    return parts;
}

} // namespace vellumet::graph
