#pragma once

#include "cli/cli.h"
#include "device/command_frame.h"
#include "sim/virtual_station.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace vellumet::cli::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool in-process against a virtual station the test holds, on a
// fresh temporary data folder.
class CliFixture : public ::testing::Test {
public:
    void SetUp() override { ASSERT_TRUE(dataDir.isValid()); }

    void makeStation(sim::Profile profile = {}) {
        station = std::make_shared<sim::VirtualStation>(std::move(profile));
        transport = std::make_shared<sim::VirtualTransport>(station);
    }

    // Runs with --simulate and --data-dir before the given arguments.
    CliResult run(std::vector<std::string> args, Environment env = {}) {
        if (!station)
            makeStation();
        env.makeTransport = [this](const TransportOptions& options) {
            seenOptions.push_back(options);
            return std::static_pointer_cast<Transport>(transport);
        };
        if (linkPercent > 0) {
            env.linkTiming = LinkTiming::quick();
            env.linkTiming.waitPercent = linkPercent;
        }
        args.insert(args.begin(), {"--simulate", "--data-dir", dataDir.path().toStdString()});
        return runRaw(args, env);
    }

    static CliResult runRaw(const std::vector<std::string>& args, const Environment& env = {}) {
        std::ostringstream out;
        std::ostringstream err;
        CliResult r;
        r.status = cli::run(args, out, err, env);
        r.out = out.str();
        r.err = err.str();
        return r;
    }

    std::vector<std::uint8_t> receivedCodes() const {
        std::vector<std::uint8_t> codes;
        for (const Block& frame : station->receivedFrames())
            codes.push_back(frame[1]);
        return codes;
    }

    QTemporaryDir dataDir;
    std::shared_ptr<sim::VirtualStation> station;
    std::shared_ptr<sim::VirtualTransport> transport;
    std::vector<TransportOptions> seenOptions;
    int linkPercent = 10; // the link's waits at a tenth; 0 for the station's real timing
};

// The polling loop's queries, in its order.
inline const std::vector<std::uint8_t> kRefreshCodes = {0x04, 0xFE, 0x41, 0x06,
                                                        0x08, 0x09, 0x05, 0x03};

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

inline std::vector<std::string> csvSplit(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ','))
        fields.push_back(field);
    if (!line.empty() && line.back() == ',')
        fields.emplace_back();
    return fields;
}

// A readings answer: per channel the temperature pair and the humidity byte.
struct RawChannel {
    std::uint8_t hi, lo, humidity;
};

inline Block readingsBlock(const std::vector<RawChannel>& channels) {
    Block b{};
    b[0] = 0x7B;
    for (int n = 1; n <= 8; ++n) {
        const RawChannel c =
            n <= static_cast<int>(channels.size()) ? channels[n - 1] : RawChannel{0xFF, 0xFF, 0xFF};
        b[3 * n - 2] = c.hi;
        b[3 * n - 1] = c.lo;
        b[3 * n] = c.humidity;
    }
    return b;
}

// Standard output on a disk that is full after `room` bytes.
class FullBuffer : public std::streambuf {
public:
    explicit FullBuffer(std::size_t room) : room_(room) {}
    std::string taken;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        if (taken.size() >= room_)
            return traits_type::eof();
        taken.push_back(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const auto fits = std::min<std::streamsize>(
            n, static_cast<std::streamsize>(room_ - std::min(room_, taken.size())));
        taken.append(s, static_cast<std::size_t>(fits));
        return fits;
    }

private:
    std::size_t room_;
};

} // namespace vellumet::cli::test
