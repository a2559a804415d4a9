#include "device/station_link.h"
#include "sdcard/card_transfer.h"
#include "sim/virtual_station.h"
#include "store/record_schema.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace vellumet;
using namespace vellumet::sdcard;

namespace {

std::string readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

void writeAll(const QString& path, const std::string& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string withoutCr(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

Block listReport(std::string_view name, std::uint32_t size) {
    Block b{};
    b[0] = '{';
    std::copy(name.begin(), name.end(), b.begin() + 1);
    const std::size_t comma = 1 + name.size();
    b[comma] = ',';
    for (int i = 0; i < 4; ++i)
        b[comma + 1 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(size >> (24 - 8 * i));
    b[comma + 5] = '}';
    return b;
}

Block endReport() {
    Block b{};
    b[0] = '{';
    b[1] = '@';
    b[2] = '}';
    return b;
}

// The real link against a virtual station, with the station's waits at a tenth.
struct Rig {
    std::shared_ptr<sim::VirtualStation> station;
    std::unique_ptr<StationLink> link;
    QTemporaryDir root;
    QString data;

    explicit Rig(sim::Profile profile) {
        station = std::make_shared<sim::VirtualStation>(std::move(profile));
        link = std::make_unique<StationLink>(std::make_shared<sim::VirtualTransport>(station),
                                             LinkTiming::quick());
        link->openStation();
        data = root.filePath("data");
        QDir().mkpath(data);
    }

    CardListing list() {
        Result<CardListing> listing = requestFileList(*link);
        EXPECT_TRUE(listing.ok());
        return listing ? *listing : CardListing{};
    }

    Result<TransferOutcome> transfer(const QString& name) {
        const CardListing listing = list();
        const CardEntry* entry = findEntry(listing, name);
        if (!entry)
            return makeError(Errc::InvalidInput, "not listed");
        TransferRequest request{*entry, data, std::chrono::milliseconds(1)};
        Operation<TransferOutcome> op(
            [&](const OperationContext& c) { return transferFile(*link, request, c); });
        return op.run();
    }

    std::string local(const QString& name) { return readAll(QDir(data).filePath(name)); }
};

sim::Profile fastProfile() {
    sim::Profile p;
    p.faults.reportMs = 0;
    return p;
}

} // namespace

TEST(CardResume, ArithmeticOfTheLocalCopy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("copy.csv");
    // 20 lines, 50 bytes each with CR LF: 1000 bytes holding 980 card bytes.
    std::string copy;
    for (int i = 0; i < 20; ++i)
        copy += std::string(48, 'x') + "\r\n";
    writeAll(path, copy);
    Result<LocalCopyState> state = inspectLocalCopy(path);
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state->bytes, 1000);
    EXPECT_EQ(state->cardBytes(), 980);
    // An unfinished last line has no line feed and so no carriage return.
    writeAll(path, copy + "tail");
    EXPECT_EQ(inspectLocalCopy(path)->cardBytes(), 984);
    EXPECT_EQ(inspectLocalCopy(dir.filePath("none"))->cardBytes(), 0);

    EXPECT_EQ(planResume(980, 5000).start, 980);
    const ResumePlan whole = planResume(5000, 5000);
    EXPECT_FALSE(whole.restart);
    const ChunkRange atEnd = chunkAt(whole.start, 5000);
    EXPECT_EQ(atEnd.start, 5000);
    EXPECT_EQ(atEnd.end, 5000);
    EXPECT_TRUE(atEnd.last);
    // One byte more than the card file cannot be a part of it: begin anew.
    EXPECT_TRUE(planResume(5001, 5000).restart);
    EXPECT_EQ(planResume(5001, 5000).start, 0);

    const ChunkRange only = chunkAt(0, 4096);
    EXPECT_EQ(only.end, 4096);
    EXPECT_TRUE(only.last);
    const ChunkRange first = chunkAt(0, 4097);
    EXPECT_EQ(first.end, 4096);
    EXPECT_FALSE(first.last);
    const ChunkRange second = chunkAt(4096, 4097);
    EXPECT_EQ(second.expected(), 1);
    EXPECT_TRUE(second.last);
}

TEST(CardList, SizeTextsAndLines) {
    EXPECT_EQ(sizeText(1048576), "1024.00 KB");
    EXPECT_EQ(sizeText(1048577), "1.00 MB");
    EXPECT_EQ(sizeText(1536), "1.50 KB");
    EXPECT_EQ(sizeText(0), "0.00 KB");

    const auto entry = parseFileLine(listReport("CH1.CSV", 0xFFFFFFF0u), 64);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "CH1.CSV");
    EXPECT_EQ(entry->size, 0xFFFFFFF0ll); // above 2 GiB: not negative
    EXPECT_TRUE(entry->readable());
    EXPECT_FALSE(parseFileLine(endReport(), 64));
    Block noComma{};
    noComma[0] = '{';
    noComma[1] = 'A';
    const auto broken = parseFileLine(noComma, 64);
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->usable());
}

