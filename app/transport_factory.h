#pragma once

#include "core/result.h"
#include "device/transport.h"

#include <memory>
#include <string>

namespace vellumet {

struct TransportOptions {
    bool simulate = false;    // the virtual station instead of hidapi
    std::string profilePath;  // virtual station profile (JSON); empty: the default station
    std::string tracePath;    // protocol trace file; empty: no trace
    std::string dataFolder{}; // the data folder in use, whose files the trace must not be
    std::string device{};     // --device: the one station to use, by node path or serial
                              // (not with simulate)
};

// The environment variable that names the station when --device does not.
inline constexpr const char* kDeviceVariable = "VELLUMET_DEVICE";

// --device when given, otherwise VELLUMET_DEVICE, otherwise empty (the first
// station found).
std::string chosenDevice(const std::string& option);

// Whether an interface is the one --device names: its path or its serial.
bool matchesDevice(const DeviceInfo& info, const std::string& device);

// The trace file is created anew (truncated), so it may not be the record
// database or Main.ini of dataFolder, named in any way: another spelling of
// the path, a symbolic link or a hard link to one of them. InvalidInput if it is.
Status checkTracePath(const std::string& tracePath, const std::string& dataFolder);

// The transport both front ends hand to their StationLink: hidapi or the
// virtual station, limited to the station options.device names, wrapped in
// the protocol trace when asked. InvalidInput for
// a profile that cannot be used or a trace file that checkTracePath refuses
// (when dataFolder is given), Io for a trace file that cannot be made.
Result<std::shared_ptr<Transport>> makeTransport(const TransportOptions& options);

} // namespace vellumet
