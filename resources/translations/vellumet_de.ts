<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>MainMenu</name>
    <message>
        <source>&amp;Menu</source>
        <translation>&amp;Menü</translation>
    </message>
    <message>
        <source>&amp;Setup…</source>
        <translation>&amp;Einstellungen…</translation>
    </message>
    <message>
        <source>&amp;Alarm…</source>
        <translation>&amp;Alarm…</translation>
    </message>
    <message>
        <source>&amp;Calibration…</source>
        <translation>&amp;Kalibrierung…</translation>
    </message>
    <message>
        <source>S&amp;DCard File…</source>
        <translation>&amp;SD-Karten-Dateien…</translation>
    </message>
    <message>
        <source>Sync &amp;Time</source>
        <translation>&amp;Uhrzeit synchronisieren</translation>
    </message>
    <message>
        <source>&amp;Language…</source>
        <translation>S&amp;prache…</translation>
    </message>
    <message>
        <source>A&amp;bout Vellumet…</source>
        <translation>Ü&amp;ber Vellumet…</translation>
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
        <translation>Zeitformat</translation>
    </message>
    <message>
        <source>Date Format</source>
        <translation>Datumsformat</translation>
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
        <translation>Uhrzeit synchronisieren</translation>
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
        <translation>Intervall einstellen</translation>
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
        <translation>Feuchtealarm</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Kalibrierung</translation>
    </message>
    <message>
        <source>SDCard File</source>
        <translation>SD-Karten-Dateien</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
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
        <translation>Uhrzeit synchronisiert</translation>
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
        <translation>Bitte schalten Sie die Station auf den Hauptbildschirm.</translation>
    </message>
    <message>
        <source>Interval Range of values: 1 to 240 Minute</source>
        <translation>Intervallbereich der Werte: 1 bis 240 Minuten</translation>
    </message>
    <message>
        <source>Set Interval Success</source>
        <translation>Intervall eingestellt</translation>
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
        <translation>Temperatur außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>Humi Out of value</source>
        <translation>Luftfeuchtigkeit außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>Please select a file</source>
        <translation>Wählen Sie eine Datei aus</translation>
    </message>
    <message>
        <source>Open Error</source>
        <translation>Fehler beim Öffnen</translation>
    </message>
    <message>
        <source>Create Error</source>
        <translation>Fehler beim Anlegen</translation>
    </message>
    <message>
        <source>This file errors</source>
        <translation>Die Datei ist fehlerhaft</translation>
    </message>
    <message>
        <source>Are you sure to delete the file?</source>
        <translation>Soll die Datei wirklich gelöscht werden?</translation>
    </message>
    <message>
        <source>Time Error</source>
        <translation>Zeitfehler</translation>
    </message>
    <message>
        <source>CH Area input error.</source>
        <translation>Eingabefehler in einem Bereich.</translation>
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
        <translation>Ordner</translation>
    </message>
    <message>
        <source>About Vellumet(&amp;A)...</source>
        <translation>Über Vellumet(&amp;A)...</translation>
    </message>
</context>
<context>
    <name>CardTransfer</name>
    <message>
        <source>%1 is not a plain file; it is left alone</source>
        <translation>%1 ist keine gewöhnliche Datei; sie bleibt unberührt</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>cannot read %1: it changed while it was read</source>
        <translation>%1 kann nicht gelesen werden: Die Datei hat sich beim Lesen geändert</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>cannot write the local copy %1: %2</source>
        <translation>Die lokale Kopie %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source> (and the part written could not be taken out again)</source>
        <translation> (und der geschriebene Teil konnte nicht wieder entfernt werden)</translation>
    </message>
    <message>
        <source>report %1 of the chunk arrived damaged</source>
        <translation>Meldung %1 des Abschnitts kam beschädigt an</translation>
    </message>
    <message>
        <source>the station sent more than was asked for</source>
        <translation>Die Station hat mehr gesendet als angefordert</translation>
    </message>
    <message>
        <source>the station sent %1 of %2 bytes of a chunk</source>
        <translation>Die Station hat %1 von %2 Bytes eines Abschnitts gesendet</translation>
    </message>
    <message>
        <source>cannot copy &quot;%1&quot;: %2</source>
        <translation>„%1“ kann nicht kopiert werden: %2</translation>
    </message>
    <message>
        <source>the card gave no size for &quot;%1&quot;</source>
        <translation>Die Karte nennt keine Größe für „%1“</translation>
    </message>
    <message>
        <source> while the card bytes before byte %1 were read to compare them with the local copy</source>
        <translation> beim Lesen der Bytes vor Byte %1 zum Vergleich mit der lokalen Kopie</translation>
    </message>
    <message>
        <source>cannot keep the old copy %1 as %2</source>
        <translation>Die alte Kopie %1 kann nicht als %2 aufbewahrt werden</translation>
    </message>
    <message>
        <source> at byte %1 of %2</source>
        <translation> bei Byte %1 von %2</translation>
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
    <name>GraphDialog</name>
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
    <message>
        <source>Last import</source>
        <translation>Letzter Import</translation>
    </message>
    <message>
        <source>All downloads</source>
        <translation>Alle Downloads</translation>
    </message>
    <message>
        <source>Draw the last imported log, or the history of every download.</source>
        <translation>Das zuletzt importierte Protokoll zeichnen oder den Verlauf aller Downloads.</translation>
    </message>
    <message>
        <source>Tick the channels to draw (at most four); double-click a channel to give it a name.</source>
        <translation>Die zu zeichnenden Kanäle ankreuzen (höchstens vier); ein Doppelklick auf einen Kanal gibt ihm einen Namen.</translation>
    </message>
    <message>
        <source>Tick one or more channels of the list first.</source>
        <translation>Bitte zuerst einen oder mehrere Kanäle der Liste ankreuzen.</translation>
    </message>
    <message>
        <source>No downloads are kept yet: the history begins with the next import.</source>
        <translation>Es sind noch keine Downloads gespeichert: Der Verlauf beginnt mit dem nächsten Import.</translation>
    </message>
    <message>
        <source>The history holds no readings.</source>
        <translation>Der Verlauf enthält keine Messwerte.</translation>
    </message>
    <message>
        <source>Tick one or more channels to draw them.</source>
        <translation>Einen oder mehrere Kanäle zum Zeichnen ankreuzen.</translation>
    </message>
    <message>
        <source>At most four channels are drawn at once.</source>
        <translation>Es werden höchstens vier Kanäle zugleich gezeichnet.</translation>
    </message>
    <message>
        <source>A channel&apos;s name has at most 64 bytes.</source>
        <translation>Ein Kanalname hat höchstens 64 Bytes.</translation>
    </message>
    <message>
        <source>A channel&apos;s name cannot hold control characters.</source>
        <translation>Ein Kanalname darf keine Steuerzeichen enthalten.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is a channel&apos;s own name.</source>
        <translation>„%1“ ist der eigene Name eines Kanals.</translation>
    </message>
