#include "device/readings.h"
#include "device/station_link.h"
#include "device/station_queries.h"
#include "device/transactions.h"
#include "sim/virtual_station.h"

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

    void start(Profile profile = {}) {
        station = std::make_shared<VirtualStation>(std::move(profile));
        transport = std::make_shared<VirtualTransport>(station);
        link = std::make_unique<StationLink>(transport);
        ASSERT_TRUE(link->openStation());
    }

    void TearDown() override {
        link.reset(); // joins the reader before the station goes
    }
};

TEST_F(LinkAgainstStation, RefreshFilesEveryAnswerUnderItsKind) {
    Profile profile;
    profile.unit = 1;
    profile.interval = 12;
    start(profile);
    EXPECT_EQ(link->devicePath(), "sim:station");

    const auto started = Clock::now();
    const Readings readings = refreshAll(*link);
    EXPECT_LT(Clock::now() - started, 1s) << "an answering station refreshes well under a second";

    const AnswerStore& a = link->answers();
    EXPECT_EQ(a.settingsAnswer(), station->settingsBlock());
    EXPECT_EQ(link->fahrenheit.load(), 1);
    EXPECT_EQ(a.identText(), "{ZP7421X@}");
    EXPECT_EQ(a.intervalAnswer(), 12);
    EXPECT_EQ(a.alarmAnswer(1), station->alarmBlock(1));
    EXPECT_EQ(a.alarmAnswer(3), station->alarmBlock(3));
    EXPECT_EQ(a.alarmAnswer(4), station->alarmBlock(4));
    EXPECT_EQ(a.alarmAnswer(2), Block{});
    EXPECT_EQ(a.calibrationAnswer(), station->calibrationBlock());
    for (const ChannelReading& r : readings) {
        EXPECT_TRUE(r.hasTemperature());
        EXPECT_TRUE(r.hasHumidity());
    }
    // Eight query frames in the polling order.
    std::vector<std::uint8_t> codes;
    for (const Block& f : station->receivedFrames())
        codes.push_back(f[1]);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{0x04, 0xFE, 0x41, 0x06, 0x08, 0x09, 0x05, 0x03}));
    EXPECT_EQ(station->reportsSent(), 8);
    EXPECT_EQ(link->expected(), ResponseKind::None);
    EXPECT_TRUE(link->responseEvent.isSet());
}

TEST_F(LinkAgainstStation, EachQueryIsAnsweredInTime) {
    start();
    for (const auto* q :
         {&query::Readings, &query::Settings, &query::Identification, &query::Interval,
          &query::Calibration, &query::Alarm1, &query::Alarm3, &query::Alarm4}) {
        EXPECT_TRUE(queryTransaction(*link, q->kind, CommandFrame(q->code), {200, 200}))
            << "code " << int(q->code);
    }
    EXPECT_TRUE(queryTransaction(*link, ResponseKind::ScreenStatus, CommandFrame(cmd::ScreenStatus),
                                 {200, 200}));
    EXPECT_EQ(link->answers().awayFromMainScreen(), 0);
}

TEST_F(LinkAgainstStation, SilentStationTimesOutAndKeepsOldAnswers) {
    Profile profile;
    profile.faults.silent = true;
    start(profile);
    const auto started = Clock::now();
    EXPECT_FALSE(
        queryTransaction(*link, ResponseKind::Settings, CommandFrame(cmd::Settings), {100, 150}));
    const auto waited = Clock::now() - started;
    EXPECT_GE(waited, 150ms);
    EXPECT_LT(waited, 600ms);
    EXPECT_EQ(link->answers().settingsAnswer(), Block{});
    EXPECT_TRUE(link->responseEvent.isSet()) << "the link is left free";
    EXPECT_EQ(station->receivedFrames().size(), 1u);
}

TEST_F(LinkAgainstStation, WriteTransactionChangesTheStation) {
    start();
    std::vector<std::uint8_t> payload(39, 0);
    payload[0] = 2;  // graph type
    payload[1] = 72; // graph time
    payload[6] = 1;  // °F
    for (std::size_t area = 0; area < 8; ++area)
        payload[7 + 4 * area + 3] = static_cast<std::uint8_t>(1u << area);
    const CommandFrame frames[] = {CommandFrame(cmd::WriteSettings, payload)};
    WriteOptions options;
    options.linkWaitMs = 200;
    options.closingWaitMs = 50;
    EXPECT_EQ(writeTransaction(*link, frames, options), WriteOutcome::Sent);
    EXPECT_EQ(station->settingsBlock()[1], 2);
    EXPECT_EQ(station->settingsBlock()[2], 72);
    EXPECT_EQ(station->unit(), 1);
    EXPECT_EQ(station->endOfWriteCount(), 1);
    EXPECT_TRUE(
        queryTransaction(*link, ResponseKind::Settings, CommandFrame(cmd::Settings), {200, 200}));
    EXPECT_EQ(link->fahrenheit.load(), 1);

    // The interval write as the Setup dialog sends it, without its closing wait.
    link->expect(ResponseKind::NoAnswer);
    link->sendFrame(CommandFrame(cmd::WriteInterval, std::vector<std::uint8_t>{30}));
    link->sendFrame(CommandFrame(cmd::EndOfWrite));
    EXPECT_TRUE(queryTransaction(*link, query::Interval));
    EXPECT_EQ(link->answers().intervalAnswer(), 30);
    EXPECT_EQ(station->interval(), 30);
}

