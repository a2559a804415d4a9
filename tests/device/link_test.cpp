#include "device/readings.h"
#include "device/station_blocks.h"
#include "device/station_link.h"
#include "link_test_access.h"
#include "scripted_transport.h"

#include <gtest/gtest.h>

#include <thread>

namespace vellumet {
namespace {

using namespace std::chrono_literals;
using test::blockOf;
using test::ScriptedTransport;
using T = LinkTestAccess;

const DeviceInfo kStation{"/dev/hidraw3", kStationVendorId, kStationProductId};

struct LinkFixture : ::testing::Test {
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    std::unique_ptr<StationLink> link;

    void SetUp() override {
        LinkTiming timing = LinkTiming::quick();
        timing.waitPercent = 5;
        link = std::make_unique<StationLink>(transport, timing);
    }

    // Waits until the reader has consumed everything queued.
    void drain() {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(transport->shared.mutex);
                if (transport->shared.inbox.empty())
                    break;
            }
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(5ms);
    }
};

TEST_F(LinkFixture, ScanOpensFirstMatchingInterfaceTwice) {
    transport->devices = {{"/dev/hidraw0", kStationVendorId, 0x1234},
                          {"/dev/hidraw1", 0x046D, kStationProductId},
                          {"/dev/hidraw2", kStationVendorId, kStationProductId},
                          {"/dev/hidraw4", kStationVendorId, kStationProductId}};
    EXPECT_TRUE(link->openStation());
    EXPECT_EQ(link->connected(), true);
    EXPECT_EQ(link->devicePath(), "/dev/hidraw2");
    EXPECT_EQ(transport->opened, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw2"}));
}

TEST_F(LinkFixture, InterfaceThatCannotBeOpenedIsSkipped) {
    transport->devices = {kStation, {"/dev/hidraw5", kStationVendorId, kStationProductId}};
    transport->openFails[kStation.path] = true;
    EXPECT_TRUE(link->openStation());
    EXPECT_EQ(link->devicePath(), "/dev/hidraw5");
}

TEST_F(LinkFixture, NoStationLeavesLinkUnconnectedAndSendsNothing) {
    EXPECT_FALSE(link->openStation());
    EXPECT_FALSE(link->connected());
    const auto start = std::chrono::steady_clock::now();
    const auto status = link->query(query::Readings);
    EXPECT_EQ(status.code(), Errc::NotConnected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10ms) << "no wait while unconnected";
    EXPECT_TRUE(transport->written().empty());
}

TEST_F(LinkFixture, FrameGoesOutWithReportIdZeroAndAFailedWriteTellsTheStationWentAway) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    transport->shared.responder = [](const Block&) {
        return std::vector<Block>{blockOf({0x00, 7})};
    };
    EXPECT_TRUE(link->query(query::Interval).ok());
    ASSERT_EQ(transport->written().size(), 1u);
    EXPECT_EQ(transport->written()[0], CommandFrame(cmd::Interval).bytes());

    {
        std::lock_guard lock(transport->shared.mutex);
        transport->shared.gone = true; // writes fail from now on; no removal notice came
    }
    EXPECT_EQ(link->query(query::Interval).code(), Errc::StationGone);
}

TEST_F(LinkFixture, RescanClosesOldHandlesBeforeOpeningNew) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    std::this_thread::sleep_for(20ms); // reader is inside a read now
    ASSERT_TRUE(link->openStation());
    ASSERT_TRUE(link->openStation());
    std::this_thread::sleep_for(20ms);
    std::lock_guard lock(transport->shared.mutex);
    EXPECT_EQ(transport->shared.openHandles, 2);
    EXPECT_EQ(transport->shared.readsOnClosed, 0);
}

// The answer of the kind announced goes to the exchange waiting for it, as
// the whole report, and the link is free again.
TEST_F(LinkFixture, DispatchHandsTheAnnouncedKindsAnswerToTheWaitingExchange) {
    std::uint8_t tag = 1;
    for (ResponseKind kind :
         {ResponseKind::Settings, ResponseKind::Calibration, ResponseKind::Alarm1,
          ResponseKind::Alarm3, ResponseKind::Alarm4, ResponseKind::Readings,
          ResponseKind::Interval, ResponseKind::ScreenStatus, ResponseKind::Identification}) {
        const Block answer = blockOf({0x00, tag, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, tag});
        T::occupy(*link);
        T::expect(*link, kind);
        T::dispatch(*link, answer, 64);
        EXPECT_EQ(T::answer(*link), answer) << "kind " << static_cast<int>(kind);
        EXPECT_EQ(T::answer(*link), std::nullopt) << "handed over once";
        EXPECT_EQ(T::expected(*link), ResponseKind::None);
        EXPECT_TRUE(T::free(*link));
        ++tag;
    }
}

