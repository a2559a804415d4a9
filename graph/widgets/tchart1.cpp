#include "tchart1.h"

#include "graph/graph_plan.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QKeyEvent>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>

namespace vellumet::graph {

namespace {

const std::array<QColor, CTchart1::kSeriesCount> kColours = {
    QColor(0xFF, 0x00, 0x00), QColor(0x00, 0x80, 0x00), QColor(0x00, 0x80, 0xFF),
    QColor(0xFF, 0x80, 0x00)};

// One step of panning, as a share of the range shown.
constexpr double kPanStep = 0.1;

bool validIndex(int index) {
    return index >= 0 && index < CTchart1::kSeriesCount;
}

QDateTime axisTime(double date) {
    AxisClock clock;
    return QDateTime::fromMSecsSinceEpoch(clock.toAxis(date));
}

} // namespace

CTchart1::CTchart1(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart();
    chart->setTitle(QStringLiteral(" "));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setVisible(true);

    timeAxis_ = new QDateTimeAxis(chart);
    timeAxis_->setFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    timeAxis_->setTickCount(5);
    valueAxis_ = new QValueAxis(chart);
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);

    for (int i = 0; i < kSeriesCount; ++i) {
        auto* s = new QLineSeries(chart);
        s->setName(QStringLiteral(" "));
        QPen pen(kColours[static_cast<std::size_t>(i)]);
        pen.setWidth(1);
        s->setPen(pen);
        chart->addSeries(s);
        s->attachAxis(timeAxis_);
        s->attachAxis(valueAxis_);
        series_[static_cast<std::size_t>(i)] = s;
    }
    // The view comes with a chart of its own, which setChart gives up without
    // deleting.
    QChart* placeholder = this->chart();
    setChart(chart);
    delete placeholder;
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::HorizontalRubberBand);
    setFocusPolicy(Qt::StrongFocus);

    connect(timeAxis_, &QDateTimeAxis::rangeChanged, this,
            [this](const QDateTime& min, const QDateTime& max) {
                if (settingRange_)
                    return;
                emit zoomedIn(AxisClock::fromAxis(min.toMSecsSinceEpoch()),
                              AxisClock::fromAxis(max.toMSecsSinceEpoch()));
            });
}

void CTchart1::setTitleText(const QString& text) {
    chart()->setTitle(text);
}

QString CTchart1::titleText() const {
    return chart()->title();
}

QLineSeries* CTchart1::series(int index) const {
    return validIndex(index) ? series_[static_cast<std::size_t>(index)] : nullptr;
}

void CTchart1::clearSeries(int index) {
    if (QLineSeries* s = series(index))
        s->clear();
}

void CTchart1::clearAll() {
    for (int i = 0; i < kSeriesCount; ++i)
        clearSeries(i);
}

void CTchart1::addSeries(int index, std::span<const double> times, std::span<const double> values) {
    QLineSeries* s = series(index);
    if (!s)
        return;
    const std::size_t n = std::min(times.size(), values.size());
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(n));
    AxisClock clock;
    for (std::size_t i = 0; i < n; ++i)
        points.append(QPointF(static_cast<qreal>(clock.toAxis(times[i])), values[i]));
    s->replace(points); // one update of the chart, not one per point
}

void CTchart1::setSeriesTitle(int index, const QString& title) {
    QLineSeries* s = series(index);
    if (!s || s->name() == title)
        return;
    s->setName(title);
}

void CTchart1::setSeriesShown(int index, bool shown) {
    if (QLineSeries* s = series(index))
        s->setVisible(shown);
}

bool CTchart1::seriesShown(int index) const {
    const QLineSeries* s = series(index);
    return s && s->isVisible();
}

void CTchart1::setTimeRange(double start, double end) {
    settingRange_ = true;
    timeAxis_->setRange(axisTime(start), axisTime(end));
    settingRange_ = false;
}

std::pair<double, double> CTchart1::timeRange() const {
    return {AxisClock::fromAxis(timeAxis_->min().toMSecsSinceEpoch()),
            AxisClock::fromAxis(timeAxis_->max().toMSecsSinceEpoch())};
}

void CTchart1::setValueAxisTitle(const QString& title) {
    valueAxis_->setTitleText(title);
}

QString CTchart1::valueAxisTitle() const {
    return valueAxis_->titleText();
}

void CTchart1::setValueRange(double low, double high) {
    valueAxis_->setRange(low, high);
    valueAxis_->applyNiceNumbers();
}

int CTchart1::plotColumns() const {
    const double plotWidth = chart()->plotArea().width();
    const int width = plotWidth >= 1.0 ? static_cast<int>(plotWidth + 0.999) : this->width();
    return std::max(width, 64);
}

void CTchart1::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit zoomOutRequested();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void CTchart1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        emit panRequested(event->key() == Qt::Key_Left ? -kPanStep : kPanStep);
        event->accept();
        return;
    }
    QChartView::keyPressEvent(event);
}

void CTchart1::wheelEvent(QWheelEvent* event) {
    // A notch is 120; away from the user or to the left goes back in time.
    const QPoint delta = event->angleDelta();
    const int notches = delta.x() != 0 ? delta.x() : delta.y();
    if (notches == 0) {
        event->ignore();
        return;
    }
    emit panRequested(-kPanStep * notches / 120.0);
    event->accept();
}

} // namespace vellumet::graph
