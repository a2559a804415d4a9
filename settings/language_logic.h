#pragma once

#include "app/language.h"
#include "device/station_link.h"

#include <QString>
#include <QStringList>

#include <stop_token>

namespace vellumet::settings {

// The Language window's items, in this order: "Deutsch" (0), "English" (1).
QStringList languageItems();
int languageItem(app::UiLanguage language);
app::UiLanguage languageOfItem(int item);
// The value Main.ini holds for a language.
QString languageValue(app::UiLanguage language);

// 0x0B with 0 for German, 1 for English.
CommandFrame languageFrame(app::UiLanguage language);

// Stores the choice in Main.ini; Io with the file's name when it cannot be written.
Status writeLanguageChoice(const QString& iniPath, app::UiLanguage language);

// Tells the station in a settings write (screen-status check first, then the
// language frame and the closing 0x2F).
Status tellStationLanguage(StationLink& link, app::UiLanguage language, std::stop_token stop = {});

} // namespace vellumet::settings
