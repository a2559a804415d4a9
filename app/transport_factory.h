#pragma once

#include "core/result.h"
#include "device/transport.h"

#include <memory>
#include <string>

namespace vellumet {

struct TransportOptions {
    bool simulate = false;   // the virtual station instead of hidapi
    std::string profilePath; // virtual station profile (JSON); empty: the default station
    std::string tracePath;   // protocol trace file; empty: no trace
};

// The transport both front ends hand to their StationLink: hidapi or the
// virtual station, wrapped in the protocol trace when asked. InvalidInput for
// a profile that cannot be used, Io for a trace file that cannot be made.
Result<std::shared_ptr<Transport>> makeTransport(const TransportOptions& options);

} // namespace vellumet
