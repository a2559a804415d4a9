#pragma once

#include "device/station_link.h"
#include "sim/virtual_station.h"
#include "tests/device/link_test_access.h"

#include <memory>

// A virtual station with fixed readings behind a link, as the window uses it.
struct StationRig {
    static vellumet::Block fixedReadings() {
        vellumet::Block b{};
        b.fill(0xFF);
        auto put = [&b](int channel, int tenths, int humidity) {
            const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(tenths));
            b[static_cast<std::size_t>(3 * channel - 2)] = static_cast<std::uint8_t>(raw >> 8);
            b[static_cast<std::size_t>(3 * channel - 1)] = static_cast<std::uint8_t>(raw & 0xFF);
            b[static_cast<std::size_t>(3 * channel)] = static_cast<std::uint8_t>(humidity);
        };
        b[0] = 0x7B;
        put(1, 235, 45);    // 23.5 °C, 45 %
        put(2, -52, 80);    // -5.2 °C, 80 %
        put(3, 0x7FFF, 50); // no temperature
        put(4, 200, 0xFF);  // no humidity
        return b;
    }

    static vellumet::sim::Profile profile(bool silent = false, int unit = 0) {
        vellumet::sim::Profile p;
        p.answers[vellumet::cmd::Readings] = fixedReadings();
        p.faults.silent = silent;
        p.unit = unit;
        return p;
    }

    explicit StationRig(vellumet::sim::Profile p = profile(),
                        vellumet::LinkTiming timing = vellumet::LinkTiming::quick())
        : station(std::make_shared<vellumet::sim::VirtualStation>(std::move(p))),
          transport(std::make_shared<vellumet::sim::VirtualTransport>(station)),
          link(std::make_unique<vellumet::StationLink>(transport, timing)) {}

    std::shared_ptr<vellumet::sim::VirtualStation> station;
    std::shared_ptr<vellumet::sim::VirtualTransport> transport;
    std::unique_ptr<vellumet::StationLink> link;
};
