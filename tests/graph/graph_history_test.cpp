#include "../ui/recording_messenger.h"
#include "graph/widgets/chart_drawing.h"
#include "graph/widgets/graph_dialog.h"
#include "graph/widgets/time_chart.h"
#include "graph_fixture.h"

#include "app/text_table.h"
#include "store/archive.h"
#include "store/automation_date.h"

#include <QComboBox>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTest>

using namespace vellumet;
using namespace vellumet::graph;

namespace {

constexpr const char* kStation = "KQ-7421 unit 3";

// A history of three channels beside the record database: CH1 and CH3 every
// ten minutes over two days (CH3 with a pause of six hours), and the indoor
// sensor.
class GraphHistoryTest : public graph::test::LogDatabase {
public:
    void SetUp() override {
        LogDatabase::SetUp();
        archivePath = store::archivePathBeside(path());
        store::Archive archive;
        ASSERT_TRUE(archive.open(archivePath).ok());
        const double start = store::toAutomationDate({2024, 6, 1, 0, 0, 0});
        for (int channel : {1, 3, store::kIndoorChannel}) {
            std::vector<store::LogRecord> rows;
            for (int i = 0; i < 288; ++i) {
                if (channel == 3 && i >= 100 && i < 136)
                    continue;
                store::LogRecord r;
                r.time = start + i * 600 / 86400.0;
                r.temperature = static_cast<float>(channel * 10 + i % 7);
                r.humidity = 40 + channel;
                rows.push_back(r);
            }
            ASSERT_TRUE(archive.begin(kStation, channel, "log.csv").ok());
            ASSERT_TRUE(archive.merge(rows).ok());
            ASSERT_TRUE(archive.commit().ok());
        }
    }

    void open() {
        dialog = std::make_unique<GraphDialog>(database, messenger, nullptr,
                                               QDateTime(QDate(2024, 6, 3), QTime(11, 0, 0)));
        dialog->setUnitText(QStringLiteral("(\u00b0C)"));
        dialog->resize(1000, 600);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    // Switches to the history and waits for its channel list.
    void showHistory() {
        QSignalSpy listed(dialog.get(), &GraphDialog::historyListed);
        dialog->sourceBox()->setCurrentIndex(GraphDialog::AllDownloads);
        ASSERT_TRUE(listed.wait(10000));
        ASSERT_TRUE(listed.front().front().toBool());
    }

    // Ticks a row of the list and waits for the drawing that follows.
    void tick(int row) {
        QSignalSpy drawn(dialog.get(), &GraphDialog::historyDrawn);
        dialog->channelList()->item(row)->setCheckState(Qt::Checked);
        ASSERT_TRUE(drawn.wait(10000));
        ASSERT_TRUE(drawn.back().front().toBool());
    }

    QStringList legendNames() const {
        // The legend lays out its entries for new names when the events of
        // the drawing have been handled.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QStringList names;
        for (QLegendMarker* m : dialog->chart()->chart()->legend()->markers())
            if (m->isVisible() && m->series()->isVisible())
                names.append(m->label());
        return names;
    }

    std::string archivePath;
    vellumet::test::RecordingMessenger messenger;
    std::unique_ptr<GraphDialog> dialog;
};

TEST_F(GraphHistoryTest, TickedChannelsAreOneCurveEachNamedInTheLegend) {
    open();
    EXPECT_EQ(dialog->sourceBox()->currentIndex(), GraphDialog::LastImport);
    EXPECT_FALSE(dialog->channelList()->isVisible());
    showHistory();
    QListWidget* list = dialog->channelList();
    EXPECT_TRUE(list->isVisible());
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("CH1"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("CH3"));
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("IN"));

