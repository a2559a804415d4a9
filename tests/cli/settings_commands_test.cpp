#include "cli_harness.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <stop_token>

using namespace vellumet;
using namespace vellumet::cli::test;

namespace {

std::string fileText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

bool sentWrite(const std::vector<std::uint8_t>& codes) {
    for (std::uint8_t c : codes)
        if (c == 0x10 || c == 0x11 || c == 0x12 || c == 0x14 || c == 0x15 || c == 0x40)
            return true;
    return false;
}

// The virtual station's transport, which asks the command to stop (as Ctrl-C
// does) once the station has taken a frame of one code.
class StopAtFrame final : public Transport {
public:
    StopAtFrame(std::shared_ptr<Transport> inner, std::stop_source stop, std::uint8_t code)
        : inner_(std::move(inner)), stop_(std::move(stop)), code_(code) {}
    std::vector<DeviceInfo> enumerate(std::uint16_t vid, std::uint16_t pid) override {
        return inner_->enumerate(vid, pid);
    }
    std::unique_ptr<HidHandle> open(const std::string& path) override {
        auto handle = inner_->open(path);
        return handle ? std::make_unique<Handle>(std::move(handle), *this) : nullptr;
    }
    void setChangeListener(std::function<void(DeviceChange)> listener) override {
        inner_->setChangeListener(std::move(listener));
    }

private:
    struct Handle final : HidHandle {
        Handle(std::unique_ptr<HidHandle> handle, StopAtFrame& stopper)
            : inner(std::move(handle)), owner(stopper) {}
        bool write(const std::uint8_t* report, std::size_t size) override {
            const bool taken = inner->write(report, size);
            if (taken && report[2] == owner.code_)
                owner.stop_.request_stop();
            return taken;
        }
        int read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
            return inner->read(buffer, size, timeoutMs);
        }
        std::unique_ptr<HidHandle> inner;
        StopAtFrame& owner;
    };
    std::shared_ptr<Transport> inner_;
    std::stop_source stop_;
    std::uint8_t code_;
};

} // namespace

using SettingsCommands = CliFixture;

TEST_F(SettingsCommands, RefusedValuesExitTwoWithTheWindowsMessageAndSendNothing) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"set-alarm", "3", "temperature-high=60.1"}, "Temp Error"},
        {{"set-settings", "area2=none"}, "area2: 'none' is not accepted"},
        {{"set-calibration", "1", "humidity=200"}, " CH1 Humi Out of value."},
    };
    for (const Case& c : cases) {
        makeStation();
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(sentWrite(receivedCodes())) << c.args[0];
    }
}

