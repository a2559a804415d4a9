// Fills a data folder's history for the archive measurements:
// make_bench_archive FOLDER [ROWS] writes FOLDER/archive.sqlite with ten
// channels (CH1 to CH8 and IN of one station, CH8 of a second) of ROWS
// readings each (1,000,000 by default), one a minute from 2024-01-01 (before the logs
// make_bench_log writes, as a new download follows the history), through the same merge an import
// uses, and prints the time it took and the bytes per reading on disk.
#include "store/archive.h"
#include "store/automation_date.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace vellumet;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_bench_archive FOLDER [ROWS]\n");
        return 2;
    }
    const long long rows = argc == 3 ? std::atoll(argv[2]) : 1000000;
    const std::string path = std::string(argv[1]) + "/" + store::kArchiveFileName;
    std::remove(path.c_str());
    store::Archive archive;
    if (Status s = archive.open(path); !s) {
        std::fprintf(stderr, "%s\n", s.error().text().c_str());
        return 1;
    }
    const double start = store::toAutomationDate({2024, 1, 1, 0, 0, 0});
    struct Target {
        const char* station;
        int channel;
    };
    const std::vector<Target> targets = {{"bench", 1}, {"bench", 2},  {"bench", 3}, {"bench", 4},
                                         {"bench", 5}, {"bench", 6},  {"bench", 7}, {"bench", 8},
                                         {"bench", 0}, {"bench-2", 8}};
    const auto began = std::chrono::steady_clock::now();
    std::vector<store::LogRecord> batch;
    for (const Target& t : targets) {
        if (Status s = archive.begin(t.station, t.channel, "BENCH.CSV"); !s) {
            std::fprintf(stderr, "%s\n", s.error().text().c_str());
            return 1;
        }
        for (long long i = 0; i < rows;) {
            batch.clear();
            for (; i < rows && batch.size() < 4096; ++i) {
                const double angle =
                    2.0 * 3.14159265358979 * static_cast<double>(i % 1440) / 1440.0;
                store::LogRecord r;
                r.time = start + static_cast<double>(i) / 1440.0;
                r.temperature = static_cast<float>(
                    std::round((15.0 + 8.0 * std::sin(angle) + t.channel) * 10.0) / 10.0);
                r.humidity = 50 + static_cast<int>(20.0 * std::cos(angle));
                if (t.channel != 0) {
                    r.dewPoint = r.temperature - 5.0f;
                    r.heatIndex = r.temperature;
                }
                batch.push_back(r);
            }
            if (Status s = archive.merge(batch); !s) {
                std::fprintf(stderr, "%s\n", s.error().text().c_str());
                return 1;
            }
        }
        if (Status s = archive.commit(); !s) {
            std::fprintf(stderr, "%s\n", s.error().text().c_str());
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    struct stat st {};
    ::stat(path.c_str(), &st);
    const double readings = static_cast<double>(rows) * static_cast<double>(targets.size());
    std::printf("%.0f readings in %.1f s; %lld bytes on disk, %.1f bytes per reading\n", readings,
                seconds, static_cast<long long>(st.st_size),
                static_cast<double>(st.st_size) / readings);
    return 0;
}
