#include "settings_text.h"

#include <QCoreApplication>

#include <cmath>

namespace vellumet::settings {

QString text(app::TextId id) {
    return app::textOrSource(id);
}

QString tenthsText(double value) {
    return QString::number(value, 'f', 1);
}

std::optional<double> numberOf(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> integerOf(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

bool isNoValueText(const QString& text) {
    return text.trimmed() == QLatin1String("--");
}

QString limitErrorText(app::TextId tableText, std::size_t channel, bool high, const QString& lowest,
                       const QString& highest, const QString& unit) {
    const QString limit = high ? QCoreApplication::translate("StationSettings", "high limit")
                               : QCoreApplication::translate("StationSettings", "low limit");
    return QCoreApplication::translate("StationSettings",
                                       "%1: the %2 of CH%3 must be from %4 to %5 %6.")
        .arg(text(tableText), limit, QString::number(channel), lowest, highest, unit);
}

int truncTenths(double tenths) {
    // A value that far out is refused by every check anyway.
    if (!(std::fabs(tenths) < 1e9))
        return tenths < 0 ? -1000000000 : 1000000000;
    return static_cast<int>(std::trunc(tenths));
}

bool isNoValueCode(int tenths) {
    return tenths == -1 || tenths == 0x7FFF;
}

QString noValueCodeMessage(int tenths, double shown, const QString& unit,
                           const std::function<std::optional<int>(const QString&)>& toTenths,
                           const std::function<bool(int)>& storable) {
    // One-decimal texts of the unit shown, as k tenths of that unit.
    const auto textOf = [](int k) { return QString::number(k / 10.0, 'f', 1); };
    const auto stores = [&](int k) { return toTenths(textOf(k)) == tenths; };
    const auto keeps = [&](int k) {
        const std::optional<int> t = toTenths(textOf(k));
        return t && !isNoValueCode(*t) && storable(*t);
    };
    int first = static_cast<int>(std::lround(shown * 10.0));
    for (int k : {first, first - 1, first + 1})
        if (stores(k)) {
            first = k;
            break;
        }
    int last = first;
    constexpr int kSearch = 50; // far more than the few texts one tenth of °C spans
    for (int i = 0; i < kSearch && stores(first - 1); ++i)
        --first;
    for (int i = 0; i < kSearch && stores(last + 1); ++i)
        ++last;
    QStringList nearest;
    for (int k = first - 1; k >= first - kSearch; --k)
        if (keeps(k)) {
            nearest << textOf(k);
            break;
        }
    for (int k = last + 1; k <= last + kSearch; ++k)
        if (keeps(k)) {
            nearest << textOf(k);
            break;
        }
    const QString shownTexts = first == last
                                   ? textOf(first) + ' ' + unit
                                   : QCoreApplication::translate("StationSettings", "%1 to %2 %3")
                                         .arg(textOf(first), textOf(last), unit);
    const QString use =
        nearest.size() == 2
            ? QCoreApplication::translate("StationSettings", "%1 or %2").arg(nearest[0], nearest[1])
            : nearest.value(0);
    return QCoreApplication::translate(
               "StationSettings",
               "%1 cannot be stored: the station reads %2 °C as no value. Use %3.")
        .arg(shownTexts, tenthsText(tenths / 10.0), use);
}

} // namespace vellumet::settings
