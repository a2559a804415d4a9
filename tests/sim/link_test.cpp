#include "device/card_frames.h"
#include "device/readings.h"
#include "device/station_blocks.h"
#include "device/station_link.h"
#include "device/station_snapshot.h"
#include "sim/virtual_station.h"
#include "tests/device/link_test_access.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

namespace vellumet::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct LinkAgainstStation : ::testing::Test {
    std::shared_ptr<VirtualStation> station;
    std::shared_ptr<VirtualTransport> transport;
    std::unique_ptr<StationLink> link;

    LinkTiming timing = LinkTiming::quick();

    void start(Profile profile = {}) {
        station = std::make_shared<VirtualStation>(std::move(profile));
        transport = std::make_shared<VirtualTransport>(station);
        link = std::make_unique<StationLink>(transport, timing);
        ASSERT_TRUE(link->openStation());
    }

    void TearDown() override {
        link.reset(); // joins the reader before the station goes
    }
};

// A station answering every query, or all but one: the queries go out once
// each in the polling order (a part never answered holds back no other once
// its owed time is over), each part holds the station's own block, and the
// snapshot names the part that did not come.
TEST_F(LinkAgainstStation, ReadStationTakesEachAnswerIntoItsPartAndNamesWhatDidNotCome) {
    for (const auto& [code, part] :
         {std::pair{std::uint8_t{0}, ""}, std::pair{cmd::Identification, "identification"},
          std::pair{cmd::Settings, "settings"}, std::pair{cmd::AlarmBlock3, "alarms"}}) {
        SCOPED_TRACE(part);
        Profile profile;
        profile.unit = 1;
        profile.interval = 12;
        if (code != 0)
            profile.faults.ignored = {code};
        start(profile);
        EXPECT_EQ(link->devicePath(), "sim:station");
        const auto started = Clock::now();
        const StationSnapshot s = readStation(*link);
        if (code == 0) {
            EXPECT_TRUE(s.complete());
            EXPECT_LT(Clock::now() - started, 1s) << "an answering station is read well under 1 s";
            EXPECT_EQ(station->reportsSent(), 8);
            EXPECT_EQ(s.temperatureLimits, station->alarmBlock(3));
            EXPECT_EQ(s.humidityLimits, station->alarmBlock(4));
            EXPECT_EQ(LinkTestAccess::expected(*link), ResponseKind::None);
        }
        std::vector<std::uint8_t> codes;
        for (const Block& f : station->receivedFrames())
            codes.push_back(f[1]);
        EXPECT_EQ(codes,
                  (std::vector<std::uint8_t>{0x04, 0xFE, 0x41, 0x06, 0x08, 0x09, 0x05, 0x03}));
        EXPECT_EQ(s.missingText(), part);
        if (code != cmd::Identification) {
            EXPECT_EQ(s.identText, "{ZP7421X@}");
        }
        if (code != cmd::Settings) {
            EXPECT_EQ(s.settings, station->settingsBlock());
            EXPECT_TRUE(s.fahrenheit());
            EXPECT_TRUE(link->fahrenheit());
        }
        if (code != cmd::AlarmBlock3) {
            EXPECT_EQ(s.alarmSwitches, station->alarmBlock(1));
        }
        EXPECT_EQ(s.interval, 12);
        EXPECT_EQ(s.calibration, station->calibrationBlock());
        for (const ChannelReading& r : s.readings)
            EXPECT_TRUE(r.hasTemperature() && r.hasHumidity());
        EXPECT_TRUE(LinkTestAccess::free(*link));
        link.reset();
    }
}

