#include "device/station_blocks.h"
#include "device/station_link.h"
#include "sdcard/card_files.h"
#include "sdcard/card_transfer.h"
#include "sim/virtual_station.h"
#include "store/record_schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace vellumet;
using namespace vellumet::sdcard;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string withoutCr(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

// The station, the link as the front ends keep it (a lost station is marked
// gone at once), and a data folder with a record database.
struct Rig {
    std::shared_ptr<sim::VirtualStation> station;
    std::unique_ptr<StationLink> link;
    QTemporaryDir data;
    QString database;

    explicit Rig(sim::Profile profile = {}) {
        station = std::make_shared<sim::VirtualStation>(std::move(profile));
        link = std::make_unique<StationLink>(std::make_shared<sim::VirtualTransport>(station),
                                             LinkTiming::quick());
        StationLink* l = link.get();
        link->setLinkLostListener([l] { l->markStationGone(); });
        database = data.filePath(QStringLiteral("7421.mdb"));
        EXPECT_TRUE(store::ensureRecordSchema(QFile::encodeName(database).toStdString()).ok());
        EXPECT_TRUE(link->openStation());
    }

    // The smallest file of the card that takes at least four chunks.
    CardEntry fileOfSeveralChunks() {
        const Result<CardListing> listing = requestFileList(*link);
        EXPECT_TRUE(listing.ok());
        CardEntry best;
        for (const CardEntry& e : listing->entries)
            if (e.readable() && e.size > 3 * 4096 && (best.size < 0 || e.size < best.size))
                best = e;
        return best;
    }

    Result<FetchOutcome> fetch(const CardEntry& entry, const OperationContext& context,
                               std::chrono::milliseconds chunkPause = 10ms) {
        FetchRequest request;
        request.transfer.entry = entry;
        request.transfer.dataFolder = data.path();
        request.transfer.chunkPause = chunkPause;
        request.databasePath = database;
        return fetchFile(*link, request, context);
    }
};

// What must hold after any fault once the station is back: the link answers
// within a second, and a repeated transfer ends byte-identical to the card.
void recoversAndCopiesWhole(Rig& rig, const CardEntry& entry, const char* phase) {
    if (!rig.station->plugged())
        rig.station->plug();
    const auto start = Clock::now();
    while (!rig.link->openStation() && Clock::now() - start < 1s)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(rig.link->connected()) << phase;
    // The link is free again: a query goes through at once (once any answer
    // the fault left owed has had its time).
    bool answered = false;
    while (!answered && Clock::now() - start < 2s)
        answered = rig.link->query(query::Interval).ok();
    EXPECT_TRUE(answered) << phase;
    const Result<FetchOutcome> again = rig.fetch(entry, OperationContext({}, {}));
    ASSERT_TRUE(again.ok()) << phase << ": " << again.error().text();
    EXPECT_TRUE(again->transfer.complete()) << phase;
    QFile copy(again->transfer.localPath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(withoutCr(copy.readAll().toStdString()), *rig.station->cardFile(entry.rawName))
        << phase;
}

} // namespace

// The station is unplugged in each phase of its use and plugged back: nothing
// crashes or hangs, every wait ends within a second of the unplug, the link
// is free again, and the next transfer ends with a byte-identical copy.
TEST(FaultMatrix, UnplugInEveryPhaseThenPlugBack) {
    struct Phase {
        const char* name;
        int reportMs;
        int answerDelayMs;
        // Runs the work with the unplug happening inside it; returns when both
        // have ended.
        std::function<void(Rig&, const CardEntry&)> run;
    };
    const auto unplugAfter = [](Rig& rig, std::chrono::milliseconds delay) {
        return std::thread([&rig, delay] {
            std::this_thread::sleep_for(delay);
            rig.station->unplug();
        });
    };
    const Phase phases[] = {
        {"idle", 1, 0,
         [](Rig& rig, const CardEntry&) {
             rig.station->unplug();
             std::this_thread::sleep_for(50ms);
         }},
        {"mid-query", 1, 60,
         [&](Rig& rig, const CardEntry&) {
             // The answer is 60 ms away when the station goes.
             std::thread unplug = unplugAfter(rig, 10ms);
             const auto start = Clock::now();
             const auto s = rig.link->query(query::Settings);
             unplug.join();
             EXPECT_LT(Clock::now() - start, 1s) << "released by the removal";
             EXPECT_EQ(s.code(), Errc::StationGone);
         }},
        {"mid-write", 1, 60,
         [&](Rig& rig, const CardEntry&) {
             // Gone while the write waits for the screen status.
             std::thread unplug = unplugAfter(rig, 10ms);
             const CommandFrame frames[] = {intervalFrame(12), intervalFrame(13)};
             const auto start = Clock::now();
             const Status s = rig.link->writeSettings(frames);
             unplug.join();
             EXPECT_LT(Clock::now() - start, 1s) << "released by the removal";
             EXPECT_EQ(s.code(), Errc::StationGone);
             EXPECT_NE(rig.station->interval(), 13) << "no frame after the removal";
         }},
        {"mid-chunk", 3, 0,
         [&](Rig& rig, const CardEntry& entry) {
             std::thread unplug = unplugAfter(rig, 60ms);
             const auto start = Clock::now();
             const Result<FetchOutcome> r = rig.fetch(entry, OperationContext({}, {}));
             unplug.join();
             EXPECT_LT(Clock::now() - start, 1s);
             ASSERT_TRUE(r.ok()) << r.error().text();
             EXPECT_FALSE(r->transfer.complete()) << "the chunk was cut";
         }},
        {"between chunks", 1, 0,
         [&](Rig& rig, const CardEntry& entry) {
             // A long pause between chunks, and the unplug once the first chunk
             // is in and the copy has stopped growing: inside the pause.
             std::atomic<bool> unplugged{false};
             std::thread watcher([&] {
                 const QString copy = QDir(rig.data.path()).filePath(entry.name);
                 const auto until = Clock::now() + 3s;
                 qint64 seen = -1;
                 while (Clock::now() < until) {
                     std::this_thread::sleep_for(50ms);
                     const qint64 size = QFileInfo(copy).size();
                     if (size >= 4096 && size == seen)
                         break;
                     seen = size;
                 }
                 rig.station->unplug();
                 unplugged = true;
             });
             const Result<FetchOutcome> r = rig.fetch(entry, OperationContext({}, {}), 300ms);
             watcher.join();
             ASSERT_TRUE(unplugged.load());
             ASSERT_TRUE(r.ok()) << r.error().text();
             EXPECT_FALSE(r->transfer.complete());
             EXPECT_GE(r->transfer.held, 4096) << "the first chunk is kept";
         }},
        {"during the import", 1, 0,
         [&](Rig& rig, const CardEntry& entry) {
             // The transfer's last progress step is followed by the import.
             std::atomic<bool> done{false};
             const OperationContext context({}, [&](std::int64_t at, std::int64_t total) {
                 if (!done && at == total && total > 0) {
                     done = true;
                     rig.station->unplug();
                 }
             });
             const Result<FetchOutcome> r = rig.fetch(entry, context);
             ASSERT_TRUE(r.ok()) << r.error().text();
             EXPECT_TRUE(r->transfer.complete());
             EXPECT_TRUE(r->import.has_value()) << "the import needs no station";
         }},
    };
    for (const Phase& phase : phases) {
        sim::Profile profile;
        profile.faults.reportMs = phase.reportMs;
        profile.faults.answerDelayMs = phase.answerDelayMs;
        Rig rig(profile);
        const CardEntry entry = rig.fileOfSeveralChunks();
        ASSERT_GT(entry.size, 3 * 4096) << "a file of several chunks";
        phase.run(rig, entry);
        recoversAndCopiesWhole(rig, entry, phase.name);
    }
}

// A station that stops answering, answers too late, or damages reports: the
// transfer says so and keeps what is sound, and a transfer from a sound
// station afterwards completes the copy byte for byte.
TEST(FaultMatrix, SilentLateOrDamagedStationThenASoundOne) {
    struct Fault {
        const char* name;
        std::function<void(sim::Faults&)> set;
    } faults[] = {
        {"silent", [](sim::Faults& f) { f.silent = true; }},
        {"answers later than the wait", [](sim::Faults& f) { f.answerDelayMs = 400; }},
        {"damaged reports", [](sim::Faults& f) { f.corruptContentEvery = 7; }},
    };
    for (const Fault& fault : faults) {
        QTemporaryDir data;
        CardEntry entry;
        {
            Rig sound;
            entry = sound.fileOfSeveralChunks();
        }
        {
            sim::Profile profile;
            fault.set(profile.faults);
            Rig rig(profile);
            FetchRequest request;
            request.transfer.entry = entry;
            request.transfer.dataFolder = data.path();
            request.import = false;
            const auto start = Clock::now();
            const Result<FetchOutcome> r = fetchFile(*rig.link, request, OperationContext({}, {}));
            EXPECT_LT(Clock::now() - start, 3s) << fault.name;
            ASSERT_TRUE(r.ok()) << fault.name << ": " << r.error().text();
            EXPECT_FALSE(r->transfer.complete()) << fault.name;
        }
        Rig sound;
        FetchRequest request;
        request.transfer.entry = entry;
        request.transfer.dataFolder = data.path();
        request.import = false;
        const Result<FetchOutcome> r = fetchFile(*sound.link, request, OperationContext({}, {}));
        ASSERT_TRUE(r.ok()) << fault.name;
        EXPECT_TRUE(r->transfer.complete()) << fault.name;
        QFile copy(r->transfer.localPath);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(withoutCr(copy.readAll().toStdString()), *sound.station->cardFile(entry.rawName))
            << fault.name;
    }
}
