#pragma once

#include "device/transport.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace vellumet::test {

// Lists the stations of another transport but, while `denied` is set, refuses
// to open them (only `path` when one is given) as the system does for a user
// without the udev rule.
class DenyingTransport final : public Transport {
public:
    explicit DenyingTransport(std::shared_ptr<Transport> inner, std::string path = {})
        : inner_(std::move(inner)), path_(std::move(path)) {}

    std::atomic<bool> denied{true};
    std::atomic<int> refusals{0};

    std::vector<DeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) override {
        return inner_->enumerate(vendorId, productId);
    }
    std::unique_ptr<HidHandle> open(const std::string& path) override {
        auto handle = tryOpen(path);
        return handle ? std::move(handle.value()) : nullptr;
    }
    Result<std::unique_ptr<HidHandle>> tryOpen(const std::string& path) override {
        if (denied && (path_.empty() || path == path_)) {
            ++refusals;
            return makeError(Errc::AccessDenied, path + ": permission denied");
        }
        return inner_->tryOpen(path);
    }
    void setChangeListener(std::function<void(DeviceChange)> listener) override {
        inner_->setChangeListener(std::move(listener));
    }

private:
    std::shared_ptr<Transport> inner_;
    const std::string path_;
};

} // namespace vellumet::test
