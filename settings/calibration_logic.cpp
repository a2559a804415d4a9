#include "calibration_logic.h"

#include "settings_text.h"

#include <cstdint>
#include <limits>

namespace vellumet::settings {

using app::TextId;

namespace {

constexpr int kCorrectedMinTenths = -400;
constexpr int kCorrectedMaxTenths = 600;
constexpr int kCorrectedHumidityMin = 0;
constexpr int kCorrectedHumidityMax = 99;

Error outOfValue(int channel, TextId id) {
    return makeError(Errc::InvalidInput,
                     QStringLiteral(" CH%1 %2.").arg(channel).arg(text(id)).toStdString());
}

std::uint16_t pairAt(const Block& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

bool fitsSixteenBits(int tenths) {
    return tenths >= std::numeric_limits<std::int16_t>::min() &&
           tenths <= std::numeric_limits<std::int16_t>::max();
}

bool isNoValuePair(std::uint16_t raw) {
    return raw == 0xFFFF || raw == 0x7FFF;
}

} // namespace

std::optional<int> offsetTenths(const QString& boxText, bool fahrenheit) {
    if (boxText.trimmed() == QLatin1String("--"))
        return NO_VALUE;
    const std::optional<double> x = numberOf(boxText);
    if (!x)
        return std::nullopt;
    return truncTenths(fahrenheit ? *x / 1.8 * 10.0 : *x * 10.0);
}

CalibEditor::CalibEditor(const Block& offsets, const Readings& readings, bool fahrenheit)
    : offsets_(offsets), readings_(readings), fahrenheit_(fahrenheit) {
    for (std::size_t n = 1; n <= kChannelCount; ++n) {
        const std::uint16_t raw = pairAt(offsets_, 3 * n - 2);
        if (isNoValuePair(raw)) {
            opening_.temperature[n - 1] = QStringLiteral("--");
        } else {
            const double celsius = static_cast<std::int16_t>(raw) / 10.0;
            opening_.temperature[n - 1] = tenthsText(fahrenheit_ ? celsius * 1.8 : celsius);
        }
        opening_.humidity[n - 1] = QString::number(static_cast<std::int8_t>(offsets_[3 * n]));
    }
}

CalibEditor CalibEditor::unconnected(const Readings& readings, bool fahrenheit) {
    return CalibEditor(Block{}, readings, fahrenheit);
}

bool CalibEditor::temperatureEditable(int channel) const {
    return channel >= 1 && channel <= kChannelCount &&
           readings_[static_cast<std::size_t>(channel - 1)].hasTemperature();
}

bool CalibEditor::humidityEditable(int channel) const {
    return channel >= 1 && channel <= kChannelCount &&
           readings_[static_cast<std::size_t>(channel - 1)].hasHumidity();
}

CalibValues CalibEditor::values(const CalibForm& form) const {
    CalibValues v;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        if (form.temperature[i].trimmed() == opening_.temperature[i].trimmed())
            v.temperature[i] = kKeep;
        else
            v.temperature[i] = offsetTenths(form.temperature[i], fahrenheit_).value_or(kNotANumber);
        if (form.humidity[i].trimmed() == opening_.humidity[i].trimmed())
            v.humidity[i] = kKeep;
        else if (form.humidity[i].trimmed() == QLatin1String("--"))
            v.humidity[i] = NO_VALUE;
        else
            v.humidity[i] = integerOf(form.humidity[i]).value_or(kNotANumber);
    }
    return v;
}

Result<CommandFrame> CalibEditor::frame(const CalibValues& v) const {
    std::array<std::uint8_t, 3 * kChannelCount> payload{};

    for (int n = 1; n <= kChannelCount; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        const std::uint16_t stationRaw = pairAt(offsets_, 3 * i + 1);
        const int stationTenths =
            isNoValuePair(stationRaw) ? 0 : static_cast<std::int16_t>(stationRaw);
        std::uint16_t raw = stationRaw;
        int newTenths = stationTenths;
        const int given = v.temperature[i];
        if (given == NO_VALUE) {
            raw = 0xFFFF;
            newTenths = 0;
        } else if (given != kKeep) {
            // Letters would otherwise be sent as an offset of 0; a value beyond
            // 16 bits cannot be sent at all.
            if (given == kNotANumber || !fitsSixteenBits(given))
                return outOfValue(n, TextId::TempOutOfValue);
            // -0.1 °C goes out as 0xFF 0xFF, which the station reads back as no offset.
            if (isNoValueCode(given)) {
                const double shown = fahrenheit_ ? given / 10.0 * 1.8 : given / 10.0;
                const QString message = noValueCodeMessage(
                    given, shown, fahrenheit_ ? QStringLiteral("°F") : QStringLiteral("°C"),
                    [this](const QString& t) { return offsetTenths(t, fahrenheit_); },
                    fitsSixteenBits);
                return makeError(Errc::InvalidInput,
                                 QStringLiteral(" CH%1 %2").arg(n).arg(message).toStdString());
            }
            raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(given));
            newTenths = given;
        }
        if (temperatureEditable(n)) {
            const int current = truncTenths(readings_[i].temperature * 10.0);
            const int corrected = current - stationTenths + newTenths;
            if (corrected > kCorrectedMaxTenths || corrected < kCorrectedMinTenths)
                return outOfValue(n, TextId::TempOutOfValue);
        }
        payload[3 * i] = static_cast<std::uint8_t>(raw >> 8);
        payload[3 * i + 1] = static_cast<std::uint8_t>(raw & 0xFF);
    }

    for (int n = 1; n <= kChannelCount; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        const std::uint8_t stationByte = offsets_[3 * i + 3];
        const int stationValue = static_cast<std::int8_t>(stationByte);
        std::uint8_t byte = stationByte;
        int newValue = stationValue;
        const int given = v.humidity[i];
        if (given == NO_VALUE) {
            byte = 0xFF;
            newValue = 0;
        } else if (given != kKeep) {
            if (given == kNotANumber || given < std::numeric_limits<std::int8_t>::min() ||
                given > std::numeric_limits<std::int8_t>::max())
                return outOfValue(n, TextId::HumiOutOfValue);
            byte = static_cast<std::uint8_t>(static_cast<std::int8_t>(given));
            newValue = given;
        }
        if (humidityEditable(n)) {
            const int corrected = readings_[i].humidity - stationValue + newValue;
            if (corrected > kCorrectedHumidityMax || corrected < kCorrectedHumidityMin)
                return outOfValue(n, TextId::HumiOutOfValue);
        }
        payload[3 * i + 2] = byte;
    }
    return CommandFrame(cmd::WriteCalibration, payload);
}

} // namespace vellumet::settings
