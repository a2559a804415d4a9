<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>MainMenu</name>
    <message>
        <source>&amp;Menu</source>
        <translation>&amp;Menu</translation>
    </message>
    <message>
        <source>&amp;Setup…</source>
        <translation>&amp;Setup…</translation>
    </message>
    <message>
        <source>&amp;Alarm…</source>
        <translation>&amp;Alarm…</translation>
    </message>
    <message>
        <source>&amp;Calibration…</source>
        <translation>&amp;Calibration…</translation>
    </message>
    <message>
        <source>S&amp;DCard File…</source>
        <translation>S&amp;DCard File…</translation>
    </message>
    <message>
        <source>Sync &amp;Time</source>
        <translation>Sync &amp;Time</translation>
    </message>
    <message>
        <source>&amp;Language…</source>
        <translation>&amp;Language…</translation>
    </message>
    <message>
        <source>A&amp;bout Vellumet…</source>
        <translation>A&amp;bout Vellumet…</translation>
    </message>
</context>
<context>
    <name>TextTable</name>
    <message>
        <source>Temperature</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>DewPoint</source>
        <translation>DewPoint</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Graph Type</source>
        <translation>Graph Type</translation>
    </message>
    <message>
        <source>Graph Time</source>
        <translation>Graph Time</translation>
    </message>
    <message>
        <source>Time Format</source>
        <translation>Time Format</translation>
    </message>
    <message>
        <source>Date Format</source>
        <translation>Date Format</translation>
    </message>
    <message>
        <source>Units</source>
        <translation>Units</translation>
    </message>
    <message>
        <source>TimeZone</source>
        <translation>TimeZone</translation>
    </message>
    <message>
        <source>Sync Time</source>
        <translation>Sync Time</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>Minute</source>
        <translation>Minute</translation>
    </message>
    <message>
        <source>Set Interval</source>
        <translation>Set Interval</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>Temperature Alarm</source>
        <translation>Temperature Alarm</translation>
    </message>
    <message>
        <source>Humidity Alarm</source>
        <translation>Humidity Alarm</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>SDCard File</source>
        <translation>SDCard File</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Graph</source>
        <translation>Graph</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>File Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>HeatIndex</source>
        <translation>HeatIndex</translation>
    </message>
    <message>
        <source>Are you want to Synchronization Time?</source>
        <translation>Are you want to Synchronization Time?</translation>
    </message>
    <message>
        <source>Sync Time Success</source>
        <translation>Sync Time Success</translation>
    </message>
    <message>
        <source>Unconnected</source>
        <translation>Unconnected</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation>Start Time</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>End Time</translation>
    </message>
    <message>
        <source>Please switch the device to the main screen.</source>
        <translation>Please switch the device to the main screen.</translation>
    </message>
    <message>
        <source>Interval Range of values: 1 to 240 Minute</source>
        <translation>Interval Range of values: 1 to 240 Minute</translation>
    </message>
    <message>
        <source>Set Interval Success</source>
        <translation>Set Interval Success</translation>
    </message>
    <message>
        <source>Temp Error</source>
        <translation>Temp Error</translation>
    </message>
    <message>
        <source>Humi Error</source>
        <translation>Humi Error</translation>
    </message>
    <message>
        <source>Temp Out of value</source>
        <translation>Temp Out of value</translation>
    </message>
    <message>
        <source>Humi Out of value</source>
        <translation>Humi Out of value</translation>
    </message>
    <message>
        <source>Please select a file</source>
        <translation>Please select a file</translation>
    </message>
    <message>
        <source>Open Error</source>
        <translation>Open Error</translation>
    </message>
    <message>
        <source>Create Error</source>
        <translation>Create Error</translation>
    </message>
    <message>
        <source>This file errors</source>
        <translation>This file errors</translation>
    </message>
    <message>
        <source>Are you sure to delete the file?</source>
        <translation>Are you sure to delete the file?</translation>
    </message>
    <message>
        <source>Time Error</source>
        <translation>Time Error</translation>
    </message>
    <message>
        <source>CH Area input error.</source>
        <translation>CH Area input error.</translation>
    </message>
    <message>
        <source>Area</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>About Vellumet</source>
        <translation>About Vellumet</translation>
    </message>
    <message>
        <source>High</source>
        <translation>High</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>About Vellumet(&amp;A)...</source>
        <translation>About Vellumet(&amp;A)...</translation>
    </message>
