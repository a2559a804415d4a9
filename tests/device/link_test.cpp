#include "device/readings.h"
#include "device/station_link.h"
#include "device/transactions.h"
#include "scripted_transport.h"

#include <gtest/gtest.h>

#include <thread>

namespace vellumet {
namespace {

using namespace std::chrono_literals;
using test::blockOf;
using test::ScriptedTransport;

const DeviceInfo kStation{"/dev/hidraw3", kStationVendorId, kStationProductId};

struct LinkFixture : ::testing::Test {
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    std::unique_ptr<StationLink> link;

    void SetUp() override { link = std::make_unique<StationLink>(transport); }

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
    EXPECT_EQ(link->connected.load(), 1);
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
    EXPECT_EQ(link->connected.load(), 0);
    const auto start = std::chrono::steady_clock::now();
    link->sendFrame(CommandFrame(cmd::Readings));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10ms) << "no pause while unconnected";
    EXPECT_TRUE(transport->written().empty());
}

TEST_F(LinkFixture, SendFrameWritesReportIdZeroAndPauses) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    const auto start = std::chrono::steady_clock::now();
    link->sendFrame(CommandFrame(cmd::Settings));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms);
    ASSERT_EQ(transport->written().size(), 1u);
    EXPECT_EQ(transport->written()[0], CommandFrame(cmd::Settings).bytes());
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

TEST_F(LinkFixture, DispatchFilesEachKindAndSignals) {
    struct Case {
        ResponseKind kind;
        std::function<Block()> stored;
    } cases[] = {
        {ResponseKind::Settings, [&] { return link->answers().settingsAnswer(); }},
        {ResponseKind::SettingsAlt, [&] { return link->answers().settingsAnswer(); }},
        {ResponseKind::Calibration, [&] { return link->answers().calibrationAnswer(); }},
        {ResponseKind::Alarm1, [&] { return link->answers().alarmAnswer(1); }},
        {ResponseKind::Alarm2, [&] { return link->answers().alarmAnswer(2); }},
        {ResponseKind::Alarm3, [&] { return link->answers().alarmAnswer(3); }},
        {ResponseKind::Alarm4, [&] { return link->answers().alarmAnswer(4); }},
        {ResponseKind::Readings, [&] { return link->answers().readingsAnswer(); }},
    };
    std::uint8_t tag = 1;
    for (const Case& c : cases) {
        const Block answer = blockOf({0x00, tag, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, tag});
        link->responseEvent.reset();
        link->expect(c.kind);
        link->dispatchAnswer(answer, 64);
        EXPECT_EQ(c.stored(), answer) << "kind " << static_cast<int>(c.kind);
        EXPECT_EQ(link->expected(), ResponseKind::None);
        EXPECT_TRUE(link->responseEvent.isSet());
        ++tag;
    }
    // Each kind went to its own block only.
    EXPECT_EQ(link->answers().alarmAnswer(1)[1], 4);
    EXPECT_EQ(link->answers().calibrationAnswer()[1], 3);
}

TEST_F(LinkFixture, DispatchOneByteAnswersAndUnit) {
    std::atomic<int> dialogCopy{0};
    link->answers().addAwayCopy(&dialogCopy);
    Block settingsSeen{};
    link->answers().setSettingsSink([&](const Block& b) { settingsSeen = b; });

    link->expect(ResponseKind::Interval);
    link->dispatchAnswer(blockOf({0x00, 240}), 64);
    EXPECT_EQ(link->answers().intervalAnswer(), 240);

    link->expect(ResponseKind::ScreenStatus);
    link->dispatchAnswer(blockOf({0x00, 0xFF}), 64);
    EXPECT_EQ(link->answers().awayFromMainScreen(), 255);
    EXPECT_EQ(dialogCopy.load(), 255);

    const Block settings = blockOf({0x00, 1, 2, 3, 4, 5, 6, 1});
    link->expect(ResponseKind::Settings);
    link->dispatchAnswer(settings, 64);
    EXPECT_EQ(link->fahrenheit.load(), 1);
    EXPECT_EQ(settingsSeen, settings);
    link->expect(ResponseKind::SettingsAlt);
    link->dispatchAnswer(blockOf({0x00, 1, 2, 3, 4, 5, 6, 0}), 64);
    EXPECT_EQ(link->fahrenheit.load(), 1) << "the second settings form sets no unit";
}

