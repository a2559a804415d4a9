#include "command_help.h"

#include <array>

namespace vellumet::cli {

namespace {

// What `vellumet-cli COMMAND --help` shows below the usage line and the
// summary: the command's keys and forms, then one example. Each line fits 80
// columns as written.
constexpr std::array kHelp = {
    CommandHelp{"live",
                R"(Prints temperature, humidity, dew point and the alarm state of each
channel ("high" or "low" past an enabled limit, as the station's alarm
settings hold them). JSON carries the time it was read, as watch does.
A channel named with "name" shows the name beside it (text) or in an
added "name" field and last column (JSON, CSV; the channel's own name,
"CH1", for one without); the names are those given for the station read,
else those given without --station.)",
                "vellumet-cli --format json live"},
    CommandHelp{"watch",
                R"(  --every SECONDS  time between the starts of two rounds, 0 to 86400
                   (fractions allowed), 20 by default
  --count N        stop after N rounds that printed readings
  --no-header      print no header line (text and CSV); a header is also
                   left out when standard output is a file that holds data
                   (>> onto an earlier log)
  --exit-on-alarm  end with exit status 3 after the first round in which
                   a channel is past an alarm limit
  --mqtt URL       also publish each round to an MQTT broker:
                   mqtt://[user@]host[:port][/prefix], mqtts:// for TLS
                   (the system's CA store); prefix "vellumet" by default
  --mqtt-ca FILE   the CA certificate of an mqtts:// broker (PEM)
  --mqtt-password-file FILE
                   the password, on the file's first line; else
                   $VELLUMET_MQTT_PASSWORD (never on the command line)
  --mqtt-client-id ID
                   default "vellumet-" and the station's name
  --no-discovery   send no Home Assistant discovery configs

MQTT topics, retained, QoS 1: PREFIX/STATION/chN/state (JSON: time,
temperature, humidity, dewPoint, alarm; °C and %), PREFIX/STATION/chN/
temperature, humidity, dew_point, alarm (one value each, empty when
missing), PREFIX/STATION/availability ("online", "offline"). STATION is
the USB serial number, else the identification (lower case). Broker or
station gone: watch goes on and catches up when they are back.

Each round carries the PC's local time, ISO 8601 with its UTC offset
("2026-12-06T10:53:07+01:00"); records, plot and the --from/--to options
take that form back. CSV columns: time,channel,temperature,humidity,
dewPoint,alarm,name. Channel names as live shows them, read again when
another station answers.)",
                "vellumet-cli --format csv watch --every 60 >> readings.csv"},
    CommandHelp{"devices",
                R"(Lists every station plugged in: its device node, USB serial number,
product string, and whether this user may open it ("ok", "permission
denied", "cannot be opened"). The station --device or VELLUMET_DEVICE
chose is marked. Never talks to a station.)",
                "vellumet-cli --format json devices"},
    CommandHelp{"info", "Settings, interval, identification, alarm limits and calibration.",
                "vellumet-cli --format json info"},
    CommandHelp{"sync-time",
                "Sends the time only while the station shows its main screen; the station\n"
                "cannot be asked for its clock, so the result says \"sent\".",
                "vellumet-cli sync-time"},
    CommandHelp{"set-interval", "MINUTES: 1 to 240. The station is asked again afterwards.",
                "vellumet-cli set-interval 10"},
    CommandHelp{"set-settings",
                R"(Keys and values:
  graph-type       temperature, humidity, dewpoint, heatindex
  graph-time       12, 24, 48, 72 (hours)
  time-format      h:mm:ss, "AM h:mm:ss", "h:mm:ss AM"
  date-format      YYYY-MM-DD, MM-DD-YYYY, DD-MM-YYYY
  daylight-saving  on, off
  time-zone        -12 to 12 (hours)
  unit             C, F
  area1..area5     what the area shows, e.g. CH1-temperature,CH2-dewpoint,
                   CH8-heatindex (area6..area8 on an eight-area station))",
                "vellumet-cli set-settings unit=C time-zone=1 daylight-saving=off"},
    CommandHelp{"set-alarm",
                R"(CHANNEL: 1 to 8. Keys and values:
  temperature-high, temperature-low
                   a limit in the unit the station shows, or -- for none
  humidity-high, humidity-low
                   1 to 99 (percent)
  temperature-high-alarm, temperature-low-alarm,
  humidity-high-alarm, humidity-low-alarm
                   on, off: the channel's switch of that limit
  temperature-alarm, humidity-alarm
                   on, off: the switch for all channels
Values not named stay as the station holds them.)",
                "vellumet-cli set-alarm 1 temperature-high=30.0 temperature-high-alarm=on"},
    CommandHelp{"set-calibration",
                "CHANNEL: 1 to 8. temperature=D in the station's unit (a difference),\n"
                "humidity=N in percent.",
                "vellumet-cli set-calibration 2 temperature=-0.5 humidity=3"},
    CommandHelp{"set-language", "en or de: written to Main.ini, then sent to the station.",
                "vellumet-cli set-language de"},
    CommandHelp{"backup", "JSON in degrees Celsius and percent, null for no value.",
                "vellumet-cli backup station.json"},
    CommandHelp{"restore",
                "Checks the whole file first, then writes only the blocks that differ;\n"
                "--dry-run only prints the changes.",
                "vellumet-cli restore station.json --dry-run"},
    CommandHelp{"import",
                R"(PATH: a log file of the station's card (a copy, or the card in a reader).
It replaces the rows of the previous log in the record database, and adds
its readings to the history of its channel (archive.sqlite), once each.
  --channel NAME   the channel of the history (CH1 to CH8, IN); by default
                   the one the file name tells (CH1_..., a name with IN))",
                "vellumet-cli import CH1_2612.CSV"},
    CommandHelp{"records",
                R"(  --archive        from the history of every import instead of the last
                   log; --channel NAME (repeatable) picks the channels,
                   one line per time, a group of columns per channel
  --from TIME      rows after TIME
  --to TIME        rows up to and including TIME
  --column NAME    Temperature, Humidity, DewPoint or Heatindex: the time
                   and that column only, rows without a value left out

TIME is YYYY-MM-DD (its midnight), "YYYY-MM-DD h:mm:ss", or the ISO time
watch prints (2026-12-06T10:53:07+01:00, taken in the PC's local time).
--from later than --to is a usage error.)",
                "vellumet-cli records --from 2026-12-01 --to \"2026-12-01 6:00:00\""},
    CommandHelp{"archive",
                R"(A line per station and channel of the history (archive.sqlite): first
and last time, readings, files, and gaps longer than three logging
intervals (JSON lists each gap).
  --rebuild        build the history anew from the local copies in the
                   data folder, then print it

Read it with records --archive --channel NAME and plot --archive.)",
                "vellumet-cli archive"},
    CommandHelp{"name",
                R"(CHANNEL: CH1 to CH8 or IN. NAME: shown for the channel in the archive
output and in records --archive; an empty NAME removes it. Kept in the
data folder, never sent to the station.
  --station SERIAL the station the name belongs to (unknown by default)

records --archive --channel takes the name in place of the channel.)",
                "vellumet-cli name CH4 Cellar"},
    CommandHelp{"files", "Local copy: --, complete, or how much of the file it holds.",
                "vellumet-cli files"},
    CommandHelp{"fetch",
                "NAME: a file of the card as files lists it; --all: every file.\n"
                "--no-import only copies. A fetch goes on from what the copy holds.",
                "vellumet-cli fetch --all"},
    CommandHelp{"delete", "Asks first on the terminal; a script must give --yes.",
                "vellumet-cli delete CH1_2612.CSV --yes"},
    CommandHelp{"plot",
                R"(  --out FILE       FILE.png or FILE.svg (required)
  --from TIME      start of the window (the log's first reading by default)
  --to TIME        end of the window (its last reading by default)
  --kind KIND      temperature (with dew point and heat index) or humidity
  --size WxH       pixels, 1200x600 by default, 200 to 10000 each way
  --unit TEXT      title of the temperature axis (the log's unit by default)
  --archive        from the history instead of the last log: a curve per
                   --channel NAME (up to 4), named by the channel

TIME is YYYY-MM-DD (its midnight), "YYYY-MM-DD h:mm:ss", or the ISO time
watch prints. --from later than --to is a usage error.)",
                "vellumet-cli plot --out week.png --from 2026-03-01 --to 2026-03-08"},
};

} // namespace

const CommandHelp* commandHelp(std::string_view name) {
    for (const CommandHelp& help : kHelp)
        if (help.name == name)
            return &help;
    return nullptr;
}

} // namespace vellumet::cli
