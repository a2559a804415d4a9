#include "targets.h"

#include "device/card_frames.h"
#include "device/readings.h"
#include "device/station_blocks.h"
#include "device/station_link.h"
#include "sdcard/card_files.h"
#include "sdcard/card_transfer.h"
#include "sdcard/log_import.h"
#include "sdcard/log_time.h"
#include "sim/virtual_station.h"
#include "store/archive_hours.h"
#include "store/automation_date.h"
#include "store/record_schema.h"
#include "store/record_store.h"
#include "tests/device/link_test_access.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace vellumet::fuzz {

namespace {

// Stops the run at once when a property that must hold does not: the fuzzer
// keeps the input, and the replay test fails on it.
void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

Block blockFrom(const std::uint8_t* data, std::size_t size, std::size_t at) {
    Block b{};
    if (at < size)
        std::memcpy(b.data(), data + at, std::min(b.size(), size - at));
    return b;
}

// A transport with no devices: the fuzzed link is never connected, and only
// its dispatch is driven.
class NoDevices final : public Transport {
public:
    std::vector<DeviceInfo> enumerate(std::uint16_t, std::uint16_t) override { return {}; }
    std::unique_ptr<HidHandle> open(const std::string&) override { return nullptr; }
};

bool validTemperature(float t) {
    return t == NO_VALUE_F || (t >= -40.0f && t <= 60.0f);
}

} // namespace

void answers(const std::uint8_t* data, std::size_t size) {
    static StationLink link(std::make_shared<NoDevices>());
    // Each 66 bytes: the kind expected, the byte count received, the report.
    for (std::size_t at = 0; at < size; at += 66) {
        const int kind = data[at] % 21;
        const std::size_t received = at + 1 < size ? data[at + 1] % 66 : 64;
        LinkTestAccess::expect(link, static_cast<ResponseKind>(kind));
        LinkTestAccess::dispatch(link, blockFrom(data, size, at + 2), received);
        // Whatever was handed over reads as any of the answers it could be.
        if (const std::optional<Block> a = LinkTestAccess::answer(link)) {
            require(decodeIdentText(*a).size() <= 128,
                    "identification at most 64 Latin-1 characters");
            for (const ChannelReading& r : decodeReadings(*a))
                require(validTemperature(r.temperature), "readings within the station's range");
        }
    }
}

void blocks(const std::uint8_t* data, std::size_t size) {
    const Block first = blockFrom(data, size, 0);
    const StationSettings settings = decodeStationSettings(first);
    require(settings.graphTimeHours == 12 || settings.graphTimeHours == 24 ||
                settings.graphTimeHours == 48 || settings.graphTimeHours == 72,
            "graph time is one of four");
    // Whatever was read is framed again without overrunning the frame.
    for (int areas : {kFiveAreas, kMaxAreas}) {
        const Block frame = settingsFrame(settings, areas).bytes();
        require(frame[0] == 0x7B && frame[1] == 0x10, "settings frame head");
    }
    (void)decodeAlarmSettings(first, blockFrom(data, size, 64), blockFrom(data, size, 128));
    for (const CalibrationOffset& c : decodeCalibration(first))
        require(c.temperature == NO_VALUE_F || std::isfinite(c.temperature), "offset finite");
    for (const ChannelReading& r : decodeReadings(first)) {
        require(validTemperature(r.temperature), "temperature range");
        require(r.humidity == NO_VALUE || (r.humidity >= 1 && r.humidity <= 99), "humidity range");
        (void)formatTemperature(channelDewPoint(r), TextForm::WithUnit, true);
    }
}

void logFields(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)sdcard::unitTextOfHeader(text);
    if (const auto t = sdcard::parseTemperatureField(text))
        require(*t == static_cast<float>(NO_VALUE) || std::isfinite(*t), "temperature finite");
    (void)sdcard::parseHumidityField(text);
    (void)sdcard::orderShownBy(text);
    for (sdcard::DateOrder order :
         {sdcard::DateOrder::DayFirst, sdcard::DateOrder::MonthFirst, sdcard::DateOrder::Undecided})
        if (const auto date = sdcard::parseLogTime(text, order))
            require(std::isfinite(*date), "a read time is a number");
}

