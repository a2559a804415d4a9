#include "archive_plot.h"

#include "archive_commands.h"
#include "data_dir.h"

#include "graph/archive_curves.h"
#include "graph/graph_plan.h"
#include "store/archive.h"

#ifdef VELLUMET_HAVE_GRAPH
#include "graph/widgets/chart_drawing.h"
#include "graph/widgets/time_chart.h"
#endif

#include <algorithm>
#include <cmath>
#include <limits>

namespace vellumet::cli {

std::string drawArchivePlot(Invocation& inv, const ArchivePlot& plot) {
#ifdef VELLUMET_HAVE_GRAPH
    if (plot.channels.empty())
        throw UsageError("plot --archive needs --channel NAME");
    if (plot.channels.size() > kMaxPlotChannels)
        throw UsageError("plot --archive draws at most " + std::to_string(kMaxPlotChannels) +
                         " channels");
    store::Archive archive;
    if (Status s =
            archive.openExisting(store::archivePathBeside(prepareDatabase(inv.options().dataDir)));
        !s)
        throw CommandError(s.error().text());
    std::vector<int> channels;
    std::vector<QString> labels;
    for (const std::string& text : plot.channels) {
        channels.push_back(channelOf(&archive, text));
        labels.push_back(
            QString::fromStdString(shownName(archive, store::kUnknownStation, channels.back())));
    }

    // An open end reaches to the first or last reading of the channels.
    double start = plot.from.value_or(std::numeric_limits<double>::max());
    double end = plot.to.value_or(std::numeric_limits<double>::lowest());
    if (!plot.from || !plot.to) {
        bool any = false;
        for (int channel : channels) {
            Result<std::optional<std::pair<double, double>>> span = archive.span(channel);
            if (!span)
                throw CommandError(span.error().text());
            if (!*span)
                continue;
            any = true;
            if (!plot.from)
                start = std::min(start, (*span)->first);
            if (!plot.to)
                end = std::max(end, (*span)->second);
        }
        if (!any)
            throw CommandError("the history holds no readings of these channels");
    }
    if (start > end)
        throw UsageError("Time Error: the window ends before it starts");

    const graph::GraphKind kind = *graph::parseGraphKind(plot.kind);
    graph::TimeChart chart;
    chart.resize(plot.width, plot.height);
    chart.clearAll();
    chart.setTitleText(graph::graphText(graph::kindPlan(kind).chartTitle));
    for (int i = 0; i < graph::TimeChart::kSeriesCount; ++i) {
        const bool shown = static_cast<std::size_t>(i) < channels.size();
        chart.setSeriesShown(i, shown);
        if (shown)
            chart.setSeriesTitle(i, labels[static_cast<std::size_t>(i)]);
    }
    chart.setTimeRange(start, end);
    chart.setValueAxisTitle(graph::valueAxisTitle(
        kind, plot.unit ? QString::fromStdString(*plot.unit) : QStringLiteral("(\u00b0C)")));

    // Each curve thinned to quarter-pixel columns, from the history's hourly
    // summary where a column spans whole hours.
    constexpr int kColumnsPerPixel = 4;
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    // A window that starts at the first reading takes it in.
    const double after = plot.from ? start : start - 1.0 / 86400.0;
    if (inv.interrupted())
        throw CommandError("interrupted");
    // Each curve is cut where its readings stop, as the graph window cuts it.
    Result<std::vector<graph::LoadedCurve>> curves = graph::loadArchiveChannelCurves(
        archive, channels, kind, after, end, chart.plotColumns() * kColumnsPerPixel);
    if (!curves)
        throw CommandError(curves.error().text());
    // The thinned curve keeps each column's lowest and highest reading.
    for (const graph::LoadedCurve& curve : *curves)
        for (double v : curve.points.values) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (low > high) {
        low = kind == graph::GraphKind::Humidity ? 0.0 : -10.0;
        high = kind == graph::GraphKind::Humidity ? 100.0 : 40.0;
    }
    const double margin = std::max((high - low) * 0.05, 0.5);
    chart.setValueRange(std::floor(low - margin), std::ceil(high + margin));
    for (std::size_t i = 0; i < curves->size(); ++i)
        chart.addSeries(static_cast<int>(i), (*curves)[i].points.times, (*curves)[i].points.values,
                        (*curves)[i].parts);
    const QByteArray image =
        graph::chartImage(chart, plot.svg ? graph::ImageFormat::Svg : graph::ImageFormat::Png);
    if (image.isEmpty())
        throw CommandError("cannot draw the image");
    return image.toStdString();
#else
    (void)inv;
    (void)plot;
    throw CommandError("plot: this build has no charts");
#endif
}

} // namespace vellumet::cli