TEST_F(LinkAgainstStation, StationAwayFromMainScreenGetsNoWrite) {
    Profile profile;
    profile.screenAway = 1;
    start(profile);
    const CommandFrame frames[] = {CommandFrame(cmd::SetLanguage, std::vector<std::uint8_t>{0})};
    WriteOptions options;
    options.linkWaitMs = 200;
    options.closingWaitMs = 50;
    EXPECT_EQ(writeTransaction(*link, frames, options), WriteOutcome::AwayFromMainScreen);
    EXPECT_FALSE(station->language().has_value());
    ASSERT_EQ(station->receivedFrames().size(), 1u);
    EXPECT_EQ(station->receivedFrames()[0][1], cmd::ScreenStatus);
}

// Collects file content as the card handler sees it, and counts the pieces.
struct CardSink {
    std::mutex m;
    std::condition_variable cv;
    std::string content;
    bool ended = false;
    int reports = 0;

    StationLink::CardHandler handler(StationLink& link) {
        return [this, &link](ResponseKind, const Block& b, std::size_t) {
            std::lock_guard lock(m);
            ++reports;
            std::string t;
            for (std::uint8_t c : b) {
                if (c == 0 || c == '}')
                    break;
                if (c != '{')
                    t += static_cast<char>(c);
            }
            if (!t.empty() && t[0] == '@') {
                ended = true;
                link.expect(ResponseKind::None);
                link.responseEvent.set();
            } else {
                content += t;
            }
            cv.notify_all();
        };
    }
};

CommandFrame readRequest(const std::string& name, std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint8_t> payload(name.begin(), name.end());
    for (std::uint32_t v : {from, to})
        for (int shift = 24; shift >= 0; shift -= 8)
            payload.push_back(static_cast<std::uint8_t>(v >> shift));
    return CommandFrame(cmd::FileRead, payload);
}

TEST_F(LinkAgainstStation, FileContentReachesTheCardHandler) {
    start();
    CardSink sink;
    link->setCardHandler(sink.handler(*link));
    const CardFile f = defaultCard()[0];
    EXPECT_TRUE(queryTransaction(*link, ResponseKind::FileContent, readRequest(f.name, 0, 4096),
                                 {200, 1000}));
    std::lock_guard lock(sink.m);
    EXPECT_TRUE(sink.ended);
    EXPECT_EQ(sink.content, f.content.substr(0, 4096));
}

TEST_F(LinkAgainstStation, UnplugMidTransferReleasesTheReaderAndReplugWorksAgain) {
    Profile profile;
    profile.faults.reportMs = 5; // a 4096-byte chunk takes ~340 ms
    start(profile);
    CardSink sink;
    link->setCardHandler(sink.handler(*link));
    std::atomic<int> lost{0};
    link->setLinkLostListener([&] { ++lost; });
    std::atomic<int> arrivals{0}, removals{0};
    transport->setChangeListener(
        [&](DeviceChange c) { ++(c == DeviceChange::Arrival ? arrivals : removals); });

    std::thread sender([&] {
        queryTransaction(*link, ResponseKind::FileContent,
                         readRequest(defaultCard()[2].name, 0, 4096), {200, 3000});
    });
    {
        std::unique_lock lock(sink.m);
        ASSERT_TRUE(sink.cv.wait_for(lock, 2s, [&] { return sink.reports >= 5; }));
    }
    station->unplug();
    // The reader sees the failed read at once and reports the lost link.
    for (int i = 0; i < 200 && lost == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(lost.load(), 1);
    for (int i = 0; i < 200 && removals == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(removals.load(), 1);
    {
        std::lock_guard lock(sink.m);
        EXPECT_FALSE(sink.ended);
        EXPECT_LT(sink.reports, 67);
    }
    // What the removal handling does: release the waiting sender.
    link->closeStation();
    link->responseEvent.set();
    const auto released = Clock::now();
    sender.join();
    EXPECT_LT(Clock::now() - released, 200ms);
    EXPECT_FALSE(link->openStation()) << "no station while unplugged";

    station->plug();
    for (int i = 0; i < 200 && arrivals == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(arrivals.load(), 1);
    ASSERT_TRUE(link->openStation());
    EXPECT_TRUE(
        queryTransaction(*link, ResponseKind::Interval, CommandFrame(cmd::Interval), {200, 500}));
    EXPECT_EQ(link->answers().intervalAnswer(), 5);
    EXPECT_EQ(lost.load(), 1);
    transport->setChangeListener(nullptr);
}

TEST_F(LinkAgainstStation, StationThatDiesAfterSomeReportsLosesTheLink) {
    Profile profile;
    profile.faults.unplugAfterReports = 2;
    start(profile);
    std::atomic<int> lost{0};
    link->setLinkLostListener([&] { ++lost; });
    EXPECT_TRUE(
        queryTransaction(*link, ResponseKind::Settings, CommandFrame(cmd::Settings), {100, 300}));
    EXPECT_TRUE(
        queryTransaction(*link, ResponseKind::Interval, CommandFrame(cmd::Interval), {100, 300}));
    for (int i = 0; i < 200 && lost == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(lost.load(), 1);
    EXPECT_FALSE(
        queryTransaction(*link, ResponseKind::Readings, CommandFrame(cmd::Readings), {100, 100}));
    EXPECT_EQ(station->receivedFrames().size(), 2u) << "a write to a gone device is refused";
}

TEST_F(LinkAgainstStation, ReportsArrivingForNoRequestAreDropped) {
    Profile profile;
    profile.faults.answerDelayMs = 80;
    start(profile);
    // The answer comes after the sender gave up; nothing is expected by then.
    EXPECT_FALSE(
        queryTransaction(*link, ResponseKind::Settings, CommandFrame(cmd::Settings), {50, 20}));
    link->expect(ResponseKind::None);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(station->reportsSent(), 1);
    EXPECT_EQ(link->answers().settingsAnswer(), Block{});
}

} // namespace
} // namespace vellumet::sim
