#include "alarm_logic.h"

#include "settings_text.h"

namespace vellumet::settings {

using app::TextId;

namespace {

std::uint16_t pairAt(const Block& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

QString limitText(std::uint16_t raw, bool fahrenheit) {
    const float celsius =
        decodeTemperature(static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw));
    if (celsius == NO_VALUE_F)
        return QStringLiteral("--");
    const double value = fahrenheit ? celsius * 1.8 + 32.0 : celsius;
    return tenthsText(value);
}

QString humidityText(std::uint8_t raw) {
    return raw == 0xFF ? QStringLiteral("--") : QString::number(raw);
}

bool temperatureInRange(int tenths) {
    return tenths >= kTemperatureMinTenths && tenths <= kTemperatureMaxTenths;
}

std::uint8_t enableBits(const std::array<bool, kChannelCount>& on) {
    std::uint8_t bits = 0;
    for (int n = 0; n < kChannelCount; ++n)
        if (on[static_cast<std::size_t>(n)])
            bits = static_cast<std::uint8_t>(bits | 1u << n);
    return bits;
}

void enablesFrom(std::uint8_t bits, std::array<bool, kChannelCount>& on) {
    for (int n = 0; n < kChannelCount; ++n)
        on[static_cast<std::size_t>(n)] = (bits >> n & 1) != 0;
}

std::uint8_t switchByte(int selection, std::uint8_t station) {
    return selection == 0 || selection == 1 ? static_cast<std::uint8_t>(selection) : station;
}

int switchSelection(std::uint8_t station) {
    return station <= 1 ? station : -1;
}

} // namespace

std::optional<int> temperatureLimitTenths(const QString& boxText, bool fahrenheit) {
    if (isNoValueText(boxText))
        return NO_VALUE;
    const std::optional<double> x = numberOf(boxText);
    if (!x)
        return std::nullopt;
    return truncTenths(fahrenheit ? (*x - 32.0) / 1.8 * 10.0 : *x * 10.0);
}

AlarmEditor::AlarmEditor(const Block& switches, const Block& temperatureLimits,
                         const Block& humidityLimits, bool fahrenheit)
    : switches_(switches), temperatures_(temperatureLimits), humidities_(humidityLimits),
      fahrenheit_(fahrenheit) {
    opening_.humiditySwitch = switchSelection(switches_[1]);
    opening_.temperatureSwitch = switchSelection(switches_[2]);
    enablesFrom(switches_[3], opening_.humidityHighOn);
    enablesFrom(switches_[4], opening_.humidityLowOn);
    enablesFrom(switches_[5], opening_.temperatureHighOn);
    enablesFrom(switches_[6], opening_.temperatureLowOn);
    for (std::size_t n = 1; n <= kChannelCount; ++n) {
        opening_.temperatureHigh[n - 1] = limitText(pairAt(temperatures_, 4 * n - 3), fahrenheit_);
        opening_.temperatureLow[n - 1] = limitText(pairAt(temperatures_, 4 * n - 1), fahrenheit_);
        opening_.humidityHigh[n - 1] = humidityText(humidities_[2 * n - 1]);
        opening_.humidityLow[n - 1] = humidityText(humidities_[2 * n]);
    }
}

AlarmEditor AlarmEditor::unconnected(bool fahrenheit) {
    Block none{};
    none.fill(0xFF);
    return AlarmEditor(Block{}, none, none, fahrenheit);
}

namespace {

int limitValue(const QString& boxText, const QString& opened, bool fahrenheit) {
    if (boxText.trimmed() == opened.trimmed())
        return kKeep;
    return temperatureLimitTenths(boxText, fahrenheit).value_or(kNotANumber);
}

int humidityValue(const QString& boxText, const QString& opened) {
    if (boxText.trimmed() == opened.trimmed())
        return kKeep;
    // The window has no way to clear a humidity limit: "--" is refused like letters.
    return integerOf(boxText).value_or(kNotANumber);
}

} // namespace

AlarmValues AlarmEditor::values(const AlarmForm& form) const {
    AlarmValues v;
    v.temperatureSwitch = form.temperatureSwitch;
    v.humiditySwitch = form.humiditySwitch;
    v.temperatureHighOn = form.temperatureHighOn;
    v.temperatureLowOn = form.temperatureLowOn;
    v.humidityHighOn = form.humidityHighOn;
    v.humidityLowOn = form.humidityLowOn;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        v.temperatureHigh[i] =
            limitValue(form.temperatureHigh[i], opening_.temperatureHigh[i], fahrenheit_);
        v.temperatureLow[i] =
            limitValue(form.temperatureLow[i], opening_.temperatureLow[i], fahrenheit_);
        v.humidityHigh[i] = humidityValue(form.humidityHigh[i], opening_.humidityHigh[i]);
        v.humidityLow[i] = humidityValue(form.humidityLow[i], opening_.humidityLow[i]);
    }
    return v;
}

