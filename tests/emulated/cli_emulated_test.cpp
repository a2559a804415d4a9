// vellumet-cli as users run it (hidapi, no --simulate) against stations
// emulated behind /dev/hidraw nodes, side by side with --simulate.

#include "emulated_station.h"

#include "device/station_access.h"
#include "sim/virtual_station.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

namespace vellumet::emulated {
namespace {

using namespace std::chrono_literals;

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

QProcess* startCli(const QStringList& args, const QStringList& environment = {}) {
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("VELLUMET_DEVICE"));
    for (const QString& pair : environment)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(VELLUMET_CLI_PATH), args);
    return process;
}

CliRun finish(QProcess* process) {
    CliRun run;
    if (!process->waitForFinished(60000))
        process->kill();
    process->waitForFinished();
    run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    run.out = QString::fromUtf8(process->readAllStandardOutput());
    run.err = QString::fromUtf8(process->readAllStandardError());
    delete process;
    return run;
}

CliRun runCli(const QStringList& args, const QStringList& environment = {}) {
    return finish(startCli(args, environment));
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A readings answer that does not drift, so that two runs read the same.
QString fixedReadingsHex(int tenths) {
    Block block = sim::generatedReadings(std::chrono::milliseconds(0));
    block[1] = static_cast<std::uint8_t>(tenths >> 8);
    block[2] = static_cast<std::uint8_t>(tenths & 0xFF);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(block.data()),
                                          static_cast<qsizetype>(block.size()))
                                   .toHex());
}

QString writeProfile(const QString& dir, const QString& name, int tenths) {
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        QJsonDocument(QJsonObject{{"answers", QJsonObject{{"0x03", fixedReadingsHex(tenths)}}}})
            .toJson());
    return path;
}

sim::Profile loadedProfile(const QString& path) {
    auto profile = sim::loadProfile(path.toStdString());
    EXPECT_TRUE(profile) << (profile ? "" : profile.error().text());
    return profile ? *profile : sim::Profile{};
}

// A trace without its times; the clock frame without the clock.
QStringList traceFrames(const QString& path) {
    QStringList frames;
    for (const QString& line :
         QString::fromLatin1(readFile(path)).split('\n', Qt::SkipEmptyParts)) {
        QString frame = line.section(' ', 1);
        if (frame.startsWith(QLatin1String("OUT 7B30")))
            frame = QStringLiteral("OUT 7B30 (clock)");
        frames << frame;
    }
    return frames;
}