TEST(CardList, NamesThatCannotBeLocalFiles) {
    const std::string longest(60, 'a');
    const struct {
        std::string name;
        bool usable;
        bool readable;
    } cases[] = {
        {"CH1_2612.CSV", true, true},
        {"caf\xE9.csv", true, true},
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {"../evil.csv", false, false},
        {"/etc/passwd", false, false},
        {"a\\b.csv", false, false},
        {"C:x.csv", false, false},
        {"\x1b[2Jx.csv", false, false},
        {"7421.MDB", false, false},
        {"main.ini", false, false},
        {std::string(52, 'a'), true, true},
        {std::string(53, 'a'), true, false}, // can be deleted, not read
        {longest + "b", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nameProblem(c.name).isEmpty(), c.usable);
        EXPECT_EQ(nameProblem(c.name).isEmpty() && readNameProblem(c.name).isEmpty(), c.readable);
    }
}

TEST(CardList, KeepsEveryFileBeyondFiveHundred) {
    sim::Profile p = fastProfile();
    auto& list = p.answerSequences[cmd::FileList];
    for (int i = 0; i < 600; ++i)
        list.push_back(listReport("F" + std::to_string(i) + ".CSV", static_cast<std::uint32_t>(i)));
    list.push_back(endReport());
    Rig rig(p);
    const CardListing listing = rig.list();
    EXPECT_TRUE(listing.complete);
    ASSERT_EQ(listing.entries.size(), 600u);
    EXPECT_EQ(listing.entries[599].name, "F599.CSV");
    EXPECT_EQ(listing.entries[599].size, 599);
}

TEST(CardTransfer, CopiesByteIdenticallyAndResumes) {
    QTemporaryDir card;
    std::string content = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    for (int i = 0; content.size() < 9000; ++i)
        content += "2024-01-01 00:" + std::to_string(10 + i % 50) + ":00,21.5,45,9.1,21.5\n";
    content += "last line \xB0\xE9 without a line feed"; // Latin-1 bytes are kept as they are
    { std::ofstream(card.filePath("CH1.CSV").toStdString(), std::ios::binary) << content; }
    sim::Profile p = fastProfile();
    p.sdDir = card.path().toStdString();
    Rig rig(p);

    // A copy that holds the first 20 lines already, and one that is a byte too long.
    std::string prefix;
    std::size_t at = 0;
    for (int i = 0; i < 20; ++i)
        at = content.find('\n', at) + 1;
    prefix = content.substr(0, at);
    std::string crlf;
    for (char c : prefix)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    writeAll(QDir(rig.data).filePath("CH1.CSV"), crlf);

    Result<TransferOutcome> resumed = rig.transfer("CH1.CSV");
    ASSERT_TRUE(resumed.ok()) << resumed.error().text();
    EXPECT_TRUE(resumed->complete());
    EXPECT_EQ(resumed->startedAt, static_cast<std::int64_t>(prefix.size()));
    EXPECT_EQ(withoutCr(rig.local("CH1.CSV")), content);

    // Everything held: one empty request, the copy unchanged.
    rig.station->clearReceived();
    Result<TransferOutcome> again = rig.transfer("CH1.CSV");
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->startedAt, static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(withoutCr(rig.local("CH1.CSV")), content);

    writeAll(QDir(rig.data).filePath("CH1.CSV"), rig.local("CH1.CSV") + "x");
    Result<TransferOutcome> anew = rig.transfer("CH1.CSV");
    ASSERT_TRUE(anew.ok());
    EXPECT_TRUE(anew->restarted);
    EXPECT_EQ(withoutCr(rig.local("CH1.CSV")), content);
}

