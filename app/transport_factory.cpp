#include "transport_factory.h"

#include "device/hidapi_transport.h"
#include "device/trace_transport.h"
#include "sim/virtual_station.h"

#include "app/data_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace vellumet {

namespace {

namespace fs = std::filesystem;

// The path with every symbolic link on it followed, also one at the end that
// leads to a file not there yet, and "." and ".." taken out.
fs::path resolved(const fs::path& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec)
        return path.lexically_normal();
    for (int hops = 0; hops < 40 && fs::is_symlink(p, ec); ++hops) {
        const fs::path next = fs::read_symlink(p, ec);
        if (ec)
            break;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    const fs::path canonical = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : canonical;
}

bool sameFile(const std::string& a, const fs::path& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return resolved(a) == resolved(b);
}

// Shows the program only the station --device names, so that every scan
// (first open, rescan after a plug) finds that one or none.
class ChosenDeviceTransport final : public Transport {
public:
    ChosenDeviceTransport(std::shared_ptr<Transport> inner, std::string device)
        : inner_(std::move(inner)), device_(std::move(device)) {}

    std::vector<DeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) override {
        std::vector<DeviceInfo> found = inner_->enumerate(vendorId, productId);
        std::erase_if(found,
                      [this](const DeviceInfo& info) { return !matchesDevice(info, device_); });
        return found;
    }
    std::unique_ptr<HidHandle> open(const std::string& path) override { return inner_->open(path); }
    Result<std::unique_ptr<HidHandle>> tryOpen(const std::string& path) override {
        return inner_->tryOpen(path);
    }
    void setChangeListener(std::function<void(DeviceChange)> listener) override {
        inner_->setChangeListener(std::move(listener));
    }
    Status status() override { return inner_->status(); }

private:
    std::shared_ptr<Transport> inner_;
    std::string device_;
};

} // namespace

std::string chosenDevice(const std::string& option) {
    if (!option.empty())
        return option;
    const char* variable = std::getenv(kDeviceVariable);
    return variable != nullptr ? std::string(variable) : std::string();
}

bool matchesDevice(const DeviceInfo& info, const std::string& device) {
    if (device.empty() || info.path == device || (!info.serial.empty() && info.serial == device))
        return true;
    // Another spelling of the node's path, or a link to it (/dev/hidraw-station).
    return device.find('/') != std::string::npos && info.path.find('/') != std::string::npos &&
           sameFile(device, fs::path(info.path));
}

Status checkTracePath(const std::string& tracePath, const std::string& dataFolder) {
    for (const char* name : {app::kDatabaseFileName, app::kSettingsFileName}) {
        if (sameFile(tracePath, fs::path(dataFolder) / name))
            return makeError(Errc::InvalidInput, "--trace " + tracePath + " is the data folder's " +
                                                     name + "; choose another file for the trace");
    }
    return {};
}

Result<std::shared_ptr<Transport>> makeTransport(const TransportOptions& options) {
    std::shared_ptr<Transport> transport;
    if (options.simulate) {
        sim::Profile profile;
        if (!options.profilePath.empty()) {
            auto loaded = sim::loadProfile(options.profilePath);
            if (!loaded)
                return loaded.error();
            profile = std::move(*loaded);
        }
        transport = std::make_shared<sim::VirtualTransport>(
            std::make_shared<sim::VirtualStation>(std::move(profile)));
    } else {
        transport = std::make_shared<HidapiTransport>();
    }
    // The virtual station is the only one there is: --device (or a
    // VELLUMET_DEVICE left set) chooses among real stations only.
    if (!options.device.empty() && !options.simulate)
        transport = std::make_shared<ChosenDeviceTransport>(std::move(transport), options.device);
    if (options.tracePath.empty())
        return transport;
    if (!options.dataFolder.empty())
        if (Status allowed = checkTracePath(options.tracePath, options.dataFolder); !allowed)
            return allowed.error();
    auto traced = std::make_shared<TracingTransport>(transport, options.tracePath);
    if (!traced->traceOk())
        return makeError(Errc::Io, options.tracePath + ": cannot create the trace file");
    return std::shared_ptr<Transport>(std::move(traced));
}

} // namespace vellumet
