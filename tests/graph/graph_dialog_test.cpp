#include "../ui/recording_messenger.h"
#include "graph/widgets/chart_drawing.h"
#include "graph/widgets/graph_dialog.h"
#include "graph/widgets/time_chart.h"
#include "graph_fixture.h"

#include "app/text_table.h"
#include "cli/cli.h"
#include "store/automation_date.h"

#include <QCategoryAxis>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QValueAxis>
#include <QWheelEvent>

#include <sstream>

using namespace vellumet;
using namespace vellumet::graph;

namespace {

class GraphDialogTest : public graph::test::LogDatabase {
public:
    void open() {
        dialog = std::make_unique<GraphDialog>(database, messenger, nullptr,
                                               QDateTime(QDate(2024, 3, 5), QTime(11, 0, 0)));
        dialog->setUnitText(QStringLiteral("(\u00b0C)"));
        dialog->resize(1000, 600);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void pick(QTime start, QTime end, int kind) {
        dialog->setPickers({QDate(2024, 3, 5), start, QDate(2024, 3, 5), end});
        dialog->kindBox()->setCurrentIndex(kind);
    }
    qsizetype points(int series) const { return dialog->chart()->series(series)->count(); }

    vellumet::test::RecordingMessenger messenger;
    std::unique_ptr<GraphDialog> dialog;
};

TEST_F(GraphDialogTest, DrawsTheKindsCurvesTitlesAndRange) {
    importLog("2024-03-05 10:00:00,20.5,50,--,--\n"
              "2024-03-05 10:01:00,20.7,51,--,--\n"
              "2024-03-05 10:02:00,--,52,--,--\n"
              "2024-03-05 10:03:00,20.9,53,--,--\n");
    open();
    EXPECT_EQ(dialog->drawButton()->text(), app::texts()[app::TextId::Export]);
    EXPECT_EQ(dialog->startTimeEdit()->time(), QTime(10, 0, 0));
    EXPECT_EQ(dialog->endTimeEdit()->time(), QTime(11, 0, 0));
    EXPECT_EQ(dialog->kindBox()->count(), 2);

    pick(QTime(9, 0), QTime(11, 0), 0);
    QTest::mouseClick(dialog->drawButton(), Qt::LeftButton);
    TimeChart& chart = *dialog->chart();
    EXPECT_EQ(chart.titleText(), app::texts()[app::TextId::Temperature]);
    EXPECT_EQ(dialog->windowTitle(),
              app::texts()[app::TextId::Graph] + QStringLiteral(" \u2013 log.csv"));
    EXPECT_EQ(chart.valueAxisTitle(), QStringLiteral("(\u00b0C)"));
    EXPECT_EQ(points(0), 3); // the row without temperature is left out
    EXPECT_EQ(points(1), 0); // no dew point, no heat index in this log
    EXPECT_EQ(points(2), 0);
    EXPECT_TRUE(chart.seriesShown(1) && chart.seriesShown(2));
    EXPECT_FALSE(chart.seriesShown(3));
    EXPECT_EQ(chart.series(0)->pen().color(), QColor(0xFF, 0, 0));
    EXPECT_EQ(chart.series(2)->pen().color(), QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(chart.series(2)->name(), app::texts()[app::TextId::HeatIndex]);
    EXPECT_EQ(chart.timeRange(), (std::pair{store::toAutomationDate({2024, 3, 5, 9, 0, 0}),
                                            store::toAutomationDate({2024, 3, 5, 11, 0, 0})}));
    EXPECT_TRUE(chart.emptyText().isEmpty());

    dialog->kindBox()->setCurrentIndex(1);
    ASSERT_TRUE(dialog->drawGraph());
    EXPECT_EQ(chart.titleText(), app::texts()[app::TextId::Humidity]);
    EXPECT_EQ(chart.valueAxisTitle(), QStringLiteral(" (%)"));
    EXPECT_EQ(points(0), 4);
    for (int s = 1; s < 4; ++s) {
        EXPECT_FALSE(chart.seriesShown(s));
        EXPECT_EQ(points(s), 0);
    }
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(GraphDialogTest, StartAfterEndKeepsThePictureAndEqualBoundsDrawNothing) {
    importLog(minuteLog(120));
    open();
    pick(QTime(0, 0), QTime(1, 0), 0);
    ASSERT_TRUE(dialog->drawGraph());
    const QList<QPointF> before = dialog->chart()->series(0)->points();
    ASSERT_EQ(before.size(), 60);

    pick(QTime(10, 0), QTime(9, 0), 0);
    EXPECT_FALSE(dialog->drawGraph());
    EXPECT_EQ(messenger.shown, (std::vector<QString>{app::texts()[app::TextId::TimeError]}));
    EXPECT_EQ(dialog->chart()->series(0)->points(), before);

    messenger.shown.clear();
    pick(QTime(0, 30), QTime(0, 30), 0);
    EXPECT_TRUE(dialog->drawGraph());
    EXPECT_TRUE(messenger.shown.empty());
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(points(s), 0);
}

TEST_F(GraphDialogTest, AFailedDatabaseStopsWithOneMessageAndClearedCurves) {
    importLog(minuteLog(120));
    open();
    pick(QTime(0, 0), QTime(2, 0), 0);
    ASSERT_TRUE(dialog->drawGraph());
    ASSERT_GT(points(0), 0);
    {
        QFile file(database);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x')); // no database any more
    }
    EXPECT_FALSE(dialog->drawGraph());
    EXPECT_EQ(messenger.shown.size(), 1u);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(points(s), 0);
}

TEST_F(GraphDialogTest, OneShowingReadsThroughOneOpeningOfTheDatabase) {
    importLog(minuteLog(120));
    open();
    pick(QTime(0, 0), QTime(2, 0), 0);
    ASSERT_TRUE(dialog->drawGraph());
    // With the file gone, only the connection opened by the first draw can
    // still read it.
    ASSERT_TRUE(QFile::rename(database, database + ".away"));
    EXPECT_TRUE(dialog->zoomIn(*store::parseBoundText("2024-03-05 0:30:00"),
                               *store::parseBoundText("2024-03-05 1:00:00")));
    EXPECT_TRUE(dialog->pan(0.5));
    EXPECT_TRUE(dialog->zoomOut());
    EXPECT_TRUE(dialog->drawGraph());
    EXPECT_GT(points(0), 0);
    EXPECT_TRUE(messenger.shown.empty());

    dialog->hide(); // the next showing opens the file again
    dialog->show();
    EXPECT_FALSE(dialog->drawGraph());
    EXPECT_EQ(messenger.shown.size(), 1u);
}

TEST_F(GraphDialogTest, LongWindowsAreThinnedAndZoomingReadsFinerData) {
    importLog(minuteLog(12 * 1440)); // 2024-03-05 to 16, one reading a minute
    open();
    ASSERT_TRUE(dialog->showWholeLog());
    const PickerValues whole = dialog->pickers();
    EXPECT_EQ(whole.startDate, QDate(2024, 3, 4));
    EXPECT_EQ(whole.startTime, QTime(23, 59, 59));
    EXPECT_EQ(whole.endDate, QDate(2024, 3, 16));
    EXPECT_EQ(whole.endTime, QTime(23, 59, 0));
    const int columns = dialog->chart()->plotColumns();
    EXPECT_LE(points(0), 16 * columns); // four points in each quarter pixel at most
    EXPECT_GE(points(0), columns);

    // Two hours hold fewer readings than the plot has columns: all of them.
    const double from = store::toAutomationDate({2024, 3, 5, 6, 0, 0});
    const double to = store::toAutomationDate({2024, 3, 5, 8, 0, 0});
    ASSERT_TRUE(dialog->zoomIn(from, to));
    EXPECT_EQ(points(0), 120);
    EXPECT_TRUE(dialog->zoomOutButton()->isEnabled());
    // Right and a wheel notch towards the user each move on by a tenth, and
    // the readings of the new range are read; zooming out goes back a step
    // at a time.
    dialog->chart()->setFocus();
    QTest::keyClick(dialog->chart(), Qt::Key_Right);
    QWheelEvent notch(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, -120), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(dialog->chart()->viewport(), &notch);
    const double minute = 1.0 / 1440.0;
    EXPECT_NEAR(dialog->chart()->timeRange().first, from + 24 * minute, 1e-6);
    EXPECT_NEAR(dialog->chart()->timeRange().second, to + 24 * minute, 1e-6);
    // The moved bounds fall between whole seconds: 6:24 may be in or out.
    ASSERT_GE(points(0), 120);
    ASSERT_LE(points(0), 121);
    const double firstShown = dialog->chart()->series(0)->at(0).x();
    EXPECT_GT(firstShown, from + 23.5 * minute);
    EXPECT_LT(firstShown, from + 25.5 * minute);
    for (double back : {12.0, 0.0}) {
        QTest::mouseClick(dialog->zoomOutButton(), Qt::LeftButton);
        EXPECT_NEAR(dialog->chart()->timeRange().first, from + back * minute, 1e-6);
        EXPECT_NEAR(dialog->chart()->timeRange().second, to + back * minute, 1e-6);
        EXPECT_TRUE(dialog->zoomOutButton()->isEnabled());
    }
    // A right click goes back to the whole log.
    QTest::mouseClick(dialog->chart()->viewport(), Qt::RightButton, {},
                      dialog->chart()->viewport()->rect().center());
    EXPECT_LT(points(0), 12 * 1440);
    EXPECT_NEAR(dialog->chart()->timeRange().first,
                store::toAutomationDate({2024, 3, 4, 23, 59, 59}), 1e-6);
    EXPECT_FALSE(dialog->zoomOutButton()->isEnabled());
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(GraphDialogTest, SavesThePictureAndPlotDrawsTheSame) {
    importLog(minuteLog(1440));
    open();
    ASSERT_TRUE(dialog->showWholeLog());
    const QString saved = dir.filePath("window.png");
    ASSERT_TRUE(dialog->saveChart(saved));
    const QImage image(saved);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), dialog->chart()->size());

    const QString plotted = dir.filePath("plot.png");
    std::ostringstream out, err;
    const int status = cli::run({"--data-dir", dir.path().toStdString(), "plot", "--out",
                                 plotted.toStdString(), "--size", "900x400"},
                                out, err);
    ASSERT_EQ(status, cli::kExitOk) << err.str();
    EXPECT_EQ(QImage(plotted).size(), QSize(900, 400));
    // Copies kept for looking at by eye.
    if (const QByteArray keep = qgetenv("VELLUMET_KEEP_PNG"); !keep.isEmpty()) {
        QFile::copy(saved, QString::fromLocal8Bit(keep) + QStringLiteral("/window.png"));
        QFile::copy(plotted, QString::fromLocal8Bit(keep) + QStringLiteral("/plot.png"));
    }

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"plot"},
          {"plot", "--out", "x.png", "--kind", "pressure"},
          {"plot", "--out", "x.png", "--size", "10x10"},
          {"plot", "--out", "x.png", "--from", "2024-03-06", "--to", "2024-03-05"}}) {
        std::ostringstream o, e;
        EXPECT_EQ(cli::run(bad, o, e), cli::kExitUsage) << bad.back();
        EXPECT_TRUE(o.str().empty());
    }
}

