// The graph window's reads of the history (all downloads), as its worker
// thread runs them: listing the channels, drawing four channels over their
// whole span thinned to a 1000-pixel chart, and how soon a drawing ends once it
// is cancelled (a new tick, zoom or the window closing waits that long). Run by
// hand: build/bench/graph_history_bench FOLDER, after make_bench_archive FOLDER.
#include "graph/archive_curves.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

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
    std::size_t points = 0;
    for (const auto& c : *curves) {
        rows += c.rows;
        points += c.points.times.size();
    }
    std::printf("four channels, whole span: %lld readings read and thinned to %zu points in "
                "%.2f s\n",
                static_cast<long long>(rows), points, seconds(Clock::now() - t0));

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
    return 0;
}
