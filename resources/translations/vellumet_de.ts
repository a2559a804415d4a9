<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>MainMenu</name>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Kalibrierung</translation>
    </message>
    <message>
        <source>SDCard File</source>
        <translation>SD Karte Datei</translation>
    </message>
    <message>
        <source>Sync Time</source>
        <translation>Synchronisationszeit</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
</context>
<context>
    <name>TextTable</name>
    <message>
        <source>Temperature</source>
        <translation>Temperatur</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>Luftfeuchtigkeit</translation>
    </message>
    <message>
        <source>DewPoint</source>
        <translation>Taupunkt</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Graph Type</source>
        <translation>Graphiktyp</translation>
    </message>
    <message>
        <source>Graph Time</source>
        <translation>Graphikzeit</translation>
    </message>
    <message>
        <source>Time Format</source>
        <translation>Format Zeit</translation>
    </message>
    <message>
        <source>Date Format</source>
        <translation>Format Datum</translation>
    </message>
    <message>
        <source>Units</source>
        <translation>Einheiten</translation>
    </message>
    <message>
        <source>TimeZone</source>
        <translation>Zeitzone</translation>
    </message>
    <message>
        <source>Sync Time</source>
        <translation>Synchronisationszeit</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Intervall</translation>
    </message>
    <message>
        <source>Minute</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>Set Interval</source>
        <translation>Intervalleinstellung</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Sichern</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Verlassen</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>Temperature Alarm</source>
        <translation>Temperaturalarm</translation>
    </message>
    <message>
        <source>Humidity Alarm</source>
        <translation>Alarm Luftfeuchtigkeit</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Kalibrierung</translation>
    </message>
    <message>
        <source>SDCard File</source>
        <translation>SD Karte Datei</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Graph</source>
        <translation>Graphik</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>HeatIndex</source>
        <translation>Wärmeindex</translation>
    </message>
    <message>
        <source>Are you want to Synchronization Time?</source>
        <translation>Möchten Sie die Uhrzeit synchronisieren?</translation>
    </message>
    <message>
        <source>Sync Time Success</source>
        <translation>Synchronisationszeit Uhrzeit</translation>
    </message>
    <message>
        <source>Unconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation>Startzeit</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>Endzeit</translation>
    </message>
    <message>
        <source>Please switch the device to the main screen.</source>
        <translation>Wechseln Sie zum Hauptbildschirm.</translation>
    </message>
    <message>
        <source>Interval Range of values: 1 to 240 Minute</source>
        <translation>Intervallbereich der Werte: 1 bis 240 Minuten</translation>
    </message>
    <message>
        <source>Set Interval Success</source>
        <translation>Bestätigung Intervalleinstellung</translation>
    </message>
    <message>
        <source>Temp Error</source>
        <translation>Fehler Temperatur</translation>
    </message>
    <message>
        <source>Humi Error</source>
        <translation>Fehler Luftfeuchtigkeit</translation>
    </message>
    <message>
        <source>Temp Out of value</source>
        <translation>Temperatur außerhalb des Wertes</translation>
    </message>
    <message>
        <source>Humi Out of value</source>
        <translation>Luftfeuchtig außerhalb des Wertes</translation>
    </message>
    <message>
        <source>Please select a file</source>
        <translation>Wählen Sie eine Datei aus</translation>
    </message>
    <message>
        <source>Open Error</source>
        <translation>Fehleröffnung</translation>
    </message>
    <message>
        <source>Create Error</source>
        <translation>Fehlererstellung</translation>
    </message>
    <message>
        <source>This file errors</source>
        <translation>Fehlerhafte Datei</translation>
    </message>
    <message>
        <source>Are you sure to delete the file?</source>
        <translation>Sind Sie sicher: Löschen?</translation>
    </message>
    <message>
        <source>Time Error</source>
        <translation>Zeitfehler</translation>
    </message>
    <message>
        <source>CH Area input error.</source>
        <translation>CH Area Eingabefehler</translation>
    </message>
    <message>
        <source>Area</source>
        <translation>Bereich</translation>
    </message>
    <message>
        <source>About Vellumet</source>
        <translation>Über Vellumet</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Mappe</translation>
    </message>
    <message>
        <source>About Vellumet(&amp;A)...</source>
        <translation>Über Vellumet(&amp;A)...</translation>
    </message>
</context>
<context>
    <name>Connection</name>
    <message>
        <source>No permission to open the station: install the udev rule %1 and reload udev with &quot;%2&quot;.</source>
        <translation>Keine Berechtigung, die Station zu öffnen: Installieren Sie die udev-Regel %1 und laden Sie udev mit „%2“ neu.</translation>
    </message>
</context>
<context>
    <name>Grapsh</name>
    <message>
        <source>Whole log</source>
        <translation>Ganzes Protokoll</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>Verkleinern</translation>
    </message>
    <message>
        <source>Save PNG...</source>
        <translation>Als PNG speichern...</translation>
    </message>
    <message>
        <source>The record database holds no readings.</source>
        <translation>Die Datenbank enthält keine Messwerte.</translation>
    </message>
    <message>
        <source>Save the graph</source>
        <translation>Graphik speichern</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG-Bilder (*.png)</translation>
    </message>
    <message>
        <source>Drag across the chart to zoom in, right-click to zoom out; the arrow keys and the mouse wheel move along the time axis.</source>
        <translation>Über das Diagramm ziehen vergrößert, ein Rechtsklick verkleinert; die Pfeiltasten und das Mausrad verschieben die Zeitachse.</translation>
    </message>
    <message>
        <source>No readings between %1 and %2</source>
        <translation>Keine Messwerte zwischen %1 und %2</translation>
    </message>
</context>
<context>
    <name>History</name>
    <message>
        <source>No log imported.</source>
        <translation>Noch kein Protokoll importiert.</translation>
    </message>
    <message>
        <source>Readings of %1 (%2 rows)</source>
        <translation>Messwerte von %1 (%2 Zeilen)</translation>
    </message>
</context>
<context>
    <name>LiveDisplay</name>
    <message>
        <source>Alarm: high</source>
        <translation>Alarm: zu hoch</translation>
    </message>
    <message>
        <source>Alarm: low</source>
        <translation>Alarm: zu tief</translation>
    </message>
</context>
<context>
    <name>Setup</name>
    <message>
        <source>Please enter a whole number of minutes.</source>
        <translation>Bitte geben Sie eine ganze Zahl von Minuten ein.</translation>
    </message>
</context>
<context>
    <name>StationSettings</name>
    <message>
        <source>%1 to %2 %3</source>
        <translation>%1 bis %2 %3</translation>
    </message>
    <message>
        <source>%1 or %2</source>
        <translation>%1 oder %2</translation>
    </message>
    <message>
        <source>%1 cannot be stored: the station reads %2 °C as no value. Use %3.</source>
        <translation>%1 kann nicht gespeichert werden: Die Station liest %2 °C als „kein Wert“. Verwenden Sie %3.</translation>
    </message>
</context>
</TS>
