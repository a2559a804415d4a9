#include "log_time.h"

#include "store/automation_date.h"

#include <QLocale>
#include <QString>

namespace vellumet::sdcard {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads 1 to maxDigits digits.
bool readNumber(std::string_view t, std::size_t& pos, std::size_t maxDigits, int& value,
                std::size_t& digits) {
    const std::size_t start = pos;
    value = 0;
    while (pos < t.size() && isDigit(t[pos]) && pos - start < maxDigits)
        value = value * 10 + (t[pos++] - '0');
    digits = pos - start;
    return digits > 0 && (pos >= t.size() || !isDigit(t[pos]));
}

void skipBlanks(std::string_view t, std::size_t& pos) {
    while (pos < t.size() && isBlank(t[pos]))
        ++pos;
}

// "AM" or "PM" in any case at pos: 0 for AM, 12 for PM, -1 for neither.
int readMeridiem(std::string_view t, std::size_t& pos) {
    if (pos + 2 > t.size() || (t[pos + 1] != 'M' && t[pos + 1] != 'm'))
        return -1;
    const char c = t[pos];
    const int offset = c == 'A' || c == 'a' ? 0 : c == 'P' || c == 'p' ? 12 : -1;
    if (offset >= 0)
        pos += 2;
    return offset;
}

struct DateParts {
    int first = 0, second = 0, third = 0;
    std::size_t firstDigits = 0, thirdDigits = 0;
};

bool readDate(std::string_view t, std::size_t& pos, DateParts& d) {
    std::size_t digits = 0;
    if (!readNumber(t, pos, 4, d.first, d.firstDigits) || pos >= t.size())
        return false;
    const char sep = t[pos];
    if (sep != '-' && sep != '/' && sep != '.')
        return false;
    ++pos;
    if (!readNumber(t, pos, 2, d.second, digits) || pos >= t.size() || t[pos] != sep)
        return false;
    ++pos;
    if (!readNumber(t, pos, 4, d.third, d.thirdDigits))
        return false;
    // Exactly one of the outer parts is the four-digit year.
    if (d.firstDigits == 4)
        return d.thirdDigits <= 2;
    return d.firstDigits <= 2 && d.thirdDigits == 4;
}

bool readClock(std::string_view t, std::size_t& pos, int& hour, int& minute, int& second) {
    std::size_t digits = 0;
    if (!readNumber(t, pos, 2, hour, digits) || pos >= t.size() || t[pos++] != ':')
        return false;
    if (!readNumber(t, pos, 2, minute, digits) || digits != 2 || pos >= t.size() || t[pos++] != ':')
        return false;
    return readNumber(t, pos, 2, second, digits) && digits == 2;
}

} // namespace

DateOrder orderShownBy(std::string_view text) {
    std::size_t pos = 0;
    skipBlanks(text, pos);
    DateParts d;
    if (!readDate(text, pos, d))
        return DateOrder::Undecided;
    if (d.firstDigits == 4)
        return DateOrder::YearFirst;
    if (d.first > 12 && d.second <= 12)
        return DateOrder::DayFirst;
    if (d.second > 12 && d.first <= 12)
        return DateOrder::MonthFirst;
    return DateOrder::Undecided;
}

DateOrder orderOfStationDateFormat(int dateFormat) {
    switch (dateFormat) {
    case 0:
        return DateOrder::YearFirst;
    case 1:
        return DateOrder::MonthFirst;
    case 2:
        return DateOrder::DayFirst;
    default:
        return DateOrder::Undecided;
    }
}

DateOrder orderOfLocale(const QLocale& locale) {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(QLatin1Char('d'));
    const qsizetype month = format.indexOf(QLatin1Char('M'));
    if (day < 0 || month < 0)
        return DateOrder::Undecided;
    return day < month ? DateOrder::DayFirst : DateOrder::MonthFirst;
}

std::optional<double> parseLogTime(std::string_view t, DateOrder order) {
    std::size_t pos = 0;
    skipBlanks(t, pos);
    DateParts d;
    if (!readDate(t, pos, d) || pos >= t.size() || !isBlank(t[pos]))
        return std::nullopt;
    store::DateTimeParts p;
    if (d.firstDigits == 4) {
        p.year = d.first;
        p.month = d.second;
        p.day = d.third;
    } else {
        const bool dayFirst = order == DateOrder::DayFirst;
        p.year = d.third;
        p.month = dayFirst ? d.second : d.first;
        p.day = dayFirst ? d.first : d.second;
    }

    skipBlanks(t, pos);
    int meridiem = readMeridiem(t, pos);
    if (meridiem >= 0) {
        if (pos >= t.size() || !isBlank(t[pos]))
            return std::nullopt;
        skipBlanks(t, pos);
    }
    if (!readClock(t, pos, p.hour, p.minute, p.second))
        return std::nullopt;
    skipBlanks(t, pos);
    if (meridiem < 0 && pos < t.size()) {
        meridiem = readMeridiem(t, pos);
        if (meridiem < 0)
            return std::nullopt;
        skipBlanks(t, pos);
    }
    if (pos != t.size())
        return std::nullopt;
    if (meridiem >= 0) {
        if (p.hour < 1 || p.hour > 12)
            return std::nullopt;
        p.hour = p.hour % 12 + meridiem;
    }
    if (!store::isValidDateTime(p))
        return std::nullopt;
    return store::toAutomationDate(p);
}

} // namespace vellumet::sdcard
