#pragma once

#include <array>

// The text table as the user sees it, independent of the program's own table.
struct ExpectedText {
    const char* english;
    const char* german;
};

// clang-format off
inline constexpr std::array<ExpectedText, 55> kExpectedTexts{{
    {"Temperature", "Temperatur"},
    {"Humidity", "Luftfeuchtigkeit"},
    {"DewPoint", "Taupunkt"},
    {"Menu", "Menü"},
    {"Setup", "Einstellungen"},
    {"Graph Type", "Graphiktyp"},
    {"Graph Time", "Graphikzeit"},
    {"Time Format", "Format Zeit"},
    {"Date Format", "Format Datum"},
    {"Units", "Einheiten"},
    {"TimeZone", "Zeitzone"},
    {"Sync Time", "Synchronisationszeit"},
    {"Interval", "Intervall"},
    {"Minute", "Minuten"},
    {"Set Interval", "Intervalleinstellung"},
    {"Save", "Sichern"},
    {"Exit", "Verlassen"},
    {"Alarm", "Alarm"},
    {"Temperature Alarm", "Temperaturalarm"},
    {"Humidity Alarm", "Alarm Luftfeuchtigkeit"},
    {"Calibration", "Kalibrierung"},
    {"SDCard File", "SD Karte Datei"},
    {"Export", "Export"},
    {"Delete", "Löschen"},
    {"Graph", "Graphik"},
    {"File Name", "Dateiname"},
    {"Size", "Größe"},
    {"Time", "Uhrzeit"},
    {"HeatIndex", "Wärmeindex"},
    {"Are you want to Synchronization Time?", "Möchten Sie die Uhrzeit synchronisieren?"},
    {"Sync Time Success", "Synchronisationszeit Uhrzeit"},
    {"Unconnected", "Getrennt"},
    {"Connected", "Verbunden"},
    {"Start Time", "Startzeit"},
    {"End Time", "Endzeit"},
    {"Please switch the device to the main screen.", "Wechseln Sie zum Hauptbildschirm."},
    {"Interval Range of values: 1 to 240 Minute", "Intervallbereich der Werte: 1 bis 240 Minuten"},
    {"Set Interval Success", "Bestätigung Intervalleinstellung"},
    {"Temp Error", "Fehler Temperatur"},
    {"Humi Error", "Fehler Luftfeuchtigkeit"},
    {"Temp Out of value", "Temperatur außerhalb des Wertes"},
    {"Humi Out of value", "Luftfeuchtig außerhalb des Wertes"},
    {"Please select a file", "Wählen Sie eine Datei aus"},
    {"Open Error", "Fehleröffnung"},
    {"Create Error", "Fehlererstellung"},
    {"This file errors", "Fehlerhafte Datei"},
    {"Are you sure to delete the file?", "Sind Sie sicher: Löschen?"},
    {"Time Error", "Zeitfehler"},
    {"CH Area input error.", "CH Area Eingabefehler"},
    {"Area", "Bereich"},
    {"About Vellumet", "Über Vellumet"},
    {"High", "Hoch"},
    {"Low", "Niedrig"},
    {"Language", "Sprache"},
    {"Folder", "Mappe"},
}};
// clang-format on
