#include "virtual_station.h"

#include "core/civil_days.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace vellumet::sim {

namespace {

// The station writes "YYYY-MM-DD hh:mm:ss", which the import reads on every locale.
std::string timeText(long long minutesSinceEpoch) {
    const auto [year, month, day] = civilFromDays(minutesSinceEpoch / 1440);
    const long long minuteOfDay = minutesSinceEpoch % 1440;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02lld:%02lld:00", year, month, day,
                  minuteOfDay / 60, minuteOfDay % 60);
    return text;
}

double dewPointC(double t, double rh) {
    const double g = std::log(rh / 100.0) + 17.62 * t / (243.12 + t);
    return 243.12 * g / (17.62 - g);
}

// Heat index by the US weather service's regression; below 80 °F, where it
// has no meaning, stations show the temperature itself.
double heatIndexC(double t, double rh) {
    const double f = t * 1.8 + 32.0;
    if (f < 80.0)
        return t;
    const double hi = -42.379 + 2.04901523 * f + 10.14333127 * rh - 0.22475541 * f * rh -
                      6.83783e-3 * f * f - 5.481717e-2 * rh * rh + 1.22874e-3 * f * f * rh +
                      8.5282e-4 * f * rh * rh - 1.99e-6 * f * f * rh * rh;
    return (hi - 32.0) / 1.8;
}

struct LogPlan {
    const char* name;
    bool indoor;
    bool fahrenheit;
    int startDay; // day of December 2026
    int stepMinutes;
    int lines;
    double mean;
    double swing;
    double humidity;
    int gapEvery;    // every n-th line has no humidity (and so no dew point); 0: never
    int outageEvery; // every n-th line has no value at all; 0: never
};

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string generateLog(const LogPlan& plan) {
    const char unit = plan.fahrenheit ? 'F' : 'C';
    std::string out = plan.indoor
                          ? std::string("Time,Temperature(") + unit + "),Humidity(%)\n"
                          : std::string("Time,Temperature(") + unit + "),Humidity(%),DewPoint(" +
                                unit + "),HeatIndex(" + unit + ")\n";
    const long long start = daysFromCivil(2026, 12, plan.startDay) * 1440;
    const auto shown = [&](double celsius) {
        return number(plan.fahrenheit ? celsius * 1.8 + 32.0 : celsius);
    };
    for (int i = 0; i < plan.lines; ++i) {
        const long long minute = start + static_cast<long long>(i) * plan.stepMinutes;
        const double dayAngle =
            2.0 * std::numbers::pi * static_cast<double>(minute % 1440) / 1440.0;
        // A daily cycle with its warmest hour mid-afternoon, plus a slower weather swing.
        const double weather = std::sin(2.0 * std::numbers::pi * static_cast<double>(i) /
                                        (static_cast<double>(plan.lines) / 3.0 + 1.0));
        const double t = plan.mean + plan.swing * std::sin(dayAngle - 2.2) + 1.5 * weather;
        const double rh = std::round(
            std::clamp(plan.humidity - 2.0 * plan.swing * std::sin(dayAngle - 2.2) - 5.0 * weather,
                       5.0, 98.0));
        const bool outage = plan.outageEvery > 0 && i % plan.outageEvery == plan.outageEvery - 1;
        const bool gap = plan.gapEvery > 0 && i % plan.gapEvery == plan.gapEvery - 1;
        out += timeText(minute);
        out += ',';
        out += outage ? "--" : shown(t);
        out += ',';
        out += outage || gap ? "--" : std::to_string(static_cast<int>(rh));
        if (!plan.indoor) {
            out += ',';
            out += outage || gap ? "--" : shown(dewPointC(t, rh));
            out += ',';
            out += outage || gap ? "--" : shown(heatIndexC(t, rh));
        }
        out += '\n';
    }
    return out;
}

} // namespace

std::vector<CardFile> defaultCard() {
    // Names avoid the capitals "IN" except for the one indoor log, since the
    // program tells indoor files by them.
    static const LogPlan plans[] = {
        {"CH1_2612.CSV", false, false, 1, 5, 2016, 6.5, 4.0, 76, 0, 0},
        {"CH2_2612.CSV", false, true, 1, 5, 2016, 3.0, 5.0, 82, 37, 211},
        {"CH3_2612.CSV", false, false, 1, 1, 10080, 27.0, 6.0, 60, 101, 997},
        {"INDOOR01.CSV", true, false, 5, 10, 576, 21.0, 1.5, 45, 0, 89},
        {"CH4_2612.CSV", false, false, 8, 5, 1, 4.0, 1.0, 80, 0, 0},
        {"CH5_2612.CSV", false, true, 8, 5, 0, 4.0, 1.0, 80, 0, 0},
    };
    // Generated once: every station of a run starts with the same card.
    static const std::vector<CardFile> card = [] {
        std::vector<CardFile> files;
        for (const LogPlan& plan : plans)
            files.push_back({plan.name, generateLog(plan)});
        return files;
    }();
    return card;
}

} // namespace vellumet::sim
