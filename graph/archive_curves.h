#pragma once

#include "core/result.h"
#include "graph/graph_plan.h"
#include "store/archive.h"

#include <QString>

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace vellumet::graph {

// A channel of the history as the graph window offers it. Readings of the
// channel from every station are drawn as one curve; its name and its
// interval are those of the station that holds most of them.
struct ArchiveChannel {
    int channel = 0;
    std::string station;
    QString label; // the user's name, else "CH1" … "CH8" or "IN"
    bool named = false;
    double first = 0.0;
    double last = 0.0;
    double intervalSeconds = 0.0;
};

// The channels of the open history, in channel order with the indoor sensor
// last, each labelled by its name.
Result<std::vector<ArchiveChannel>> archiveChannels(store::Archive& archive);

// The label of a channel of a station: the name given to it on that station,
// else the one given without a station, else its own.
QString channelLabel(store::Archive& archive, const std::string& station, int channel);

// Why a channel cannot take a name (already trimmed); nothing when it can. An
// empty name takes the user's name away.
std::optional<QString> channelNameProblem(const QString& name);

// Reads one value column of a channel's readings over from < time <= to, a run
// at a time, in ascending time. Every read of the history's values for a
// graph goes through here.
Status readChannelValues(store::Archive& archive, int channel, double from, double to,
                         store::SeriesColumn column, const store::Archive::ValueVisitor& visit);

// One value column of a channel over from < time <= to thinned to `columns`
// columns, as Archive::curve gives it: the graph's curves of the history come
// from here.
Result<store::Series> readChannelCurve(store::Archive& archive, int channel, double from, double to,
                                       store::SeriesColumn column, int columns);

// The gaps of a channel logging every intervalSeconds over from < time <= to
// that a drawing shows (start, end; ascending): stretches without a reading
// with a value in the column longer than kGapIntervals intervals (an hour the
// local clock skips is no gap), and at least minWidth days wide. Read from the
// history's summary when minWidth is an hour or more, else from the readings'
// times; never from the spacing of thinned points.
Result<std::vector<std::pair<double, double>>>
readChannelGaps(store::Archive& archive, int channel, double intervalSeconds, double from,
                double to, store::SeriesColumn column, double minWidth);

// The curves of some channels of the history over start < time <= end, one
// per channel (series 0 upwards, in the order given), of the kind's main
// column: temperature or humidity. Times are wall-clock times and their own
// places on the axis. With columns > 0 each curve is thinned to that many
// columns over start..end. Each curve is cut at the gaps between its readings
// (the channel's interval; an hour the local clock skips is no gap).
// progress gets the share of the work done, 0 to 1. Errc::Cancelled when stop
// is requested.
Result<std::vector<LoadedCurve>>
loadArchiveCurves(store::Archive& archive, const std::vector<ArchiveChannel>& channels,
                  GraphKind kind, double start, double end, int columns,
                  const std::stop_token& stop = {},
                  const std::function<void(double)>& progress = {});

// The same for channels given by number, each with the interval the listing
// tells for it (a channel the history does not hold is an empty curve): the
// curves plot --archive draws.
Result<std::vector<LoadedCurve>> loadArchiveChannelCurves(store::Archive& archive,
                                                          const std::vector<int>& channels,
                                                          GraphKind kind, double start, double end,
                                                          int columns);

} // namespace vellumet::graph
