#include "device/station_link.h"
#include "device/station_snapshot.h"
#include "device/trace_transport.h"
#include "sim/virtual_station.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

using namespace vellumet;

std::string tracePath() {
    return (std::filesystem::temp_directory_path() / "vellumet_trace_bench.txt").string();
}

// Millions of lines per second would fill a disk; the per-report benchmarks
// write to the null device, so the background write still costs its system calls.
const char* const kNullDevice = "/dev/null";

Block sampleReport() {
    Block b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return b;
}

// Formatting one line alone.
void BM_FormatLine(benchmark::State& state) {
    const Block report = sampleReport();
    char line[TraceLog::kMaxLineLength];
    std::uint64_t ms = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TraceLog::formatLine(line, ms++, TraceLog::Direction::In,
                                                      report.data(), report.size()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormatLine);

// What a traced report costs the thread that reads or writes it: timestamp,
// formatting and append under the lock; the file is written in the background.
void BM_RecordLine(benchmark::State& state) {
    TraceLog log(kNullDevice);
    const Block report = sampleReport();
    for (auto _ : state)
        log.record(TraceLog::Direction::In, report.data(), report.size());
}
BENCHMARK(BM_RecordLine);

// One frame out and its answer back through the handles, station answering
// at once, with and without the trace around the transport.
void BM_RoundTrip(benchmark::State& state) {
    const bool traced = state.range(0) != 0;
    sim::Profile profile;
    profile.faults.reportMs = 0;
    auto station = std::make_shared<sim::VirtualStation>(profile);
    std::shared_ptr<Transport> transport = std::make_shared<sim::VirtualTransport>(station);
    if (traced)
        transport = std::make_shared<TracingTransport>(transport, kNullDevice);
    auto writer = transport->open(sim::VirtualTransport::kPath);
    auto reader = transport->open(sim::VirtualTransport::kPath);
    std::uint8_t frame[65] = {0, 0x7B, cmd::Settings, 0x40, 0x7D};
    Block answer{};
    std::size_t sent = 0;
    for (auto _ : state) {
        writer->write(frame, sizeof frame);
        benchmark::DoNotOptimize(reader->read(answer.data(), answer.size(), 1000));
        // The station keeps every frame it receives; keep that list from growing.
        if (++sent % 4096 == 0)
            station->clearReceived();
    }
    state.SetLabel(traced ? "traced" : "plain");
}
BENCHMARK(BM_RoundTrip)->Arg(0)->Arg(1);

// A full polling refresh (eight queries) through StationLink with its 10 ms
// pause per frame and 1 ms per report: the trace must not show here.
void BM_RefreshAll(benchmark::State& state) {
    const bool traced = state.range(0) != 0;
    auto station = std::make_shared<sim::VirtualStation>();
    std::shared_ptr<Transport> transport = std::make_shared<sim::VirtualTransport>(station);
    if (traced)
        transport = std::make_shared<TracingTransport>(transport, tracePath());
    StationLink link(transport);
    link.openStation();
    for (auto _ : state)
        benchmark::DoNotOptimize(readStation(link));
    state.SetLabel(traced ? "traced" : "plain");
    std::error_code ec;
    std::filesystem::remove(tracePath(), ec);
}
BENCHMARK(BM_RefreshAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
