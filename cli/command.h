#pragma once

#include "cli.h"
#include "device/station_link.h"

#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::cli {

enum class Format { Text, Json, Csv };

struct GlobalOptions {
    bool simulate = false;
    std::string profilePath;
    std::string dataDir; // empty: not given
    std::string tracePath;
    std::string device; // --device or VELLUMET_DEVICE; empty: the first station found
    Format format = Format::Text;
    bool influx = false; // --format influx: InfluxDB line protocol (live and watch only)
};

// Bad command line: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Anything else that stops a command: exit status 1.
struct CommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One run of one command: its own arguments, the global options, the result
// being built, and the station, opened on first use.
class Invocation {
public:
    Invocation(std::vector<std::string> args, GlobalOptions options, std::ostream& out,
               std::ostream& err, const Environment& env);
    ~Invocation();
    Invocation(const Invocation&) = delete;
    Invocation& operator=(const Invocation&) = delete;

    const std::vector<std::string>& args() const { return args_; }
    const GlobalOptions& options() const { return options_; }
    Format format() const { return options_.format; }
    const Environment& env() const { return env_; }

    // The complete result; the runner writes it to standard output only when
    // the command succeeds, so a failure never leaves half a result behind.
    std::string output;

    // For commands that stream (each piece complete in itself) and for notices.
    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }

    // Opens the station on first use; throws CommandError when there is none.
    StationLink& station();
    // Scans again after the station went away; returns whether it is back.
    bool rescan();
    bool connected() const { return link_ && link_->connected(); }
    const std::stop_token& stop() const { return env_.stop; }
    bool interrupted() const { return env_.stop.stop_requested(); }
    // Throws CommandError when the transport itself failed (a trace that
    // could not be written); the runner calls it after every command.
    void checkTransport();

private:
    std::vector<std::string> args_;
    GlobalOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    const Environment& env_;
    std::unique_ptr<StationLink> link_;
};

using Handler = int (*)(Invocation&);

struct Command {
    std::string_view name;
    std::string_view arguments; // as shown in the usage line
    std::string_view summary;
    Handler handler;
};

// Every command the tool knows, in the order --help lists them.
std::span<const Command> commandTable();

// Walks a command line's words one by one, each option given as
// "--name value" or "--name=value"; a word that does not start with "--" is
// taken whole.
class OptionReader {
public:
    explicit OptionReader(const std::vector<std::string>& args) : args_(args) {}
    // Moves to the next word; false after the last.
    bool next();
    const std::string& arg() const { return args_[at_]; }
    // "--name", or the whole word.
    const std::string& name() const { return name_; }
    bool hasInlineValue() const { return inline_.has_value(); }
    // The text after "=", else the next word (which is then used up); a
    // UsageError "NAME needs a value", with "; usage" when given, at the end.
    std::string value(std::string_view usage = {});
    // A UsageError "NAME takes no value" when "=" gave it one.
    void noValue() const;

private:
    const std::vector<std::string>& args_;
    std::size_t at_ = 0;
    bool started_ = false;
    std::string name_;
    std::optional<std::string> inline_;
};

// Shared by the command handlers.
int parseInteger(std::string_view text, std::string_view what);
// --from and --to of the record commands: the query's bound form
// ("YYYY-MM-DD h:mm:ss"), or a date alone for its midnight.
double parseTimeOption(const std::string& text, const std::string& option);
// A number of seconds from 0 to maxSeconds.
double parseSeconds(std::string_view text, std::string_view what, double maxSeconds);
// Turns an error of the layers below into the exception the runner maps to
// an exit status: InvalidInput is a usage error (2), everything else 1.
[[noreturn]] void fail(const Error& error);

} // namespace vellumet::cli
