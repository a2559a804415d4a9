// The graph window's second source: the history of all downloads.

#include "graph_dialog.h"

#include "time_chart.h"

#include "app/data_folder.h"
#include "store/automation_date.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vellumet::graph {

namespace {

QString localText(const char* source) {
    return QCoreApplication::translate("GraphDialog", source);
}

constexpr int kMaxTicked = TimeChart::kSeriesCount;
constexpr int kChannelRole = Qt::UserRole;

} // namespace

bool GraphDialog::showsHistory() const {
    return source_->currentIndex() == AllDownloads;
}

bool GraphDialog::isReading() const {
    return reading_;
}

std::string GraphDialog::archivePath() const {
    return store::archivePathBeside(app::nativePath(databasePath_));
}

QString GraphDialog::historySignature() const {
    const QFileInfo file(app::fromNativePath(archivePath()));
    if (!file.exists())
        return {};
    return QString::number(file.lastModified().toMSecsSinceEpoch()) + QLatin1Char('/') +
           QString::number(file.size());
}

void GraphDialog::stopJob() {
    ++job_;
    reading_ = false;
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    progress_->setVisible(false);
}

template <typename Value>
void GraphDialog::runJob(
    std::function<Result<Value>(std::stop_token, const std::function<void(double)>&)> work,
    std::function<void(Result<Value>)> done) {
    stopJob();
    const int job = job_;
    reading_ = true;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setVisible(true);
    worker_ = std::jthread([this, job, work = std::move(work),
                            done = std::move(done)](std::stop_token stop) mutable {
        int shown = 0;
        const std::function<void(double)> progress = [this, job, &shown](double share) {
            const int percent = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * 100));
            if (percent == shown)
                return;
            shown = percent;
            QMetaObject::invokeMethod(
                this,
                [this, job, percent] {
                    if (job == job_)
                        progress_->setValue(percent);
                },
                Qt::QueuedConnection);
        };
        auto outcome = std::make_shared<Result<Value>>(work(stop, progress));
        // Queued to this window: dropped when the window has gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, job, outcome, done = std::move(done)] {
                if (job != job_)
                    return;
                reading_ = false;
                progress_->setVisible(false);
                done(std::move(*outcome));
            },
            Qt::QueuedConnection);
    });
}

void GraphDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Hiding the window cancels a listing that had not finished.
    if (showsHistory() && historyChannels_.empty() && !reading_)
        listHistory();
}

void GraphDialog::sourceChanged() {
    stopJob();
    zoomHistory_.clear();
    zoomOut_->setEnabled(false);
    chart_->clearAll();
    if (!showsHistory()) {
        channelList_->setVisible(false);
        chart_->setEmptyText({});
        setWindowTitle(graphText(app::TextId::Graph));
        return;
    }
    channelList_->setVisible(true);
    setWindowTitle(graphText(app::TextId::Graph) + QStringLiteral(" – ") +
                   localText("All downloads"));
    listHistory();
}

void GraphDialog::listHistory() {
    // Listing a large history reads every reading once: a history that has
    // not changed since is not read again.
    const QString signature = historySignature();
    if (!signature.isEmpty() && signature == listedSignature_) {
        fillChannelList(historyChannels_);
        emit historyListed(true);
        return;
    }
    const std::string path = archivePath();
    runJob<std::vector<ArchiveChannel>>(
        [path](std::stop_token,
               const std::function<void(double)>&) -> Result<std::vector<ArchiveChannel>> {
            store::Archive archive;
            if (Status s = archive.openExisting(path); !s)
                return s.error();
            return archiveChannels(archive);
        },
        [this, signature](Result<std::vector<ArchiveChannel>> channels) {
            if (!channels) {
                listedSignature_.clear();
                fillChannelList({});
                if (channels.code() == Errc::NoReadings)
                    messenger_.info(localText("No downloads are kept yet: the history begins with "
                                              "the next import."));
                else
                    messenger_.error(channels.error());
                emit historyListed(false);
                return;
            }
            listedSignature_ = signature;
            fillChannelList(std::move(*channels));
            emit historyListed(true);
        });
    // How long a listing takes is not known beforehand.
    progress_->setRange(0, 0);
}

