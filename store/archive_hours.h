#pragma once

// How the history keeps an hour of one station's channel: its readings
// packed into one value, in ascending time, a few bytes each. Without SQLite.

#include "record_store.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::store::archive_detail {

// A reading as the history holds it: whole seconds since 1970, values as
// they read back (a NaN is no value).
struct HeldReading {
    std::int64_t time = 0;
    float temperature = kNoValue;
    std::int32_t humidity = kNoHumidity;
    float dewPoint = kNoValue;
    float heatIndex = kNoValue;
};

// The reading as the history would hold it.
HeldReading heldOf(std::int64_t time, const LogRecord& r);

// Whether the history holds r as `held`.
bool sameReading(const HeldReading& r, const HeldReading& held);

// Appends the readings of one hour (strictly ascending times, all within
// the hour starting at hourStart) to out.
void packHour(std::int64_t hourStart, std::span<const HeldReading> readings, std::string& out);

// Appends the readings packed in `packed` to out; false when it is not a
// packed hour (the history is damaged), out then holding what came before.
bool unpackHour(std::int64_t hourStart, std::string_view packed, std::vector<HeldReading>& out);

} // namespace vellumet::store::archive_detail