TEST(CardTransfer, UnplugMidChunkThenResumeEndsIdentical) {
    sim::Profile p = fastProfile();
    p.faults.unplugAfterReports = 100; // inside the second chunk
    Rig rig(p);
    const std::string card = *rig.station->cardFile("CH1_2612.CSV");

    Result<TransferOutcome> cut = rig.transfer("CH1_2612.CSV");
    ASSERT_TRUE(cut.ok()) << cut.error().text();
    ASSERT_FALSE(cut->complete());
    const std::string kept = withoutCr(rig.local("CH1_2612.CSV"));
    EXPECT_GT(kept.size(), 4096u);
    EXPECT_LT(kept.size(), 8192u);
    EXPECT_EQ(kept, card.substr(0, kept.size())); // whole reports, no gap, no torn tail

    rig.station->plug();
    ASSERT_TRUE(rig.link->openStation());
    Result<TransferOutcome> rest = rig.transfer("CH1_2612.CSV");
    ASSERT_TRUE(rest.ok()) << rest.error().text();
    EXPECT_TRUE(rest->complete());
    EXPECT_EQ(rest->startedAt, static_cast<std::int64_t>(kept.size()));
    EXPECT_EQ(withoutCr(rig.local("CH1_2612.CSV")), card);
}

TEST(CardTransfer, DamagedReportThenRepeatedFetchEndsIdenticalAndImports) {
    sim::Profile p = fastProfile();
    p.faults.corruptContentEvery = 400;
    Rig rig(p);
    const std::string card = *rig.station->cardFile("CH1_2612.CSV");
    const QString database = QDir(rig.data).filePath("7421.mdb");
    ASSERT_TRUE(store::ensureRecordSchema(QFile::encodeName(database).toStdString()).ok());

    int failures = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const CardListing listing = rig.list();
        FetchRequest request;
        request.transfer = {*findEntry(listing, "CH1_2612.CSV"), rig.data,
                            std::chrono::milliseconds(1)};
        request.databasePath = database;
        Result<FetchOutcome> fetched = makeFetchOperation(*rig.link, request)->run();
        ASSERT_TRUE(fetched.ok()) << fetched.error().text();
        ASSERT_TRUE(fetched->import) << fetched->importFailure->text();
        const std::string kept = withoutCr(rig.local("CH1_2612.CSV"));
        ASSERT_EQ(kept, card.substr(0, kept.size()));
        if (fetched->transfer.complete()) {
            EXPECT_EQ(kept, card);
            // One row per reading line: every line but the header.
            EXPECT_EQ(fetched->import->rows, std::count(card.begin(), card.end(), '\n') - 1);
            break;
        }
        ++failures;
        EXPECT_EQ(fetched->transfer.chunkFailure->code, Errc::BadData);
    }
    EXPECT_GE(failures, 1);
    EXPECT_EQ(withoutCr(rig.local("CH1_2612.CSV")), card);
}

TEST(CardTransfer, HostileNamesWriteNothing) {
    sim::Profile p = fastProfile();
    auto& list = p.answerSequences[cmd::FileList];
    const std::vector<std::string> names = {"../escape.csv", "/tmp/abs.csv", "..",
                                            "sub\\x.csv",    "7421.mdb",     std::string(53, 'n')};
    for (const std::string& n : names)
        list.push_back(listReport(n, 100));
    list.push_back(endReport());
    Rig rig(p);
    const CardListing listing = rig.list();
    ASSERT_EQ(listing.entries.size(), names.size());
    for (const CardEntry& e : listing.entries) {
        SCOPED_TRACE(e.name.toStdString());
        TransferRequest request{e, rig.data, std::chrono::milliseconds(1)};
        Operation<TransferOutcome> op(
            [&](const OperationContext& c) { return transferFile(*rig.link, request, c); });
        const Result<TransferOutcome> r = op.run();
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.code(), Errc::InvalidInput);
        EXPECT_FALSE(r.error().text().empty());
        EXPECT_EQ(deleteCardFile(*rig.link, e).ok(), e.usable());
    }
    EXPECT_EQ(QDir(rig.root.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"data"});
    EXPECT_TRUE(QDir(rig.data).isEmpty());
    // Nothing but list requests and the one deletable name went to the station.
    for (const Block& frame : rig.station->receivedFrames())
        EXPECT_TRUE(frame[1] == cmd::FileList || frame[1] == cmd::DeleteFile);
}
