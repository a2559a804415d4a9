// Fetches a 1 MiB card file from the virtual station at its default pace (one
// report per millisecond) with the station's own pauses, and compares the
// rate with the protocol's floor: per 4096-byte chunk, 67 reports of 62
// bytes, the 10 ms after the request frame and the 10 ms between chunks.
//   build/bench/card_fetch_bench [RUNS]
#include "device/station_link.h"
#include "sdcard/card_transfer.h"
#include "sim/virtual_station.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace vellumet;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 2;
    QTemporaryDir card;
    std::string content = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    for (int i = 0; content.size() < (1u << 20); ++i)
        content += "2026-12-01 " + std::to_string(10 + i % 14) + ":" + std::to_string(10 + i % 50) +
                   ":00,21.5,45,9.1,21.5\n";
    content.resize(1u << 20);
    std::ofstream(QDir(card.path()).filePath("BIG.CSV").toStdString(), std::ios::binary) << content;

    const double floorKBs = 4096.0 / (67 + 10 + 10); // bytes per ms = KB/s
    std::printf("file %zu bytes; protocol floor %.2f KB/s\n", content.size(), floorKBs);
    int status = 0;
    for (int run = 0; run < runs; ++run) {
        sim::Profile profile;
        profile.sdDir = card.path().toStdString();
        auto station = std::make_shared<sim::VirtualStation>(profile);
        StationLink link(std::make_shared<sim::VirtualTransport>(station));
        if (!link.openStation())
            return 1;
        QTemporaryDir data;
        Result<sdcard::CardListing> listing = sdcard::requestFileList(link);
        if (!listing || listing->entries.empty())
            return 1;
        sdcard::TransferRequest request{listing->entries.front(), data.path()};
        Operation<sdcard::TransferOutcome> op([&](const OperationContext& context) {
            return sdcard::transferFile(link, request, context);
        });
        const auto start = std::chrono::steady_clock::now();
        Result<sdcard::TransferOutcome> outcome = op.run();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        QFile copy(QDir(data.path()).filePath("BIG.CSV"));
        copy.open(QIODevice::ReadOnly);
        const bool identical = copy.readAll().replace("\r\n", "\n").toStdString() == content;
        const double rate = static_cast<double>(content.size()) / ms;
        std::printf("run %d: %.2f s, %.2f KB/s, %.3f of the floor, %s, %s\n", run + 1, ms / 1000,
                    rate, rate / floorKBs, outcome && outcome->complete() ? "complete" : "FAILED",
                    identical ? "byte-identical" : "NOT IDENTICAL");
        if (!identical || rate < 0.95 * floorKBs)
            status = 1;
    }
    return status;
}
