#pragma once

#include "app/messenger.h"
#include "graph/archive_curves.h"
#include "graph/graph_plan.h"
#include "store/record_store.h"

#include <QDateTime>
#include <QDialog>

#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QHideEvent;
class QShowEvent;
class QDateEdit;
class QPushButton;
class QTimeEdit;

namespace vellumet::graph {

class TimeChart;

// The graph window: pick a time window and a kind, draw the curves of the
// imported log; zoom into a range with the mouse and back out, jump to the
// whole log, save the picture. Instead of the last import it draws the history
// of all downloads: a curve for each channel ticked in its list, read on a
// worker thread while a progress bar shows how far it got. A channel of the
// list is named by editing its entry.
class GraphDialog : public QDialog {
    Q_OBJECT
public:
    // now: the moment the window counts its opening hour back from.
    GraphDialog(QString databasePath, app::Messenger& messenger, QWidget* parent = nullptr,
                const QDateTime& now = QDateTime::currentDateTime());
    ~GraphDialog() override;

    // The value-axis title of the temperature graph, e.g. "(°C)".
    void setUnitText(const QString& unitText) { unitText_ = unitText; }

    // The draw button. Returns whether a picture was drawn.
    bool drawGraph();
    // Back to the range shown before the last zoom or move; false when there
    // is none.
    bool zoomOut();
    // Draws the range start..end of the time axis (places on the log's axis)
    // of the kind last drawn, remembering the range shown now for zoomOut.
    bool zoomIn(double start, double end);
    // Sets the pickers to the whole log and draws it.
    bool showWholeLog();
    // Moves the range shown by a share of its width (negative: earlier) and
    // reads it afresh; zoomOut goes back a step.
    bool pan(double fraction);
    bool saveChart(const QString& path);

    // The source of the curves: 0 the last import, 1 all downloads.
    enum Source { LastImport = 0, AllDownloads = 1 };
    bool showsHistory() const;
    // The history's channels as listed, and whether a read of it is running.
    const std::vector<ArchiveChannel>& historyChannels() const { return historyChannels_; }
    bool isReading() const;
    // Gives a listed channel a name (empty: takes it away), kept in the
    // history for its station; false, with a message, when it cannot.
    bool nameChannel(int row, const QString& name);

    TimeChart* chart() const { return chart_; }
    QDateEdit* startDateEdit() const { return startDate_; }
    QTimeEdit* startTimeEdit() const { return startTime_; }
    QDateEdit* endDateEdit() const { return endDate_; }
    QTimeEdit* endTimeEdit() const { return endTime_; }
    QComboBox* kindBox() const { return kind_; }
    QPushButton* drawButton() const { return draw_; }
    QPushButton* exitButton() const { return exit_; }
    QPushButton* wholeLogButton() const { return wholeLog_; }
    QPushButton* zoomOutButton() const { return zoomOut_; }
    QPushButton* saveButton() const { return save_; }
    QComboBox* sourceBox() const { return source_; }
    QListWidget* channelList() const { return channelList_; }
    QProgressBar* progressBar() const { return progress_; }

    PickerValues pickers() const;
    void setPickers(const PickerValues& values);

signals:
    // The history's channel list was read (or could not be).
    void historyListed(bool ok);
    // A drawing of the history is on the chart (or failed or was cancelled).
    void historyDrawn(bool ok);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Draws a range of the time axis (places on the log's axis).
    bool drawRange(GraphKind kind, double start, double end);
    // How the log's times lie on the axis, read once per drawing from the
    // pickers.
    const WallClockAxis* clock();
    // Names the log of the open store in the window's title.
    void nameLog();
    bool openStore();
    void askAndSave();

    // The history: its channel list, the curves of the ticked channels.
    void sourceChanged();
    void listHistory();
    void fillChannelList(std::vector<ArchiveChannel> channels);
    void channelItemChanged(QListWidgetItem* item);
    std::vector<ArchiveChannel> tickedChannels() const;
    bool drawHistory(GraphKind kind, double start, double end);
    void showHistoryCurves(GraphKind kind, const std::vector<LoadedCurve>& curves);
    std::string archivePath() const;
    // Changes whenever the history file is written.
    QString historySignature() const;
    // Runs work on the worker thread and done with its outcome here; a job
    // started later, or the window going, cancels it and drops its outcome.
    template <typename Value>
    void
    runJob(std::function<Result<Value>(std::stop_token, const std::function<void(double)>&)> work,
           std::function<void(Result<Value>)> done);
    void stopJob();

    QString databasePath_;
    app::Messenger& messenger_;
    QString unitText_;
    store::RecordStore store_;

    TimeChart* chart_ = nullptr;
    QDateEdit* startDate_ = nullptr;
    QTimeEdit* startTime_ = nullptr;
    QDateEdit* endDate_ = nullptr;
    QTimeEdit* endTime_ = nullptr;
    QComboBox* kind_ = nullptr;
    QPushButton* draw_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPushButton* wholeLog_ = nullptr;
    QPushButton* zoomOut_ = nullptr;
    QPushButton* save_ = nullptr;
    QComboBox* source_ = nullptr;
    QListWidget* channelList_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::vector<ArchiveChannel> historyChannels_;
    QString listedSignature_; // of the history historyChannels_ were read from
    bool fillingList_ = false;
    std::jthread worker_;
    int job_ = 0; // the job whose outcome is awaited
    bool reading_ = false;

    // What is drawn now, and the ranges shown before each zoom.
    GraphKind drawnKind_ = GraphKind::Temperature;
    std::pair<double, double> drawnRange_{0.0, 0.0};
    std::vector<std::pair<double, double>> zoomHistory_;
    std::optional<WallClockAxis> clock_;
    double intervalSeconds_ = 0.0; // the log's, read with clock_
};

} // namespace vellumet::graph
