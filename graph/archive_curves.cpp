#include "archive_curves.h"

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
    // The quick listing: the window offers the channels at once, whatever
    // the size of the history.
    Result<std::vector<store::ChannelOutline>> held = archive.outline();
    if (!held)
        return held.error();
    std::map<int, std::pair<ArchiveChannel, std::int64_t>> byChannel; // with its most hours
    for (const store::ChannelOutline& h : *held) {
        auto [at, added] = byChannel.try_emplace(h.channel);
        ArchiveChannel& c = at->second.first;
        if (added) {
            c.channel = h.channel;
            c.first = h.first;
            c.last = h.last;
        }
        c.first = std::min(c.first, h.first);
        c.last = std::max(c.last, h.last);
        if (h.hours > at->second.second) {
            at->second.second = h.hours;
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

Result<store::Series> readChannelCurve(store::Archive& archive, int channel, double from, double to,
                                       store::SeriesColumn column, int columns) {
    return archive.curve(channel, from, to, column, columns);
}

Result<std::vector<std::pair<double, double>>>
readChannelGaps(store::Archive& archive, int channel, double intervalSeconds, double from,
                double to, store::SeriesColumn column, double minWidth) {
    std::vector<std::pair<double, double>> out;
    const GapRule rule(intervalSeconds, QTimeZone::systemTimeZone());
    if (rule.limitDays() <= 0.0)
        return out;
    // The summary tells every gap that spans the turn of an hour; one within
    // an hour is only missed when the drawing could not show it anyway.
    constexpr double kHourDays = 1.0 / 24.0;
    const auto source = minWidth >= kHourDays ? store::Archive::CurveSource::Fastest
                                              : store::Archive::CurveSource::Readings;
    // Longer than the rule's limit in seconds, rounded down: the rule itself
    // decides on each.
    const auto longer = static_cast<std::int64_t>(std::floor(rule.limitDays() * 86400.0));
    Result<store::Archive::Gaps> seen = archive.gaps(channel, from, to, column, longer, source);
    if (!seen)
        return seen.error();
    for (const auto& [before, after] : *seen)
        if (after - before >= minWidth && rule.isGap(before, after))
            out.emplace_back(before, after);
    return out;
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
    // A gap narrower than a pixel cannot be seen; without thinning every gap
    // counts.
    const double pixel = columns > 0 ? 4.0 * (end - start) / columns : 0.0;
    std::vector<LoadedCurve> curves;
    const double share = channels.empty() ? 1.0 : 1.0 / static_cast<double>(channels.size());
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (stop.stop_requested())
            return makeError(Errc::Cancelled, "interrupted");
        LoadedCurve curve{{static_cast<int>(i), column, title}, 0, {}, {}};
        if (columns > 0) {
            Result<store::Series> thinned =
                readChannelCurve(archive, channels[i].channel, start, end, column, columns);
            if (!thinned)
                return thinned.error();
            curve.points = std::move(*thinned);
        } else {
            const Status read = readChannelValues(
                archive, channels[i].channel, start, end, column,
                [&](std::span<const double> times, std::span<const double> values) {
                    if (stop.stop_requested())
                        return false;
                    curve.points.times.insert(curve.points.times.end(), times.begin(), times.end());
                    curve.points.values.insert(curve.points.values.end(), values.begin(),
                                               values.end());
                    return true;
                });
            if (!read)
                return read.error();
        }
        curve.rows = static_cast<std::int64_t>(curve.points.times.size());
        if (progress)
            progress(share * (static_cast<double>(i) + 0.5));
        if (stop.stop_requested())
            return makeError(Errc::Cancelled, "interrupted");
        Result<std::vector<std::pair<double, double>>> gaps = readChannelGaps(
            archive, channels[i].channel, channels[i].intervalSeconds, start, end, column, pixel);
        if (!gaps)
            return gaps.error();
        curve.parts = splitAtSeenGaps(curve.points.times, *gaps);
        curves.push_back(std::move(curve));
        if (progress)
            progress(share * static_cast<double>(i + 1));
    }
    if (progress)
        progress(1.0);
    return curves;
}

Result<std::vector<LoadedCurve>> loadArchiveChannelCurves(store::Archive& archive,
                                                          const std::vector<int>& channels,
                                                          GraphKind kind, double start, double end,
                                                          int columns) {
    Result<std::vector<ArchiveChannel>> held = archiveChannels(archive);
    if (!held)
        return held.error();
    std::vector<ArchiveChannel> wanted;
    for (int channel : channels) {
        const auto found = std::find_if(held->begin(), held->end(), [&](const ArchiveChannel& c) {
            return c.channel == channel;
        });
        ArchiveChannel c;
        c.channel = channel;
        if (found != held->end())
            c = *found;
        wanted.push_back(std::move(c));
    }
    return loadArchiveCurves(archive, wanted, kind, start, end, columns);
}

} // namespace vellumet::graph
