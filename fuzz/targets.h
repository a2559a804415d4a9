#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vellumet::fuzz {

// One entry per parser of outside input. Each takes any bytes, must neither
// crash nor hang, and checks what must hold whatever the input. Run by the
// fuzzers and, over the inputs kept in tests/data/fuzz, by the test suite.
using Target = void (*)(const std::uint8_t* data, std::size_t size);

struct NamedTarget {
    std::string_view name;
    Target run;
};

// Reports from the station filed under each kind the link can expect.
void answers(const std::uint8_t* data, std::size_t size);
// The settings, alarm, calibration and readings blocks.
void blocks(const std::uint8_t* data, std::size_t size);
// A log's header unit, its value fields and its time texts.
void logFields(const std::uint8_t* data, std::size_t size);
// A whole log file imported into a record database.
void logFile(const std::uint8_t* data, std::size_t size);
// The window bounds of the record queries.
void boundText(const std::uint8_t* data, std::size_t size);
// A virtual station profile.
void profile(const std::uint8_t* data, std::size_t size);
// A line of the card's file list, and the checks on the names it brings.
void fileListLine(const std::uint8_t* data, std::size_t size);
// A content report of a card file transfer.
void contentReport(const std::uint8_t* data, std::size_t size);

// An hour of the history as it is packed on disk.
void packedHour(const std::uint8_t* data, std::size_t size);

// Every target, under the name its fuzzer, its seeds and its kept inputs use.
inline constexpr NamedTarget kTargets[] = {
    {"answers", answers},
    {"blocks", blocks},
    {"log_fields", logFields},
    {"log_file", logFile},
    {"bound_text", boundText},
    {"profile", profile},
    {"file_list_line", fileListLine},
    {"content_report", contentReport},
    {"packed_hour", packedHour},
};

} // namespace vellumet::fuzz
