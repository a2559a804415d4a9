#pragma once

#include "command_frame.h"
#include "station_link.h"

#include <atomic>
#include <span>

namespace vellumet {

// Sends one request and waits for its answer: wait for the link to be free
// (at most timing.before), reset responseEvent, announce the kind, send,
// wait for the answer (at most timing.after), then leave the link free
// whether the answer came or not. Returns whether it came in time.
bool queryTransaction(StationLink& link, ResponseKind kind, const CommandFrame& frame,
                      QueryTiming timing);
bool queryTransaction(StationLink& link, const QuerySpec& spec);

// The three alarm queries (0x06, 0x08, 0x09) as one chain: each wait for the
// link to be free is also the wait for the previous answer. Returns at once
// when not connected; returns whether all three answers came.
bool alarmQueryChain(StationLink& link);

// The interval write: 0x40 with its payload, 50 ms, 0x2F, 50 ms, then the
// closing wait; no screen-status check.
void intervalWriteTransaction(StationLink& link, const CommandFrame& frame);

// A single kind-19 frame without status check (direct clock set, file delete):
// the closing wait always lasts its full time unless the link is released.
void noAnswerTransaction(StationLink& link, const CommandFrame& frame, QueryTiming timing);

enum class WriteOutcome { Sent, AwayFromMainScreen, NotConnected };

struct WriteOptions {
    int linkWaitMs = 5000;
    int closingWaitMs = 500;
    bool sendEndOfWrite = true; // settings dialogs close with 0x2F; the clock does not
    // The writing dialog's own copy of the screen-status flag; the link's when null.
    const std::atomic<int>* awayFlag = nullptr;
};

// How long a write waits for the screen-status answer before it decides on
// the flag as it stands.
inline constexpr int kScreenStatusWaitMs = 1000;

// Changes the station's settings: asks whether it shows its main screen and
// only then sends the frames (each followed by 50 ms) and the closing 0x2F.
WriteOutcome writeTransaction(StationLink& link, std::span<const CommandFrame> frames,
                              const WriteOptions& options = {});

} // namespace vellumet
