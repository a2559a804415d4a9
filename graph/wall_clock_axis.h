#pragma once

#include "core/result.h"

#include <QString>
#include <QTimeZone>

#include <span>
#include <utility>
#include <vector>

namespace vellumet::store {
class RecordStore;
}

namespace vellumet::graph {

// The time axis of a log. The log holds the station's wall-clock times as the
// station wrote them; where the station's clock was put forward or back (summer
// time), those times skip an hour or run through one twice. The axis lays them
// out continuously: a skipped hour takes no room, and the second pass through a
// repeated hour comes after the first. Positions are in days like the times
// themselves, so without a change of the clock a time is its own position.
//
// A change back is seen in the log as a time about an hour before the latest
// time so far; a change forward as a gap across an hour the station's time
// zone skips.
class WallClockAxis {
public:
    WallClockAxis() = default;

    // Feeds the log's times in the order they were written; 0 (a time that
    // could not be read) is passed over.
    class Builder;
    static WallClockAxis fromWrittenTimes(std::span<const double> times,
                                          QTimeZone zone = QTimeZone::systemTimeZone());
    // From the rows of the open store (all of them unless their times are
    // known to ascend).
    static Result<WallClockAxis> ofStore(store::RecordStore& store,
                                         QTimeZone zone = QTimeZone::systemTimeZone());

    // True when positions are the times themselves.
    bool isIdentity() const { return folds_.empty() && skips_.empty(); }

    // The position of a time; a time of a repeated hour goes to its first pass
    // unless secondPass.
    double toAxis(double time, bool secondPass = false) const;
    // The wall-clock time shown at a position.
    double toWall(double position) const;
    // The earliest and latest wall-clock time between two positions: the
    // window of rows to read for them.
    std::pair<double, double> wallSpan(double from, double to) const;
    // Whether a time falls into an hour the log runs through twice.
    bool isRepeated(double time) const;

    // Stretches of the axis over which position = time + offset, from `from`
    // to the next stretch's start.
    struct Stretch {
        double from;
        double offset;
    };
    std::vector<Stretch> stretches() const;

    // Places the rows of a window, read in ascending time with rows of equal
    // time in the order they were written, one after the other.
    class Walk {
    public:
        explicit Walk(const WallClockAxis& axis) : axis_(axis) {}
        double next(double time);

    private:
        const WallClockAxis& axis_;
        double last_ = 0.0;
        int seen_ = 0;
    };

private:
    // The clock went back from `last` to `first`: times in first..last were
    // written twice. firstPass counts the rows of each such time written
    // before the change, by ascending time.
    struct Fold {
        double first;
        double last;
        double length;
        std::vector<std::pair<double, int>> firstPass;
    };
    // The clock went forward: the times from `at` on are `length` days early.
    struct Skip {
        double at;
        double length;
    };
    double offsetOf(double time, bool secondPass) const;
    const Fold* foldOf(double time) const;

    std::vector<Fold> folds_;
    std::vector<Skip> skips_;
};

class WallClockAxis::Builder {
public:
    explicit Builder(QTimeZone zone = QTimeZone::systemTimeZone());
    void add(double time);
    WallClockAxis finish();

private:
    QTimeZone zone_;
    WallClockAxis axis_;
    double latest_ = 0.0;
    bool any_ = false;
    // Times written in the last two hours before latest_, oldest first.
    std::vector<double> recent_;
};

// A mark of the time axis: its position and the wall-clock time it shows.
struct TimeTick {
    double position;
    QString label;
};

// Marks on round times (seconds, minutes, hours, days) between two positions,
// at most maxTicks of them (at least two are asked for). The first mark and
// the first of each new day carry the date.
std::vector<TimeTick> timeTicks(const WallClockAxis& axis, double from, double to, int maxTicks);

} // namespace vellumet::graph
