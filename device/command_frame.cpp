#include "command_frame.h"

#include <algorithm>

namespace vellumet {

CommandFrame::CommandFrame(std::uint8_t code, std::span<const std::uint8_t> payload) {
    const std::size_t n = std::min(payload.size(), kMaxPayload);
    bytes_[0] = 0x7B;
    bytes_[1] = code;
    std::copy_n(payload.begin(), n, bytes_.begin() + 2);
    bytes_[2 + n] = 0x40;
    bytes_[3 + n] = 0x7D;
}

std::span<const QueryShape> queryShapes() {
    static constexpr QueryShape table[] = {
        query::Readings,       query::Settings, query::Identification, query::Interval,
        query::Calibration,    query::Alarm1,   query::Alarm3,         query::Alarm4,
        query::FileList,       query::FileRead, query::DeleteFile,     query::WriteInterval,
        query::SetClockDirect,
    };
    return table;
}

} // namespace vellumet
