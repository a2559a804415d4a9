#include "time_chart.h"

#include "graph/graph_plan.h"

#include <QCategoryAxis>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
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
    for (int i = 0; i < kSeriesCount; ++i) {
        auto* dots = new QScatterSeries(chart);
        dots->setColor(kColours[static_cast<std::size_t>(i)]);
        dots->setBorderColor(kColours[static_cast<std::size_t>(i)]);
        dots->setMarkerSize(i == 0 ? 5.0 : 4.0);
        chart->addSeries(dots);
        dots->attachAxis(timeAxis_);
        dots->attachAxis(valueAxis_);
        dots->setVisible(false);
        lone_[static_cast<std::size_t>(i)] = dots;
    }
    // The view comes with a chart of its own, which setChart gives up without
    // deleting.
    QChart* placeholder = this->chart();
    setChart(chart);
    delete placeholder;
    for (QScatterSeries* dots : lone_)
        hideFromLegend(dots);
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
    QLineSeries* s = series(index);
    if (!s)
        return;
    s->clear();
    for (QLineSeries* part : parts_[static_cast<std::size_t>(index)]) {
        part->clear();
        part->setVisible(false);
    }
    lone_[static_cast<std::size_t>(index)]->clear();
    lone_[static_cast<std::size_t>(index)]->setVisible(false);
}

void TimeChart::hideFromLegend(QAbstractSeries* series) {
    for (QLegendMarker* marker : chart()->legend()->markers(series))
        marker->setVisible(false);
}

QLineSeries* TimeChart::newPart(int index) {
    auto* part = new QLineSeries(chart());
    part->setPen(series(index)->pen());
    chart()->addSeries(part);
    part->attachAxis(timeAxis_);
    part->attachAxis(valueAxis_);
    parts_[static_cast<std::size_t>(index)].push_back(part);
    return part;
}

QList<QPointF> TimeChart::curvePoints(int index) const {
    QList<QPointF> points;
    if (const QLineSeries* s = series(index)) {
        points = s->points();
        for (const QLineSeries* part : parts_[static_cast<std::size_t>(index)])
            points += part->points();
    }
    return points;
}

int TimeChart::partCount(int index) const {
    const QLineSeries* s = series(index);
    if (!s || s->count() == 0)
        return 0;
    const auto& parts = parts_[static_cast<std::size_t>(index)];
    return 1 + static_cast<int>(std::count_if(parts.begin(), parts.end(),
                                              [](const QLineSeries* p) { return p->count() > 0; }));
}

QScatterSeries* TimeChart::lonePoints(int index) const {
    return validIndex(index) ? lone_[static_cast<std::size_t>(index)] : nullptr;
}

void TimeChart::clearAll() {
    for (int i = 0; i < kSeriesCount; ++i)
        clearSeries(i);
}

void TimeChart::addSeries(int index, std::span<const double> times, std::span<const double> values,
                          const CurveParts& parts) {
    QLineSeries* s = series(index);
    if (!s)
        return;
    const std::size_t n = std::min(times.size(), values.size());
    const CurveParts whole = parts.empty() ? CurveParts{{0, n}} : parts;
    const auto pointsOf = [&](std::pair<std::size_t, std::size_t> part) {
        QList<QPointF> points;
        const std::size_t end = std::min(part.second, n);
        points.reserve(static_cast<qsizetype>(end > part.first ? end - part.first : 0));
        for (std::size_t i = part.first; i < end; ++i)
            points.append(QPointF(times[i], values[i]));
        return points;
    };
    s->replace(pointsOf(whole.front())); // one update of the chart, not one per point
    auto& more = parts_[static_cast<std::size_t>(index)];
    const bool shown = s->isVisible();
    QList<QPointF> alone;
    for (std::size_t k = 0; k < whole.size(); ++k) {
        if (whole[k].second - whole[k].first == 1 && whole[k].second <= n)
            alone.append(QPointF(times[whole[k].first], values[whole[k].first]));
        if (k == 0)
            continue;
        QLineSeries* part = k - 1 < more.size() ? more[k - 1] : newPart(index);
        part->replace(pointsOf(whole[k]));
        part->setVisible(shown);
        hideFromLegend(part);
    }
    for (std::size_t k = whole.size() > 0 ? whole.size() - 1 : 0; k < more.size(); ++k) {
        more[k]->clear();
        more[k]->setVisible(false);
    }
    QScatterSeries* dots = lone_[static_cast<std::size_t>(index)];
    dots->replace(alone);
    dots->setVisible(shown && !alone.isEmpty());
    hideFromLegend(dots);
}

void TimeChart::setSeriesTitle(int index, const QString& title) {
    QLineSeries* s = series(index);
    if (!s || s->name() == title)
        return;
    s->setName(title);
}

void TimeChart::setSeriesShown(int index, bool shown) {
    QLineSeries* s = series(index);
    if (!s)
        return;
    s->setVisible(shown);
    for (QLineSeries* part : parts_[static_cast<std::size_t>(index)]) {
        part->setVisible(shown && part->count() > 0);
        hideFromLegend(part);
    }
    QScatterSeries* dots = lone_[static_cast<std::size_t>(index)];
    dots->setVisible(shown && dots->count() > 0);
    hideFromLegend(dots);
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
