#include "card_frames.h"

#include <vector>

namespace vellumet {

Result<std::string> cardNameBytes(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == 0)
            return makeError(Errc::InvalidInput, "a file name cannot hold a NUL character");
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        // Two-byte UTF-8 sequences starting C2 or C3 are exactly Latin-1's upper half.
        if ((c == 0xC2 || c == 0xC3) && i + 1 < name.size() &&
            (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (name[++i] & 0x3F));
            continue;
        }
        return makeError(Errc::InvalidInput, "the file name '" + std::string(name) +
                                                 "' has characters the station cannot take");
    }
    return out;
}

namespace {

Result<std::vector<std::uint8_t>> namePayload(std::string_view name, std::size_t limit) {
    Result<std::string> bytes = cardNameBytes(name);
    if (!bytes)
        return bytes.error();
    if (bytes->empty() || bytes->size() > limit)
        return makeError(Errc::InvalidInput, "the file name '" + std::string(name) +
                                                 "' must have 1 to " + std::to_string(limit) +
                                                 " characters to be sent to the station");
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift & 0xFF));
}

} // namespace

CommandFrame fileListRequest() {
    return CommandFrame(cmd::FileList);
}

Result<CommandFrame> fileReadRequest(std::string_view name, std::uint32_t start,
                                     std::uint32_t end) {
    auto payload = namePayload(name, kMaxReadNameBytes);
    if (!payload)
        return payload.error();
    appendBigEndian(*payload, start);
    appendBigEndian(*payload, end);
    return CommandFrame(cmd::FileRead, *payload);
}

Result<CommandFrame> fileDeleteRequest(std::string_view name) {
    auto payload = namePayload(name, kMaxDeleteNameBytes);
    if (!payload)
        return payload.error();
    return CommandFrame(cmd::DeleteFile, *payload);
}

} // namespace vellumet
