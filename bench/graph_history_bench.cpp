// The graph window's reads of the history (all downloads), as its worker
// thread runs them: listing the channels, drawing four channels over their
// whole span thinned to a 1000-pixel chart, and how soon a drawing ends once it
// is cancelled (a new tick, zoom or the window closing waits that long); then
// the window itself, offscreen: the longest the event loop was held up while it
// listed the history and drew four channels. Run by hand:
// build/bench/graph_history_bench FOLDER, after make_bench_archive FOLDER.
#include "graph/archive_curves.h"
#include "graph/column_reduction.h"
#include "graph/widgets/graph_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

class PrintingMessenger : public vellumet::app::Messenger {
public:
    void info(const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    bool confirm(const QString&, vellumet::app::QuestionStyle) override { return true; }
};

// Lists the history in the window and draws four channels, watching how long
// a 10 ms timer is kept waiting.
int windowFigures(int argc, char** argv) {
    using namespace vellumet;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintingMessenger messenger;
    graph::GraphDialog dialog(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/7421.mdb"),
                              messenger);
    dialog.resize(1200, 700);
    dialog.show();
    qint64 longest = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    ticker.start(10);
    const auto await = [&](auto signal) {
        QEventLoop loop;
        QObject::connect(&dialog, signal, &loop, &QEventLoop::quit);
        loop.exec();
    };
    QElapsedTimer total;
    total.start();
    sinceTick.restart();
    dialog.sourceBox()->setCurrentIndex(graph::GraphDialog::AllDownloads);
    await(&graph::GraphDialog::historyListed);
    std::printf("window: listed in %.2f s, event loop held up at most %lld ms\n",
                static_cast<double>(total.elapsed()) / 1000.0, static_cast<long long>(longest));
    for (int row = 0; row < 4 && row < dialog.channelList()->count(); ++row) {
        longest = 0;
        total.restart();
        sinceTick.restart();
        dialog.channelList()->item(row)->setCheckState(Qt::Checked);
        await(&graph::GraphDialog::historyDrawn);
        std::printf("window: %d channel(s) drawn over their whole span in %.2f s, event loop "
                    "held up at most %lld ms\n",
                    row + 1, static_cast<double>(total.elapsed()) / 1000.0,
                    static_cast<long long>(longest));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace vellumet;
    using Clock = std::chrono::steady_clock;
    if (argc != 2) {
        std::fprintf(stderr, "usage: graph_history_bench FOLDER\n");
        return 2;
    }
    const std::string path = std::string(argv[1]) + "/" + store::kArchiveFileName;
    store::Archive archive;
    if (Status s = archive.openExisting(path); !s) {
        std::fprintf(stderr, "%s\n", s.error().text().c_str());
        return 1;
    }
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };

    auto t0 = Clock::now();
    Result<std::vector<graph::ArchiveChannel>> channels = graph::archiveChannels(archive);
    if (!channels || channels->size() < 4) {
        std::fprintf(stderr, "the history needs four channels\n");
        return 1;
    }
    std::printf("list of %zu channels: %.2f s\n", channels->size(), seconds(Clock::now() - t0));
    t0 = Clock::now();
    Result<std::vector<store::ChannelHistory>> full = archive.channels();
    if (!full) {
        std::fprintf(stderr, "%s\n", full.error().text().c_str());
        return 1;
    }
    std::size_t gaps = 0;
    for (const auto& h : *full)
        gaps += h.gaps.size();
    std::printf("full listing (every reading, %zu gaps): %.2f s\n", gaps,
                seconds(Clock::now() - t0));

    const std::vector<graph::ArchiveChannel> four(channels->begin(), channels->begin() + 4);
    double first = four.front().first, last = four.front().last;
    for (const auto& c : four) {
        first = std::min(first, c.first);
        last = std::max(last, c.last);
    }
    constexpr int kColumns = 1000 * 4;
    t0 = Clock::now();
    Result<std::vector<graph::LoadedCurve>> curves = graph::loadArchiveCurves(
        archive, four, graph::GraphKind::Temperature, first - 1.0 / 86400.0, last, kColumns);
    if (!curves) {
        std::fprintf(stderr, "%s\n", curves.error().text().c_str());
        return 1;
    }
    std::int64_t rows = 0;
    for (const auto& c : *curves) {
        rows += c.rows;
    }
    std::size_t parts = 0;
    for (const auto& c : *curves)
        parts += c.parts.size();
    std::printf("four channels, whole span: %lld points in %zu lines, from the summary, in "
                "%.2f s\n",
                static_cast<long long>(rows), parts, seconds(Clock::now() - t0));

    // A month: a pixel is under an hour, so the gaps come from the readings.
    t0 = Clock::now();
    Result<std::vector<graph::LoadedCurve>> month = graph::loadArchiveCurves(
        archive, four, graph::GraphKind::Temperature, last - 30.0, last, kColumns);
    if (!month)
        return 1;
    std::size_t monthPoints = 0;
    for (const auto& c : *month)
        monthPoints += c.points.times.size();
    std::printf("four channels, the last month: %zu points in %.2f s\n", monthPoints,
                seconds(Clock::now() - t0));

    // The same curves from every reading, thinned as they pass.
    t0 = Clock::now();
    std::int64_t read = 0;
    for (const auto& c : four) {
        graph::ColumnReducer reducer(first - 1.0 / 86400.0, last, kColumns);
        const Status s = graph::readChannelValues(
            archive, c.channel, first - 1.0 / 86400.0, last, store::SeriesColumn::Temperature,
            [&](std::span<const double> times, std::span<const double> values) {
                for (std::size_t k = 0; k < times.size(); ++k)
                    reducer.add(times[k], values[k]);
                return true;
            });
        if (!s)
            return 1;
        read += static_cast<std::int64_t>(reducer.pointsAdded());
        (void)reducer.finish();
    }
    std::printf("the same from every reading (%lld read): %.2f s\n", static_cast<long long>(read),
                seconds(Clock::now() - t0));

    std::stop_source stop;
    Clock::time_point asked;
    std::jthread reader([&] {
        (void)graph::loadArchiveCurves(archive, four, graph::GraphKind::Temperature,
                                       first - 1.0 / 86400.0, last, kColumns, stop.get_token());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    asked = Clock::now();
    stop.request_stop();
    reader.join();
    std::printf("cancelled mid-read: ended %.1f ms after the request\n",
                seconds(Clock::now() - asked) * 1000.0);
    return windowFigures(argc, argv);
}
