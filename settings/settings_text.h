#pragma once

#include "app/text_table.h"

#include <QString>

#include <functional>
#include <optional>

namespace vellumet::settings {

// A text of the table in the user's language; the English text when the
// table has not been loaded (the command line loads no translation).
QString text(app::TextId id);

// "%0.1f" of a value, or "--" for none.
QString tenthsText(double value);

// A box's text as a decimal number, blanks around it ignored; nothing when it
// is not one (letters, an empty box, "--").
std::optional<double> numberOf(const QString& text);
std::optional<int> integerOf(const QString& text);

// Whether a box reads "--", blanks around it ignored.
bool isNoValueText(const QString& text);

// A refused alarm limit: the table's own text (e.g. "Temp Error"), then which
// channel and limit, and the values that limit takes, as texts of the unit shown.
QString limitErrorText(app::TextId tableText, std::size_t channel, bool high, const QString& lowest,
                       const QString& highest, const QString& unit);

// Cuts towards zero, as the station's own conversions do.
int truncTenths(double tenths);

// Whether tenths of °C would go out as one of the two pairs the station reads
// as no value: 0xFF 0xFF (-0.1 °C) and 0x7F 0xFF.
bool isNoValueCode(int tenths);

// Why a temperature cannot be stored when it would go out as a no-value pair:
// the texts of the unit shown that store it, and the nearest texts on either
// side that store something the station keeps. toTenths reads a text as it
// would be stored; storable says whether a stored value can be sent at all.
// shown is the stored value in the unit shown, unit "°C" or "°F".
QString noValueCodeMessage(int tenths, double shown, const QString& unit,
                           const std::function<std::optional<int>(const QString&)>& toTenths,
                           const std::function<bool(int)>& storable);

} // namespace vellumet::settings