AlarmValues AlarmEditor::keepAll() const {
    AlarmValues v = values(opening_);
    v.temperatureSwitch = -1;
    v.humiditySwitch = -1;
    return v;
}

Result<std::uint16_t> AlarmEditor::temperatureRaw(int value, std::uint16_t stationRaw,
                                                  std::size_t channel, bool high) const {
    const auto shownText = [this](int tenths) {
        return tenthsText(fahrenheit_ ? tenths / 10.0 * 1.8 + 32.0 : tenths / 10.0);
    };
    const Error refused =
        makeError(Errc::InvalidInput,
                  limitErrorText(TextId::TempError, channel, high, shownText(kTemperatureMinTenths),
                                 shownText(kTemperatureMaxTenths),
                                 fahrenheit_ ? QStringLiteral("°F") : QStringLiteral("°C"))
                      .toStdString());
    if (value == kKeep) {
        // Unchanged: the station's own value, checked like any other.
        const float celsius = decodeTemperature(static_cast<std::uint8_t>(stationRaw >> 8),
                                                static_cast<std::uint8_t>(stationRaw));
        if (celsius != NO_VALUE_F && !temperatureInRange(static_cast<std::int16_t>(stationRaw)))
            return refused;
        return stationRaw;
    }
    if (value == NO_VALUE)
        return std::uint16_t{0xFFFF};
    // Letters would otherwise be sent as 0 °C.
    if (value == kNotANumber || !temperatureInRange(value))
        return refused;
    // -0.1 °C goes out as 0xFF 0xFF, which the station keeps as no limit at all.
    if (isNoValueCode(value)) {
        const double shown = fahrenheit_ ? value / 10.0 * 1.8 + 32.0 : value / 10.0;
        const QString message = noValueCodeMessage(
            value, shown, fahrenheit_ ? QStringLiteral("°F") : QStringLiteral("°C"),
            [this](const QString& t) { return temperatureLimitTenths(t, fahrenheit_); },
            temperatureInRange);
        return makeError(Errc::InvalidInput,
                         QStringLiteral("CH%1: %2").arg(channel).arg(message).toStdString());
    }
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
}

