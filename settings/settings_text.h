#pragma once

#include "app/text_table.h"

#include <QString>

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

// Cuts towards zero, as the station's own conversions do.
int truncTenths(double tenths);

} // namespace vellumet::settings
