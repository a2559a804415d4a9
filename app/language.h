#pragma once

#include <QString>

namespace vellumet::app {

enum class UiLanguage { English, German };

// Section and key of the language choice in Main.ini.
inline constexpr const char* kLanguageKey = "Language/Language";

// "Deutsch" selects German; anything else, other spellings and an empty value
// included, selects English. The comparison is exact on purpose: the Language
// dialog only ever writes these two values.
UiLanguage languageFromValue(const QString& value);

// The stored value, empty when the file, the section or the key is missing.
QString readLanguageValue(const QString& iniPath);
bool writeLanguageValue(const QString& iniPath, const QString& value);

UiLanguage languageFromSettings(const QString& iniPath);

// Windows language ids, kept for the station and for log output: 0x409 or 0x407.
int languageId(UiLanguage language);

} // namespace vellumet::app