TEST_F(LinkFixture, IdentificationStopsAtZeroAndTakesLatin1) {
    Block b{};
    const std::string text = "{ZP7421X@}";
    std::copy(text.begin(), text.end(), b.begin());
    b[20] = 'x';
    link->expect(ResponseKind::Identification);
    link->dispatchAnswer(b, 64);
    EXPECT_EQ(link->answers().identText(), "{ZP7421X@}");

    b.fill('A');
    b[5] = 0xE9; // é in Latin-1
    link->expect(ResponseKind::Identification);
    link->dispatchAnswer(b, 64);
    const std::string ident = link->answers().identText();
    EXPECT_EQ(ident.size(), 65u) << "64 characters, one of them two bytes in UTF-8";
    EXPECT_EQ(ident.substr(5, 2), "\xC3\xA9");
}

TEST_F(LinkFixture, DroppedReportsChangeNothing) {
    for (ResponseKind kind : {ResponseKind::None, ResponseKind::NoAnswer}) {
        link->responseEvent.reset();
        link->expect(kind);
        link->dispatchAnswer(blockOf({0x00, 0x05, 0x06}), 64);
        EXPECT_EQ(link->expected(), kind);
        EXPECT_FALSE(link->responseEvent.isSet());
    }
    link->expect(ResponseKind::Readings);
    link->dispatchAnswer(blockOf({0x00, 0x05}), 0);
    EXPECT_EQ(link->expected(), ResponseKind::Readings) << "an empty report is ignored";
    EXPECT_EQ(link->answers().readingsAnswer(), Block{});
}

TEST_F(LinkFixture, CardKindsGoToTheCardHandler) {
    std::vector<int> seen;
    link->setCardHandler(
        [&](ResponseKind k, const Block&, std::size_t) { seen.push_back(static_cast<int>(k)); });
    link->responseEvent.reset();
    link->expect(ResponseKind::FileList);
    link->dispatchAnswer(blockOf({'x'}), 64);
    link->expect(ResponseKind::FileContent);
    link->dispatchAnswer(blockOf({'y'}), 64);
    EXPECT_EQ(seen, (std::vector<int>{9, 10}));
    EXPECT_FALSE(link->responseEvent.isSet()) << "the handler decides when a list or chunk ends";
}

TEST_F(LinkFixture, ReaderFilesLateAnswerUnderKindThenExpected) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    // A settings answer that comes while identification is expected becomes the ident text.
    link->responseEvent.reset();
    link->expect(ResponseKind::Identification);
    Block late{};
    late[0] = 'S';
    late[1] = 'E';
    transport->push(late);
    ASSERT_TRUE(link->responseEvent.wait(1s));
    EXPECT_EQ(link->answers().identText(), "SE");
    EXPECT_EQ(link->answers().settingsAnswer(), Block{});
}

TEST_F(LinkFixture, QueryAgainstSilentStationLastsItsTimeoutAndFreesTheLink) {
    transport->devices = {kStation};
    ASSERT_TRUE(link->openStation());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        queryTransaction(*link, ResponseKind::Readings, CommandFrame(cmd::Readings), {300, 250}));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 500ms) << "the first wait finds the link free";
    EXPECT_TRUE(link->responseEvent.isSet());
    EXPECT_EQ(link->expected(), ResponseKind::Readings) << "the kind stays until the next sender";
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
    link->responseEvent.reset();
    link->expect(ResponseKind::Interval);
    transport->push(blockOf({0x00, 15}));
    ASSERT_TRUE(link->responseEvent.wait(1s));
    EXPECT_EQ(link->answers().intervalAnswer(), 15);
}

TEST_F(LinkFixture, StationGoneMissesEveryReadingAndReleasesTheSender) {
    transport->devices = {kStation, {"/dev/hidraw7", kStationVendorId, kStationProductId}};
    ASSERT_TRUE(link->openStation());
    EXPECT_TRUE(link->stationStillListed());
    transport->devices = {{"/dev/hidraw7", kStationVendorId, kStationProductId}};
    EXPECT_FALSE(link->stationStillListed()) << "another station is not the one we opened";

    link->responseEvent.reset();
    link->markStationGone();
    EXPECT_EQ(link->connected.load(), 0);
    EXPECT_TRUE(link->responseEvent.isSet());
    for (const ChannelReading& r : decodeReadings(link->answers().readingsAnswer())) {
        EXPECT_FALSE(r.hasTemperature());
        EXPECT_FALSE(r.hasHumidity());
    }
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
    std::thread poller([&] {
        for (int i = 0; i < 20; ++i)
            queryTransaction(*link, query::Readings);
    });
    std::thread scanner([&] {
        for (int i = 0; i < 5; ++i) {
            link->openStation();
            std::this_thread::sleep_for(15ms);
        }
    });
    for (int i = 0; i < 20; ++i)
        queryTransaction(*link, query::Interval);
    poller.join();
    scanner.join();
    EXPECT_EQ(link->answers().readingsAnswer()[2], 0xFA);
    EXPECT_EQ(link->answers().intervalAnswer(), 5);
}

} // namespace
} // namespace vellumet
