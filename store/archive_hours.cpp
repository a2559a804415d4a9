#include "archive_hours.h"

#include "archive_extremes.h"

#include <cmath>
#include <cstring>

namespace vellumet::store::archive_detail {

namespace {

// A reading: seconds into the hour (two bytes), the temperature, the
// humidity (one byte), the dew point and the heat index. Temperatures are
// whole tenths in two bytes, as the station writes them; any other value
// follows a marker in four bytes, as it is. Humidity 0 to 253 is one byte.
constexpr std::uint16_t kNoTenths = 0x7fff;
constexpr std::uint16_t kExactFloat = 0x7ffe;
constexpr std::int32_t kMaxTenths = 32000;
constexpr std::uint8_t kNoPercent = 0xff;
constexpr std::uint8_t kExactPercent = 0xfe;

void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>(v >> 8);
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void putTemperature(std::string& out, float value) {
    if (value == kNoValue || std::isnan(value)) {
        put16(out, kNoTenths);
        return;
    }
    const double tenths = std::round(static_cast<double>(value) * 10.0);
    if (std::fabs(tenths) <= kMaxTenths && static_cast<float>(tenths / 10.0) == value) {
        put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(tenths)));
        return;
    }
    put16(out, kExactFloat);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    put32(out, bits);
}

void putHumidity(std::string& out, std::int32_t value) {
    if (value == kNoHumidity) {
        out += static_cast<char>(kNoPercent);
    } else if (value >= 0 && value < kExactPercent) {
        out += static_cast<char>(value);
    } else {
        out += static_cast<char>(kExactPercent);
        put32(out, static_cast<std::uint32_t>(value));
    }
}

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}
    bool done() const { return at_ == in_.size(); }
    bool ok() const { return ok_; }

    std::uint8_t byte() {
        if (at_ + 1 > in_.size()) {
            ok_ = false;
            return 0;
        }
        return static_cast<std::uint8_t>(in_[at_++]);
    }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }
    float temperature() {
        const std::uint16_t v = u16();
        if (v == kNoTenths)
            return kNoValue;
        if (v == kExactFloat) {
            const std::uint32_t bits = u32();
            float f = 0;
            std::memcpy(&f, &bits, sizeof f);
            return std::isnan(f) ? kNoValue : f;
        }
        return static_cast<float>(static_cast<double>(static_cast<std::int16_t>(v)) / 10.0);
    }
    std::int32_t humidity() {
        const std::uint8_t v = byte();
        if (v == kNoPercent)
            return kNoHumidity;
        if (v == kExactPercent)
            return static_cast<std::int32_t>(u32());
        return v;
    }

private:
    std::string_view in_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

float heldTemperature(float value) {
    return std::isnan(value) ? kNoValue : value;
}

} // namespace

HeldReading heldOf(std::int64_t time, const LogRecord& r) {
    return {time, heldTemperature(r.temperature), r.humidity, heldTemperature(r.dewPoint),
            heldTemperature(r.heatIndex)};
}

bool sameReading(const HeldReading& r, const HeldReading& held) {
    return r.temperature == held.temperature && r.humidity == held.humidity &&
           r.dewPoint == held.dewPoint && r.heatIndex == held.heatIndex;
}

void packHour(std::int64_t hourStart, std::span<const HeldReading> readings, std::string& out) {
    out.reserve(out.size() + readings.size() * 9);
    for (const HeldReading& r : readings) {
        put16(out, static_cast<std::uint16_t>(r.time - hourStart));
        putTemperature(out, r.temperature);
        putHumidity(out, r.humidity);
        putTemperature(out, r.dewPoint);
        putTemperature(out, r.heatIndex);
    }
}

bool unpackHour(std::int64_t hourStart, std::string_view packed, std::vector<HeldReading>& out) {
    const std::size_t before = out.size();
    Reader in(packed);
    std::int64_t previous = -1;
    while (!in.done()) {
        HeldReading r;
        const std::int64_t offset = in.u16();
        r.time = hourStart + offset;
        r.temperature = in.temperature();
        r.humidity = in.humidity();
        r.dewPoint = in.temperature();
        r.heatIndex = in.temperature();
        if (!in.ok() || offset >= kBucketSeconds || offset <= previous) {
            out.resize(before);
            return false;
        }
        previous = offset;
        out.push_back(r);
    }
    return true;
}

} // namespace vellumet::store::archive_detail
