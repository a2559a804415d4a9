// Writes a five-field log as the station's card holds it, for the import
// benchmarks: make_bench_log FILE [LINES] (1,000,000 lines, about 38 MB, by
// default). One reading a minute from 2026-01-01, values that change slowly,
// now and then a missing one.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void civilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_bench_log FILE [LINES]\n");
        return 2;
    }
    const long long lines = argc == 3 ? std::atoll(argv[2]) : 1000000;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fputs("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n", out);
    const long long startDay = 20454; // 2026-01-01, days since 1970-01-01
    for (long long i = 0; i < lines; ++i) {
        int year = 0, month = 0, day = 0;
        civilFromDays(startDay + i / 1440, year, month, day);
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
