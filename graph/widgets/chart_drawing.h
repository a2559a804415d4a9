#pragma once

#include "core/result.h"
#include "graph/graph_plan.h"

#include <QByteArray>
#include <QString>

#include <stop_token>

namespace vellumet::store {
class RecordStore;
}

namespace vellumet::graph {

class TimeChart;

struct DrawRequest {
    GraphKind kind = GraphKind::Temperature;
    double start = 0.0; // the window is start < Time <= end
    double end = 0.0;
    // The time axis, as wall-clock times; by default the window.
    std::optional<std::pair<double, double>> axis;
    // The time axis as places on the log's axis; wins over `axis`.
    std::optional<std::pair<double, double>> positions;
    // How the log's times lie on the axis; read from the store when not given.
    const WallClockAxis* clock = nullptr;
    // The log's logging interval in seconds, for the gaps the curves are not
    // drawn across; read from the store when not given (0: no gaps).
    std::optional<double> intervalSeconds;
    QString unitText; // value-axis title of the temperature graph
    // Thin each curve to the chart's pixel columns; off hands every point over.
    bool reduce = true;
    // Ends the reading early (Errc::Cancelled) when requested.
    std::stop_token stop;
};

// Draws a window of the open store on the chart: titles, the kind's series
// shown and the others hidden, the time range, the curves and a value range
// that fits them; a window without readings says so across the chart. On a failure the curves are
// left cleared and the error is returned; nothing else is touched after it.
Status drawWindow(TimeChart& chart, store::RecordStore& store, const DrawRequest& request);

enum class ImageFormat { Png, Svg };

// The chart as it is, as the bytes of a PNG image or of an SVG drawing (whose
// lines and text stay lines and text).
QByteArray chartImage(TimeChart& chart, ImageFormat format);

// The chart as it is, painted into a PNG file.
Status writePng(TimeChart& chart, const QString& path);

} // namespace vellumet::graph