</context>
<context>
    <name>CardTransfer</name>
    <message>
        <source>%1 is not a plain file; it is left alone</source>
        <translation>%1 is not a plain file; it is left alone</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>cannot read %1: it changed while it was read</source>
        <translation>cannot read %1: it changed while it was read</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>cannot write the local copy %1: %2</source>
        <translation>cannot write the local copy %1: %2</translation>
    </message>
    <message>
        <source> (and the part written could not be taken out again)</source>
        <translation> (and the part written could not be taken out again)</translation>
    </message>
    <message>
        <source>report %1 of the chunk arrived damaged</source>
        <translation>report %1 of the chunk arrived damaged</translation>
    </message>
    <message>
        <source>the station sent more than was asked for</source>
        <translation>the station sent more than was asked for</translation>
    </message>
    <message>
        <source>the station sent %1 of %2 bytes of a chunk</source>
        <translation>the station sent %1 of %2 bytes of a chunk</translation>
    </message>
    <message>
        <source>cannot copy &quot;%1&quot;: %2</source>
        <translation>cannot copy &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>the card gave no size for &quot;%1&quot;</source>
        <translation>the card gave no size for &quot;%1&quot;</translation>
    </message>
    <message>
        <source> while the card bytes before byte %1 were read to compare them with the local copy</source>
        <translation> while the card bytes before byte %1 were read to compare them with the local copy</translation>
    </message>
    <message>
        <source>cannot keep the old copy %1 as %2</source>
        <translation>cannot keep the old copy %1 as %2</translation>
    </message>
    <message>
        <source> at byte %1 of %2</source>
        <translation> at byte %1 of %2</translation>
    </message>
</context>
<context>
    <name>Connection</name>
    <message>
        <source>No permission to open the station: install the udev rule %1 and reload udev with &quot;%2&quot;.</source>
        <translation>No permission to open the station: install the udev rule %1 and reload udev with &quot;%2&quot;.</translation>
    </message>
</context>
<context>
    <name>GraphDialog</name>
    <message>
        <source>Whole log</source>
        <translation>Whole log</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>Save PNG...</source>
        <translation>Save PNG...</translation>
    </message>
    <message>
        <source>The record database holds no readings.</source>
        <translation>The record database holds no readings.</translation>
    </message>
    <message>
        <source>Save the graph</source>
        <translation>Save the graph</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>Drag across the chart to zoom in, right-click to zoom out; the arrow keys and the mouse wheel move along the time axis.</source>
        <translation>Drag across the chart to zoom in, right-click to zoom out; the arrow keys and the mouse wheel move along the time axis.</translation>
    </message>
    <message>
        <source>Last import</source>
        <translation>Last import</translation>
    </message>
    <message>
        <source>All downloads</source>
        <translation>All downloads</translation>
    </message>
    <message>
        <source>Draw the last imported log, or the history of every download.</source>
        <translation>Draw the last imported log, or the history of every download.</translation>
    </message>
    <message>
        <source>Tick the channels to draw (at most four); double-click a channel to give it a name.</source>
        <translation>Tick the channels to draw (at most four); double-click a channel to give it a name.</translation>
    </message>
    <message>
        <source>Tick one or more channels of the list first.</source>
        <translation>Tick one or more channels of the list first.</translation>
    </message>
    <message>
        <source>No downloads are kept yet: the history begins with the next import.</source>
        <translation>No downloads are kept yet: the history begins with the next import.</translation>
    </message>
    <message>
        <source>The history holds no readings.</source>
        <translation>The history holds no readings.</translation>
    </message>
    <message>
        <source>Tick one or more channels to draw them.</source>
        <translation>Tick one or more channels to draw them.</translation>
    </message>
    <message>
        <source>At most four channels are drawn at once.</source>
        <translation>At most four channels are drawn at once.</translation>
    </message>
    <message>
        <source>A channel&apos;s name has at most 64 bytes.</source>
        <translation>A channel&apos;s name has at most 64 bytes.</translation>
    </message>
    <message>
        <source>A channel&apos;s name cannot hold control characters.</source>
        <translation>A channel&apos;s name cannot hold control characters.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is a channel&apos;s own name.</source>
        <translation>&apos;%1&apos; is a channel&apos;s own name.</translation>
    </message>