TEST_F(LinkFixture, SettingsAnswerSetsTheUnit) {
    T::expect(*link, ResponseKind::Settings);
    T::dispatch(*link, blockOf({0x00, 1, 2, 3, 4, 5, 6, 1}), 64);
    EXPECT_TRUE(link->fahrenheit());
    T::expect(*link, ResponseKind::Calibration);
    T::dispatch(*link, blockOf({0x00, 1, 2, 3, 4, 5, 6, 0}), 64);
    EXPECT_TRUE(link->fahrenheit()) << "only a settings answer sets the unit";
    T::expect(*link, ResponseKind::Settings);
    T::dispatch(*link, blockOf({0x00, 1, 2, 3, 4, 5, 6, 0}), 64);
    EXPECT_FALSE(link->fahrenheit());
}

TEST_F(LinkFixture, IdentificationStopsAtZeroAndTakesLatin1) {
    Block b{};
    const std::string text = "{ZP7421X@}";
    std::copy(text.begin(), text.end(), b.begin());
    b[20] = 'x';
    EXPECT_EQ(decodeIdentText(b), "{ZP7421X@}");

    b.fill('A');
    b[5] = 0xE9; // é in Latin-1
    const std::string ident = decodeIdentText(b);
    EXPECT_EQ(ident.size(), 65u) << "64 characters, one of them two bytes in UTF-8";
    EXPECT_EQ(ident.substr(5, 2), "\xC3\xA9");
}

TEST_F(LinkFixture, DroppedReportsChangeNothing) {
    for (ResponseKind kind : {ResponseKind::None, ResponseKind::NoAnswer, ResponseKind::FileList}) {
        T::occupy(*link);
        T::expect(*link, kind);
        T::dispatch(*link, blockOf({0x00, 0x05, 0x06}), 64);
        EXPECT_EQ(T::expected(*link), kind);
        EXPECT_FALSE(T::free(*link)) << "kind " << static_cast<int>(kind);
        EXPECT_EQ(T::answer(*link), std::nullopt);
    }
    T::expect(*link, ResponseKind::Readings);
    T::dispatch(*link, blockOf({0x00, 0x05}), 0);
    EXPECT_EQ(T::expected(*link), ResponseKind::Readings) << "an empty report is ignored";
    EXPECT_EQ(T::answer(*link), std::nullopt);
}

TEST_F(LinkFixture, StreamGoesToItsConsumerUntilItSaysComplete) {
    transport->devices = {kStation};
    transport->shared.responder = [](const Block&) {
        return std::vector<Block>{blockOf({'a'}), blockOf({'b'}), blockOf({'@'}), blockOf({'z'})};
    };
    ASSERT_TRUE(link->openStation());
    std::string seen;
    const Status status =
        link->stream(CommandFrame(cmd::FileList), ResponseKind::FileList, query::FileList.timing,
                     [&](const Block& report, std::size_t) {
                         seen += static_cast<char>(report[0]);
                         return report[0] == '@' ? StreamStep::Complete : StreamStep::More;
                     });
    EXPECT_TRUE(status.ok());
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(seen, "ab@") << "nothing reaches the consumer after it said complete";
    EXPECT_TRUE(T::free(*link));
}

TEST_F(LinkFixture, QueryAgainstSilentStationLastsItsTimeoutAndFreesTheLink) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link->query(query::Readings).code(), Errc::Timeout);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, link->timing().scaled(query::Readings.timing.after));
    EXPECT_LT(took, link->timing().scaled(query::Readings.timing.after) + 150ms)
        << "the first wait finds the link free";

    // Its answer is owed for three times its wait: no request goes out
    // meanwhile, so that a late answer cannot pass for the next one's. The
    // next request waits that out, even past its own wait for the link, and
    // then goes out: a station that never answers one query does not make
    // the link unusable.
    EXPECT_FALSE(T::free(*link));
    // The answer was owed from the end of its wait at the earliest.
    const auto owedUntil = start + 4 * link->timing().scaled(query::Readings.timing.after);
    std::atomic<std::size_t> writtenWhileOwed{0};
    transport->shared.responder = [&](const Block&) {
        writtenWhileOwed = std::chrono::steady_clock::now() < owedUntil ? 1 : 0;
        return std::vector<Block>{blockOf({0x00, 9})};
    };
    ASSERT_LT(link->timing().scaled(query::Interval.timing.before),
              3 * link->timing().scaled(query::Readings.timing.after))
        << "the case needs a wait for the link shorter than the owed time";
    const auto next = link->query(query::Interval);
    ASSERT_TRUE(next.ok()) << "sent once the owed time was over";
    EXPECT_EQ((*next)[1], 9);
    EXPECT_EQ(transport->written().size(), 2u);
    EXPECT_EQ(writtenWhileOwed.load(), 0u) << "nothing was sent while the answer was owed";
}

