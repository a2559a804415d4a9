#include "command.h"
#include "command_help.h"
#include "core/version.h"
#include "data_dir.h"
#include "device/station_access.h"
#include "store/automation_date.h"
#include "terminal.h"

#include "app/data_folder.h"
#include "app/transport_factory.h"

#include <QDateTime>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>

namespace vellumet::cli {

namespace {

// Why no station could be opened: the permission sentence when one is present
// but refused, otherwise that none was found.
std::string noStationMessage(const Status& scan, const std::string& device) {
    if (!scan && scan.code() == Errc::AccessDenied)
        return accessDeniedSentence();
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", kStationVendorId, kStationProductId);
    if (!device.empty())
        return "Unconnected: no station '" + device + "' found (USB " + ids +
               "); 'vellumet-cli devices' lists the stations present";
    return std::string("Unconnected: no station found (USB ") + ids +
           "); plug it in, or use --simulate for the virtual station";
}

Format parseFormat(const std::string& text) {
    if (text == "text")
        return Format::Text;
    if (text == "json")
        return Format::Json;
    if (text == "csv")
        return Format::Csv;
    throw UsageError("--format takes text, json, csv or influx, not '" + text + "'");
}

struct CommandLine {
    GlobalOptions options;
    bool help = false;
    bool version = false;
    std::string command;
    std::vector<std::string> commandArgs;
};

// Global options may stand before or after the command; everything else after
// the command name belongs to the command.
CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    OptionReader words(args);
    while (words.next()) {
        const std::string& arg = words.arg();
        const std::string& name = words.name();
        const auto value = [&] { return words.value(); };
        const auto noValue = [&] { words.noValue(); };

        if (name == "--simulate") {
            line.options.simulate = true;
            // Only the "=" form takes a profile, so that "--simulate live" stays unambiguous.
            if (words.hasInlineValue()) {
                line.options.profilePath = words.value();
                if (line.options.profilePath.empty())
                    throw UsageError("--simulate= needs a profile file");
            }
        } else if (name == "--data-dir") {
            line.options.dataDir = value();
            if (line.options.dataDir.empty())
                throw UsageError("--data-dir needs a folder");
        } else if (name == "--trace") {
            line.options.tracePath = value();
            if (line.options.tracePath.empty())
                throw UsageError("--trace needs a file");
        } else if (name == "--device") {
            line.options.device = value();
            if (line.options.device.empty())
                throw UsageError("--device needs a device path or serial number");
        } else if (name == "--format") {
            const std::string form = value();
            line.options.influx = form == "influx";
            line.options.format = line.options.influx ? Format::Text : parseFormat(form);
        } else if (name == "--help" || name == "-h") {
            noValue();
            line.help = true;
        } else if (name == "--version") {
            noValue();
            line.version = true;
        } else if (line.command.empty()) {
            if (!arg.empty() && arg[0] == '-')
                throw UsageError("unknown option '" + arg + "'");
            line.command = arg;
        } else {
            line.commandArgs.push_back(arg);
        }
    }
    line.options.device = chosenDevice(line.options.device);
    return line;
}

const Command* findCommand(const std::string& name) {
    for (const Command& command : commandTable())
        if (command.name == name)
            return &command;
    return nullptr;
}

std::string errorLine(const std::string& message) {
    return std::string(kProgramName) + ": " + message + '\n';
}

// The complete result on out; a write that failed is a failure, said on err.
int writeResult(std::ostream& out, std::ostream& err, const std::string& text) {
    if (Status written = writeOutput(out, text); !written) {
        err << errorLine(written.error().text()) << std::flush;
        return kExitFailure;
    }
    return kExitOk;
}

// The trace file is created anew, so it must never be a file of the data
// folder in use.
void checkTraceTarget(const GlobalOptions& options) {
    if (options.tracePath.empty())
        return;
    const std::string folder =
        options.dataDir.empty() ? app::defaultDataFolder().toStdString() : options.dataDir;
    if (Status allowed = checkTracePath(options.tracePath, folder); !allowed)
        throw UsageError(allowed.error().text());
}

} // namespace

Invocation::Invocation(std::vector<std::string> args, GlobalOptions options, std::ostream& out,
                       std::ostream& err, const Environment& env)
    : args_(std::move(args)), options_(std::move(options)), out_(out), err_(err), env_(env) {}

Invocation::~Invocation() {
    if (link_) {
        // No listener may run while the link goes: both are removed (the
        // removal waits for one in progress) before the link is destroyed.
        link_->setChangeListener(nullptr);
        link_->setLinkLostListener(nullptr);
    }
    link_.reset(); // joins the reader
}

