#include "automation_date.h"

#include "core/civil_days.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vellumet::store {

namespace {

constexpr long long kEpochDays = daysFromCivil(1899, 12, 30);
constexpr double kSecondsPerDay = 86400.0;

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Reads between minDigits and maxDigits decimal digits at pos.
bool readNumber(std::string_view text, std::size_t& pos, std::size_t minDigits,
                std::size_t maxDigits, int& value) {
    std::size_t end = pos;
    while (end < text.size() && end - pos < maxDigits && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end - pos < minDigits || (end < text.size() && text[end] >= '0' && text[end] <= '9'))
        return false;
    std::from_chars(text.data() + pos, text.data() + end, value);
    pos = end;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

bool isValidDateTime(const DateTimeParts& p) {
    return p.year >= 100 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
           p.day <= daysInMonth(p.year, p.month) && p.hour >= 0 && p.hour <= 23 && p.minute >= 0 &&
           p.minute <= 59 && p.second >= 0 && p.second <= 59;
}

double toAutomationDate(const DateTimeParts& p) {
    const double days = static_cast<double>(daysFromCivil(p.year, p.month, p.day) - kEpochDays);
    const double fraction = (p.hour * 3600 + p.minute * 60 + p.second) / kSecondsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

DateTimeParts fromAutomationDate(double date) {
    // Work in whole seconds on the forward-counting scale.
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    long long seconds = std::llround(fraction * kSecondsPerDay);
    long long days = static_cast<long long>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += date < 0 ? -1 : 1;
    }
    DateTimeParts p;
    const CivilDate civil = civilFromDays(days + kEpochDays);
    p.year = civil.year;
    p.month = civil.month;
    p.day = civil.day;
    p.hour = static_cast<int>(seconds / 3600);
    p.minute = static_cast<int>(seconds / 60 % 60);
    p.second = static_cast<int>(seconds % 60);
    return p;
}

std::string formatDateTime(double date) {
    const DateTimeParts p = fromAutomationDate(date);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
    return text;
}

std::string formatBoundText(double date) {
    const DateTimeParts p = fromAutomationDate(date);
    char text[40];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
    return text;
}

Result<double> parseBoundText(std::string_view text) {
    DateTimeParts p;
    std::size_t pos = 0;
    const bool shaped = readNumber(text, pos, 3, 4, p.year) && expect(text, pos, '-') &&
                        readNumber(text, pos, 2, 2, p.month) && expect(text, pos, '-') &&
                        readNumber(text, pos, 2, 2, p.day) && expect(text, pos, ' ') &&
                        readNumber(text, pos, 1, 2, p.hour) && expect(text, pos, ':') &&
                        readNumber(text, pos, 2, 2, p.minute) && expect(text, pos, ':') &&
                        readNumber(text, pos, 2, 2, p.second) && pos == text.size();
    if (!shaped)
        return makeError(Errc::InvalidInput, "'" + std::string(text) +
                                                 "' is not a time of the form "
                                                 "YYYY-MM-DD h:mm:ss");
    if (!isValidDateTime(p))
        return makeError(Errc::InvalidInput,
                         "'" + std::string(text) + "' is not a date and time that exists");
    return toAutomationDate(p);
}

} // namespace vellumet::store
