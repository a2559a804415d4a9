#include "hidapi_transport.h"

#include <hidapi/hidapi.h>

#include <mutex>

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vellumet {

namespace {

std::once_flag initOnce;

class HidapiHandle final : public HidHandle {
public:
    explicit HidapiHandle(hid_device* device) : device_(device) {}
    ~HidapiHandle() override { hid_close(device_); }
    HidapiHandle(const HidapiHandle&) = delete;
    HidapiHandle& operator=(const HidapiHandle&) = delete;

    bool write(const std::uint8_t* report, std::size_t size) override {
        return hid_write(device_, report, size) >= 0;
    }

    int read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        return hid_read_timeout(device_, buffer, size, timeoutMs);
    }

private:
    hid_device* device_;
};

} // namespace

HidapiTransport::HidapiTransport() {
    std::call_once(initOnce, [] { hid_init(); });
}

HidapiTransport::~HidapiTransport() = default;

std::vector<DeviceInfo> HidapiTransport::enumerate(std::uint16_t vendorId,
                                                   std::uint16_t productId) {
    std::vector<DeviceInfo> found;
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (hid_device_info* it = list; it != nullptr; it = it->next) {
        if (it->path != nullptr)
            found.push_back({it->path, it->vendor_id, it->product_id});
    }
    hid_free_enumeration(list);
    return found;
}

std::unique_ptr<HidHandle> HidapiTransport::open(const std::string& path) {
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr)
        return nullptr;
    return std::make_unique<HidapiHandle>(device);
}

Result<std::unique_ptr<HidHandle>> HidapiTransport::tryOpen(const std::string& path) {
    if (auto handle = open(path))
        return handle;
#ifdef __linux__
    // hidapi keeps errno to itself; the hidraw path is the device node, so
    // opening it once more tells whether permission was the reason.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    const int reason = fd < 0 ? errno : 0;
    if (fd >= 0)
        ::close(fd);
    if (reason == EACCES || reason == EPERM)
        return makeError(Errc::AccessDenied, path + ": permission denied");
#endif
    return makeError(Errc::NotConnected, "cannot open " + path);
}

} // namespace vellumet
