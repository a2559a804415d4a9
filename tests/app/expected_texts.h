#pragma once

#include <array>

// The text table as the user sees it, independent of the program's own table.
struct ExpectedText {
    int resourceId;
    const char* english;
    const char* german;
};

// clang-format off
inline constexpr std::array<ExpectedText, 55> kExpectedTexts{{
    {201, "Temperature", "Temperatur"},
    {202, "Humidity", "Luftfeuchtigkeit"},
    {293, "DewPoint", "Taupunkt"},
    {204, "Menu", "Menü"},
    {205, "Setup", "Einstellungen"},
    {206, "Graph Type", "Graphiktyp"},
    {207, "Graph Time", "Graphikzeit"},
    {208, "Time Format", "Format Zeit"},
    {209, "Date Format", "Format Datum"},
    {210, "Units", "Einheiten"},
    {211, "TimeZone", "Zeitzone"},
    {212, "Sync Time", "Synchronisationszeit"},
    {213, "Interval", "Intervall"},
    {214, "Minute", "Minuten"},
    {215, "Set Interval", "Intervalleinstellung"},
    {216, "Save", "Sichern"},
    {217, "Exit", "Verlassen"},
    {218, "Alarm", "Alarm"},
    {219, "Temperature Alarm", "Temperaturalarm"},
    {220, "Humidity Alarm", "Alarm Luftfeuchtigkeit"},
    {221, "Calibration", "Kalibrierung"},
    {222, "SDCard File", "SD Karte Datei"},
    {223, "Export", "Export"},
    {224, "Delete", "Löschen"},
    {225, "Graph", "Graphik"},
    {226, "File Name", "Dateiname"},
    {227, "Size", "Größe"},
    {228, "Time", "Uhrzeit"},
    {229, "HeatIndex", "Wärmeindex"},
    {230, "Are you want to Synchronization Time?", "Möchten Sie die Uhrzeit synchronisieren?"},
    {231, "Sync Time Success", "Synchronisationszeit Uhrzeit"},
    {232, "Unconnected", "Getrennt"},
    {233, "Connected", "Verbunden"},
    {234, "Start Time", "Startzeit"},
    {235, "End Time", "Endzeit"},
    {236, "Please switch the device to the main screen.", "Wechseln Sie zum Hauptbildschirm."},
    {237, "Interval Range of values: 1 to 240 Minute", "Intervallbereich der Werte: 1 bis 240 Minuten"},
    {238, "Set Interval Success", "Bestätigung Intervalleinstellung"},
    {239, "Temp Error", "Fehler Temperatur"},
    {240, "Humi Error", "Fehler Luftfeuchtigkeit"},
    {241, "Temp Out of value", "Temperatur außerhalb des Wertes"},
    {242, "Humi Out of value", "Luftfeuchtig außerhalb des Wertes"},
    {243, "Please select a file", "Wählen Sie eine Datei aus"},
    {244, "Open Error", "Fehleröffnung"},
    {245, "Create Error", "Fehlererstellung"},
    {246, "This file errors", "Fehlerhafte Datei"},
    {247, "Are you sure to delete the file?", "Sind Sie sicher: Löschen?"},
    {248, "Time Error", "Zeitfehler"},
    {103, "CH Area input error.", "CH Area Eingabefehler"},
    {249, "Area", "Bereich"},
    {250, "About Vellumet", "Über Vellumet"},
    {294, "High", "Hoch"},
    {295, "Low", "Niedrig"},
    {296, "Language", "Sprache"},
    {102, "Folder", "Mappe"},
}};
// clang-format on
