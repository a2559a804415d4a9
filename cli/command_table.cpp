#include "archive_commands.h"
#include "commands.h"

namespace vellumet::cli {

// Adding a command: write its handler and add its row here; --help and the
// dispatch pick it up from this table.
std::span<const Command> commandTable() {
    static constexpr Command table[] = {
        {"live", "", "read the eight channels and their alarm states once", runLive},
        {"watch",
         "[--every SECONDS] [--count N] [--no-header] [--exit-on-alarm] [--mqtt URL] "
         "[--mqtt-ca FILE] [--mqtt-password-file FILE] [--mqtt-client-id ID] [--no-discovery]",
         "read them every SECONDS (20), until Ctrl-C or N rounds", runWatch},
        {"info", "", "settings, interval, identification, alarms, calibration", runInfo},
        {"sync-time", "", "set the station's clock to this computer's time", runSyncTime},
        {"set-interval", "MINUTES", "set the logging interval (1 to 240)", runSetInterval},
        {"set-settings", "KEY=VALUE...",
         "set the graph, time and date formats, time zone, unit and display areas", runSetSettings},
        {"set-alarm", "CHANNEL KEY=VALUE...",
         "set a channel's alarm limits and their switches, and the alarm switches", runSetAlarm},
        {"set-calibration", "CHANNEL temperature=D humidity=N",
         "set a channel's offsets (temperature in the station's unit)", runSetCalibration},
        {"set-language", "en|de", "write the language to Main.ini and tell the station",
         runSetLanguage},
        {"backup", "FILE.json", "save settings, interval, alarms and calibration", runBackup},
        {"restore", "FILE.json [--dry-run]", "check a saved profile, then write what differs",
         runRestore},
        {"import", "PATH [--channel NAME]",
         "import a log file into the data folder's record database and history", runImport},
        {"records", "[--archive --channel NAME...] [--from TIME] [--to TIME] [--column NAME]",
         "print the records of a time window from the database or the history", runRecords},
        {"archive", "[--rebuild]", "the history of every import, a line per channel", runArchive},
        {"name", "CHANNEL NAME [--station SERIAL]",
         "give a channel a name for the history, live and watch", runName},
        {"files", "", "list the station's card with sizes and local copies", runFiles},
        {"fetch", "NAME... | --all [--no-import]",
         "copy card files into the data folder (resuming), then import", runFetch},
        {"delete", "NAME [--yes]", "delete a file on the card and its local copy", runDelete},
        {"devices", "",
         "list the stations present: node, serial, product, whether they can be opened",
         runDevices},
        {"plot",
         "--out FILE.png|FILE.svg [--archive --channel NAME...] [--from TIME] [--to TIME] "
         "[--kind temperature|humidity] [--size WxH] [--unit TEXT]",
         "draw the graph of a time window (the whole log by default) into a PNG or SVG file",
         runPlot},
    };
    return table;
}

} // namespace vellumet::cli
