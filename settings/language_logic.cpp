#include "language_logic.h"

#include <array>

namespace vellumet::settings {

using app::UiLanguage;

QStringList languageItems() {
    return {QStringLiteral("Deutsch"), QStringLiteral("English")};
}

int languageItem(UiLanguage language) {
    return language == UiLanguage::German ? 0 : 1;
}

UiLanguage languageOfItem(int item) {
    return item == 0 ? UiLanguage::German : UiLanguage::English;
}

QString languageValue(UiLanguage language) {
    return languageItems()[languageItem(language)];
}

CommandFrame languageFrame(UiLanguage language) {
    const std::array<std::uint8_t, 1> payload = {
        static_cast<std::uint8_t>(language == UiLanguage::German ? 0 : 1)};
    return CommandFrame(cmd::SetLanguage, payload);
}

Status writeLanguageChoice(const QString& iniPath, UiLanguage language) {
    if (!app::writeLanguageValue(iniPath, languageValue(language)) ||
        app::readLanguageValue(iniPath) != languageValue(language))
        return makeError(Errc::Io, "cannot write " + iniPath.toStdString());
    return {};
}

Status tellStationLanguage(StationLink& link, UiLanguage language, std::stop_token stop) {
    const CommandFrame frame = languageFrame(language);
    return link.writeSettings(std::span<const CommandFrame>(&frame, 1), {}, stop);
}

} // namespace vellumet::settings
