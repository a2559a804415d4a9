// The record store and the records list over a 1,000,000-line log:
// readSeries of the whole window, and the list's memory beyond the file's text.
// Run by hand: build/bench/record_bench [LOG] (make_bench_log writes one).
#include "sdcard/log_import.h"
#include "store/record_schema.h"
#include "store/record_store.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

using namespace vellumet;

namespace {

QString logPath = QStringLiteral("/tmp/bench_1m.csv");

long residentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

struct Imported {
    QTemporaryDir dir;
    std::string database;
    Result<sdcard::ImportSummary> summary = makeError(Errc::Io);
    long residentGrowth = 0;

    Imported() {
        database = QFile::encodeName(dir.filePath("7421.mdb")).toStdString();
        (void)store::ensureRecordSchema(database);
        sdcard::ImportOptions options;
        options.logPath = logPath;
        options.databasePath = dir.filePath("7421.mdb");
        options.keepRows = true;
        const long before = residentBytes();
        summary = sdcard::importLog(options, OperationContext({}, {}));
        residentGrowth = residentBytes() - before;
    }
};

Imported& imported() {
    static Imported data;
    return data;
}

void BM_ReadSeriesWholeLog(benchmark::State& state) {
    Imported& data = imported();
    if (!data.summary) {
        state.SkipWithError(data.summary.error().text().c_str());
        return;
    }
    store::RecordStore store;
    if (!store.openDatabase(data.database)) {
        state.SkipWithError("cannot open");
        return;
    }
    std::int64_t n = 0;
    for (auto _ : state) {
        n = *store.countSeries(-1e9, 1e9, store::SeriesColumn::Temperature);
        (void)store.selectSeries(-1e9, 1e9, store::SeriesColumn::Temperature);
        Result<store::Series> series = store.readSeries(n);
        benchmark::DoNotOptimize(series);
    }
    state.counters["rows"] = static_cast<double>(n);
}
BENCHMARK(BM_ReadSeriesWholeLog)->Unit(benchmark::kMillisecond)->Iterations(5);

// Not a timing: the list's bytes per row beyond the file's text, counted and
// as the process's resident memory grew during the import.
void BM_RecordListMemory(benchmark::State& state) {
    Imported& data = imported();
    if (!data.summary || !data.summary->table) {
        state.SkipWithError("no import");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(data.summary->table->rowCount());
    const auto& table = *data.summary->table;
    const double rows = static_cast<double>(table.rowCount());
    state.counters["heldBytesPerRow"] = static_cast<double>(table.overheadBytes()) / rows;
    state.counters["residentBeyondTextPerRow"] =
        static_cast<double>(data.residentGrowth - static_cast<long>(table.textBytes())) / rows;
}
BENCHMARK(BM_RecordListMemory)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1)
        logPath = QString::fromLocal8Bit(argv[1]);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