TEST_F(GraphDialogTest, TheRepeatedAutumnHourIsDrawnAfterTheFirstAndMarkedInWallClockTime) {
    // Every ten minutes through the night the clock went back at 03:00.
    std::string log;
    int n = 0;
    const auto row = [&](int minutes) {
        char line[64];
        std::snprintf(line, sizeof line, "2024-10-27 %02d:%02d:00,%.1f,50,--,--\n", minutes / 60,
                      minutes % 60, 10.0 + 0.1 * n++);
        log += line;
    };
    for (int m = 60; m < 3 * 60; m += 10)
        row(m);
    for (int m = 2 * 60; m < 4 * 60; m += 10)
        row(m);
    importLog(log);
    open();
    dialog->setPickers({QDate(2024, 10, 27), QTime(0, 59), QDate(2024, 10, 27), QTime(4, 0)});
    ASSERT_TRUE(dialog->drawGraph());
    const QList<QPointF> points = dialog->chart()->series(0)->points();
    ASSERT_EQ(points.size(), n);
    for (qsizetype i = 1; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].x() - points[i - 1].x(), 10.0 / 1440.0, 1e-6) << i;
        EXPECT_NEAR(points[i].y() - points[i - 1].y(), 0.1, 1e-4) << i; // in the written order
    }
    const QStringList labels = dialog->chart()->timeLabels();
    EXPECT_EQ(labels.count(QStringLiteral("02:00")) + labels.count(QStringLiteral("02:30")),
              labels.contains(QStringLiteral("02:30")) ? 4 : 2)
        << labels.join(QLatin1Char(' ')).toStdString();
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_TRUE(labels.first().startsWith(QStringLiteral("2024-10-27 01:")));
    for (const QString& label : labels)
        EXPECT_TRUE(label.endsWith(QLatin1String(":00")) || label.endsWith(QLatin1String(":30")))
            << label.toStdString();
    EXPECT_TRUE(messenger.shown.empty());
    if (const QByteArray keep = qgetenv("VELLUMET_KEEP_PNG"); !keep.isEmpty())
        QTest::qWait(100),
            dialog->grab().save(QString::fromLocal8Bit(keep) + QStringLiteral("/autumn.png"));
}

