#include "archive_curves.h"

#include "column_reduction.h"

#include <QCoreApplication>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <map>

namespace vellumet::graph {

QString channelLabel(store::Archive& archive, const std::string& station, int channel) {
    for (const std::string& of : {station, std::string(store::kUnknownStation)}) {
        const Result<std::optional<std::string>> named = archive.name(of, channel);
        if (named && *named && !(*named)->empty())
            return QString::fromStdString(**named);
    }
    return QString::fromStdString(store::channelName(channel));
}

Result<std::vector<ArchiveChannel>> archiveChannels(store::Archive& archive) {
    Result<std::vector<store::ChannelHistory>> held = archive.channels();
    if (!held)
        return held.error();
    std::map<int, std::pair<ArchiveChannel, std::int64_t>> byChannel; // with its most rows
    for (const store::ChannelHistory& h : *held) {
        auto [at, added] = byChannel.try_emplace(h.channel);
        ArchiveChannel& c = at->second.first;
        if (added) {
            c.channel = h.channel;
            c.first = h.first;
            c.last = h.last;
        }
        c.first = std::min(c.first, h.first);
        c.last = std::max(c.last, h.last);
        if (h.rows > at->second.second) {
            at->second.second = h.rows;
            c.station = h.station;
            c.intervalSeconds = static_cast<double>(h.intervalSeconds);
        }
    }
    std::vector<ArchiveChannel> out;
    for (auto& [channel, entry] : byChannel) {
        ArchiveChannel c = entry.first;
        c.label = channelLabel(archive, c.station, channel);
        c.named = c.label != QString::fromStdString(store::channelName(channel));
        out.push_back(std::move(c));
    }
    // The sensors first, the indoor one after them, as on the station.
    std::stable_partition(out.begin(), out.end(), [](const ArchiveChannel& c) {
        return c.channel != store::kIndoorChannel;
    });
    return out;
}

std::optional<QString> channelNameProblem(const QString& name) {
    constexpr qsizetype kMaxNameBytes = 64;
    if (name.toUtf8().size() > kMaxNameBytes)
        return QCoreApplication::translate("GraphDialog", "A channel's name has at most 64 bytes.");
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            return QCoreApplication::translate("GraphDialog",
                                               "A channel's name cannot hold control characters.");
    if (store::parseChannel(name.toStdString()))
        return QCoreApplication::translate("GraphDialog", "'%1' is a channel's own name.")
            .arg(name);
    return std::nullopt;
}

Status readChannelValues(store::Archive& archive, int channel, double from, double to,
                         store::SeriesColumn column, const store::Archive::ValueVisitor& visit) {
    return archive.visitValues(channel, from, to, column, visit);
}

Result<std::vector<LoadedCurve>> loadArchiveCurves(store::Archive& archive,
                                                   const std::vector<ArchiveChannel>& channels,
                                                   GraphKind kind, double start, double end,
                                                   int columns, const std::stop_token& stop,
                                                   const std::function<void(double)>& progress) {
    const store::SeriesColumn column = kind == GraphKind::Humidity
                                           ? store::SeriesColumn::Humidity
                                           : store::SeriesColumn::Temperature;
    const app::TextId title = kindPlan(kind).curves.front().title;
    const double span = end > start ? end - start : 1.0;
    // A gap narrower than a pixel cannot be seen; without thinning every gap
    // counts.
    const double pixel = columns > 0 ? 4.0 * (end - start) / columns : 0.0;
    std::vector<LoadedCurve> curves;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        LoadedCurve curve{{static_cast<int>(i), column, title}, 0, {}, {}};
        const GapRule rule(channels[i].intervalSeconds, QTimeZone::systemTimeZone());
        GapCollector gaps(rule, pixel);
        ColumnReducer reducer(start, end, columns > 0 ? columns : 1);
        const double share = 1.0 / static_cast<double>(channels.size());
        const Status read = readChannelValues(
            archive, channels[i].channel, start, end, column,
            [&](std::span<const double> times, std::span<const double> values) {
                if (stop.stop_requested())
                    return false;
                for (std::size_t k = 0; k < times.size(); ++k) {
                    const double value = values[k];
                    if (value == static_cast<double>(store::kNoValue) || std::isnan(value))
                        continue;
                    gaps.add(times[k]);
                    if (columns > 0) {
                        reducer.add(times[k], value);
                    } else {
                        curve.points.times.push_back(times[k]);
                        curve.points.values.push_back(value);
                    }
                }
                if (progress && !times.empty())
                    progress(share * (static_cast<double>(i) +
                                      std::clamp((times.back() - start) / span, 0.0, 1.0)));
                return true;
            });
        if (!read)
            return read.error();
        if (stop.stop_requested())
            return makeError(Errc::Cancelled, "interrupted");
        if (columns > 0) {
            curve.rows = static_cast<std::int64_t>(reducer.pointsAdded());
            curve.points = reducer.finish();
        } else {
            curve.rows = static_cast<std::int64_t>(curve.points.times.size());
        }
        curve.parts = splitAtSeenGaps(curve.points.times, gaps.gaps());
        curves.push_back(std::move(curve));
    }
    if (progress)
        progress(1.0);
    return curves;
}

} // namespace vellumet::graph