StationLink& Invocation::station() {
    if (link_)
        return *link_;
    const TransportOptions transportOptions{
        options_.simulate, options_.profilePath, options_.tracePath,
        options_.dataDir.empty() ? app::defaultDataFolder().toStdString() : options_.dataDir,
        options_.device};
    Result<std::shared_ptr<Transport>> transport =
        env_.makeTransport ? env_.makeTransport(transportOptions) : makeTransport(transportOptions);
    if (!transport)
        throw CommandError(transport.error().text());
    link_ = std::make_unique<StationLink>(std::move(*transport), env_.linkTiming);

    // The listeners hold the link itself, never this object's member: they run
    // on the reader and notifier threads.
    StationLink* link = link_.get();
    link->setLinkLostListener([link] { link->markStationGone(); });
    link->setChangeListener([link](DeviceChange change) {
        // Another HID device may have gone; only the station's own removal counts.
        if (change == DeviceChange::Removal && !link->stationStillListed())
            link->markStationGone();
    });

    if (!link->openStation())
        throw CommandError(noStationMessage(link->openStatus(), options_.device));
    return *link;
}

bool Invocation::rescan() {
    return link_ && link_->openStation();
}

void Invocation::checkTransport() {
    if (!link_)
        return;
    if (Status status = link_->transportStatus(); !status)
        throw CommandError(status.error().text());
}

void fail(const Error& error) {
    if (error.code == Errc::InvalidInput)
        throw UsageError(error.text());
    throw CommandError(error.text());
}

bool OptionReader::next() {
    if (started_)
        ++at_;
    started_ = true;
    if (at_ >= args_.size())
        return false;
    const std::string& word = args_[at_];
    const auto eq = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
    name_ = word.substr(0, eq);
    inline_.reset();
    if (eq != std::string::npos)
        inline_ = word.substr(eq + 1);
    return true;
}

std::string OptionReader::value(std::string_view usage) {
    if (inline_)
        return *inline_;
    if (at_ + 1 >= args_.size())
        throw UsageError(name_ + " needs a value" +
                         (usage.empty() ? std::string() : "; " + std::string(usage)));
    return args_[++at_];
}

void OptionReader::noValue() const {
    if (inline_)
        throw UsageError(name_ + " takes no value");
}

int parseInteger(std::string_view text, std::string_view what) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        throw UsageError(std::string(what) + " must be a whole number, not '" + std::string(text) +
                         "'");
    return value;
}

double parseSeconds(std::string_view text, std::string_view what, double maxSeconds) {
    // std::from_chars for double is missing from some standard libraries still in use.
    const std::string copy(text);
    std::istringstream in(copy);
    in.imbue(std::locale::classic());
    double value = 0;
    in >> value;
    if (copy.empty() || in.fail() || !in.eof() || !std::isfinite(value) || value < 0 ||
        value > maxSeconds) {
        std::ostringstream bound;
        bound << maxSeconds;
        throw UsageError(std::string(what) + " must be a number of seconds from 0 to " +
                         bound.str() + ", not '" + copy + "'");
    }
    return value;
}

// --from and --to: the query's bound form, or a date alone for its midnight.
double parseTimeOption(const std::string& text, const std::string& option) {
    std::string bound = text.find(' ') == std::string::npos ? text + " 0:00:00" : text;
    // The ISO form watch prints ("2026-12-06T10:53:07+01:00"): the records
    // hold the station's local time, so a time with an offset is taken in the
    // PC's local time first.
    if (text.find('T') != std::string::npos) {
        const QDateTime iso = QDateTime::fromString(QString::fromStdString(text), Qt::ISODate);
        if (iso.isValid())
            bound = iso.toLocalTime().toString(QStringLiteral("yyyy-MM-dd H:mm:ss")).toStdString();
    }
    Result<double> time = store::parseBoundText(bound);
    if (!time)
        throw UsageError(option + ": '" + text +
                         "' is not a time of the form YYYY-MM-DD, \"YYYY-MM-DD h:mm:ss\" or "
                         "YYYY-MM-DDThh:mm:ss[+hh:mm]");
    return *time;
}

