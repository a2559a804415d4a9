#include "wall_clock_axis.h"

#include "store/automation_date.h"
#include "store/record_store.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace vellumet::graph {

namespace {

constexpr double kHour = 1.0 / 24.0;
constexpr double kMinute = kHour / 60.0;
constexpr double kSecond = kMinute / 60.0;
// Unix epoch as an automation date.
constexpr double kEpochDays = 25569.0;

// The offset from UTC, in days, of a wall-clock time in a zone; nothing when
// the zone does not know it.
std::optional<double> zoneOffset(const QTimeZone& zone, double time) {
    const store::DateTimeParts p = store::fromAutomationDate(time);
    const QDateTime local(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second), zone);
    if (!local.isValid())
        return std::nullopt;
    return local.offsetFromUtc() * kSecond;
}

long long wallSeconds(double time) {
    return std::llround((time - kEpochDays) * 86400.0);
}

double fromWallSeconds(long long seconds) {
    return kEpochDays + static_cast<double>(seconds) / 86400.0;
}

long long roundUp(long long value, long long step) {
    const long long q = value / step;
    const long long down = (value % step != 0 && value < 0) ? q - 1 : q;
    const long long at = down * step;
    return at < value ? at + step : at;
}

} // namespace

WallClockAxis::Builder::Builder(QTimeZone zone) : zone_(std::move(zone)) {}

void WallClockAxis::Builder::add(double time) {
    if (time == 0.0 || !std::isfinite(time))
        return;
    if (!any_) {
        any_ = true;
        latest_ = time;
        recent_.push_back(time);
        return;
    }
    const double back = latest_ - time;
    // Once per change: the rows after it stay behind latest_ for an hour.
    const bool folded = !axis_.folds_.empty() && axis_.folds_.back().last == latest_;
    if (back > 20 * kMinute && back <= 70 * kMinute && !folded) {
        // The clock was put back: the times from here up to latest_ come twice.
        Fold fold{time, latest_, std::max(kHour, back + kSecond), {}};
        std::vector<double> written;
        for (double t : recent_)
            if (t >= time && t <= latest_)
                written.push_back(t);
        std::sort(written.begin(), written.end());
        for (double t : written) {
            if (!fold.firstPass.empty() && fold.firstPass.back().first == t)
                ++fold.firstPass.back().second;
            else
                fold.firstPass.emplace_back(t, 1);
        }
        axis_.folds_.push_back(std::move(fold));
    } else if (time - latest_ >= 1.0 * kHour - kSecond && zone_.isValid()) {
        // A gap of an hour or more: across an hour the zone skips, the clock
        // was put forward and the gap is that much shorter than it looks.
        const std::optional<double> before = zoneOffset(zone_, latest_);
        const std::optional<double> after = zoneOffset(zone_, time);
        if (before && after && *after > *before && time - latest_ > *after - *before)
            axis_.skips_.push_back({time, *after - *before});
    }
    latest_ = std::max(latest_, time);
    recent_.push_back(time);
    const auto old = std::find_if(recent_.begin(), recent_.end(),
                                  [this](double t) { return t >= latest_ - 2 * kHour; });
    // Dropped in bulk, not one at a time.
    if (old - recent_.begin() > 4096)
        recent_.erase(recent_.begin(), old);
}

WallClockAxis WallClockAxis::Builder::finish() {
    WallClockAxis axis = std::move(axis_);
    axis_ = {};
    any_ = false;
    recent_.clear();
    return axis;
}

WallClockAxis WallClockAxis::fromWrittenTimes(std::span<const double> times, QTimeZone zone) {
    Builder builder(std::move(zone));
    for (double t : times)
        builder.add(t);
    return builder.finish();
}

Result<WallClockAxis> WallClockAxis::ofStore(store::RecordStore& store, QTimeZone zone) {
    // With the packed copy current the times ascend: the clock never went
    // back, and a skipped hour is one the zone skips that holds no row. That
    // is a look at each of the zone's changes forward, not at every row.
    Result<bool> packed = store.hasPackedRows();
    if (!packed)
        return packed.error();
    if (*packed && zone.isValid()) {
        Result<std::optional<store::RecordStore::TimeSpan>> span = store.timeSpan();
        if (!span)
            return span.error();
        WallClockAxis axis;
        if (!*span)
            return axis;
        const auto instant = [](double wall) {
            return QDateTime::fromMSecsSinceEpoch(
                std::llround((wall - kEpochDays) * 86400000.0) - 86400000, Qt::UTC);
        };
        const QTimeZone::OffsetDataList changes = zone.transitions(
            instant((*span)->first), instant((*span)->last).addMSecs(2 * 86400000LL));
        for (qsizetype i = 0; i < changes.size(); ++i) {
            const QTimeZone::OffsetData& change = changes[i];
            const QTimeZone::OffsetData before =
                i > 0 ? changes[i - 1] : zone.previousTransition(change.atUtc);
            const int from = before.atUtc.isValid() ? before.offsetFromUtc
                                                    : zone.offsetFromUtc(change.atUtc.addSecs(-1));
            if (change.offsetFromUtc <= from)
                continue;
            const double skipped =
                kEpochDays +
                static_cast<double>(change.atUtc.toMSecsSinceEpoch() + from * 1000LL) / 86400000.0;
            const double length = (change.offsetFromUtc - from) * kSecond;
            if (skipped <= (*span)->first || skipped + length > (*span)->last)
                continue;
            Result<std::vector<store::LogRecord>> inside =
                store.readRecords(skipped - kSecond / 2, skipped + length - kSecond / 2, {});
            if (!inside)
                return inside.error();
            if (inside->empty())
                axis.skips_.push_back({skipped + length - kSecond / 2, length});
        }
        return axis;
    }
    Builder builder(std::move(zone));
    const Status read = store.visitTimesAsWritten([&](std::span<const double> times) {
        for (double t : times)
            builder.add(t);
    });
    if (!read)
        return read.error();
    return builder.finish();
}

