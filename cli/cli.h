#pragma once

#include "app/transport_factory.h"
#include "device/station_link.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// watch --exit-on-alarm: a channel went past one of its alarm limits.
inline constexpr int kExitAlarm = 3;
// A command ended by a signal exits with 128 + the signal's number, as the
// shells report a program killed by it: 130 for SIGINT, 143 for SIGTERM.
inline constexpr int kExitSignalBase = 128;

inline constexpr const char* kProgramName = "vellumet-cli";

// Builds the transport a command talks through.
using TransportFactory =
    std::function<Result<std::shared_ptr<Transport>>(const TransportOptions& options)>;

// What `watch` reports after each round: whether it printed readings and
// whether the station was there at the end of the round.
struct WatchRound {
    int round = 0;
    bool printed = false;
    bool connected = false;
};

// Everything the tool takes from its surroundings, so that tests can run it
// in-process against a station they hold.
struct Environment {
    TransportFactory makeTransport; // empty: hidapi or the virtual station, by the options
    std::stop_token stop;           // requested on Ctrl-C or SIGTERM: the command ends promptly
    // Which signal requested the stop (SIGINT, SIGTERM), for the exit status;
    // empty or 0: a stop without a signal, which exits 1.
    std::function<int()> stopSignal;
    LinkTiming linkTiming; // the station's own pauses and waits; tests shorten them
    std::function<void(const WatchRound&)> afterWatchRound;
};

// Runs one command line (without the program name). Results go to out, only
// once complete; errors go to err as one line. Returns the exit status:
// 0 success, 1 failure (also when out cannot be written), 2 usage error,
// 128 + the signal's number when a signal stopped the command.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Environment& env = {});

std::string helpText();
// The usage, summary, keys and an example of one command; empty for a name
// that is no command.
std::string commandHelpText(std::string_view name);
std::string versionText();

} // namespace vellumet::cli