QString normalised(QString text, const QString& dir) {
    text.replace(dir, QStringLiteral("DIR"));
    static const QRegularExpression time(
        QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"));
    return text.replace(time, QStringLiteral("TIME"));
}

TEST(EmulatedCli, CommandsGiveTheSameResultsAndFramesAsTheVirtualStation) {
    VELLUMET_REQUIRE_RIG();
    QTemporaryDir work;
    const QString profile = writeProfile(work.path(), "profile.json", 215);
    const QString simDir = work.filePath("sim");
    const QString emuDir = work.filePath("emu");
    const QList<QStringList> commands = {
        {"live"},
        {"--format", "json", "live"},
        {"info"},
        {"files"},
        {"fetch", "--all"},
        {"set-alarm", "1", "temperature-high=30", "humidity-low=20"},
        {"sync-time"},
        {"backup", "@/b.json"},
        {"restore", "@/b.json"},
    };
    for (const QStringList& command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        const auto withDir = [&](const QString& dir) {
            QStringList args{"--data-dir", dir, "--trace", dir + ".trace"};
            for (const QString& a : command)
                args << (a.startsWith('@') ? dir + a.mid(1) : a);
            return args;
        };
        const CliRun simulated = runCli(QStringList{"--simulate=" + profile} + withDir(simDir));

        EmulatedBus bus;
        bus.addStation({.serial = "EM0001",
                        .product = "USB Thermo-Hygrometer",
                        .profile = loadedProfile(profile)});
        const CliRun emulated = runCli(withDir(emuDir));

        EXPECT_EQ(simulated.exitCode, 0) << simulated.err.toStdString();
        EXPECT_EQ(emulated.exitCode, simulated.exitCode) << emulated.err.toStdString();
        EXPECT_EQ(normalised(emulated.out, emuDir).toStdString(),
                  normalised(simulated.out, simDir).toStdString());
        const QStringList simFrames = traceFrames(simDir + ".trace");
        EXPECT_FALSE(simFrames.isEmpty());
        EXPECT_EQ(traceFrames(emuDir + ".trace"), simFrames);
    }
    // What was fetched is the same, byte for byte.
    for (const QString& name : QDir(simDir).entryList({"*.CSV"}, QDir::Files))
        EXPECT_EQ(readFile(QDir(emuDir).filePath(name)), readFile(QDir(simDir).filePath(name)))
            << name.toStdString();
}

TEST(EmulatedCli, TwoStationsAreListedAndChosenByPathOrSerial) {
    VELLUMET_REQUIRE_RIG();
    QTemporaryDir work;
    EmulatedBus bus;
    bus.addStation({.serial = "EM0001",
                    .product = "USB Thermo-Hygrometer",
                    .profile = loadedProfile(writeProfile(work.path(), "a.json", 111))});
    EmulatedStation& second =
        bus.addStation({.serial = "EM0002",
                        .product = "USB Thermo-Hygrometer",
                        .profile = loadedProfile(writeProfile(work.path(), "b.json", 222))});
    second.setDenied(true);

    const CliRun json = runCli({"--format", "json", "devices"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray list = QJsonDocument::fromJson(json.out.toUtf8())["devices"].toArray();
    ASSERT_EQ(list.size(), 2) << json.out.toStdString();
    QStringList seen;
    for (const QJsonValue& v : list) {
        const QJsonObject o = v.toObject();
        EXPECT_EQ(o["product"].toString(), "USB Thermo-Hygrometer");
        const bool denied = o["serial"].toString() == "EM0002";
        EXPECT_EQ(o["path"].toString(), denied ? "/dev/hidraw1" : "/dev/hidraw0");
        EXPECT_EQ(o["openable"].toBool(), !denied);
        EXPECT_EQ(o["problem"].toString(), denied ? "permission denied" : "");
        seen << o["serial"].toString();
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{"EM0001", "EM0002"}));

    const CliRun csv = runCli({"--format", "csv", "--device", "EM0001", "devices"});
    EXPECT_TRUE(csv.out.startsWith("path,serial,product,openable,chosen,problem\n"));
    EXPECT_TRUE(csv.out.contains("/dev/hidraw0,EM0001,USB Thermo-Hygrometer,true,true,\n"))
        << csv.out.toStdString();
    EXPECT_TRUE(csv.out.contains("/dev/hidraw1,EM0002,USB Thermo-Hygrometer,false,false,"
                                 "permission denied\n"))
        << csv.out.toStdString();
    const CliRun text = runCli({"devices"});
    EXPECT_TRUE(text.out.contains("EM0002")) << text.out.toStdString();

    // Each station answers with its own readings; both ways of naming it work.
    second.setDenied(false);
    const auto firstChannel = [](const CliRun& run) {
        return QJsonDocument::fromJson(run.out.toUtf8())["channels"][0]["temperature"].toDouble();
    };
    const QString dir = work.filePath("data");
    const CliRun byPath =
        runCli({"--data-dir", dir, "--format", "json", "--device", "/dev/hidraw1", "live"});
    const CliRun bySerial =
        runCli({"--data-dir", dir, "--format", "json", "--device", "EM0001", "live"});
    const CliRun byVariable =
        runCli({"--data-dir", dir, "--format", "json", "live"}, {"VELLUMET_DEVICE=EM0002"});
    const CliRun firstFound = runCli({"--data-dir", dir, "--format", "json", "live"});
    EXPECT_DOUBLE_EQ(firstChannel(byPath), 22.2)
        << byPath.out.toStdString() << byPath.err.toStdString();
    EXPECT_DOUBLE_EQ(firstChannel(bySerial), 11.1) << bySerial.err.toStdString();
    EXPECT_DOUBLE_EQ(firstChannel(byVariable), 22.2) << byVariable.err.toStdString();
    EXPECT_EQ(firstFound.exitCode, 0);

    const CliRun missing = runCli({"--data-dir", dir, "--device", "NOPE", "live"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no station 'NOPE' found")) << missing.err.toStdString();
}

TEST(EmulatedCli, RefusedNodeGivesThePermissionSentenceUntilFixed) {
    VELLUMET_REQUIRE_RIG();
    QTemporaryDir work;
    EmulatedBus bus;
    EmulatedStation& station = bus.addStation();
    station.setDenied(true);
    const CliRun refused = runCli({"--data-dir", work.path(), "live"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QString::fromStdString(accessDeniedSentence())))
        << refused.err.toStdString();
    EXPECT_FALSE(refused.err.contains("Unconnected"));

    station.setDenied(false);
    const CliRun fixed = runCli({"--data-dir", work.path(), "live"});
    EXPECT_EQ(fixed.exitCode, 0) << fixed.err.toStdString();
    EXPECT_TRUE(fixed.out.contains("CH8"));
}

TEST(EmulatedCli, FetchCutByAnUnplugLeavesAPrefixAndResumesAfterThePlug) {
    VELLUMET_REQUIRE_RIG();
    QTemporaryDir work;
    EmulatedBus bus;
    EmulatedStation& station = bus.addStation();
    const QString dir = work.filePath("data");
    station.holdAfterReports(400); // partway into the third file
    QProcess* fetch = startCli({"--data-dir", dir, "fetch", "--all", "--no-import"});
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!station.holding() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(station.holding());
    station.unplug();
    const CliRun cut = finish(fetch);
    EXPECT_EQ(cut.exitCode, 1) << cut.out.toStdString();
    EXPECT_FALSE(cut.err.isEmpty());

    std::map<QString, QByteArray> afterCut;
    for (const QString& name : QDir(dir).entryList({"*.CSV"}, QDir::Files))
        afterCut[name] = readFile(QDir(dir).filePath(name));

    station.plug();
    const CliRun resumed = runCli({"--data-dir", dir, "fetch", "--all", "--no-import"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_TRUE(resumed.out.contains("resumed at byte")) << resumed.out.toStdString();

    // The same card fetched in one go.
    const QString whole = work.filePath("whole");
    ASSERT_EQ(runCli({"--data-dir", whole, "fetch", "--all", "--no-import"}).exitCode, 0);
    const QStringList names = QDir(whole).entryList({"*.CSV"}, QDir::Files);
    EXPECT_EQ(names.size(), static_cast<qsizetype>(station.station().cardFileNames().size()));
    int partial = 0;
    for (const QString& name : names) {
        const QByteArray expected = readFile(QDir(whole).filePath(name));
        EXPECT_TRUE(expected.startsWith(afterCut[name])) << name.toStdString();
        partial += !afterCut[name].isEmpty() && afterCut[name].size() < expected.size();
        EXPECT_EQ(readFile(QDir(dir).filePath(name)), expected) << name.toStdString();
    }
    EXPECT_EQ(partial, 1);
}

} // namespace
} // namespace vellumet::emulated