    tick(0);
    tick(1);
    TimeChart& chart = *dialog->chart();
    EXPECT_TRUE(chart.seriesShown(0));
    EXPECT_TRUE(chart.seriesShown(1));
    EXPECT_FALSE(chart.seriesShown(2));
    EXPECT_EQ(legendNames(), (QStringList{QStringLiteral("CH1"), QStringLiteral("CH3")}));
    EXPECT_FALSE(dialog->progressBar()->isVisible());
    // The whole span of the channels, every reading (fewer than the columns).
    EXPECT_EQ(chart.curvePoints(0).size(), 288);
    EXPECT_EQ(chart.curvePoints(1).size(), 288 - 36);
    EXPECT_EQ(chart.curvePoints(1).front().y(), 30.0);
    EXPECT_EQ(chart.partCount(0), 1);
    EXPECT_EQ(chart.partCount(1), 2); // not drawn across the pause
    const auto [from, to] = chart.timeRange();
    EXPECT_LT(from, store::toAutomationDate({2024, 6, 1, 0, 0, 0}));
    EXPECT_GE(to, store::toAutomationDate({2024, 6, 2, 23, 50, 0}));

    // The kinds, zoom and zoom out work on the history too.
    dialog->kindBox()->setCurrentIndex(1);
    {
        QSignalSpy drawn(dialog.get(), &GraphDialog::historyDrawn);
        ASSERT_TRUE(dialog->drawGraph());
        ASSERT_TRUE(drawn.wait(10000));
    }
    EXPECT_EQ(chart.curvePoints(1).front().y(), 43.0);
    const double mid = store::toAutomationDate({2024, 6, 1, 12, 0, 0});
    {
        QSignalSpy drawn(dialog.get(), &GraphDialog::historyDrawn);
        ASSERT_TRUE(dialog->zoomIn(mid, mid + 0.125));
        ASSERT_TRUE(drawn.wait(10000));
    }
    EXPECT_EQ(chart.curvePoints(0).size(), 18); // three hours, both ends' readings inside
    EXPECT_TRUE(dialog->zoomOutButton()->isEnabled());
    {
        QSignalSpy drawn(dialog.get(), &GraphDialog::historyDrawn);
        ASSERT_TRUE(dialog->zoomOut());
        ASSERT_TRUE(drawn.wait(10000));
    }
    EXPECT_EQ(chart.curvePoints(0).size(), 288);

    // Nothing along the way needed a message.
    EXPECT_TRUE(messenger.shown.empty());

    // Back to the last import: the list goes.
    dialog->sourceBox()->setCurrentIndex(GraphDialog::LastImport);
    EXPECT_FALSE(dialog->channelList()->isVisible());
}

TEST_F(GraphHistoryTest, ANameGivenInTheListIsKeptForTheStationAndShownInTheLegend) {
    open();
    showHistory();
    tick(1);
    QListWidget* list = dialog->channelList();
    list->item(1)->setText(QStringLiteral("  Cellar "));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Cellar"));
    EXPECT_EQ(dialog->chart()->series(0)->name(), QStringLiteral("Cellar"));
    EXPECT_TRUE(messenger.shown.empty());
    {
        store::Archive archive;
        ASSERT_TRUE(archive.openExisting(archivePath).ok());
        const Result<std::optional<std::string>> name = archive.name(kStation, 3);
        ASSERT_TRUE(name.ok());
        EXPECT_EQ(name->value_or(""), "Cellar");
    }

    // A channel's own name, or one too long, is refused and the entry restored.
    list->item(0)->setText(QStringLiteral("ch3"));
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("CH1"));
    list->item(0)->setText(QString(65, QLatin1Char('x')));
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("CH1"));
    EXPECT_EQ(messenger.shown.size(), 2u);

    // The history unchanged but for the name: listed again without a read.
    dialog->sourceBox()->setCurrentIndex(GraphDialog::LastImport);
    {
        QSignalSpy listed(dialog.get(), &GraphDialog::historyListed);
        dialog->sourceBox()->setCurrentIndex(GraphDialog::AllDownloads);
        EXPECT_EQ(listed.size(), 1);
        EXPECT_FALSE(dialog->isReading());
    }
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Cellar"));

    // A new window lists the name; an empty one takes it away again.
    dialog.reset();
    open();
    showHistory();
    EXPECT_EQ(dialog->channelList()->item(1)->text(), QStringLiteral("Cellar"));
    EXPECT_TRUE(dialog->nameChannel(1, QString()));
    EXPECT_EQ(dialog->channelList()->item(1)->text(), QStringLiteral("CH3"));
    store::Archive archive;
    ASSERT_TRUE(archive.openExisting(archivePath).ok());
    EXPECT_FALSE(archive.name(kStation, 3)->has_value());
}

