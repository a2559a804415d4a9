// The merge of one download into a history, without the log's parsing or the
// record database: archive_merge_bench HISTORY [READINGS] merges READINGS
// (1,000,000 by default) readings of CH1, one a minute from 2026-01-01 (after
// the bench history's), into the history at HISTORY in one change and prints
// the time and processor time it took. HISTORY is changed: use a copy.
#include "store/archive.h"
#include "store/automation_date.h"

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return s(u.ru_utime) + s(u.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vellumet;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: archive_merge_bench HISTORY [READINGS]\n");
        return 2;
    }
    const long long count = argc == 3 ? std::atoll(argv[2]) : 1000000;
    const double start = store::toAutomationDate({2026, 1, 1, 0, 0, 0});
    std::vector<store::LogRecord> rows(static_cast<std::size_t>(count));
    for (long long i = 0; i < count; ++i) {
        store::LogRecord& r = rows[static_cast<std::size_t>(i)];
        const double t = 12.0 + 6.0 * std::sin(static_cast<double>(i % 1440) / 229.0);
        r.time = start + static_cast<double>(i) / 1440.0;
        r.temperature = static_cast<float>(std::round(t * 10.0) / 10.0);
        r.humidity = 60 - static_cast<int>(i % 40);
        r.dewPoint = r.temperature - 4.0f;
        r.heatIndex = r.temperature;
    }
    const auto began = std::chrono::steady_clock::now();
    const double cpu = cpuSeconds();
    store::Archive archive;
    Status s = archive.open(argv[1]);
    if (s)
        s = archive.begin("bench", 1, "CH1_BENCH.CSV");
    // In the import's batches.
    for (std::size_t i = 0; s && i < rows.size(); i += 4096)
        s = archive.merge(std::span(rows).subspan(i, std::min<std::size_t>(4096, rows.size() - i)));
    if (s)
        s = archive.commit();
    if (!s) {
        std::fprintf(stderr, "%s\n", s.error().text().c_str());
        return 1;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%lld readings merged (%lld new) in %.2f s, %.2f s of processor time\n", count,
                static_cast<long long>(archive.merged().added), wall, cpuSeconds() - cpu);
    return 0;
}
