#pragma once

#include "graph/curve_gaps.h"
#include "graph/wall_clock_axis.h"

#include <QChartView>
#include <QString>

#include <array>
#include <span>
#include <utility>
#include <vector>

class QCategoryAxis;
class QGraphicsSimpleTextItem;
class QAbstractSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace vellumet::graph {

// The chart of the graph window: four line series (red, green, blue, orange;
// all but the first dashed, so that a curve drawn over another leaves it
// visible) over a time axis, the legend at the top, a title line and a value
// axis with a title. Times are places on the log's time axis (automation
// dates where the station's clock did not change); the axis is marked at
// round wall-clock times.
//
// Dragging across the plot selects a time range (zoomedIn); a right click asks
// to go back (zoomOutRequested); the Left and Right keys and the mouse wheel
// ask to move along the time axis by a tenth of the range shown a step
// (panRequested, negative towards earlier times). What is read for the new
// range is the caller's.
class TimeChart : public QChartView {
    Q_OBJECT
public:
    static constexpr int kSeriesCount = 4;

    explicit TimeChart(QWidget* parent = nullptr);

    void setTitleText(const QString& text);
    QString titleText() const;

    // Removes every point of one series, or of all four.
    void clearSeries(int index);
    void clearAll();
    // Replaces the points of a series with a whole curve in one call. With
    // parts, each part is a line of its own (in the series' pen, not in the
    // legend) and a part of one point a dot: no line is drawn across a gap.
    void addSeries(int index, std::span<const double> times, std::span<const double> values,
                   const CurveParts& parts = {});
    void setSeriesTitle(int index, const QString& title);
    // A hidden series is neither drawn nor listed in the legend.
    void setSeriesShown(int index, bool shown);
    bool seriesShown(int index) const;

    // How the log's times lie on the axis; for the marks of the time axis.
    void setClock(WallClockAxis clock) { clock_ = std::move(clock); }
    const WallClockAxis& clock() const { return clock_; }
    void setTimeRange(double start, double end);
    std::pair<double, double> timeRange() const;
    void setValueAxisTitle(const QString& title);
    QString valueAxisTitle() const;
    void setValueRange(double low, double high);

    // The first part of a curve; the legend's entry.
    QLineSeries* series(int index) const;
    // Every point of a curve, all its parts in order.
    QList<QPointF> curvePoints(int index) const;
    // The lines a curve is drawn as, and its points alone between gaps.
    int partCount(int index) const;
    QScatterSeries* lonePoints(int index) const;
    QCategoryAxis* timeAxis() const { return timeAxis_; }
    // The wall-clock texts of the time axis' marks, left to right.
    QStringList timeLabels() const;

    // A line across the plot saying why there are no curves; empty hides it,
    // and the legend shows while there is none.
    void setEmptyText(const QString& text);
    QString emptyText() const;
    QValueAxis* valueAxis() const { return valueAxis_; }

    // Pixel columns of the plot area: how many distinct x positions a curve
    // can have on screen.
    int plotColumns() const;

signals:
    void zoomedIn(double start, double end);
    void zoomOutRequested();
    void panRequested(double fraction);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void markTimeAxis();
    void markTimeAxisNow();
    void placeEmptyText();
    QLineSeries* newPart(int index);
    void hideFromLegend(QAbstractSeries* series);

    std::array<QLineSeries*, kSeriesCount> series_{};
    // The parts after the first, kept for the next curve when unused.
    std::array<std::vector<QLineSeries*>, kSeriesCount> parts_{};
    std::array<QScatterSeries*, kSeriesCount> lone_{};
    QCategoryAxis* timeAxis_ = nullptr;
    QGraphicsSimpleTextItem* emptyText_ = nullptr;
    WallClockAxis clock_;
    QValueAxis* valueAxis_ = nullptr;
    bool settingRange_ = false;
};

} // namespace vellumet::graph
