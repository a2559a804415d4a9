#include "text_table.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace vellumet::app {

namespace {

// clang-format off
const std::array<TextSource, kTextCount> kTexts{{
    {201, QT_TRANSLATE_NOOP("TextTable", "Temperature")},
    {202, QT_TRANSLATE_NOOP("TextTable", "Humidity")},
    {293, QT_TRANSLATE_NOOP("TextTable", "DewPoint")},
    {204, QT_TRANSLATE_NOOP("TextTable", "Menu")},
    {205, QT_TRANSLATE_NOOP("TextTable", "Setup")},
    {206, QT_TRANSLATE_NOOP("TextTable", "Graph Type")},
    {207, QT_TRANSLATE_NOOP("TextTable", "Graph Time")},
    {208, QT_TRANSLATE_NOOP("TextTable", "Time Format")},
    {209, QT_TRANSLATE_NOOP("TextTable", "Date Format")},
    {210, QT_TRANSLATE_NOOP("TextTable", "Units")},
    {211, QT_TRANSLATE_NOOP("TextTable", "TimeZone")},
    {212, QT_TRANSLATE_NOOP("TextTable", "Sync Time")},
    {213, QT_TRANSLATE_NOOP("TextTable", "Interval")},
    {214, QT_TRANSLATE_NOOP("TextTable", "Minute")},
    {215, QT_TRANSLATE_NOOP("TextTable", "Set Interval")},
    {216, QT_TRANSLATE_NOOP("TextTable", "Save")},
    {217, QT_TRANSLATE_NOOP("TextTable", "Exit")},
    {218, QT_TRANSLATE_NOOP("TextTable", "Alarm")},
    {219, QT_TRANSLATE_NOOP("TextTable", "Temperature Alarm")},
    {220, QT_TRANSLATE_NOOP("TextTable", "Humidity Alarm")},
    {221, QT_TRANSLATE_NOOP("TextTable", "Calibration")},
    {222, QT_TRANSLATE_NOOP("TextTable", "SDCard File")},
    {223, QT_TRANSLATE_NOOP("TextTable", "Export")},
    {224, QT_TRANSLATE_NOOP("TextTable", "Delete")},
    {225, QT_TRANSLATE_NOOP("TextTable", "Graph")},
    {226, QT_TRANSLATE_NOOP("TextTable", "File Name")},
    {227, QT_TRANSLATE_NOOP("TextTable", "Size")},
    {228, QT_TRANSLATE_NOOP("TextTable", "Time")},
    {229, QT_TRANSLATE_NOOP("TextTable", "HeatIndex")},
    {230, QT_TRANSLATE_NOOP("TextTable", "Are you want to Synchronization Time?")},
    {231, QT_TRANSLATE_NOOP("TextTable", "Sync Time Success")},
    {232, QT_TRANSLATE_NOOP("TextTable", "Unconnected")},
    {233, QT_TRANSLATE_NOOP("TextTable", "Connected")},
    {234, QT_TRANSLATE_NOOP("TextTable", "Start Time")},
    {235, QT_TRANSLATE_NOOP("TextTable", "End Time")},
    {236, QT_TRANSLATE_NOOP("TextTable", "Please switch the device to the main screen.")},
    {237, QT_TRANSLATE_NOOP("TextTable", "Interval Range of values: 1 to 240 Minute")},
    {238, QT_TRANSLATE_NOOP("TextTable", "Set Interval Success")},
    {239, QT_TRANSLATE_NOOP("TextTable", "Temp Error")},
    {240, QT_TRANSLATE_NOOP("TextTable", "Humi Error")},
    {241, QT_TRANSLATE_NOOP("TextTable", "Temp Out of value")},
    {242, QT_TRANSLATE_NOOP("TextTable", "Humi Out of value")},
    {243, QT_TRANSLATE_NOOP("TextTable", "Please select a file")},
    {244, QT_TRANSLATE_NOOP("TextTable", "Open Error")},
    {245, QT_TRANSLATE_NOOP("TextTable", "Create Error")},
    {246, QT_TRANSLATE_NOOP("TextTable", "This file errors")},
    {247, QT_TRANSLATE_NOOP("TextTable", "Are you sure to delete the file?")},
    {248, QT_TRANSLATE_NOOP("TextTable", "Time Error")},
    {103, QT_TRANSLATE_NOOP("TextTable", "CH Area input error.")},
    {249, QT_TRANSLATE_NOOP("TextTable", "Area")},
    {250, QT_TRANSLATE_NOOP("TextTable", "About Vellumet")},
    {294, QT_TRANSLATE_NOOP("TextTable", "High")},
    {295, QT_TRANSLATE_NOOP("TextTable", "Low")},
    {296, QT_TRANSLATE_NOOP("TextTable", "Language")},
    {102, QT_TRANSLATE_NOOP("TextTable", "Folder")},
}};

const char* const kAboutMenu = QT_TRANSLATE_NOOP("TextTable", "About Vellumet(&A)...");

const char* const kMenuTitle = QT_TRANSLATE_NOOP("MainMenu", "Menu");

const std::array<MenuCommand, 6> kMenu{{
    {32772, QT_TRANSLATE_NOOP("MainMenu", "Setup")},
    {32773, QT_TRANSLATE_NOOP("MainMenu", "Alarm")},
    {32774, QT_TRANSLATE_NOOP("MainMenu", "Calibration")},
    {32775, QT_TRANSLATE_NOOP("MainMenu", "SDCard File")},
    {32776, QT_TRANSLATE_NOOP("MainMenu", "Sync Time")},
    {32777, QT_TRANSLATE_NOOP("MainMenu", "Language")},
}};
// clang-format on

QString tr(const char* context, const char* source) {
    return QCoreApplication::translate(context, source);
}

std::unique_ptr<QTranslator>& appTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator>& qtTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

void replaceTranslator(std::unique_ptr<QTranslator>& slot, std::unique_ptr<QTranslator> next) {
    if (slot)
        QCoreApplication::removeTranslator(slot.get());
    slot = std::move(next);
    if (slot)
        QCoreApplication::installTranslator(slot.get());
}

} // namespace

