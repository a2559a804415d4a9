#include "transactions.h"

#include <chrono>
#include <thread>

namespace vellumet {

namespace {

using std::chrono::milliseconds;

void pause(int ms) {
    std::this_thread::sleep_for(milliseconds(ms));
}

void releaseLink(StationLink& link) {
    link.responseEvent.reset();
    link.responseEvent.set();
}

} // namespace

bool queryTransaction(StationLink& link, ResponseKind kind, const CommandFrame& frame,
                      QueryTiming timing) {
    link.responseEvent.wait(milliseconds(timing.before));
    link.responseEvent.reset();
    link.expect(kind);
    link.sendFrame(frame);
    const bool answered = link.responseEvent.wait(milliseconds(timing.after));
    releaseLink(link);
    return answered;
}

bool queryTransaction(StationLink& link, const QuerySpec& spec) {
    return queryTransaction(link, spec.kind, CommandFrame(spec.code), spec.timing);
}

bool alarmQueryChain(StationLink& link) {
    if (link.connected.load() == 0)
        return false;
    bool allAnswered = true;
    bool first = true;
    for (const QuerySpec* spec : {&query::Alarm1, &query::Alarm3, &query::Alarm4}) {
        const bool signalled = link.responseEvent.wait(milliseconds(spec->timing.before));
        if (!first)
            allAnswered = allAnswered && signalled;
        first = false;
        link.responseEvent.reset();
        link.expect(spec->kind);
        link.sendFrame(CommandFrame(spec->code));
    }
    allAnswered = link.responseEvent.wait(milliseconds(query::Alarm4.timing.after)) && allAnswered;
    releaseLink(link);
    return allAnswered;
}

void intervalWriteTransaction(StationLink& link, const CommandFrame& frame) {
    const QueryTiming timing = query::WriteInterval.timing;
    link.responseEvent.wait(milliseconds(timing.before));
    link.responseEvent.reset();
    link.expect(ResponseKind::NoAnswer);
    link.sendFrame(frame);
    pause(50);
    link.sendFrame(CommandFrame(cmd::EndOfWrite));
    pause(50);
    link.responseEvent.wait(milliseconds(timing.after));
    releaseLink(link);
}

void noAnswerTransaction(StationLink& link, const CommandFrame& frame, QueryTiming timing) {
    link.responseEvent.wait(milliseconds(timing.before));
    link.responseEvent.reset();
    link.expect(ResponseKind::NoAnswer);
    link.sendFrame(frame);
    link.responseEvent.wait(milliseconds(timing.after));
    releaseLink(link);
}

WriteOutcome writeTransaction(StationLink& link, std::span<const CommandFrame> frames,
                              const WriteOptions& options) {
    if (link.connected.load() == 0)
        return WriteOutcome::NotConnected;

    link.responseEvent.wait(milliseconds(options.linkWaitMs));
    link.responseEvent.reset();
    link.expect(ResponseKind::ScreenStatus);
    link.sendFrame(CommandFrame(cmd::ScreenStatus));
    // Waiting for the status answer instead of a fixed 50 ms keeps a station
    // that answers a little late from being written while it shows a menu.
    // A station that never answers is still written to, with the flag as the
    // last status answer left it.
    link.responseEvent.wait(milliseconds(kScreenStatusWaitMs));

    const int away =
        options.awayFlag ? options.awayFlag->load() : link.answers().awayFromMainScreen();
    if (away != 0) {
        releaseLink(link);
        return WriteOutcome::AwayFromMainScreen;
    }

    link.expect(ResponseKind::NoAnswer);
    for (const CommandFrame& frame : frames) {
        link.sendFrame(frame);
        pause(50);
    }
    if (options.sendEndOfWrite) {
        link.sendFrame(CommandFrame(cmd::EndOfWrite));
        pause(50);
    }
    link.responseEvent.wait(milliseconds(options.closingWaitMs));
    releaseLink(link);
    return WriteOutcome::Sent;
}

} // namespace vellumet