TEST_F(GraphHistoryTest, WithoutAHistoryTheWindowSaysSo) {
    QFile::remove(QString::fromStdString(archivePath));
    open();
    QSignalSpy listed(dialog.get(), &GraphDialog::historyListed);
    dialog->sourceBox()->setCurrentIndex(GraphDialog::AllDownloads);
    ASSERT_TRUE(listed.wait(10000));
    EXPECT_FALSE(listed.front().front().toBool());
    EXPECT_EQ(dialog->channelList()->count(), 0);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_TRUE(messenger.shown.front().startsWith(QStringLiteral("No downloads are kept yet")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(archivePath)));
}

TEST_F(GraphHistoryTest, InGerman) {
    app::installTranslations(app::UiLanguage::German);
    open();
    EXPECT_EQ(dialog->sourceBox()->itemText(0), QStringLiteral("Letzter Import"));
    EXPECT_EQ(dialog->sourceBox()->itemText(1), QStringLiteral("Alle Downloads"));
    showHistory();
    tick(0);
    tick(1);
    // The legend's layout for the new names is done by the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (const char* out = std::getenv("VELLUMET_GRAPH_PNG"))
        dialog->grab().save(QString::fromLocal8Bit(out) + QStringLiteral("_de.png"));
    dialog.reset();
    app::installTranslations(app::UiLanguage::English);
    open();
    showHistory();
    tick(0);
    tick(1);
    // The legend's layout for the new names is done by the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (const char* out = std::getenv("VELLUMET_GRAPH_PNG"))
        dialog->grab().save(QString::fromLocal8Bit(out) + QStringLiteral("_en.png"));
}

TEST(TimeChartParts, EachPartIsALineOfItsOwnAndAReadingAloneADot) {
    TimeChart chart;
    chart.resize(800, 400);
    const std::vector<double> times = {1, 2, 5, 8, 9};
    const std::vector<double> values = {10, 11, 12, 13, 14};
    chart.addSeries(0, times, values, {{0, 2}, {2, 3}, {3, 5}});
    EXPECT_EQ(chart.partCount(0), 3);
    EXPECT_EQ(chart.series(0)->count(), 2);
    EXPECT_EQ(chart.curvePoints(0).size(), 5);
    ASSERT_EQ(chart.lonePoints(0)->count(), 1);
    EXPECT_EQ(chart.lonePoints(0)->at(0), QPointF(5, 12));
    EXPECT_TRUE(chart.lonePoints(0)->isVisible());
    // Only the curves themselves are in the legend, not their parts and dots.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    int listed = 0;
    for (QLegendMarker* m : chart.chart()->legend()->markers())
        if (m->isVisible()) {
            ++listed;
            EXPECT_TRUE(m->series() == chart.series(0) || m->series() == chart.series(1) ||
                        m->series() == chart.series(2) || m->series() == chart.series(3));
        }
    EXPECT_EQ(listed, TimeChart::kSeriesCount);
    // A whole curve after it leaves no part or dot behind; hidden, nothing shows.
    chart.addSeries(0, times, values);
    EXPECT_EQ(chart.partCount(0), 1);
    EXPECT_FALSE(chart.lonePoints(0)->isVisible());
    chart.addSeries(0, times, values, {{0, 2}, {2, 3}, {3, 5}});
    chart.setSeriesShown(0, false);
    EXPECT_FALSE(chart.lonePoints(0)->isVisible());
    EXPECT_EQ(chart.curvePoints(0).size(), 5);
}

} // namespace
