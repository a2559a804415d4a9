#pragma once

#include "core/result.h"

#include <string>
#include <string_view>

namespace vellumet::store {

// A calendar date and time of day, as a log or a person writes it.
struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const DateTimeParts&, const DateTimeParts&) = default;
};

// Whether the parts name a real date (years 100 to 9999, as automation dates
// allow) and a real time of day.
bool isValidDateTime(const DateTimeParts& parts);

// Automation dates: days since 1899-12-30 with the time of day as the fraction.
// Before that day the whole part counts backwards while the fraction still
// counts forwards (-1.25 is 1899-12-29 06:00), as the format defines it.
double toAutomationDate(const DateTimeParts& parts);
// Rounded to the nearest second.
DateTimeParts fromAutomationDate(double date);

// "YYYY-MM-DD hh:mm:ss", the form the command line prints.
std::string formatDateTime(double date);

// The window bounds of the record queries: "%d-%02d-%02d %d:%02d:%02d", the
// hour written without padding ("2024-03-05 7:04:09"); a padded hour is read
// too. Anything else, or a date that does not exist, is refused.
Result<double> parseBoundText(std::string_view text);
std::string formatBoundText(double date);

} // namespace vellumet::store
