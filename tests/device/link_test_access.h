#pragma once

#include "device/station_link.h"

namespace vellumet {

// The link's handshake as tests drive it: announce a kind, hand a report to
// the dispatch, look at whether the link is free.
struct LinkTestAccess {
    static void expect(StationLink& link, ResponseKind kind) {
        link.expectedKind_ = static_cast<int>(kind);
    }
    static ResponseKind expected(const StationLink& link) {
        return static_cast<ResponseKind>(link.expectedKind_.load());
    }
    static void dispatch(StationLink& link, const Block& answer, std::size_t received) {
        link.dispatchAnswer(answer, received);
    }
    // The answer the dispatch handed to the pending exchange, taken.
    static std::optional<Block> answer(StationLink& link) { return link.takeAnswer(); }
    static bool free(const StationLink& link) { return link.responseEvent_.isSet(); }
    // As if a sender were waiting for an answer.
    static void occupy(StationLink& link) { link.responseEvent_.reset(); }
    // As if another sender's exchange held the link (false when one does).
    static bool lockExchange(StationLink& link) {
        return link.exchangeLock_.tryLockUntil(std::chrono::steady_clock::now());
    }
    static void unlockExchange(StationLink& link) { link.exchangeLock_.unlock(); }
    // As if a query had given up on its answer, which is owed for `within`.
    static void owe(StationLink& link, std::chrono::milliseconds within) {
        occupy(link);
        (void)link.oweAnswer(within);
    }
};

} // namespace vellumet
