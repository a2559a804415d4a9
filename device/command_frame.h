#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vellumet {

using Block = std::array<std::uint8_t, 64>;

// Command codes understood by the station.
namespace cmd {
inline constexpr std::uint8_t FileList = 0x01;
inline constexpr std::uint8_t FileRead = 0x02;
inline constexpr std::uint8_t Readings = 0x03;
inline constexpr std::uint8_t Settings = 0x04;
inline constexpr std::uint8_t Calibration = 0x05;
inline constexpr std::uint8_t AlarmBlock1 = 0x06;
inline constexpr std::uint8_t AlarmBlock3 = 0x08;
inline constexpr std::uint8_t AlarmBlock4 = 0x09;
inline constexpr std::uint8_t SetLanguage = 0x0B;
inline constexpr std::uint8_t WriteSettings = 0x10;
inline constexpr std::uint8_t WriteCalibration = 0x11;
inline constexpr std::uint8_t WriteAlarm1 = 0x12;
inline constexpr std::uint8_t WriteAlarm3 = 0x14;
inline constexpr std::uint8_t WriteAlarm4 = 0x15;
inline constexpr std::uint8_t DeleteFile = 0x20;
inline constexpr std::uint8_t EndOfWrite = 0x2F;
inline constexpr std::uint8_t SetClock = 0x30;
inline constexpr std::uint8_t WriteInterval = 0x40;
inline constexpr std::uint8_t Interval = 0x41;
inline constexpr std::uint8_t ScreenStatus = 0x51;
inline constexpr std::uint8_t Identification = 0xFE;
} // namespace cmd

// What the reader thread is told to expect next: the answer of that kind goes
// to the waiting exchange, anything else is dropped.
enum class ResponseKind : int {
    None = 0,
    Settings = 1,
    Calibration = 3,
    Alarm1 = 4,
    Alarm3 = 6,
    Alarm4 = 7,
    Readings = 8,
    FileList = 9,
    FileContent = 10,
    Interval = 11,
    ScreenStatus = 12,
    Identification = 13,
    NoAnswer = 19,
};

// One command as the station wants it: "{", code, payload, "@", "}", zero fill.
class CommandFrame {
public:
    // Payload longer than 60 bytes cannot be framed; it is cut to 60.
    static constexpr std::size_t kMaxPayload = 60;

    explicit CommandFrame(std::uint8_t code, std::span<const std::uint8_t> payload = {});

    const Block& bytes() const { return bytes_; }
    std::uint8_t code() const { return bytes_[1]; }

private:
    Block bytes_{};
};

// The two waits of a query, in milliseconds: before sending (link free) and after (answer).
struct QueryTiming {
    int before;
    int after;
};

// How one command is exchanged with the station: its code, the kind of its
// answer, and the two waits of its exchange.
struct QueryShape {
    std::uint8_t code;
    ResponseKind kind;
    QueryTiming timing;
};

// The waits of a write transaction: for the link to be free before the
// screen-status query, and after the last frame.
struct WriteTiming {
    int linkWait;
    int closingWait;
};

namespace query {
inline constexpr QueryShape Readings{cmd::Readings, ResponseKind::Readings, {2000, 2000}};
inline constexpr QueryShape Settings{cmd::Settings, ResponseKind::Settings, {5000, 5000}};
inline constexpr QueryShape Identification{
    cmd::Identification, ResponseKind::Identification, {1000, 800}};
inline constexpr QueryShape Interval{cmd::Interval, ResponseKind::Interval, {2000, 2000}};
inline constexpr QueryShape Calibration{cmd::Calibration, ResponseKind::Calibration, {2000, 2000}};
inline constexpr QueryShape Alarm1{cmd::AlarmBlock1, ResponseKind::Alarm1, {1000, 1000}};
inline constexpr QueryShape Alarm3{cmd::AlarmBlock3, ResponseKind::Alarm3, {1000, 1000}};
inline constexpr QueryShape Alarm4{cmd::AlarmBlock4, ResponseKind::Alarm4, {1000, 1000}};
inline constexpr QueryShape FileList{cmd::FileList, ResponseKind::FileList, {3000, 2000}};
inline constexpr QueryShape FileRead{cmd::FileRead, ResponseKind::FileContent, {3000, 3000}};
inline constexpr QueryShape DeleteFile{cmd::DeleteFile, ResponseKind::NoAnswer, {3000, 500}};
inline constexpr QueryShape WriteInterval{cmd::WriteInterval, ResponseKind::NoAnswer, {1000, 1000}};
inline constexpr QueryShape SetClockDirect{cmd::SetClock, ResponseKind::NoAnswer, {1000, 1000}};
} // namespace query

namespace write {
// Setup, Alarm, Calibration and Language saves.
inline constexpr WriteTiming Settings{5000, 500};
// The clock, set from the menu with the screen-status check.
inline constexpr WriteTiming Clock{3000, 1000};
} // namespace write

// Every command exchanged on its own (queries, and the commands with no answer sent
// without the screen-status check), in one table.
std::span<const QueryShape> queryShapes();

} // namespace vellumet
