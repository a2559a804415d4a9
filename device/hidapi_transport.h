#pragma once

#include "transport.h"

namespace vellumet {

// The real station through hidapi (hidraw backend on Linux).
class HidapiTransport final : public Transport {
public:
    HidapiTransport();
    ~HidapiTransport() override;
    HidapiTransport(const HidapiTransport&) = delete;
    HidapiTransport& operator=(const HidapiTransport&) = delete;

    std::vector<DeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) override;
    std::unique_ptr<HidHandle> open(const std::string& path) override;
    Result<std::unique_ptr<HidHandle>> tryOpen(const std::string& path) override;
};

} // namespace vellumet