const WallClockAxis::Fold* WallClockAxis::foldOf(double time) const {
    for (const Fold& f : folds_)
        if (time >= f.first && time <= f.last)
            return &f;
    return nullptr;
}

bool WallClockAxis::isRepeated(double time) const {
    return foldOf(time) != nullptr;
}

double WallClockAxis::offsetOf(double time, bool secondPass) const {
    double offset = 0.0;
    for (const Fold& f : folds_)
        if (time > f.last || (secondPass && time >= f.first))
            offset += f.length;
    for (const Skip& s : skips_)
        if (time >= s.at)
            offset -= s.length;
    return offset;
}

double WallClockAxis::toAxis(double time, bool secondPass) const {
    if (isIdentity())
        return time;
    return time + offsetOf(time, secondPass && isRepeated(time));
}

std::vector<WallClockAxis::Stretch> WallClockAxis::stretches() const {
    // Each change starts a stretch where its first row lands.
    struct Change {
        double key; // the last time before the change
        double time;
        double length;
    };
    std::vector<Change> changes;
    for (const Fold& f : folds_)
        changes.push_back({f.last, f.first, f.length});
    for (const Skip& s : skips_)
        changes.push_back({s.at, s.at, -s.length});
    std::sort(changes.begin(), changes.end(),
              [](const Change& a, const Change& b) { return a.key < b.key; });
    std::vector<Stretch> out{{-std::numeric_limits<double>::infinity(), 0.0}};
    for (const Change& c : changes) {
        const double offset = out.back().offset + c.length;
        out.push_back({c.time + offset, offset});
    }
    return out;
}

double WallClockAxis::toWall(double position) const {
    if (isIdentity())
        return position;
    const std::vector<Stretch> all = stretches();
    const auto next = std::upper_bound(all.begin(), all.end(), position,
                                       [](double p, const Stretch& s) { return p < s.from; });
    return position - std::prev(next)->offset;
}

std::pair<double, double> WallClockAxis::wallSpan(double from, double to) const {
    if (isIdentity())
        return {from, to};
    const std::vector<Stretch> all = stretches();
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const double a = std::max(from, all[i].from);
        const double b =
            std::min(to, i + 1 < all.size() ? all[i + 1].from : std::numeric_limits<double>::max());
        if (a > b)
            continue;
        low = std::min(low, a - all[i].offset);
        high = std::max(high, b - all[i].offset);
    }
    if (low > high)
        return {toWall(from), toWall(to)};
    return {low, high};
}

double WallClockAxis::Walk::next(double time) {
    const Fold* fold = axis_.foldOf(time);
    if (!fold)
        return axis_.toAxis(time);
    if (time != last_ || seen_ == 0) {
        last_ = time;
        seen_ = 0;
    }
    const int index = seen_++;
    const auto at = std::lower_bound(
        fold->firstPass.begin(), fold->firstPass.end(), time,
        [](const std::pair<double, int>& entry, double t) { return entry.first < t; });
    const int firstPass = at != fold->firstPass.end() && at->first == time ? at->second : 0;
    return axis_.toAxis(time, index >= firstPass);
}

std::vector<TimeTick> timeTicks(const WallClockAxis& axis, double from, double to, int maxTicks) {
    std::vector<TimeTick> ticks;
    if (!(to > from) || !std::isfinite(from) || !std::isfinite(to))
        return ticks;
    maxTicks = std::max(maxTicks, 2);
    constexpr std::array<long long, 27> kSteps = {
        1,      2,      5,       10,      15,      30,      60,       120,      300,
        600,    900,    1800,    3600,    7200,    10800,   21600,    43200,    86400,
        172800, 604800, 1209600, 2419200, 4838400, 7257600, 14515200, 29030400, 58060800};
    const double spanSeconds = (to - from) * 86400.0;
    long long step = kSteps.back();
    for (long long s : kSteps)
        if (spanSeconds / static_cast<double>(s) <= maxTicks - 1 + 1e-6) {
            step = s;
            break;
        }

    const std::vector<WallClockAxis::Stretch> all = axis.stretches();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const double a = std::max(from, all[i].from);
        const double b =
            std::min(to, i + 1 < all.size() ? all[i + 1].from : std::numeric_limits<double>::max());
        if (a > b)
            continue;
        const double offset = all[i].offset;
        const long long last = wallSeconds(b - offset);
        for (long long s = roundUp(wallSeconds(a - offset), step); s <= last; s += step) {
            const double position = fromWallSeconds(s) + offset;
            if (position < from - kSecond / 2 || position > to + kSecond / 2)
                continue;
            // Where two stretches meet, a mark too close to the one before goes.
            if (!ticks.empty() &&
                (position - ticks.back().position) * 86400.0 < static_cast<double>(step) / 2.0)
                continue;
            ticks.push_back({position, QString()});
        }
    }

    int previousDay = 0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const store::DateTimeParts p = store::fromAutomationDate(axis.toWall(ticks[i].position));
        const QString date = QString::asprintf("%04d-%02d-%02d", p.year, p.month, p.day);
        const int day = p.year * 400 + p.month * 32 + p.day;
        if (step >= 86400)
            ticks[i].label = date;
        else {
            const QString time =
                step < 60 ? QString::asprintf("%02d:%02d:%02d", p.hour, p.minute, p.second)
                          : QString::asprintf("%02d:%02d", p.hour, p.minute);
            ticks[i].label = (i == 0 || day != previousDay) ? date + QLatin1Char(' ') + time : time;
        }
        previousDay = day;
    }
    return ticks;
}

} // namespace vellumet::graph
