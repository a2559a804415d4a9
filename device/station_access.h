#pragma once

#include <string>

namespace vellumet {

// The udev rule that lets the logged-in user open the station, as shipped in
// resources/udev/ and installed into lib/udev/rules.d.
inline constexpr const char* kUdevRuleFile = "70-vellumet-station.rules";
// What makes udev apply a newly installed rule to a station already plugged in.
inline constexpr const char* kUdevReloadCommand =
    "sudo udevadm control --reload-rules && sudo udevadm trigger";

// The sentence shown instead of "Unconnected" when the station is present but
// may not be opened; %1 is the rule file, %2 the reload command. The window
// translates it (context kStationAccessContext) before filling these in.
inline constexpr const char* kStationAccessContext = "Connection";
inline constexpr const char* kAccessDeniedText =
    "No permission to open the station: install the udev rule %1 and reload udev with \"%2\".";

// kAccessDeniedText in English with the rule file and the command filled in.
std::string accessDeniedSentence();

} // namespace vellumet