const std::array<TextSource, kTextCount>& textSources() {
    return kTexts;
}

const char* aboutMenuSource() {
    return kAboutMenu;
}

void TextTable::load() {
    for (int i = 0; i < kTextCount; ++i)
        texts_[static_cast<std::size_t>(i)] =
            tr(kTextContext, kTexts[static_cast<std::size_t>(i)].source);
    aboutMenu_ = tr(kTextContext, kAboutMenu);
    loaded_ = true;
}

QString TextTable::at(int index) const {
    if (index < 0 || index >= kTextCount)
        return {};
    return texts_[static_cast<std::size_t>(index)];
}

TextTable& texts() {
    static TextTable table;
    return table;
}

void loadTexts() {
    texts().load();
}

const std::array<MenuCommand, 6>& menuCommands() {
    return kMenu;
}

QString menuTitle() {
    return tr(kMenuContext, kMenuTitle);
}

QString menuText(const MenuCommand& command) {
    return tr(kMenuContext, command.source);
}

bool installTranslations(UiLanguage language) {
    const QString code =
        language == UiLanguage::German ? QStringLiteral("de") : QStringLiteral("en");
    auto own = std::make_unique<QTranslator>();
    const bool found = own->load(QStringLiteral(":/i18n/vellumet_%1.qm").arg(code));
    replaceTranslator(appTranslator(), found ? std::move(own) : nullptr);

    // Qt's own texts (standard buttons of message boxes) in the same language.
    auto qt = std::make_unique<QTranslator>();
    const bool qtFound =
        language == UiLanguage::German &&
        qt->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    replaceTranslator(qtTranslator(), qtFound ? std::move(qt) : nullptr);
    return language == UiLanguage::German ? found : true;
}

} // namespace vellumet::app
