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
    {"Time Format", "Zeitformat"},
    {"Date Format", "Datumsformat"},
    {"Units", "Einheiten"},
    {"TimeZone", "Zeitzone"},
    {"Sync Time", "Uhrzeit synchronisieren"},
    {"Interval", "Intervall"},
    {"Minute", "Minuten"},
    {"Set Interval", "Intervall einstellen"},
    {"Save", "Sichern"},
    {"Exit", "Verlassen"},
    {"Alarm", "Alarm"},
    {"Temperature Alarm", "Temperaturalarm"},
    {"Humidity Alarm", "Feuchtealarm"},
    {"Calibration", "Kalibrierung"},
    {"SDCard File", "SD-Karten-Dateien"},
    {"Export", "Exportieren"},
    {"Delete", "Löschen"},
    {"Graph", "Graphik"},
    {"File Name", "Dateiname"},
    {"Size", "Größe"},
    {"Time", "Uhrzeit"},
    {"HeatIndex", "Wärmeindex"},
    {"Are you want to Synchronization Time?", "Möchten Sie die Uhrzeit synchronisieren?"},
    {"Sync Time Success", "Uhrzeit synchronisiert"},
    {"Unconnected", "Getrennt"},
    {"Connected", "Verbunden"},
    {"Start Time", "Startzeit"},
    {"End Time", "Endzeit"},
    {"Please switch the device to the main screen.", "Bitte schalten Sie die Station auf den Hauptbildschirm."},
    {"Interval Range of values: 1 to 240 Minute", "Intervallbereich der Werte: 1 bis 240 Minuten"},
    {"Set Interval Success", "Intervall eingestellt"},
    {"Temp Error", "Fehler Temperatur"},
    {"Humi Error", "Fehler Luftfeuchtigkeit"},
    {"Temp Out of value", "Temperatur außerhalb des Bereichs"},
    {"Humi Out of value", "Luftfeuchtigkeit außerhalb des Bereichs"},
    {"Please select a file", "Wählen Sie eine Datei aus"},
    {"Open Error", "Fehler beim Öffnen"},
    {"Create Error", "Fehler beim Anlegen"},
    {"This file errors", "Die Datei ist fehlerhaft"},
    {"Are you sure to delete the file?", "Soll die Datei wirklich gelöscht werden?"},
    {"Time Error", "Zeitfehler"},
    {"CH Area input error.", "Eingabefehler in einem Bereich."},
    {"Area", "Bereich"},
    {"About Vellumet", "Über Vellumet"},
    {"High", "Hoch"},
    {"Low", "Niedrig"},
    {"Language", "Sprache"},
    {"Folder", "Ordner"},
}};
// clang-format on