// However late the station answers, an answer is filed under its own kind
// or not at all: no block ever holds another kind's bytes.
TEST_F(LinkAgainstStation, LateAnswersNeverLandInAnotherKindsBlock) {
    timing.waitPercent = 10; // room for a loaded machine: an owed answer is kept 3 waits long
    // Between the shortest answer wait and three times the longest (scaled).
    for (int delayMs : {120, 290, 725}) {
        Profile profile;
        profile.faults.answerDelayMs = delayMs;
        Block knownReadings{};
        knownReadings[1] = 0x00; // CH1 25.0 °C, 40 %
        knownReadings[2] = 0xFA;
        knownReadings[3] = 40;
        profile.answers[cmd::Readings] = knownReadings;
        start(profile);
        const auto check = [&](const StationSnapshot& a) {
            const auto zeroOr = [](const Block& got, const Block& own) {
                return got == Block{} || got == own;
            };
            EXPECT_TRUE(zeroOr(a.settings, station->settingsBlock())) << delayMs;
            EXPECT_TRUE(zeroOr(a.calibration, station->calibrationBlock())) << delayMs;
            EXPECT_TRUE(zeroOr(a.alarmSwitches, station->alarmBlock(1))) << delayMs;
            EXPECT_TRUE(zeroOr(a.temperatureLimits, station->alarmBlock(3))) << delayMs;
            EXPECT_TRUE(zeroOr(a.humidityLimits, station->alarmBlock(4))) << delayMs;
            EXPECT_TRUE(a.identText.empty() || a.identText == station->ident()) << delayMs;
            EXPECT_TRUE(a.interval == 0 || a.interval == station->interval());
            EXPECT_TRUE(a.readings == Readings{} || a.readings == decodeReadings(knownReadings))
                << delayMs;
        };
        const StationSnapshot report = readStation(*link);
        check(report);
        // The late answers still come in; they must be dropped, not taken
        // for the next query's.
        for (int i = 0; i < 300 && station->reportsPending() > 0; ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(50ms);
        check(readStation(*link));
        if (delayMs > 500) {
            EXPECT_FALSE(report.has(StationPart::CurrentReadings)) << "every answer came too late";
        }
        link.reset();
    }
}

TEST_F(LinkAgainstStation, WritesChangeTheStationAndTheIntervalReadsBack) {
    start();
    StationSettings settings;
    settings.graphType = 2;
    settings.graphTimeHours = 72;
    settings.unit = 1;
    for (std::size_t area = 0; area < 8; ++area)
        settings.areaMasks[area] = 1u << area;
    const CommandFrame frames[] = {settingsFrame(settings, 8)};
    EXPECT_TRUE(link->writeSettings(frames).ok());
    EXPECT_EQ(station->settingsBlock()[1], 2);
    EXPECT_EQ(station->settingsBlock()[2], 72);
    EXPECT_EQ(station->unit(), 1);
    EXPECT_EQ(station->endOfWriteCount(), 1);
    const auto back = link->query(query::Settings);
    ASSERT_TRUE(back.ok());
    EXPECT_TRUE(link->fahrenheit());
    EXPECT_EQ(decodeStationSettings(*back).areaMasks, settings.areaMasks);
    EXPECT_TRUE(blockHolds(*back, frames[0], kMaxAreas));

    EXPECT_TRUE(setLoggingInterval(*link, 30).ok());
    const auto interval = link->query(query::Interval);
    ASSERT_TRUE(interval.ok());
    EXPECT_EQ((*interval)[1], 30);
    EXPECT_EQ(station->interval(), 30);
}

// Collects file content as a transfer would, and counts the reports.
struct CardSink {
    std::mutex m;
    std::condition_variable cv;
    std::string content;
    bool ended = false;
    int reports = 0;

    StreamConsumer consumer() {
        return [this](const Block& b, std::size_t) {
            std::lock_guard lock(m);
            ++reports;
            std::string t;
            for (std::uint8_t c : b) {
                if (c == 0 || c == '}')
                    break;
                if (c != '{')
                    t += static_cast<char>(c);
            }
            cv.notify_all();
            if (!t.empty() && t[0] == '@') {
                ended = true;
                return StreamStep::Complete;
            }
            content += t;
            return StreamStep::More;
        };
    }
};

TEST_F(LinkAgainstStation, CancelledStreamIsDrainedAndTheNextQueryGetsItsOwnAnswer) {
    Profile profile;
    profile.faults.reportMs = 3;
    start(profile);
    CardSink sink;
    std::stop_source stop;
    std::thread canceller([&] {
        std::unique_lock lock(sink.m);
        sink.cv.wait_for(lock, 2s, [&] { return sink.reports >= 5; });
        stop.request_stop();
    });
    const auto request = fileReadRequest(defaultCard()[2].name, 0, 4096);
    ASSERT_TRUE(request.ok());
    EXPECT_EQ(link->stream(*request, ResponseKind::FileContent, query::FileRead.timing,
                           sink.consumer(), stop.get_token())
                  .code(),
              Errc::Cancelled);
    canceller.join();
    const auto interval = link->query(query::Interval);
    ASSERT_TRUE(interval.ok());
    EXPECT_EQ((*interval)[1], 5);
    std::lock_guard lock(sink.m);
    EXPECT_FALSE(sink.ended);
}

TEST_F(LinkAgainstStation, UnplugMidTransferReleasesTheReaderAndReplugWorksAgain) {
    Profile profile;
    profile.faults.reportMs = 5; // a 4096-byte chunk takes ~340 ms
    start(profile);
    CardSink sink;
    std::atomic<int> lost{0};
    link->setLinkLostListener([&] {
        ++lost;
        link->markStationGone(); // what the front ends do
    });
    std::atomic<int> arrivals{0}, removals{0};
    link->setChangeListener(
        [&](DeviceChange c) { ++(c == DeviceChange::Arrival ? arrivals : removals); });

    Status outcome;
    std::thread sender([&] {
        const auto request = fileReadRequest(defaultCard()[2].name, 0, 4096);
        outcome = link->stream(*request, ResponseKind::FileContent, {200, 3000}, sink.consumer());
    });
    {
        std::unique_lock lock(sink.m);
        ASSERT_TRUE(sink.cv.wait_for(lock, 2s, [&] { return sink.reports >= 5; }));
    }
    const auto unplugged = Clock::now();
    station->unplug();
    sender.join();
    EXPECT_LT(Clock::now() - unplugged, 300ms) << "the lost station releases the sender";
    EXPECT_EQ(outcome.code(), Errc::StationGone);
    EXPECT_EQ(lost.load(), 1);
    for (int i = 0; i < 200 && removals == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(removals.load(), 1);
    {
        std::lock_guard lock(sink.m);
        EXPECT_FALSE(sink.ended);
        EXPECT_LT(sink.reports, 67);
    }
    EXPECT_FALSE(link->openStation()) << "no station while unplugged";

    station->plug();
    for (int i = 0; i < 200 && arrivals == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(arrivals.load(), 1);
    ASSERT_TRUE(link->openStation());
    const auto interval = link->query(query::Interval);
    ASSERT_TRUE(interval.ok());
    EXPECT_EQ((*interval)[1], 5);
    EXPECT_EQ(lost.load(), 1);
    link->setChangeListener(nullptr);
}

TEST_F(LinkAgainstStation, StationThatDiesAfterSomeReportsIsToldFromASilentOne) {
    Profile profile;
    profile.faults.unplugAfterReports = 2;
    start(profile);
    EXPECT_TRUE(link->query(query::Settings).ok());
    EXPECT_TRUE(link->query(query::Interval).ok());
    for (int i = 0; i < 200 && station->plugged(); ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(link->query(query::Readings).code(), Errc::StationGone)
        << "a write to a gone device fails at once";
    EXPECT_EQ(station->receivedFrames().size(), 2u);
}

} // namespace
} // namespace vellumet::sim
