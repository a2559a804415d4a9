#pragma once

#include "language.h"

#include <QString>

#include <array>

namespace vellumet::app {

inline constexpr int kTextCount = 55;

// Translation contexts of the .ts files.
inline constexpr const char* kTextContext = "TextTable";

// The texts every window refers to, in table order.
enum class TextId {
    Temperature,
    Humidity,
    DewPoint,
    Menu,
    Setup,
    GraphType,
    GraphTime,
    TimeFormat,
    DateFormat,
    Units,
    TimeZone,
    SyncTime,
    Interval,
    Minute,
    SetInterval,
    Save,
    Exit,
    Alarm,
    TemperatureAlarm,
    HumidityAlarm,
    Calibration,
    SdCardFile,
    Export,
    Delete,
    Graph,
    FileName,
    Size,
    Time,
    HeatIndex,
    ConfirmSyncTime,
    SyncTimeSuccess,
    Unconnected,
    Connected,
    StartTime,
    EndTime,
    SwitchToMainScreen,
    IntervalRange,
    SetIntervalSuccess,
    TempError,
    HumiError,
    TempOutOfValue,
    HumiOutOfValue,
    SelectFile,
    OpenError,
    CreateError,
    FileErrors,
    ConfirmDelete,
    TimeError,
    AreaInputError,
    Area,
    AboutTitle,
    High,
    Low,
    Language,
    Folder,
};

struct TextSource {
    const char* source; // English source text, the translation key
};

// Entry n of the table: index 0..54 in the order every window refers to them.
const std::array<TextSource, kTextCount>& textSources();

// Source of the About item of the window menu.
const char* aboutMenuSource();

// The localised text table: empty until loadTexts(), then fixed for the run.
class TextTable {
public:
    // Fills all 55 entries in the current language (the installed translator).
    void load();
    bool loaded() const { return loaded_; }
    // An index outside 0..54 gives an empty text rather than a crash.
    QString at(int index) const;
    QString at(TextId id) const { return at(static_cast<int>(id)); }
    QString operator[](TextId id) const { return at(id); }
    QString aboutMenuText() const { return aboutMenu_; }

private:
    std::array<QString, kTextCount> texts_;
    QString aboutMenu_;
    bool loaded_ = false;
};

// The one table of the program.
TextTable& texts();
void loadTexts();
// The table's text once it is loaded, else the English source (for logic
// used before start-up has loaded the table, and by the command line).
QString textOrSource(TextId id);

// Installs the translator for language into the running application (replacing
// an earlier one). English needs none, but loads its catalogue when present.
// Returns whether the catalogue for a German user interface was found.
bool installTranslations(UiLanguage language);

} // namespace vellumet::app
