#pragma once

namespace vellumet {

// The fixed phrases the station link gives as the message of a failure. They
// stay English in the errors themselves (the command line shows them so); the
// window looks each up in its catalogue under kLinkTextContext.
inline constexpr const char* kLinkTextContext = "StationLink";
inline constexpr const char* kStationWentAway = "the station went away";
inline constexpr const char* kFrameNotTaken = "the station did not take a frame";
inline constexpr const char* kLinkBusy = "the link is busy with another request; nothing sent";

inline constexpr const char* kLinkTexts[] = {kStationWentAway, kFrameNotTaken, kLinkBusy};

} // namespace vellumet
