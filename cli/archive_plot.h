#pragma once

#include "command.h"

#include <optional>
#include <string>
#include <vector>

namespace vellumet::cli {

// What plot --archive draws: a curve per channel, named by the channel.
struct ArchivePlot {
    std::vector<std::string> channels; // as the user named them
    std::string kind;                  // temperature or humidity
    std::optional<double> from;
    std::optional<double> to;
    std::optional<std::string> unit;
    int width = 1200;
    int height = 600;
    bool svg = false;
    std::string out;
};

// At most this many channels share a plot.
inline constexpr std::size_t kMaxPlotChannels = 4;

// The image bytes; throws CommandError or UsageError.
std::string drawArchivePlot(Invocation& inv, const ArchivePlot& plot);

} // namespace vellumet::cli
