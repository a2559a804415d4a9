#include "time_chart.h"

#include "graph/graph_plan.h"

#include <QCategoryAxis>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace vellumet::graph {

namespace {

const std::array<QColor, TimeChart::kSeriesCount> kColours = {
    QColor(0xFF, 0x00, 0x00), QColor(0x00, 0x80, 0x00), QColor(0x00, 0x80, 0xFF),
    QColor(0xFF, 0x80, 0x00)};

// One step of panning, as a share of the range shown.
constexpr double kPanStep = 0.1;

// Room a mark's text takes on the time axis, in pixels.
constexpr int kPixelsPerTimeMark = 130;

bool validIndex(int index) {
    return index >= 0 && index < TimeChart::kSeriesCount;
}

} // namespace

TimeChart::TimeChart(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart();
    chart->setTitle(QStringLiteral(" "));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setVisible(true);

    timeAxis_ = new QCategoryAxis(chart);
    timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    valueAxis_ = new QValueAxis(chart);
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);

    for (int i = 0; i < kSeriesCount; ++i) {
        auto* s = new QLineSeries(chart);
        s->setName(QStringLiteral(" "));
        QPen pen(kColours[static_cast<std::size_t>(i)]);
        // The first curve a little wider, the others dashed over it: where
        // they are equal (heat index in the cool) both stay visible.
        pen.setWidth(i == 0 ? 2 : 1);
        if (i > 0)
            pen.setStyle(i == 1 ? Qt::DashLine : Qt::DashDotLine);
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

    emptyText_ = new QGraphicsSimpleTextItem(chart);
    QFont font = emptyText_->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    emptyText_->setFont(font);
    emptyText_->setVisible(false);
    emptyText_->setZValue(10);
    connect(chart, &QChart::plotAreaChanged, this, [this] { placeEmptyText(); });

    connect(timeAxis_, &QValueAxis::rangeChanged, this, [this](qreal min, qreal max) {
        if (settingRange_)
            return;
        emit zoomedIn(min, max);
    });
}

void TimeChart::setEmptyText(const QString& text) {
    emptyText_->setText(text);
    emptyText_->setVisible(!text.isEmpty());
    chart()->legend()->setVisible(text.isEmpty());
    placeEmptyText();
}

QString TimeChart::emptyText() const {
    return emptyText_->isVisible() ? emptyText_->text() : QString();
}

void TimeChart::placeEmptyText() {
    const QRectF area = chart()->plotArea();
    const QRectF box = emptyText_->boundingRect();
    emptyText_->setPos(area.center() - box.center());
}

void TimeChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    markTimeAxis();
}

QStringList TimeChart::timeLabels() const {
    QStringList labels;
    for (const QString& label : timeAxis_->categoriesLabels())
        labels.append(label.trimmed().remove(QChar(0x2060)));
    return labels;
}

void TimeChart::markTimeAxis() {
    const bool setting = std::exchange(settingRange_, true);
    markTimeAxisNow();
    settingRange_ = setting;
}

void TimeChart::markTimeAxisNow() {
    const QStringList old = timeAxis_->categoriesLabels();
    for (const QString& label : old)
        timeAxis_->remove(label);
    const double from = timeAxis_->min();
    const double to = timeAxis_->max();
    // The plot area is only laid out for the new range later; the view's
    // width less the value axis is near enough.
    const int marks = std::max(2, (this->width() - 100) / kPixelsPerTimeMark);
    timeAxis_->setStartValue(from);
    QStringList used;
    for (const TimeTick& tick : timeTicks(clock_, from, to, marks)) {
        // The axis keys its marks by text; an hour the clock runs through
        // twice shows the same texts again, told apart by invisible joiners.
        QString label = tick.label;
        while (used.contains(label))
            label += QChar(0x2060);
        used.append(label);
        timeAxis_->append(label, tick.position);
    }
}

void TimeChart::setTitleText(const QString& text) {
    chart()->setTitle(text);
}

QString TimeChart::titleText() const {
    return chart()->title();
}

QLineSeries* TimeChart::series(int index) const {
    return validIndex(index) ? series_[static_cast<std::size_t>(index)] : nullptr;
}

void TimeChart::clearSeries(int index) {
    if (QLineSeries* s = series(index))
        s->clear();
}

void TimeChart::clearAll() {
    for (int i = 0; i < kSeriesCount; ++i)
        clearSeries(i);
}

void TimeChart::addSeries(int index, std::span<const double> times,
                          std::span<const double> values) {
    QLineSeries* s = series(index);
    if (!s)
        return;
    const std::size_t n = std::min(times.size(), values.size());
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
        points.append(QPointF(times[i], values[i]));
    s->replace(points); // one update of the chart, not one per point
}

void TimeChart::setSeriesTitle(int index, const QString& title) {
    QLineSeries* s = series(index);
    if (!s || s->name() == title)
        return;
    s->setName(title);
}

void TimeChart::setSeriesShown(int index, bool shown) {
    if (QLineSeries* s = series(index))
        s->setVisible(shown);
}

bool TimeChart::seriesShown(int index) const {
    const QLineSeries* s = series(index);
    return s && s->isVisible();
}

void TimeChart::setTimeRange(double start, double end) {
    settingRange_ = true;
    timeAxis_->setRange(start, end);
    markTimeAxis();
    settingRange_ = false;
}

std::pair<double, double> TimeChart::timeRange() const {
    return {timeAxis_->min(), timeAxis_->max()};
}

void TimeChart::setValueAxisTitle(const QString& title) {
    valueAxis_->setTitleText(title);
}

QString TimeChart::valueAxisTitle() const {
    return valueAxis_->titleText();
}

void TimeChart::setValueRange(double low, double high) {
    valueAxis_->setRange(low, high);
    valueAxis_->applyNiceNumbers();
}

int TimeChart::plotColumns() const {
    const double plotWidth = chart()->plotArea().width();
    const int width = plotWidth >= 1.0 ? static_cast<int>(plotWidth + 0.999) : this->width();
    return std::max(width, 64);
}

void TimeChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit zoomOutRequested();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TimeChart::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        emit panRequested(event->key() == Qt::Key_Left ? -kPanStep : kPanStep);
        event->accept();
        return;
    }
    QChartView::keyPressEvent(event);
}

void TimeChart::wheelEvent(QWheelEvent* event) {
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
