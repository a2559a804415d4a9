#pragma once

#include "output.h"

#include <optional>
#include <string>

namespace vellumet::cli {

// The names the user gave the channels of the station being read, from the
// history beside the record database. They are read once for a station and
// again only when the station's identity changes; no history, or one that
// cannot be read, gives no names (the reason told once through note).
class StationNames {
public:
    explicit StationNames(std::string archivePath) : path_(std::move(archivePath)) {}

    // The names for the station that answered identText (empty: unknown).
    const ChannelNames& of(const std::string& identText, std::string* note = nullptr);
    // The names for the station of a reading; one whose identification did
    // not come keeps the names of the station read before.
    const ChannelNames& of(const StationSnapshot& reading, std::string* note = nullptr);

private:
    std::string path_;
    std::optional<std::string> station_;
    ChannelNames names_{};
    bool noted_ = false;
};

// The history's path for the data folder given (empty: the default one),
// nothing created.
std::string archivePathOf(const std::string& dataDir);

} // namespace vellumet::cli
