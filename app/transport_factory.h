#pragma once

#include "device/transport.h"

#include <memory>
#include <string>

namespace vellumet {

struct TransportOptions {
    bool simulate = false;   // the virtual station instead of hidapi
    std::string profilePath; // virtual station profile (JSON); empty: the default station
    std::string tracePath;   // protocol trace file; empty: no trace
};

// The transport both front ends use: hidapi or the virtual station, wrapped
// in the protocol trace when asked. Returns nullptr and a one-line reason in
// error when a profile or the trace file cannot be used.
std::shared_ptr<Transport> makeTransport(const TransportOptions& options, std::string& error);

} // namespace vellumet