</context>
<context>
    <name>CardDialog</name>
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
    <name>CardDialog</name>
    <message>
        <source>The local copy was longer than the card file and was kept as %1; the file was fetched anew.</source>
        <translation>Die lokale Kopie war länger als die Datei auf der Karte und wurde als %1 aufbewahrt; die Datei wurde neu geholt.</translation>
    </message>
    <message>
        <source>The local copy differed from the card file and was kept as %1; the file was fetched anew.</source>
        <translation>Die lokale Kopie wich von der Datei auf der Karte ab und wurde als %1 aufbewahrt; die Datei wurde neu geholt.</translation>
    </message>
    <message>
        <source>%1 of %2 bytes are kept; the records were replaced by the whole lines that arrived: %3 rows now stand in the database.</source>
        <translation>%1 von %2 Bytes sind erhalten; die Messwerte wurden durch die vollständig angekommenen Zeilen ersetzt: In der Datenbank stehen jetzt %3 Zeilen.</translation>
    </message>
    <message>
        <source>The records in the database are as they were.</source>
        <translation>Die Messwerte in der Datenbank sind unverändert.</translation>
    </message>
    <message>
        <source>The local copy %1 could not be removed.</source>
        <translation>Die lokale Kopie %1 konnte nicht entfernt werden.</translation>
    </message>
    <message>
        <source>The readings of %1 could not be removed from the record database:
%2</source>
        <translation>Die Messwerte von %1 konnten nicht aus der Datenbank entfernt werden:
%2</translation>
    </message>
    <message>
        <source>The %1 readings of %2 were removed from the record database.</source>
        <translation>Die %1 Messwerte von %2 wurden aus der Datenbank entfernt.</translation>
    </message>
</context>
<context>
    <name>Setup</name>
    <message>
        <source>Please enter a whole number of minutes.</source>
        <translation>Bitte geben Sie eine ganze Zahl von Minuten ein.</translation>
    </message>
    <message>
        <source>DST</source>
        <translation>Sommerzeit</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>EIN</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>AUS</translation>
    </message>
    <message>
        <source>CH Area%1</source>
        <translation>Bereich %1</translation>
    </message>
</context>
<context>
    <name>StationDialog</name>
    <message>
        <source>No station is connected: there are no settings to show.</source>
        <translation>Keine Station angeschlossen: Es gibt keine Einstellungen anzuzeigen.</translation>
    </message>
    <message>
        <source>no station</source>
        <translation>keine Station</translation>
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
    <message>
        <source>high limit</source>
        <translation>obere Grenzwert</translation>
    </message>
    <message>
        <source>low limit</source>
        <translation>untere Grenzwert</translation>
    </message>
    <message>
        <source>%1: the %2 of CH%3 must be from %4 to %5 %6.</source>
        <translation>%1: Der %2 von CH%3 muss zwischen %4 und %5 %6 liegen.</translation>
    </message>