Result<AlarmFrames> AlarmEditor::frames(const AlarmValues& v) const {
    std::array<std::uint8_t, 32> temperatures{};
    for (std::size_t n = 1; n <= kChannelCount; ++n) {
        const std::size_t at = 4 * n - 3; // high limit's pair in the answer block
        for (std::size_t which = 0; which < 2; ++which) {
            const int value = which == 0 ? v.temperatureHigh[n - 1] : v.temperatureLow[n - 1];
            const Result<std::uint16_t> raw =
                temperatureRaw(value, pairAt(temperatures_, at + 2 * which), n, which == 0);
            if (!raw)
                return raw.error();
            temperatures[at - 1 + 2 * which] = static_cast<std::uint8_t>(*raw >> 8);
            temperatures[at + 2 * which] = static_cast<std::uint8_t>(*raw & 0xFF);
        }
    }

    std::array<std::uint8_t, 16> humidities{};
    for (std::size_t n = 1; n <= kChannelCount; ++n) {
        for (std::size_t which = 0; which < 2; ++which) {
            const int given = which == 0 ? v.humidityHigh[n - 1] : v.humidityLow[n - 1];
            const std::uint8_t station = humidities_[2 * n - 1 + which];
            // An explicit no value (a profile's null) goes out as the station's
            // own 0xFF. A box's "--", the station's own 0xFF kept by the window,
            // and letters read as 0 and so fail like any value out of range.
            if (given == NO_VALUE) {
                humidities[2 * n - 2 + which] = 0xFF;
                continue;
            }
            int value = given == kKeep ? (station == 0xFF ? 0 : station) : given;
            if (value == kNotANumber)
                value = 0;
            if (value < kHumidityLimitMin || value > kHumidityLimitMax)
                return makeError(Errc::InvalidInput,
                                 limitErrorText(TextId::HumiError, n, which == 0,
                                                QString::number(kHumidityLimitMin),
                                                QString::number(kHumidityLimitMax),
                                                QStringLiteral("%"))
                                     .toStdString());
            humidities[2 * n - 2 + which] = static_cast<std::uint8_t>(value);
        }
    }

    const std::array<std::uint8_t, 6> switchPayload = {
        switchByte(v.humiditySwitch, switches_[1]),
        switchByte(v.temperatureSwitch, switches_[2]),
        enableBits(v.humidityHighOn),
        enableBits(v.humidityLowOn),
        enableBits(v.temperatureHighOn),
        enableBits(v.temperatureLowOn),
    };
    return AlarmFrames{CommandFrame(cmd::WriteAlarm1, switchPayload),
                       CommandFrame(cmd::WriteAlarm3, temperatures),
                       CommandFrame(cmd::WriteAlarm4, humidities)};
}

} // namespace vellumet::settings

namespace vellumet::settings {

std::vector<std::string> alarmKeys() {
    return {"temperature-high",    "temperature-low",        "humidity-high",
            "humidity-low",        "temperature-high-alarm", "temperature-low-alarm",
            "humidity-high-alarm", "humidity-low-alarm",     "temperature-alarm",
            "humidity-alarm"};
}

Status applyAlarmKey(AlarmForm& form, int channel, const std::string& key,
                     const std::string& value) {
    if (channel < 1 || channel > kChannelCount)
        return makeError(Errc::InvalidInput, "the channel must be 1 to 8");
    const std::size_t i = static_cast<std::size_t>(channel - 1);
    const QString v = QString::fromStdString(value).trimmed();
    const auto onOff = [&]() -> std::optional<bool> {
        if (v.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
            return true;
        if (v.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
            return false;
        return std::nullopt;
    };
    const auto setSwitch = [&](bool& target) -> Status {
        const std::optional<bool> on = onOff();
        if (!on)
            return makeError(Errc::InvalidInput,
                             key + ": '" + value + "' is not accepted; use on or off");
        target = *on;
        return {};
    };
    if (key == "temperature-high")
        form.temperatureHigh[i] = v;
    else if (key == "temperature-low")
        form.temperatureLow[i] = v;
    else if (key == "humidity-high")
        form.humidityHigh[i] = v;
    else if (key == "humidity-low")
        form.humidityLow[i] = v;
    else if (key == "temperature-high-alarm")
        return setSwitch(form.temperatureHighOn[i]);
    else if (key == "temperature-low-alarm")
        return setSwitch(form.temperatureLowOn[i]);
    else if (key == "humidity-high-alarm")
        return setSwitch(form.humidityHighOn[i]);
    else if (key == "humidity-low-alarm")
        return setSwitch(form.humidityLowOn[i]);
    else if (key == "temperature-alarm" || key == "humidity-alarm") {
        bool on = false;
        if (Status set = setSwitch(on); !set)
            return set;
        (key == "temperature-alarm" ? form.temperatureSwitch : form.humiditySwitch) = on ? 0 : 1;
    } else {
        std::string known;
        for (const std::string& k : alarmKeys())
            known += (known.empty() ? "" : ", ") + k;
        return makeError(Errc::InvalidInput, "unknown alarm setting '" + key + "'; use " + known);
    }
    return {};
}

} // namespace vellumet::settings
