// Writes a five-field log as the station's card holds it, for the import
// benchmarks: make_bench_log FILE [LINES] [YEAR] (1,000,000 lines, about 38 MB,
// by default). One reading a minute from January 1st of YEAR (2026 by
// default), values that change slowly, now and then a missing one.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/automation_date.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_bench_log FILE [LINES] [YEAR]\n");
        return 2;
    }
    const long long lines = argc >= 3 ? std::atoll(argv[2]) : 1000000;
    const int firstYear = argc == 4 ? std::atoi(argv[3]) : 2026;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fputs("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n", out);
    const double start = vellumet::store::toAutomationDate({firstYear, 1, 1, 0, 0, 0});
    for (long long i = 0; i < lines; ++i) {
        const vellumet::store::DateTimeParts date =
            vellumet::store::fromAutomationDate(start + static_cast<double>(i / 1440));
        const int year = date.year, month = date.month, day = date.day;
        const double angle = 2.0 * 3.14159265358979 * static_cast<double>(i % 1440) / 1440.0;
        const double t =
            12.0 + 6.0 * std::sin(angle) + 4.0 * std::sin(static_cast<double>(i) / 9000.0);
        const int rh = 60 - static_cast<int>(20.0 * std::sin(angle));
        if (i % 997 == 996)
            std::fprintf(out, "%04d-%02d-%02d %02lld:%02lld:00,--,--,--,--\n", year, month, day,
                         i % 1440 / 60, i % 60);
        else
            std::fprintf(out, "%04d-%02d-%02d %02lld:%02lld:00,%.1f,%d,%.1f,%.1f\n", year, month,
                         day, i % 1440 / 60, i % 60, t, rh, t - (100.0 - rh) / 5.0, t);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
