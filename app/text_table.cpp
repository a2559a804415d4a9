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
    {QT_TRANSLATE_NOOP("TextTable", "Temperature")},
    {QT_TRANSLATE_NOOP("TextTable", "Humidity")},
    {QT_TRANSLATE_NOOP("TextTable", "DewPoint")},
    {QT_TRANSLATE_NOOP("TextTable", "Menu")},
    {QT_TRANSLATE_NOOP("TextTable", "Setup")},
    {QT_TRANSLATE_NOOP("TextTable", "Graph Type")},
    {QT_TRANSLATE_NOOP("TextTable", "Graph Time")},
    {QT_TRANSLATE_NOOP("TextTable", "Time Format")},
    {QT_TRANSLATE_NOOP("TextTable", "Date Format")},
    {QT_TRANSLATE_NOOP("TextTable", "Units")},
    {QT_TRANSLATE_NOOP("TextTable", "TimeZone")},
    {QT_TRANSLATE_NOOP("TextTable", "Sync Time")},
    {QT_TRANSLATE_NOOP("TextTable", "Interval")},
    {QT_TRANSLATE_NOOP("TextTable", "Minute")},
    {QT_TRANSLATE_NOOP("TextTable", "Set Interval")},
    {QT_TRANSLATE_NOOP("TextTable", "Save")},
    {QT_TRANSLATE_NOOP("TextTable", "Exit")},
    {QT_TRANSLATE_NOOP("TextTable", "Alarm")},
    {QT_TRANSLATE_NOOP("TextTable", "Temperature Alarm")},
    {QT_TRANSLATE_NOOP("TextTable", "Humidity Alarm")},
    {QT_TRANSLATE_NOOP("TextTable", "Calibration")},
    {QT_TRANSLATE_NOOP("TextTable", "SDCard File")},
    {QT_TRANSLATE_NOOP("TextTable", "Export")},
    {QT_TRANSLATE_NOOP("TextTable", "Delete")},
    {QT_TRANSLATE_NOOP("TextTable", "Graph")},
    {QT_TRANSLATE_NOOP("TextTable", "File Name")},
    {QT_TRANSLATE_NOOP("TextTable", "Size")},
    {QT_TRANSLATE_NOOP("TextTable", "Time")},
    {QT_TRANSLATE_NOOP("TextTable", "HeatIndex")},
    {QT_TRANSLATE_NOOP("TextTable", "Are you want to Synchronization Time?")},
    {QT_TRANSLATE_NOOP("TextTable", "Sync Time Success")},
    {QT_TRANSLATE_NOOP("TextTable", "Unconnected")},
    {QT_TRANSLATE_NOOP("TextTable", "Connected")},
    {QT_TRANSLATE_NOOP("TextTable", "Start Time")},
    {QT_TRANSLATE_NOOP("TextTable", "End Time")},
    {QT_TRANSLATE_NOOP("TextTable", "Please switch the device to the main screen.")},
    {QT_TRANSLATE_NOOP("TextTable", "Interval Range of values: 1 to 240 Minute")},
    {QT_TRANSLATE_NOOP("TextTable", "Set Interval Success")},
    {QT_TRANSLATE_NOOP("TextTable", "Temp Error")},
    {QT_TRANSLATE_NOOP("TextTable", "Humi Error")},
    {QT_TRANSLATE_NOOP("TextTable", "Temp Out of value")},
    {QT_TRANSLATE_NOOP("TextTable", "Humi Out of value")},
    {QT_TRANSLATE_NOOP("TextTable", "Please select a file")},
    {QT_TRANSLATE_NOOP("TextTable", "Open Error")},
    {QT_TRANSLATE_NOOP("TextTable", "Create Error")},
    {QT_TRANSLATE_NOOP("TextTable", "This file errors")},
    {QT_TRANSLATE_NOOP("TextTable", "Are you sure to delete the file?")},
    {QT_TRANSLATE_NOOP("TextTable", "Time Error")},
    {QT_TRANSLATE_NOOP("TextTable", "CH Area input error.")},
    {QT_TRANSLATE_NOOP("TextTable", "Area")},
    {QT_TRANSLATE_NOOP("TextTable", "About Vellumet")},
    {QT_TRANSLATE_NOOP("TextTable", "High")},
    {QT_TRANSLATE_NOOP("TextTable", "Low")},
    {QT_TRANSLATE_NOOP("TextTable", "Language")},
    {QT_TRANSLATE_NOOP("TextTable", "Folder")},
}};

const char* const kAboutMenu = QT_TRANSLATE_NOOP("TextTable", "About Vellumet(&A)...");

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

QString textOrSource(TextId id) {
    if (texts().loaded())
        return texts()[id];
    return QString::fromLatin1(textSources()[static_cast<std::size_t>(id)].source);
}

} // namespace vellumet::app
