#include "channel_names.h"

#include "app/data_folder.h"
#include "store/archive.h"

namespace vellumet::cli {

std::string archivePathOf(const std::string& dataDir) {
    const QString folder =
        dataDir.empty() ? app::defaultDataFolder() : app::fromNativePath(dataDir);
    return store::archivePathBeside(app::nativePath(app::databasePath(folder)));
}

const ChannelNames& StationNames::of(const StationSnapshot& reading, std::string* note) {
    if (!reading.has(StationPart::Identification) && station_)
        return names_;
    return of(reading.has(StationPart::Identification) ? reading.identText : std::string(), note);
}

const ChannelNames& StationNames::of(const std::string& identText, std::string* note) {
    // The history keeps the station under its identification, trimmed.
    std::string station = identText;
    station.erase(0, station.find_first_not_of(" \t\r\n"));
    station.erase(station.find_last_not_of(" \t\r\n") + 1);
    if (station.empty())
        station = store::kUnknownStation;
    if (station_ == station)
        return names_;
    station_ = station;
    names_ = {};
    store::Archive archive;
    Status opened = archive.openExisting(path_);
    if (!opened) {
        if (opened.code() != Errc::NoReadings && note && !noted_) {
            *note = "channel names not read: " + opened.error().text();
            noted_ = true;
        }
        return names_;
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        // A name given for this station wins over one given without a station.
        for (const std::string& of : {station, std::string(store::kUnknownStation)}) {
            const Result<std::optional<std::string>> named = archive.name(of, channel);
            if (!named) {
                if (note && !noted_) {
                    *note = "channel names not read: " + named.error().text();
                    noted_ = true;
                }
                return names_;
            }
            if (*named && !(*named)->empty()) {
                names_[static_cast<std::size_t>(channel)] = **named;
                break;
            }
        }
    }
    return names_;
}

} // namespace vellumet::cli