TEST_F(SettingsCommands, SetSettingsIsReadBackAndConfirmed) {
    const CliResult r = run({"set-settings", "unit=F", "area3=CH1-heatindex,CH8-temperature"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("confirmed"), std::string::npos);
    const Block s = station->settingsBlock();
    EXPECT_EQ(s[7], 1);
    EXPECT_EQ(s[16], 0x00); // area 3: bits 2 and 21
    EXPECT_EQ(s[17], 0x20);
    EXPECT_EQ(s[18], 0x00);
    EXPECT_EQ(s[19], 0x04);
}

TEST_F(SettingsCommands, BackupRestoreOntoAFreshStationGivesTheSameFile) {
    ASSERT_EQ(run({"set-alarm", "2", "temperature-high=30.5", "humidity-high-alarm=on"}).status, 0);
    ASSERT_EQ(run({"set-settings", "time-zone=-5", "date-format=DD-MM-YYYY"}).status, 0);
    ASSERT_EQ(run({"set-interval", "15"}).status, 0);
    const QString first = dataDir.filePath("first.json");
    ASSERT_EQ(run({"backup", first.toStdString()}).status, 0);

    makeStation(); // fresh from the box
    const CliResult dry = run({"restore", first.toStdString(), "--dry-run"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("settings.time-zone: 1 -> -5"), std::string::npos) << dry.out;
    EXPECT_FALSE(sentWrite(receivedCodes()));
    const CliResult restored = run({"restore", first.toStdString()});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_NE(restored.out.find("confirmed"), std::string::npos);
    // Only the blocks that differ: no calibration write.
    for (std::uint8_t code : receivedCodes())
        EXPECT_NE(code, 0x11);

    const QString second = dataDir.filePath("second.json");
    ASSERT_EQ(run({"backup", second.toStdString()}).status, 0);
    EXPECT_EQ(fileText(first), fileText(second));
}

// A station that never answers one query: the commands go on without that
// part, name it, and fail only when it is what they exist for.
TEST_F(SettingsCommands, AQueryNeverAnsweredIsNamedAndFailsOnlyWhatNeedsIt) {
    struct Case {
        std::uint8_t ignored;
        std::vector<std::string> args;
        int status;
        std::string named;
    };
    const QString backup = dataDir.filePath("partial.json");
    const Case cases[] = {
        {0xFE, {"info"}, cli::kExitOk, "identification"},
        {0x05, {"info"}, cli::kExitOk, "calibration"},
        {0x05, {"backup", backup.toStdString()}, cli::kExitOk, "calibration"},
        {0x04, {"backup", backup.toStdString()}, cli::kExitFailure, "settings"},
        {0xFE, {"backup", backup.toStdString()}, cli::kExitFailure, "identification"},
        {0x08, {"set-alarm", "1", "temperature-high=30"}, cli::kExitFailure, "alarms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " without " + std::to_string(c.ignored));
        QFile::remove(backup);
        sim::Profile profile;
        profile.faults.ignored = {c.ignored};
        makeStation(profile);
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find("did not answer: " + c.named), std::string::npos) << r.err;
        const std::vector<std::uint8_t> codes = receivedCodes();
        EXPECT_NE(std::find(codes.begin(), codes.end(), 0x41), codes.end())
            << "the queries after the unanswered one still went out";
        EXPECT_FALSE(sentWrite(codes));
        if (c.status != cli::kExitOk) {
            EXPECT_EQ(r.out, "");
            EXPECT_FALSE(QFile::exists(backup));
        }
    }
    // A partial backup holds what came and leaves the rest out (how info
    // shows a part that did not come is CliOutput's).
    sim::Profile profile;
    profile.faults.ignored = {0x05};
    makeStation(profile);
    ASSERT_EQ(run({"backup", backup.toStdString()}).status, cli::kExitOk);
    const QJsonObject saved =
        QJsonDocument::fromJson(QByteArray::fromStdString(fileText(backup))).object();
    EXPECT_TRUE(saved.contains("settings"));
    EXPECT_TRUE(saved.contains("alarms"));
    EXPECT_FALSE(saved.contains("calibration"));
}

TEST_F(SettingsCommands, BadProfileChangesNothingAndNamesTheValue) {
    const QString path = dataDir.filePath("p.json");
    ASSERT_EQ(run({"backup", path.toStdString()}).status, 0);
    std::string text = fileText(path);
    const auto at = text.find("\"temperature-low\": -10");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 22, "\"temperature-low\": -41");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray::fromStdString(text));
    f.close();
    makeStation();
    const CliResult r = run({"restore", path.toStdString()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("alarms.CH1.temperature-low: Temp Error"), std::string::npos) << r.err;
    EXPECT_FALSE(sentWrite(receivedCodes()));
}

// A restore stopped by a signal or by the station going away says which
// parts reached the station; the station agrees.
TEST_F(SettingsCommands, RestoreCutShortSaysWhichPartsWereWritten) {
    const QString path = dataDir.filePath("p.json");
    ASSERT_EQ(run({"backup", path.toStdString()}).status, 0);
    QJsonObject file = QJsonDocument::fromJson(QByteArray::fromStdString(fileText(path))).object();
    const auto set = [&](const char* part, const char* channel, const char* key,
                         const QJsonValue& v) {
        QJsonObject p = file[part].toObject();
        QJsonObject ch = channel ? p[channel].toObject() : p;
        ch[key] = v;
        if (channel)
            p[channel] = ch;
        file[part] = channel ? p : ch;
    };
    set("settings", nullptr, "time-zone", "-5");
    file["interval"] = 15;
    set("alarms", "CH2", "temperature-high", 30.5);
    set("calibration", "CH1", "temperature", 1.0);
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(QJsonDocument(file).toJson());
    out.close();

    struct Case {
        int unplugAfterReports; // the restore reads eight answers, then one per status query
        std::uint8_t stopAtCode;
        const char* said;
        std::array<bool, 4> written; // settings, interval, alarms, calibration
    };
    const Case cases[] = {
        {9,
         0,
         "the restore was cut short (the station went away): written: nothing; not written: "
         "settings, interval, alarms, calibration",
         {false, false, false, false}},
        {10,
         0,
         "the restore was cut short (the station went away): written: settings, interval; not "
         "written: alarms, calibration",
         {true, true, false, false}},
        {0,
         0x40,
         "the restore was cut short (interrupted): written: settings, interval; not written: "
         "alarms, calibration",
         {true, true, false, false}},
        {0,
         0x14,
         "the restore was cut short (interrupted): written: settings, interval, alarms; not "
         "written: calibration",
         {true, true, true, false}},
    };
    for (const Case& c : cases) {
        sim::Profile profile;
        profile.faults.unplugAfterReports = c.unplugAfterReports;
        makeStation(profile);
        std::stop_source stop;
        cli::Environment env;
        env.stop = stop.get_token();
        env.linkTiming = LinkTiming::quick();
        env.linkTiming.waitPercent = linkPercent;
        env.makeTransport = [&](const TransportOptions&) -> Result<std::shared_ptr<Transport>> {
            if (c.stopAtCode == 0)
                return std::static_pointer_cast<Transport>(transport);
            return std::static_pointer_cast<Transport>(
                std::make_shared<StopAtFrame>(transport, stop, c.stopAtCode));
        };
        const CliResult r = runRaw({"--simulate", "--data-dir", dataDir.path().toStdString(),
                                    "restore", path.toStdString()},
                                   env);
        EXPECT_EQ(r.status, 1) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(station->settingsBlock()[6] == 0xFB, c.written[0]) << c.said;
        EXPECT_EQ(station->interval() == 15, c.written[1]) << c.said;
        EXPECT_EQ(station->alarmBlock(3)[5] << 8 | station->alarmBlock(3)[6],
                  c.written[2] ? 305 : 350)
            << c.said;
        EXPECT_EQ(station->calibrationBlock()[2] == 10, c.written[3]) << c.said;
    }
}
