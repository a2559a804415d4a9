#pragma once

#include "device/transport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace vellumet::test {

// A transport whose devices answer by script: every written frame is recorded
// and handed to a responder that may queue answers for the reader.
class ScriptedTransport : public Transport {
public:
    using Responder = std::function<std::vector<Block>(const Block& frame)>;

    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<std::pair<Block, std::size_t>> inbox;
        std::vector<Block> written;
        std::vector<std::chrono::steady_clock::time_point> writeTimes;
        Responder responder;
        bool gone = false;
        int openHandles = 0;
        int readsInFlight = 0;
        int readsOnClosed = 0;
    };

    std::vector<DeviceInfo> devices;
    std::map<std::string, bool> openFails;
    Shared shared;
    int enumerations = 0;

    std::vector<DeviceInfo> enumerate(std::uint16_t vid, std::uint16_t pid) override {
        std::lock_guard lock(shared.mutex);
        ++enumerations;
        std::vector<DeviceInfo> out;
        for (const auto& d : devices)
            if (d.vendorId == vid && d.productId == pid)
                out.push_back(d);
        return out;
    }

    std::unique_ptr<HidHandle> open(const std::string& path) override {
        if (openFails.count(path))
            return nullptr;
        std::lock_guard lock(shared.mutex);
        ++shared.openHandles;
        opened.push_back(path);
        return std::make_unique<Handle>(shared);
    }

    // Queues a report for the reader as if the station had sent it.
    void push(const Block& answer, std::size_t n = 64) {
        {
            std::lock_guard lock(shared.mutex);
            shared.inbox.emplace_back(answer, n);
        }
        shared.cv.notify_all();
    }

    void unplug() {
        {
            std::lock_guard lock(shared.mutex);
            shared.gone = true;
            devices.clear();
        }
        shared.cv.notify_all();
    }

    std::vector<Block> written() {
        std::lock_guard lock(shared.mutex);
        return shared.written;
    }

    std::vector<std::string> opened;

private:
    class Handle : public HidHandle {
    public:
        explicit Handle(Shared& s) : s_(s) {}
        ~Handle() override {
            std::lock_guard lock(s_.mutex);
            --s_.openHandles;
            closed_ = true;
        }
        bool write(const std::uint8_t* report, std::size_t size) override {
            if (size != kOutputReportSize || report[0] != 0)
                return false;
            Block frame{};
            std::copy(report + 1, report + size, frame.begin());
            Responder responder;
            {
                std::lock_guard lock(s_.mutex);
                if (s_.gone)
                    return false;
                s_.written.push_back(frame);
                s_.writeTimes.push_back(std::chrono::steady_clock::now());
                responder = s_.responder;
            }
            if (responder) {
                auto answers = responder(frame);
                std::lock_guard lock(s_.mutex);
                for (auto& a : answers)
                    s_.inbox.emplace_back(a, 64);
            }
            s_.cv.notify_all();
            return true;
        }
        int read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
            std::unique_lock lock(s_.mutex);
            if (closed_)
                ++s_.readsOnClosed;
            ++s_.readsInFlight;
            const bool ready = s_.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                              [&] { return s_.gone || !s_.inbox.empty(); });
            --s_.readsInFlight;
            if (s_.gone)
                return -1;
            if (!ready)
                return 0;
            auto [block, n] = s_.inbox.front();
            s_.inbox.pop_front();
            const std::size_t count = std::min(n, size);
            std::copy_n(block.begin(), count, buffer);
            return static_cast<int>(count);
        }

    private:
        Shared& s_;
        bool closed_ = false;
    };
};

inline Block blockOf(std::initializer_list<std::uint8_t> bytes) {
    Block b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

} // namespace vellumet::test