</context>
<context>
    <name>Errc</name>
    <message>
        <source>Unconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <source>the station may not be opened by this user</source>
        <translation>Die Station darf von diesem Benutzer nicht geöffnet werden</translation>
    </message>
    <message>
        <source>the station went away</source>
        <translation>Die Station ist nicht mehr erreichbar</translation>
    </message>
    <message>
        <source>the station did not answer in time</source>
        <translation>Die Station hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>Please switch the device to the main screen.</source>
        <translation>Bitte schalten Sie die Station auf den Hauptbildschirm.</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>invalid input</source>
        <translation>Ungültige Eingabe</translation>
    </message>
    <message>
        <source>unreadable data</source>
        <translation>Unlesbare Daten</translation>
    </message>
    <message>
        <source>the log holds no readings</source>
        <translation>Das Protokoll enthält keine Messwerte</translation>
    </message>
    <message>
        <source>a file could not be read or written</source>
        <translation>Eine Datei konnte nicht gelesen oder geschrieben werden</translation>
    </message>
    <message>
        <source>the record database failed</source>
        <translation>Die Datenbank hat einen Fehler gemeldet</translation>
    </message>
</context>
<context>
    <name>StationLink</name>
    <message>
        <source>the station went away</source>
        <translation>Die Station ist nicht mehr erreichbar</translation>
    </message>
    <message>
        <source>the station did not take a frame</source>
        <translation>Die Station hat einen Befehl nicht angenommen</translation>
    </message>
    <message>
        <source>the link is busy with another request; nothing sent</source>
        <translation>Die Verbindung ist mit einer anderen Anfrage beschäftigt; nichts wurde gesendet</translation>
    </message>
</context>
<context>
    <name>ErrorText</name>
    <message>
        <source>The record database failed:</source>
        <translation>Die Datenbank hat einen Fehler gemeldet:</translation>
    </message>
</context>
<context>
    <name>LogImport</name>
    <message>
        <source>%1 is not a log: a line at byte %2 is longer than %3 bytes</source>
        <translation>%1 ist kein Protokoll: Eine Zeile bei Byte %2 ist länger als %3 Bytes</translation>
    </message>
    <message>
        <source>%1 is not a text log: it holds binary data at byte %2</source>
        <translation>%1 ist kein Textprotokoll: Die Datei enthält Binärdaten bei Byte %2</translation>
    </message>
    <message>
        <source>%1 grew too large while it was read</source>
        <translation>%1 ist beim Lesen zu groß geworden</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 is a folder, not a log file</source>
        <translation>%1 ist ein Ordner, keine Protokolldatei</translation>
    </message>
    <message>
        <source>%1 is not a regular file; only a log file is imported</source>
        <translation>%1 ist keine gewöhnliche Datei; nur eine Protokolldatei wird importiert</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>%1 is %2 MB; logs above %3 MB are not imported</source>
        <translation>%1 ist %2 MB groß; Protokolle über %3 MB werden nicht importiert</translation>
    </message>
    <message>
        <source>import cancelled; the records are as before</source>
        <translation>Import abgebrochen; die Messwerte sind unverändert</translation>
    </message>
    <message>
        <source>no readings in %1; the database is unchanged</source>
        <translation>Keine Messwerte in %1; die Datenbank ist unverändert</translation>
    </message>
</context>
<context>
    <name>CardFiles</name>
    <message>
        <source>the station listed a file without a name</source>
        <translation>Die Station hat eine Datei ohne Namen aufgeführt</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; is not a file name</source>
        <translation>Der Name „%1“ ist kein Dateiname</translation>
    </message>
    <message>
        <source>the name holds control characters</source>
        <translation>Der Name enthält Steuerzeichen</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; holds a folder or drive separator</source>
        <translation>Der Name „%1“ enthält ein Ordner- oder Laufwerkstrennzeichen</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; is one of the program&apos;s own files</source>
        <translation>Der Name „%1“ gehört zu den eigenen Dateien des Programms</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; is longer than %2 characters</source>
        <translation>Der Name „%1“ ist länger als %2 Zeichen</translation>
    </message>
    <message>
        <source>the name is longer than the %1 characters a read request can carry</source>
        <translation>Der Name ist länger als die %1 Zeichen, die eine Leseanfrage aufnehmen kann</translation>
    </message>
    <message>
        <source>the station sent a list line without a size</source>
        <translation>Die Station hat eine Listenzeile ohne Größe gesendet</translation>
    </message>
</context>
<context>
    <name>DataFolderLock</name>
    <message>
        <source>cannot make the lock file %1: %2</source>
        <translation>Die Sperrdatei %1 kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>cannot lock %1: %2</source>
        <translation>%1 kann nicht gesperrt werden: %2</translation>
    </message>
    <message>
        <source>the data folder %1 is in use by another process; try again when it has finished</source>
        <translation>Der Datenordner %1 wird von einem anderen Prozess benutzt; versuchen Sie es erneut, wenn er fertig ist</translation>
    </message>
    <message>
        <source>the data folder %1 is in use by process %2; try again when it has finished</source>
        <translation>Der Datenordner %1 wird von Prozess %2 benutzt; versuchen Sie es erneut, wenn er fertig ist</translation>
    </message>
</context>
</TS>
