#include "settings_text.h"

#include <cmath>

namespace vellumet::settings {

QString text(app::TextId id) {
    if (app::texts().loaded())
        return app::texts()[id];
    return QString::fromLatin1(app::textSources()[static_cast<std::size_t>(id)].source);
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

int truncTenths(double tenths) {
    // A value that far out is refused by every check anyway.
    if (!(std::fabs(tenths) < 1e9))
        return tenths < 0 ? -1000000000 : 1000000000;
    return static_cast<int>(std::trunc(tenths));
}

} // namespace vellumet::settings