void GraphDialog::fillChannelList(std::vector<ArchiveChannel> channels) {
    // Ticks survive a new listing of the same channels.
    std::vector<int> ticked;
    for (const ArchiveChannel& c : tickedChannels())
        ticked.push_back(c.channel);
    fillingList_ = true;
    channelList_->clear();
    historyChannels_ = std::move(channels);
    for (const ArchiveChannel& c : historyChannels_) {
        auto* item = new QListWidgetItem(c.label, channelList_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        item->setData(kChannelRole, c.channel);
        item->setToolTip(
            QString::fromStdString(store::channelName(c.channel)) + QStringLiteral(": ") +
            QString::fromStdString(store::formatDateTime(c.first)) + QStringLiteral(" – ") +
            QString::fromStdString(store::formatDateTime(c.last)));
        const bool on = std::find(ticked.begin(), ticked.end(), c.channel) != ticked.end();
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    fillingList_ = false;
    if (historyChannels_.empty())
        chart_->setEmptyText(localText("The history holds no readings."));
    else if (tickedChannels().empty())
        chart_->setEmptyText(localText("Tick one or more channels to draw them."));
}

std::vector<ArchiveChannel> GraphDialog::tickedChannels() const {
    std::vector<ArchiveChannel> out;
    for (int row = 0; row < channelList_->count(); ++row)
        if (channelList_->item(row)->checkState() == Qt::Checked &&
            static_cast<std::size_t>(row) < historyChannels_.size())
            out.push_back(historyChannels_[static_cast<std::size_t>(row)]);
    return out;
}

void GraphDialog::channelItemChanged(QListWidgetItem* item) {
    if (fillingList_)
        return;
    const int row = channelList_->row(item);
    if (row < 0 || static_cast<std::size_t>(row) >= historyChannels_.size())
        return;
    if (item->text() != historyChannels_[static_cast<std::size_t>(row)].label) {
        nameChannel(row, item->text());
        return;
    }
    if (item->checkState() == Qt::Checked &&
        static_cast<int>(tickedChannels().size()) > kMaxTicked) {
        fillingList_ = true;
        item->setCheckState(Qt::Unchecked);
        fillingList_ = false;
        messenger_.info(localText("At most four channels are drawn at once."));
        return;
    }
    // The time span follows the channels ticked.
    if (tickedChannels().empty()) {
        stopJob();
        chart_->clearAll();
        chart_->setEmptyText(localText("Tick one or more channels to draw them."));
        return;
    }
    showWholeLog();
}

bool GraphDialog::nameChannel(int row, const QString& text) {
    if (row < 0 || static_cast<std::size_t>(row) >= historyChannels_.size())
        return false;
    ArchiveChannel& channel = historyChannels_[static_cast<std::size_t>(row)];
    const QString name = text.trimmed();
    const auto restore = [this, row, &channel] {
        fillingList_ = true;
        channelList_->item(row)->setText(channel.label);
        fillingList_ = false;
    };
    if (const std::optional<QString> problem = channelNameProblem(name)) {
        restore();
        messenger_.info(*problem);
        return false;
    }
    const QString signatureBefore = historySignature();
    store::Archive archive;
    Status saved = archive.open(archivePath());
    if (saved)
        saved = archive.setName(channel.station, channel.channel, name.toStdString());
    if (!saved) {
        restore();
        messenger_.error(saved.error());
        return false;
    }
    // The list stays that of the history as it is now.
    if (listedSignature_ == signatureBefore)
        listedSignature_ = historySignature();
    // Without a name of its own, a name given without a station may show.
    channel.label = channelLabel(archive, channel.station, channel.channel);
    channel.named = !name.isEmpty();
    restore();
    // The legend names the curves drawn now.
    const std::vector<ArchiveChannel> ticked = tickedChannels();
    for (std::size_t i = 0; i < ticked.size(); ++i)
        chart_->setSeriesTitle(static_cast<int>(i), ticked[i].label);
    return true;
}

bool GraphDialog::drawHistory(GraphKind kind, double start, double end) {
    const std::vector<ArchiveChannel> ticked = tickedChannels();
    chart_->clearAll();
    chart_->setTitleText(graphText(kindPlan(kind).chartTitle));
    for (int i = 0; i < TimeChart::kSeriesCount; ++i) {
        const bool shown = static_cast<std::size_t>(i) < ticked.size();
        chart_->setSeriesShown(i, shown);
        if (shown)
            chart_->setSeriesTitle(i, ticked[static_cast<std::size_t>(i)].label);
    }
    // The history keeps wall-clock times: each is its own place on the axis.
    chart_->setClock(WallClockAxis());
    chart_->setTimeRange(start, end);
    chart_->setValueAxisTitle(valueAxisTitle(kind, unitText_));
    if (ticked.empty()) {
        stopJob();
        chart_->setEmptyText(localText("Tick one or more channels to draw them."));
        return false;
    }
    chart_->setEmptyText({});
    constexpr int kColumnsPerPixel = 4;
    const int columns = chart_->plotColumns() * kColumnsPerPixel;
    const std::string path = archivePath();
    runJob<std::vector<LoadedCurve>>(
        [path, ticked, kind, start, end,
         columns](std::stop_token stop,
                  const std::function<void(double)>& progress) -> Result<std::vector<LoadedCurve>> {
            store::Archive archive;
            if (Status s = archive.openExisting(path); !s)
                return s.error();
            return loadArchiveCurves(archive, ticked, kind, start, end, columns, stop, progress);
        },
        [this, kind](Result<std::vector<LoadedCurve>> curves) {
            if (!curves) {
                chart_->clearAll();
                messenger_.error(curves.error());
                emit historyDrawn(false);
                return;
            }
            showHistoryCurves(kind, *curves);
            emit historyDrawn(true);
        });
    return true;
}

void GraphDialog::showHistoryCurves(GraphKind kind, const std::vector<LoadedCurve>& curves) {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const LoadedCurve& curve : curves)
        for (double v : curve.points.values) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    const auto [from, to] = chart_->timeRange();
    if (low > high) {
        chart_->setEmptyText(localText("No readings between %1 and %2")
                                 .arg(QString::fromStdString(store::formatDateTime(from)),
                                      QString::fromStdString(store::formatDateTime(to))));
        low = kind == GraphKind::Humidity ? 0.0 : -10.0;
        high = kind == GraphKind::Humidity ? 100.0 : 40.0;
    }
    const double margin = std::max((high - low) * 0.05, 0.5);
    chart_->setValueRange(std::floor(low - margin), std::ceil(high + margin));
    for (const LoadedCurve& curve : curves)
        chart_->addSeries(curve.plan.series, curve.points.times, curve.points.values, curve.parts);
}

} // namespace vellumet::graph
