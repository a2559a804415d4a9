#pragma once

#include <optional>
#include <string_view>

class QLocale;

namespace vellumet::sdcard {

// How a log writes its dates. The station writes YYYY-MM-DD, MM-DD-YYYY or
// DD-MM-YYYY, with "-", "/" or "." between the parts.
enum class DateOrder { Undecided, YearFirst, MonthFirst, DayFirst };

// What one time text of a log tells about the order: YearFirst for a
// year-first date, DayFirst or MonthFirst when a part above 12 shows it,
// Undecided otherwise (also for a text that is no date).
DateOrder orderShownBy(std::string_view timeText);

// The order of the station's date-format setting (0 YYYY-MM-DD, 1 MM-DD-YYYY,
// 2 DD-MM-YYYY); Undecided for any other value.
DateOrder orderOfStationDateFormat(int dateFormat);

// Whether the locale's short date puts the day or the month first.
DateOrder orderOfLocale(const QLocale& locale);

// Reads a time text of the log: a date in one of the forms above, then the
// time as h:mm:ss, "AM h:mm:ss" or "h:mm:ss AM" (PM alike). Year-first dates
// are read whatever the order; for the others the order says which of the
// first two parts is the day (Undecided reads them month first). Returns the
// automation date, or nothing when the text is not a date and time.
std::optional<double> parseLogTime(std::string_view text, DateOrder order);

} // namespace vellumet::sdcard
