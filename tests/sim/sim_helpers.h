#pragma once

#include "device/command_frame.h"
#include "sim/virtual_station.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vellumet::sim::test {

// Talks to the virtual station the way a program would, one handle for
// writing and one for reading, without the link in between.
struct Peer {
    std::shared_ptr<VirtualStation> station;
    VirtualTransport transport;
    std::unique_ptr<HidHandle> writer;
    std::unique_ptr<HidHandle> reader;

    explicit Peer(Profile profile = fastProfile())
        : station(std::make_shared<VirtualStation>(std::move(profile))), transport(station),
          writer(transport.open(VirtualTransport::kPath)),
          reader(transport.open(VirtualTransport::kPath)) {}

    static Profile fastProfile() {
        Profile p;
        p.faults.reportMs = 0;
        return p;
    }

    bool send(const Block& frame) {
        std::uint8_t report[65] = {};
        std::copy(frame.begin(), frame.end(), report + 1);
        return writer->write(report, sizeof report);
    }
    bool send(std::uint8_t code, std::vector<std::uint8_t> payload = {}) {
        return send(CommandFrame(code, payload).bytes());
    }

    // Reports until none comes within quietMs.
    std::vector<Block> collect(int quietMs = 30) {
        std::vector<Block> out;
        for (;;) {
            Block b{};
            const int n = reader->read(b.data(), b.size(), quietMs);
            if (n <= 0)
                return out;
            out.push_back(b);
        }
    }

    // Reports up to and including the end marker "{@}".
    std::vector<Block> collectUntilEnd(int timeoutMs = 1000) {
        std::vector<Block> out;
        for (;;) {
            Block b{};
            const int n = reader->read(b.data(), b.size(), timeoutMs);
            if (n <= 0)
                return out;
            out.push_back(b);
            if (b[0] == '{' && b[1] == '@' && b[2] == '}')
                return out;
        }
    }

    // One answer, and nothing after it; an empty block otherwise.
    Block ask(std::uint8_t code) {
        send(code);
        Block b{};
        if (reader->read(b.data(), b.size(), 500) != 64)
            return Block{};
        return collect(5).empty() ? b : Block{};
    }
};

inline int signed16(const Block& b, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]));
}

inline std::uint32_t bigEndian32(const Block& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

} // namespace vellumet::sim::test