</context>
<context>
    <name>StationDialog</name>
    <message>
        <source>No station is connected: there are no settings to show.</source>
        <translation>No station is connected: there are no settings to show.</translation>
    </message>
    <message>
        <source>no station</source>
        <translation>no station</translation>
    </message>
</context>
<context>
    <name>StationSettings</name>
    <message>
        <source>%1 to %2 %3</source>
        <translation>%1 to %2 %3</translation>
    </message>
    <message>
        <source>%1 or %2</source>
        <translation>%1 or %2</translation>
    </message>
    <message>
        <source>%1 cannot be stored: the station reads %2 °C as no value. Use %3.</source>
        <translation>%1 cannot be stored: the station reads %2 °C as no value. Use %3.</translation>
    </message>
    <message>
        <source>high limit</source>
        <translation>high limit</translation>
    </message>
    <message>
        <source>low limit</source>
        <translation>low limit</translation>
    </message>
    <message>
        <source>%1: the %2 of CH%3 must be from %4 to %5 %6.</source>
        <translation>%1: the %2 of CH%3 must be from %4 to %5 %6.</translation>
    </message>
</context>
<context>
    <name>CardDialog</name>
    <message>
        <source>The local copy was longer than the card file and was kept as %1; the file was fetched anew.</source>
        <translation>The local copy was longer than the card file and was kept as %1; the file was fetched anew.</translation>
    </message>
    <message>
        <source>The local copy differed from the card file and was kept as %1; the file was fetched anew.</source>
        <translation>The local copy differed from the card file and was kept as %1; the file was fetched anew.</translation>
    </message>
    <message>
        <source>%1 of %2 bytes are kept; the records were replaced by the whole lines that arrived: %3 rows now stand in the database.</source>
        <translation>%1 of %2 bytes are kept; the records were replaced by the whole lines that arrived: %3 rows now stand in the database.</translation>
    </message>
    <message>
        <source>The records in the database are as they were.</source>
        <translation>The records in the database are as they were.</translation>
    </message>
    <message>
        <source>The local copy %1 could not be removed.</source>
        <translation>The local copy %1 could not be removed.</translation>
    </message>
    <message>
        <source>The readings of %1 could not be removed from the record database:
%2</source>
        <translation>The readings of %1 could not be removed from the record database:
%2</translation>
    </message>
    <message>
        <source>The %1 readings of %2 were removed from the record database.</source>
        <translation>The %1 readings of %2 were removed from the record database.</translation>
    </message>
</context>
<context>
    <name>Setup</name>
    <message>
        <source>DST</source>
        <translation>DST</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>ON</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>OFF</translation>
    </message>
    <message>
        <source>CH Area%1</source>
        <translation>CH Area%1</translation>
    </message>
