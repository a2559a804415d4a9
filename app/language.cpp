#include "language.h"

#include <QFileInfo>
#include <QSettings>

namespace vellumet::app {

UiLanguage languageFromValue(const QString& value) {
    return value == QLatin1String("Deutsch") ? UiLanguage::German : UiLanguage::English;
}

QString readLanguageValue(const QString& iniPath) {
    if (!QFileInfo::exists(iniPath))
        return {};
    const QSettings settings(iniPath, QSettings::IniFormat);
    // Only the first 260 characters are looked at; longer values cannot match anyway.
    return settings.value(QString::fromLatin1(kLanguageKey)).toString().left(260);
}

bool writeLanguageValue(const QString& iniPath, const QString& value) {
    QSettings settings(iniPath, QSettings::IniFormat);
    settings.setValue(QString::fromLatin1(kLanguageKey), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

UiLanguage languageFromSettings(const QString& iniPath) {
    return languageFromValue(readLanguageValue(iniPath));
}

int languageId(UiLanguage language) {
    return language == UiLanguage::German ? 0x407 : 0x409;
}

} // namespace vellumet::app
