#pragma once

#include "app/messenger.h"
#include "graph/graph_plan.h"
#include "store/record_store.h"

#include <QDateTime>
#include <QDialog>

#include <utility>
#include <vector>

class QComboBox;
class QHideEvent;
class QDateEdit;
class QPushButton;
class QTimeEdit;

namespace vellumet::graph {

class TimeChart;

// The graph window: pick a time window and a kind, draw the curves of the
// imported log; zoom into a range with the mouse and back out, jump to the
// whole log, save the picture.
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

    PickerValues pickers() const;
    void setPickers(const PickerValues& values);

protected:
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

    // What is drawn now, and the ranges shown before each zoom.
    GraphKind drawnKind_ = GraphKind::Temperature;
    std::pair<double, double> drawnRange_{0.0, 0.0};
    std::vector<std::pair<double, double>> zoomHistory_;
    std::optional<WallClockAxis> clock_;
};

} // namespace vellumet::graph
