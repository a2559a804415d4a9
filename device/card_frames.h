#pragma once

#include "command_frame.h"
#include "core/result.h"

#include <cstdint>
#include <string_view>

namespace vellumet {

// Room for a file name in the card requests: the read request also carries
// two offsets.
inline constexpr std::size_t kMaxReadNameBytes = 52;
inline constexpr std::size_t kMaxDeleteNameBytes = 60;

// The name as the station spells it: one Latin-1 byte per character. Names
// with characters outside Latin-1 or with NUL cannot be sent.
Result<std::string> cardNameBytes(std::string_view utf8Name);

// 0x01: the card's file list.
CommandFrame fileListRequest();
// 0x02: bytes start (inclusive) to end (exclusive) of a card file, offsets
// big-endian. InvalidInput for a name that does not fit the frame.
Result<CommandFrame> fileReadRequest(std::string_view utf8Name, std::uint32_t start,
                                     std::uint32_t end);
// 0x20: delete a card file. InvalidInput for a name that does not fit the frame.
Result<CommandFrame> fileDeleteRequest(std::string_view utf8Name);

} // namespace vellumet
