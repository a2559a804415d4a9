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

// What the reader thread is told to expect next, and so where it files it.
enum class ResponseKind : int {
    None = 0,
    Settings = 1,
    SettingsAlt = 2,
    Calibration = 3,
    Alarm1 = 4,
    Alarm2 = 5,
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

struct QuerySpec {
    std::uint8_t code;
    ResponseKind kind;
    QueryTiming timing;
};

namespace query {
inline constexpr QuerySpec Readings{cmd::Readings, ResponseKind::Readings, {2000, 2000}};
inline constexpr QuerySpec Settings{cmd::Settings, ResponseKind::Settings, {5000, 5000}};
inline constexpr QuerySpec Identification{
    cmd::Identification, ResponseKind::Identification, {1000, 800}};
inline constexpr QuerySpec Interval{cmd::Interval, ResponseKind::Interval, {2000, 2000}};
inline constexpr QuerySpec Calibration{cmd::Calibration, ResponseKind::Calibration, {2000, 2000}};
inline constexpr QuerySpec Alarm1{cmd::AlarmBlock1, ResponseKind::Alarm1, {1000, 1000}};
inline constexpr QuerySpec Alarm3{cmd::AlarmBlock3, ResponseKind::Alarm3, {1000, 1000}};
inline constexpr QuerySpec Alarm4{cmd::AlarmBlock4, ResponseKind::Alarm4, {1000, 1000}};
inline constexpr QuerySpec FileList{cmd::FileList, ResponseKind::FileList, {3000, 2000}};
inline constexpr QuerySpec FileRead{cmd::FileRead, ResponseKind::FileContent, {3000, 3000}};
inline constexpr QuerySpec DeleteFile{cmd::DeleteFile, ResponseKind::NoAnswer, {3000, 500}};
inline constexpr QuerySpec WriteInterval{cmd::WriteInterval, ResponseKind::NoAnswer, {1000, 1000}};
inline constexpr QuerySpec SetClockDirect{cmd::SetClock, ResponseKind::NoAnswer, {1000, 1000}};
} // namespace query

} // namespace vellumet