void logFile(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("FUZZ.CSV"));
    const QString database = dir.filePath(QStringLiteral("7421.mdb"));
    {
        std::ofstream out(QFile::encodeName(log).toStdString(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    static const bool schema =
        store::ensureRecordSchema(QFile::encodeName(database).toStdString()).ok();
    require(schema, "record database");
    sdcard::ImportOptions options;
    options.logPath = log;
    options.databasePath = database;
    options.keepRows = true;
    const Result<sdcard::ImportSummary> summary =
        sdcard::importLog(options, OperationContext({}, {}));
    if (!summary)
        return;
    require(summary->rows >= 0, "row count");
    if (summary->table)
        for (std::size_t row = 0; row < summary->table->rowCount(); ++row)
            for (int column = 0; column < summary->table->fieldCount(); ++column)
                (void)summary->table->field(row, column);
}

void boundText(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Result<double> date = store::parseBoundText(text);
    if (!date)
        return;
    // What was read is written back and read again to the same moment.
    const Result<double> again = store::parseBoundText(store::formatBoundText(*date));
    require(again.ok() && std::fabs(*again - *date) < 1.0 / 86400.0, "bound text round trip");
}

void profile(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const std::string path =
        QFile::encodeName(dir.filePath(QStringLiteral("p.json"))).toStdString();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (Result<sim::Profile> p = sim::loadProfile(path)) {
        require(p->interval >= 0 && p->interval <= 255, "interval one byte");
        sim::VirtualStation station(std::move(*p));
        (void)station.ident();
    }
}

void fileListLine(const std::uint8_t* data, std::size_t size) {
    const std::size_t received = size > 0 ? data[0] % 66 : 64;
    const Block report = blockFrom(data, size, 1);
    const std::optional<sdcard::CardEntry> entry = sdcard::parseFileLine(report, received);
    if (!entry)
        return; // the end of the list
    if (entry->usable()) {
        // A name allowed to become a local path is a plain file name.
        const std::string& name = entry->rawName;
        require(!name.empty() && name != "." && name != "..", "usable name is a file name");
        for (const char c : name)
            require(c != '/' && c != '\\' && static_cast<unsigned char>(c) >= 0x20,
                    "usable name has no separator or control character");
        require(fileDeleteRequest(entry->name.toStdString()).ok(), "usable name fits the frame");
    }
    (void)sdcard::sizeText(entry->size);
}

void contentReport(const std::uint8_t* data, std::size_t size) {
    // A chunk as a station sends it: reports of "{", up to 62 card bytes and
    // "}", each followed by leftover bytes (a station need not clear them),
    // then "{@}". Byte 0 picks the bytes per report, byte 1 the leftover
    // byte; the rest is the card content, braces, "@", NUL, CR and LF included.
    if (size < 2)
        return;
    const std::size_t perReport = data[0] % 62 + 1;
    const std::uint8_t leftover = data[1];
    const std::string card(reinterpret_cast<const char*>(data + 2),
                           std::min<std::size_t>(size - 2, 4096));
    sdcard::ChunkAssembler chunk(static_cast<std::int64_t>(card.size()));
    bool ended = false;
    for (std::size_t at = 0; at < card.size() && !ended; at += perReport) {
        const std::size_t n = std::min(perReport, card.size() - at);
        Block report;
        report.fill(leftover);
        report[0] = '{';
        std::memcpy(report.data() + 1, card.data() + at, n);
        report[1 + n] = '}';
        const sdcard::ContentPiece piece = sdcard::parseContentReport(report, report.size());
        // Taken at its full length, a report's content is the card's bytes;
        // anything cut or stripped comes out shorter, for the chunk to refuse.
        require(piece.kind != sdcard::ContentPiece::Kind::Content || piece.bytes.size() < n ||
                    piece.bytes == card.substr(at, n),
                "a report taken whole is the card's bytes");
        ended = chunk.add(report, report.size());
    }
    Block end{};
    end[0] = '{';
    end[1] = '@';
    end[2] = '}';
    if (!ended)
        require(chunk.add(end, end.size()), "the end report ends the chunk");
    if (!chunk.problem())
        require(chunk.content() == card, "a chunk that is taken holds exactly the card's bytes");
}

void packedHour(const std::uint8_t* data, std::size_t size) {
    using store::archive_detail::HeldReading;
    constexpr std::int64_t kHourStart = 1767225600; // 2026-01-01 00:00 UTC
    const std::string_view packed(reinterpret_cast<const char*>(data), size);
    std::vector<HeldReading> readings;
    if (!store::archive_detail::unpackHour(kHourStart, packed, readings)) {
        require(readings.empty(), "a damaged hour gives no readings");
        return;
    }
    for (std::size_t i = 0; i < readings.size(); ++i) {
        require(readings[i].time >= kHourStart && readings[i].time < kHourStart + 3600,
                "a reading lies in its hour");
        require(i == 0 || readings[i].time > readings[i - 1].time, "times ascend");
    }
    // Packed again, the same readings read back.
    std::string again;
    store::archive_detail::packHour(kHourStart, readings, again);
    std::vector<HeldReading> back;
    require(store::archive_detail::unpackHour(kHourStart, again, back), "packed again");
    require(back.size() == readings.size(), "as many readings");
    for (std::size_t i = 0; i < back.size(); ++i)
        require(back[i].time == readings[i].time &&
                    store::archive_detail::sameReading(back[i], readings[i]),
                "the same readings");
}

} // namespace vellumet::fuzz
