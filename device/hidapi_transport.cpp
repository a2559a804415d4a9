#include "hidapi_transport.h"

#include <hidapi/hidapi.h>

#include <cwchar>
#include <mutex>

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vellumet {

namespace {

std::once_flag initOnce;

// hidapi hands out wide strings; serials and product names are ASCII in
// practice, anything else is kept as UTF-8.
std::string narrow(const wchar_t* text) {
    std::string out;
    if (text == nullptr)
        return out;
    for (; *text != L'\0'; ++text) {
        const auto c = static_cast<std::uint32_t>(*text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

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
            found.push_back({it->path, it->vendor_id, it->product_id, narrow(it->serial_number),
                             narrow(it->product_string)});
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