TEST_F(GraphDialogTest, MarksRoundTimesAndSaysWhenAWindowHoldsNoReadings) {
    importLog(minuteLog(600));
    open();
    dialog->setPickers({QDate(2024, 3, 5), QTime(1, 58, 44), QDate(2024, 3, 5), QTime(7, 58, 44)});
    ASSERT_TRUE(dialog->drawGraph());
    TimeChart& chart = *dialog->chart();
    const QStringList labels = chart.timeLabels();
    ASSERT_GE(labels.size(), 3);
    EXPECT_EQ(labels.first(), QStringLiteral("2024-03-05 02:00"));
    for (const QString& label : labels.mid(1))
        EXPECT_TRUE(QTime::fromString(label, QStringLiteral("hh:mm")).isValid() &&
                    label.endsWith(QLatin1String("00")))
            << label.toStdString();
    EXPECT_TRUE(chart.emptyText().isEmpty());
    EXPECT_TRUE(chart.chart()->legend()->isVisible());

    dialog->setPickers({QDate(2024, 3, 7), QTime(1, 0), QDate(2024, 3, 7), QTime(2, 0)});
    ASSERT_TRUE(dialog->drawGraph());
    EXPECT_EQ(chart.emptyText(),
              QStringLiteral("No readings between 2024-03-07 01:00:00 and 2024-03-07 02:00:00"));
    EXPECT_FALSE(chart.chart()->legend()->isVisible());
    EXPECT_EQ(chart.timeLabels().first(), QStringLiteral("2024-03-07 01:00"));
    for (const QString& label : chart.timeLabels())
        EXPECT_FALSE(label.contains(QLatin1String("1970")));
    if (const QByteArray keep = qgetenv("VELLUMET_KEEP_PNG"); !keep.isEmpty())
        QTest::qWait(100),
            dialog->grab().save(QString::fromLocal8Bit(keep) + QStringLiteral("/empty.png"));
    // Drawn again with readings, the line goes.
    dialog->setPickers({QDate(2024, 3, 5), QTime(1, 0), QDate(2024, 3, 5), QTime(2, 0)});
    ASSERT_TRUE(dialog->drawGraph());
    EXPECT_TRUE(chart.emptyText().isEmpty());
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(GraphDialogTest, ACurveUnderAnEqualOneStaysVisible) {
    // Heat index equal to the temperature, as in every cool log.
    std::string log;
    for (int m = 0; m < 60; ++m)
        log += "2024-03-05 10:" + std::string(m < 10 ? "0" : "") + std::to_string(m) + ":00," +
               std::to_string(15 + m % 7) + ",50,5.0," + std::to_string(15 + m % 7) + "\n";
    importLog(log);
    open();
    pick(QTime(9, 59), QTime(11, 0), 0);
    ASSERT_TRUE(dialog->drawGraph());
    const QImage image = QImage::fromData(chartImage(*dialog->chart(), ImageFormat::Png));
    // Pixels of the temperature's red inside the plot.
    const QRect plot = dialog->chart()->chart()->plotArea().toRect();
    int red = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x)
            red += image.pixelColor(x, y) == QColor(0xFF, 0, 0) ? 1 : 0;
    EXPECT_GT(red, plot.width() / 2);
    if (const QByteArray keep = qgetenv("VELLUMET_KEEP_PNG"); !keep.isEmpty())
        image.save(QString::fromLocal8Bit(keep) + QStringLiteral("/equal.png"));
}

} // namespace

// The window's own buttons follow the language as the table's texts do.
TEST_F(GraphDialogTest, ButtonsInGerman) {
    app::installTranslations(app::UiLanguage::German);
    open();
    EXPECT_EQ(dialog->wholeLogButton()->text(), QStringLiteral("Ganzes Protokoll"));
    EXPECT_EQ(dialog->zoomOutButton()->text(), QStringLiteral("Verkleinern"));
    EXPECT_EQ(dialog->saveButton()->text(), QStringLiteral("Als PNG speichern..."));
    EXPECT_TRUE(dialog->chart()->toolTip().startsWith(QStringLiteral("Über das Diagramm")));
    importLog(minuteLog(10));
    dialog->setPickers({QDate(2024, 3, 7), QTime(1, 0), QDate(2024, 3, 7), QTime(2, 0)});
    ASSERT_TRUE(dialog->drawGraph());
    EXPECT_EQ(
        dialog->chart()->emptyText(),
        QStringLiteral("Keine Messwerte zwischen 2024-03-07 01:00:00 und 2024-03-07 02:00:00"));
    dialog.reset();
    app::installTranslations(app::UiLanguage::English);
}
