#pragma once

#include "core/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vellumet {

inline constexpr std::uint16_t kStationVendorId = 0x0483;
inline constexpr std::uint16_t kStationProductId = 0x5750;

// Size of the data part of one HID report; on the wire a report id byte (0) precedes it.
inline constexpr std::size_t kReportDataSize = 64;
inline constexpr std::size_t kOutputReportSize = kReportDataSize + 1;

struct DeviceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serial{};  // USB serial number; empty where the transport has none
    std::string product{}; // USB product string
};

// One opened HID interface. A handle is used by one thread at a time; the link
// opens the station twice so that the reader and the writers never share one.
class HidHandle {
public:
    virtual ~HidHandle() = default;

    // Writes one output report: report id 0 followed by the 64 data bytes.
    // Returns false when the device did not take it.
    virtual bool write(const std::uint8_t* report, std::size_t size) = 0;

    // Reads one input report's data bytes (report id already dropped) into
    // buffer. Returns the number of bytes, 0 on timeout, -1 when the device
    // failed or went away.
    virtual int read(std::uint8_t* buffer, std::size_t size, int timeoutMs) = 0;
};

enum class DeviceChange { Arrival, Removal };

// Finds and opens HID interfaces. Implemented by hidapi for real stations and
// by the virtual station.
class Transport {
public:
    virtual ~Transport() = default;

    // Present interfaces with this vendor and product id, in system order.
    virtual std::vector<DeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) = 0;

    // Null when the interface cannot be opened.
    virtual std::unique_ptr<HidHandle> open(const std::string& path) = 0;

    // Opens like open() and says why not: AccessDenied when the system refuses
    // this user the device (on Linux: no udev rule grants it), NotConnected for
    // any other failure. Transports that can tell the two apart override it.
    virtual Result<std::unique_ptr<HidHandle>> tryOpen(const std::string& path) {
        if (auto handle = open(path))
            return handle;
        return makeError(Errc::NotConnected, "cannot open " + path);
    }

    // Transports that know of plug and unplug themselves report it here; the
    // callback may run on any thread. Others leave this to the system monitor.
    virtual void setChangeListener(std::function<void(DeviceChange)> listener) { (void)listener; }

    // Trouble of the transport itself rather than of a device (a trace file
    // that cannot be written); flushes what it buffers first.
    virtual Status status() { return {}; }
};

} // namespace vellumet