// An answer that comes after its query gave up, by its time running out or
// by being cancelled, is the next report the station sends: it is dropped,
// and the next query's own answer is filed.
TEST_F(LinkFixture, LateAnswerIsDroppedNotFiledAsTheNextKind) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "timed out");
        std::stop_source stop;
        transport->shared.responder = [&](const Block&) {
            if (cancel)
                stop.request_stop(); // once the frame is out, while its answer is awaited
            return std::vector<Block>{};
        };
        EXPECT_EQ(link->query(query::Identification, stop.get_token()).code(),
                  cancel ? Errc::Cancelled : Errc::Timeout);
        Block late{};
        late[0] = 'S';
        late[1] = 'E';
        transport->push(late); // the identification, late
        const std::uint8_t minutes = cancel ? 16 : 15;
        transport->shared.responder = [minutes](const Block&) {
            return std::vector<Block>{blockOf({0x00, minutes})};
        };
        const auto interval = link->query(query::Interval);
        ASSERT_TRUE(interval.ok());
        EXPECT_EQ((*interval)[1], minutes) << "the late report was not taken for it";
        EXPECT_EQ((*interval)[0], 0x00);
    }
}

TEST_F(LinkFixture, UnplugWakesListenerAndReplugResumesReading) {
    transport->devices = {kStation};
    std::atomic<int> lost{0};
    link->setLinkLostListener([&] { ++lost; });
    ASSERT_TRUE(link->openStation());
    transport->unplug();
    for (int i = 0; i < 100 && lost == 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(lost.load(), 1);
    EXPECT_FALSE(link->openStation());

    {
        std::lock_guard lock(transport->shared.mutex);
        transport->shared.gone = false;
        transport->devices = {kStation};
    }
    ASSERT_TRUE(link->openStation());
    transport->shared.responder = [](const Block&) {
        return std::vector<Block>{blockOf({0x00, 15})};
    };
    const auto interval = link->query(query::Interval);
    ASSERT_TRUE(interval.ok());
    EXPECT_EQ((*interval)[1], 15);
}

TEST_F(LinkFixture, StationGoneReleasesTheSender) {
    transport->devices = {kStation, {"/dev/hidraw7", kStationVendorId, kStationProductId}};
    ASSERT_TRUE(link->openStation());
    EXPECT_TRUE(link->stationStillListed());
    transport->devices = {{"/dev/hidraw7", kStationVendorId, kStationProductId}};
    EXPECT_FALSE(link->stationStillListed()) << "another station is not the one we opened";

    T::occupy(*link);
    link->markStationGone();
    EXPECT_FALSE(link->connected());
    EXPECT_TRUE(T::free(*link));
    EXPECT_EQ(T::answer(*link), std::nullopt) << "a release is no answer";
}

TEST_F(LinkFixture, ConcurrentSendersAndReaderDoNotRace) {
    transport->devices = {kStation};
    transport->shared.responder = [](const Block& frame) -> std::vector<Block> {
        if (frame[1] == cmd::Readings)
            return {blockOf({0x00, 0x00, 0xFA, 50})};
        if (frame[1] == cmd::Interval)
            return {blockOf({0x00, 5})};
        return {};
    };
    ASSERT_TRUE(link->openStation());
    // While a re-scan has the station closed, a query ends at once with
    // NotConnected; each sender goes on until ten of its queries were
    // answered, each with its own answer.
    std::atomic<int> foreign{0};
    const auto askUntilAnswered = [&](const QueryShape& shape) {
        int answered = 0;
        const auto until = std::chrono::steady_clock::now() + 3s;
        while (answered < 10 && std::chrono::steady_clock::now() < until) {
            const auto answer = link->query(shape);
            if (answer) {
                ++answered;
                const bool own =
                    shape.code == cmd::Readings ? (*answer)[2] == 0xFA : (*answer)[1] == 5;
                foreign += own ? 0 : 1;
            }
            std::this_thread::sleep_for(1ms);
        }
        return answered;
    };
    int readingsAnswered = 0;
    std::thread poller([&] { readingsAnswered = askUntilAnswered(query::Readings); });
    std::thread scanner([&] {
        for (int i = 0; i < 5; ++i) {
            link->openStation();
            std::this_thread::sleep_for(15ms);
        }
    });
    EXPECT_EQ(askUntilAnswered(query::Interval), 10);
    poller.join();
    scanner.join();
    EXPECT_EQ(readingsAnswered, 10);
    EXPECT_EQ(foreign.load(), 0) << "no sender got another's answer";
}

} // namespace
} // namespace vellumet
