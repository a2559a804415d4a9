#include "graph_dialog.h"

#include "chart_drawing.h"
#include "time_chart.h"

#include "app/data_folder.h"
#include "app/widgets/message_box_messenger.h"
#include "sdcard/log_import.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace vellumet::graph {

namespace {

QString localText(const char* source) {
    return QCoreApplication::translate("GraphDialog", source);
}

// The wait cursor for as long as a drawing blocks the window.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

GraphDialog::GraphDialog(QString databasePath, app::Messenger& messenger, QWidget* parent,
                         const QDateTime& now)
    : QDialog(parent), databasePath_(std::move(databasePath)), messenger_(messenger) {
    using app::TextId;
    setWindowTitle(graphText(TextId::Graph));

    startDate_ = new QDateEdit(this);
    startTime_ = new QTimeEdit(this);
    endDate_ = new QDateEdit(this);
    endTime_ = new QTimeEdit(this);
    for (QDateEdit* e : {startDate_, endDate_}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        e->setAlignment(Qt::AlignRight);
    }
    for (QTimeEdit* e : {startTime_, endTime_}) {
        e->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        e->setAlignment(Qt::AlignRight);
    }
    kind_ = new QComboBox(this);
    kind_->addItem(graphText(TextId::Temperature));
    kind_->addItem(graphText(TextId::Humidity));
    kind_->setCurrentIndex(0);

    draw_ = new QPushButton(graphText(TextId::Export), this);
    exit_ = new QPushButton(graphText(TextId::Exit), this);
    wholeLog_ = new QPushButton(localText("Whole log"), this);
    zoomOut_ = new QPushButton(localText("Zoom out"), this);
    save_ = new QPushButton(localText("Save PNG..."), this);
    zoomOut_->setEnabled(false);
    draw_->setDefault(true);

    chart_ = new TimeChart(this);
    chart_->setToolTip(localText("Drag across the chart to zoom in, right-click to zoom out; the "
                                 "arrow keys and the mouse wheel move along the time axis."));
    chart_->setMinimumSize(800, 369);

    source_ = new QComboBox(this);
    source_->addItem(localText("Last import"));
    source_->addItem(localText("All downloads"));
    source_->setCurrentIndex(LastImport);
    source_->setToolTip(localText("Draw the last imported log, or the history of every download."));
    channelList_ = new QListWidget(this);
    channelList_->setToolTip(localText("Tick the channels to draw (at most four); double-click a "
                                       "channel to give it a name."));
    channelList_->setEditTriggers(QAbstractItemView::DoubleClicked |
                                  QAbstractItemView::EditKeyPressed);
    channelList_->setMaximumWidth(180);
    channelList_->setVisible(false);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setVisible(false);

    auto* controls = new QGridLayout;
    controls->addWidget(new QLabel(graphText(TextId::StartTime), this), 0, 0);
    controls->addWidget(startDate_, 0, 1);
    controls->addWidget(startTime_, 0, 2);
    controls->addWidget(kind_, 0, 3);
    controls->addWidget(source_, 0, 4, Qt::AlignRight);
    controls->addWidget(draw_, 0, 5);
    controls->addWidget(exit_, 0, 6);
    controls->addWidget(new QLabel(graphText(TextId::EndTime), this), 1, 0);
    controls->addWidget(endDate_, 1, 1);
    controls->addWidget(endTime_, 1, 2);
    controls->addWidget(wholeLog_, 1, 3);
    controls->addWidget(progress_, 1, 4);
    controls->addWidget(zoomOut_, 1, 5);
    controls->addWidget(save_, 1, 6);
    controls->setColumnStretch(4, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    auto* body = new QHBoxLayout;
    body->addWidget(chart_, 1);
    body->addWidget(channelList_);
    layout->addLayout(body, 1);

    setPickers(openingPickers(now));

    connect(draw_, &QPushButton::clicked, this, [this] { drawGraph(); });
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(wholeLog_, &QPushButton::clicked, this, [this] { showWholeLog(); });
    connect(zoomOut_, &QPushButton::clicked, this, [this] { zoomOut(); });
    connect(save_, &QPushButton::clicked, this, [this] { askAndSave(); });
    connect(chart_, &TimeChart::zoomedIn, this,
            [this](double start, double end) { zoomIn(start, end); });
    connect(chart_, &TimeChart::zoomOutRequested, this, [this] { zoomOut(); });
    connect(chart_, &TimeChart::panRequested, this, [this](double fraction) { pan(fraction); });
    connect(source_, &QComboBox::currentIndexChanged, this, [this] { sourceChanged(); });
    connect(channelList_, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { channelItemChanged(item); });
}

GraphDialog::~GraphDialog() {
    stopJob();
}

PickerValues GraphDialog::pickers() const {
    return {startDate_->date(), startTime_->time(), endDate_->date(), endTime_->time()};
}

void GraphDialog::setPickers(const PickerValues& values) {
    startDate_->setDate(values.startDate);
    startTime_->setTime(values.startTime);
    endDate_->setDate(values.endDate);
    endTime_->setTime(values.endTime);
}

// The database is opened at the first draw of a showing and kept for the
// zooms and pans that follow; a failed read closes it, so the next draw tries
// afresh.
bool GraphDialog::openStore() {
    if (store_.isOpen())
        return true;
    if (Status s = store_.openDatabase(app::nativePath(databasePath_)); !s) {
        messenger_.error(s.error());
        return false;
    }
    return true;
}

bool GraphDialog::drawGraph() {
    Result<Window> window = composeWindow(pickers());
    if (!window) {
        messenger_.error(window.error());
        return false;
    }
    if (window->start > window->end) {
        messenger_.info(graphText(app::TextId::TimeError));
        return false;
    }
    zoomHistory_.clear();
    zoomOut_->setEnabled(false);
    if (kind_->currentIndex() < 0) {
        chart_->clearAll();
        return false;
    }
    const GraphKind kind =
        kind_->currentIndex() == 1 ? GraphKind::Humidity : GraphKind::Temperature;
    if (showsHistory())
        return drawRange(kind, window->start, window->end);
    // The log may have been imported anew since the last drawing.
    clock_.reset();
    if (!openStore() || !clock()) {
        chart_->clearAll();
        return false;
    }
    nameLog();
    // The end of the window takes in the second pass of a repeated hour.
    return drawRange(kind, clock_->toAxis(window->start), clock_->toAxis(window->end, true));
}

void GraphDialog::nameLog() {
    // The log the import noted beside its rows, in the title.
    const Result<std::optional<std::string>> name = store_.readParam(sdcard::kParamLogFile);
    QString title = graphText(app::TextId::Graph);
    if (name && *name && !(*name)->empty())
        title += QStringLiteral(" – ") + QString::fromStdString(**name);
    setWindowTitle(title);
}

const WallClockAxis* GraphDialog::clock() {
    if (!clock_) {
        Result<WallClockAxis> read = WallClockAxis::ofStore(store_);
        if (!read) {
            messenger_.info(QString::fromStdString(read.error().text()));
            return nullptr;
        }
        // The gaps are those of the whole log, whatever part of it is shown.
        Result<double> interval = logIntervalSeconds(store_);
        if (!interval) {
            messenger_.info(QString::fromStdString(interval.error().text()));
            return nullptr;
        }
        clock_ = std::move(*read);
        intervalSeconds_ = *interval;
    }
    return &*clock_;
}

bool GraphDialog::drawRange(GraphKind kind, double start, double end) {
    drawnKind_ = kind;
    drawnRange_ = {start, end};
    if (showsHistory())
        return drawHistory(kind, start, end);
    BusyCursor busy;
    if (!openStore() || !clock()) {
        chart_->clearAll();
        return false;
    }
    DrawRequest request;
    request.kind = kind;
    std::tie(request.start, request.end) = clock_->wallSpan(start, end);
    request.positions = std::pair{start, end};
    request.clock = &*clock_;
    request.intervalSeconds = intervalSeconds_;
    request.unitText = unitText_;
    if (Status s = drawWindow(*chart_, store_, request); !s) {
        store_.close();
        messenger_.error(s.error());
        return false;
    }
    return true;
}

void GraphDialog::hideEvent(QHideEvent* event) {
    stopJob();
    store_.close();
    QDialog::hideEvent(event);
}

bool GraphDialog::zoomIn(double start, double end) {
    if (!(end > start))
        return false;
    zoomHistory_.push_back(drawnRange_);
    zoomOut_->setEnabled(true);
    return drawRange(drawnKind_, start, end);
}

bool GraphDialog::zoomOut() {
    if (zoomHistory_.empty())
        return false;
    const auto [start, end] = zoomHistory_.back();
    zoomHistory_.pop_back();
    zoomOut_->setEnabled(!zoomHistory_.empty());
    return drawRange(drawnKind_, start, end);
}

bool GraphDialog::pan(double fraction) {
    const auto [start, end] = drawnRange_;
    if (!(end > start) || !std::isfinite(fraction) || fraction == 0.0)
        return false;
    const double shift = (end - start) * fraction;
    zoomHistory_.push_back(drawnRange_);
    zoomOut_->setEnabled(true);
    return drawRange(drawnKind_, start + shift, end + shift);
}

bool GraphDialog::showWholeLog() {
    if (showsHistory()) {
        const std::vector<ArchiveChannel> ticked = tickedChannels();
        if (ticked.empty()) {
            messenger_.info(localText("Tick one or more channels of the list first."));
            return false;
        }
        double first = std::numeric_limits<double>::max();
        double last = std::numeric_limits<double>::lowest();
        for (const ArchiveChannel& c : ticked) {
            first = std::min(first, c.first);
            last = std::max(last, c.last);
        }
        setPickers(pickersForSpan(first, last));
        return drawGraph();
    }
    if (!openStore())
        return false;
    Result<std::optional<store::RecordStore::TimeSpan>> span = store_.timeSpan();
    if (!span) {
        store_.close();
        messenger_.error(span.error());
        return false;
    }
    if (!*span) {
        messenger_.info(localText("The record database holds no readings."));
        return false;
    }
    setPickers(pickersForSpan((*span)->first, (*span)->last));
    return drawGraph();
}

bool GraphDialog::saveChart(const QString& path) {
    if (Status s = writePng(*chart_, path); !s) {
        messenger_.error(s.error());
        return false;
    }
    return true;
}

void GraphDialog::askAndSave() {
    QString path = QFileDialog::getSaveFileName(this, localText("Save the graph"),
                                                QDir::home().filePath(QStringLiteral("graph.png")),
                                                localText("PNG images (*.png)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    saveChart(path);
}

} // namespace vellumet::graph
