#include "chart_drawing.h"

#include "time_chart.h"

#include "store/automation_date.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vellumet::graph {

Status drawWindow(TimeChart& chart, store::RecordStore& store, const DrawRequest& request) {
    const KindPlan plan = kindPlan(request.kind);
    chart.clearAll();
    chart.setTitleText(graphText(plan.chartTitle));
    for (int i = 0; i < TimeChart::kSeriesCount; ++i) {
        const auto curve = std::find_if(plan.curves.begin(), plan.curves.end(),
                                        [i](const CurvePlan& c) { return c.series == i; });
        chart.setSeriesShown(i, curve != plan.curves.end());
        if (curve != plan.curves.end())
            chart.setSeriesTitle(i, graphText(curve->title));
    }
    WallClockAxis ownClock;
    if (!request.clock) {
        Result<WallClockAxis> read = WallClockAxis::ofStore(store);
        if (!read) {
            chart.clearAll();
            return read.error();
        }
        ownClock = std::move(*read);
    }
    const WallClockAxis& clock = request.clock ? *request.clock : ownClock;
    double interval = request.intervalSeconds.value_or(0.0);
    if (!request.intervalSeconds) {
        Result<double> read = logIntervalSeconds(store);
        if (!read) {
            chart.clearAll();
            return read.error();
        }
        interval = *read;
    }
    const auto [wallFrom, wallTo] = request.axis.value_or(std::pair{request.start, request.end});
    // The end of a window takes in the second pass of a repeated hour.
    const auto [axisFrom, axisTo] =
        request.positions.value_or(std::pair{clock.toAxis(wallFrom), clock.toAxis(wallTo, true)});
    chart.setClock(clock);
    chart.setTimeRange(axisFrom, axisTo);
    chart.setValueAxisTitle(valueAxisTitle(request.kind, request.unitText));

    // Quarter-pixel columns: where the plot area starts to the fraction of a
    // pixel is only settled once the new axis labels are laid out, and a
    // column that straddles two pixels could hide a pixel's extreme.
    constexpr int kColumnsPerPixel = 4;
    Result<std::vector<LoadedCurve>> curves =
        loadCurves(store, request.kind, request.start, request.end,
                   request.reduce ? chart.plotColumns() * kColumnsPerPixel : 0, axisFrom, axisTo,
                   clock, request.stop, GapRule(interval));
    if (!curves) {
        chart.clearAll();
        return curves.error();
    }

    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const LoadedCurve& curve : *curves)
        for (double v : curve.points.values) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (low > high) {
        chart.setEmptyText(
            QCoreApplication::translate("GraphDialog", "No readings between %1 and %2")
                .arg(QString::fromStdString(store::formatDateTime(clock.toWall(axisFrom))),
                     QString::fromStdString(store::formatDateTime(clock.toWall(axisTo)))));
        low = request.kind == GraphKind::Humidity ? 0.0 : -10.0;
        high = request.kind == GraphKind::Humidity ? 100.0 : 40.0;
    } else
        chart.setEmptyText({});
    const double margin = std::max((high - low) * 0.05, 0.5);
    // The ranges first: every change of a range lays out each curve again.
    chart.setValueRange(std::floor(low - margin), std::ceil(high + margin));
    for (const LoadedCurve& curve : *curves)
        chart.addSeries(curve.plan.series, curve.points.times, curve.points.values, curve.parts);
    return {};
}

QByteArray chartImage(TimeChart& chart, ImageFormat format) {
    // Layouts asked for by the last drawing (the legend's new names) are
    // otherwise only done when the event loop next runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == ImageFormat::Png) {
        chart.grab().toImage().save(&buffer, "PNG");
        return bytes;
    }
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(chart.size());
    svg.setViewBox(QRect(QPoint(0, 0), chart.size()));
    svg.setTitle(chart.titleText());
    QPainter painter(&svg);
    chart.render(&painter);
    painter.end();
    return bytes;
}

Status writePng(TimeChart& chart, const QString& path) {
    const QByteArray image = chartImage(chart, ImageFormat::Png);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return makeError(Errc::Io, "cannot write " + path.toStdString() + ": " +
                                       file.errorString().toStdString());
    if (image.isEmpty() || file.write(image) != image.size() || !file.commit())
        return makeError(Errc::Io, "cannot write " + path.toStdString() + ": " +
                                       file.errorString().toStdString());
    return {};
}

} // namespace vellumet::graph