</context>
<context>
    <name>Errc</name>
    <message>
        <source>Unconnected</source>
        <translation>Unconnected</translation>
    </message>
    <message>
        <source>the station may not be opened by this user</source>
        <translation>the station may not be opened by this user</translation>
    </message>
    <message>
        <source>the station went away</source>
        <translation>the station went away</translation>
    </message>
    <message>
        <source>the station did not answer in time</source>
        <translation>the station did not answer in time</translation>
    </message>
    <message>
        <source>Please switch the device to the main screen.</source>
        <translation>Please switch the device to the main screen.</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>invalid input</source>
        <translation>invalid input</translation>
    </message>
    <message>
        <source>unreadable data</source>
        <translation>unreadable data</translation>
    </message>
    <message>
        <source>the log holds no readings</source>
        <translation>the log holds no readings</translation>
    </message>
    <message>
        <source>a file could not be read or written</source>
        <translation>a file could not be read or written</translation>
    </message>
    <message>
        <source>the record database failed</source>
        <translation>the record database failed</translation>
    </message>
</context>
<context>
    <name>StationLink</name>
    <message>
        <source>the station went away</source>
        <translation>the station went away</translation>
    </message>
    <message>
        <source>the station did not take a frame</source>
        <translation>the station did not take a frame</translation>
    </message>
    <message>
        <source>the link is busy with another request; nothing sent</source>
        <translation>the link is busy with another request; nothing sent</translation>
    </message>
</context>
<context>
    <name>ErrorText</name>
    <message>
        <source>The record database failed:</source>
        <translation>The record database failed:</translation>
    </message>
</context>
<context>
    <name>LogImport</name>
    <message>
        <source>%1 is not a log: a line at byte %2 is longer than %3 bytes</source>
        <translation>%1 is not a log: a line at byte %2 is longer than %3 bytes</translation>
    </message>
    <message>
        <source>%1 is not a text log: it holds binary data at byte %2</source>
        <translation>%1 is not a text log: it holds binary data at byte %2</translation>
    </message>
    <message>
        <source>%1 grew too large while it was read</source>
        <translation>%1 grew too large while it was read</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 is a folder, not a log file</source>
        <translation>%1 is a folder, not a log file</translation>
    </message>
    <message>
        <source>%1 is not a regular file; only a log file is imported</source>
        <translation>%1 is not a regular file; only a log file is imported</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>%1 is %2 MB; logs above %3 MB are not imported</source>
        <translation>%1 is %2 MB; logs above %3 MB are not imported</translation>
    </message>
    <message>
        <source>import cancelled; the records are as before</source>
        <translation>import cancelled; the records are as before</translation>
    </message>
    <message>
        <source>no readings in %1; the database is unchanged</source>
        <translation>no readings in %1; the database is unchanged</translation>
    </message>
</context>
<context>
    <name>CardFiles</name>
    <message>
        <source>the station listed a file without a name</source>
        <translation>the station listed a file without a name</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; is not a file name</source>
        <translation>the name &quot;%1&quot; is not a file name</translation>
    </message>
    <message>
        <source>the name holds control characters</source>
        <translation>the name holds control characters</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; holds a folder or drive separator</source>
        <translation>the name &quot;%1&quot; holds a folder or drive separator</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; is one of the program&apos;s own files</source>
        <translation>the name &quot;%1&quot; is one of the program&apos;s own files</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; is longer than %2 characters</source>
        <translation>the name &quot;%1&quot; is longer than %2 characters</translation>
    </message>
    <message>
        <source>the name is longer than the %1 characters a read request can carry</source>
        <translation>the name is longer than the %1 characters a read request can carry</translation>
    </message>
    <message>
        <source>the station sent a list line without a size</source>
        <translation>the station sent a list line without a size</translation>
    </message>
</context>
<context>
    <name>DataFolderLock</name>
    <message>
        <source>cannot make the lock file %1: %2</source>
        <translation>cannot make the lock file %1: %2</translation>
    </message>
    <message>
        <source>cannot lock %1: %2</source>
        <translation>cannot lock %1: %2</translation>
    </message>
    <message>
        <source>the data folder %1 is in use by another process; try again when it has finished</source>
        <translation>the data folder %1 is in use by another process; try again when it has finished</translation>
    </message>
    <message>
        <source>the data folder %1 is in use by process %2; try again when it has finished</source>
        <translation>the data folder %1 is in use by process %2; try again when it has finished</translation>
    </message>
</context>
</TS>