namespace {

constexpr std::size_t kHelpColumns = 80;

// Words of text, each group in brackets kept whole ("[--count N]").
std::vector<std::string> groups(std::string_view text) {
    std::vector<std::string> result;
    std::string current;
    int depth = 0;
    for (char c : text) {
        if (c == ' ' && depth == 0) {
            if (!current.empty())
                result.push_back(current);
            current.clear();
            continue;
        }
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        current += c;
    }
    if (!current.empty())
        result.push_back(current);
    return result;
}

// text after a first line's head, wrapped to the help's width; later lines
// start at the head's width.
std::string wrapped(const std::string& head, std::string_view text) {
    std::string out = head;
    std::size_t column = head.size();
    bool lineEmpty = true;
    for (const std::string& word : groups(text)) {
        if (!lineEmpty && column + 1 + word.size() > kHelpColumns) {
            out += '\n' + std::string(head.size(), ' ');
            column = head.size();
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out + '\n';
}

} // namespace

std::string helpText() {
    std::ostringstream out;
    out << "Usage: " << kProgramName << " [OPTIONS] COMMAND [ARGUMENTS]\n"
        << "       " << kProgramName << " COMMAND --help\n\n"
        << "Reads and sets a Vellumet thermo-hygrometer base station without the window.\n\n"
        << "Commands:\n";
    std::size_t width = 0;
    for (const Command& c : commandTable())
        width = std::max(width, c.name.size());
    for (const Command& c : commandTable()) {
        const std::string head =
            "  " + std::string(c.name) + std::string(width - c.name.size() + 2, ' ');
        out << wrapped(head, c.summary);
    }
    out << "\n"
        << "'" << kProgramName << " COMMAND --help' shows a command's arguments, keys and\n"
        << "an example.\n"
        << "\nOptions:\n"
        << "  --simulate[=PROFILE]    talk to the virtual station (set up by a profile file)\n"
        << "  --data-dir DIR          use DIR as the data folder\n"
        << "  --device PATH|SERIAL    use the station with this node path or serial number\n"
        << "                          (default: $VELLUMET_DEVICE, else the first one found)\n"
        << "  --trace FILE            write every report to and from the station to FILE\n"
        << "                          (never the data folder's 7421.mdb or Main.ini)\n"
        << "  --format text|json|csv|influx\n"
        << "                          output form (default text); JSON and CSV give degrees\n"
        << "                          Celsius and percent, missing values null or empty;\n"
        << "                          influx (live and watch): InfluxDB line protocol\n"
        << "  --help                  show this help, or a command's own after its name\n"
        << "  --version               show the version\n\n"
        << "Exit status: 0 success, 1 failure (for example no station, or standard output\n"
        << "cannot be written), 2 usage error, 3 an alarm ended watch --exit-on-alarm,\n"
        << "130 stopped by Ctrl-C (SIGINT), 143 stopped by SIGTERM. A second Ctrl-C or\n"
        << "SIGTERM ends the program at once.\n"
        << "Results go to standard output, errors to standard error. Files are written\n"
        << "whole or not at all, and a device, FIFO or folder is never replaced.\n";
    return out.str();
}

std::string commandHelpText(std::string_view name) {
    const Command* command = nullptr;
    for (const Command& c : commandTable())
        if (c.name == name)
            command = &c;
    if (!command)
        return {};
    std::string out = wrapped("Usage: " + std::string(kProgramName) + " [OPTIONS] " +
                                  std::string(command->name) + ' ',
                              command->arguments);
    std::string summary(command->summary);
    if (!summary.empty())
        summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    out += '\n' + wrapped("", summary + '.');
    if (const CommandHelp* help = commandHelp(name)) {
        out += '\n' + std::string(help->details) + '\n';
        out += "\nExample:\n  " + std::string(help->example) + '\n';
    }
    out += "\nGlobal options (--simulate, --data-dir, --format, ...): see " +
           std::string(kProgramName) + " --help.\n";
    return out;
}

std::string versionText() {
    return std::string(kProgramName) + ' ' + kVersion + '\n';
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Environment& env) {
    CommandLine line;
    try {
        line = parseCommandLine(args);
        checkTraceTarget(line.options);
    } catch (const UsageError& e) {
        err << errorLine(std::string(e.what()) + " (see --help)") << std::flush;
        return kExitUsage;
    }
    if (line.help && !line.command.empty()) {
        const std::string text = commandHelpText(line.command);
        if (text.empty()) {
            err << errorLine("unknown command '" + line.command + "' (see --help)") << std::flush;
            return kExitUsage;
        }
        return writeResult(out, err, text);
    }
    if (line.help || line.version)
        return writeResult(out, err, line.help ? helpText() : versionText());
    if (line.command.empty()) {
        err << errorLine("no command given (see --help)") << std::flush;
        return kExitUsage;
    }
    const Command* command = findCommand(line.command);
    if (!command) {
        err << errorLine("unknown command '" + line.command + "' (see --help)") << std::flush;
        return kExitUsage;
    }
    if (line.options.influx && line.command != "live" && line.command != "watch") {
        err << errorLine("--format influx is for live and watch only (see --help)") << std::flush;
        return kExitUsage;
    }

    int status = kExitFailure;
    std::string output;
    std::string failure; // the one line of a command that threw
    {
        Invocation invocation(std::move(line.commandArgs), line.options, out, err, env);
        try {
            // The folder only: the commands that use the record database
            // prepare it themselves.
            if (!line.options.dataDir.empty())
                prepareDataDir(line.options.dataDir);
            status = command->handler(invocation);
            invocation.checkTransport();
            output = std::move(invocation.output);
        } catch (const UsageError& e) {
            status = kExitUsage;
            failure = e.what();
        } catch (const std::exception& e) {
            status = kExitFailure;
            failure = e.what();
        }
    }
    // A command that a signal stopped prints no result, whatever it got to;
    // its own message, if it left one, says how far it came.
    if (env.stop.stop_requested()) {
        err << errorLine(failure.empty() ? "interrupted" : failure) << std::flush;
        const int signal = env.stopSignal ? env.stopSignal() : 0;
        return signal > 0 ? kExitSignalBase + signal : kExitFailure;
    }
    if (!failure.empty()) {
        err << errorLine(failure) << std::flush;
        return status;
    }
    if (status == kExitOk)
        return writeResult(out, err, output);
    return status;
}

} // namespace vellumet::cli
