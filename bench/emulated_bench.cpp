// The hidapi transport through an emulated /dev/hidraw node (umockdev's
// testbed, the virtual station behind it) against the same station in
// process, for the live refresh and for a 1 MiB card fetch:
//   build/bench/emulated_bench live|fetch emulated|virtual [ROUNDS]
// Each run prints its own figure against the protocol's floor; run the two
// kinds side by side to see what the transport adds.
#include "device/hidapi_transport.h"
#include "device/station_link.h"
#include "device/station_snapshot.h"
#include "sdcard/card_transfer.h"
#include "sim/virtual_station.h"
#include "tests/emulated/emulated_station.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

using namespace vellumet;

namespace {

double elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

// Eight queries, each costing at least the station's 10 ms per frame.
int benchLive(StationLink& link, int rounds) {
    const double floorMs = 8 * 10.0;
    readStation(link); // the first one opens everything up
    const auto start = std::chrono::steady_clock::now();
    int complete = 0;
    for (int i = 0; i < rounds; ++i)
        complete += readStation(link).complete() ? 1 : 0;
    const double perRefresh = elapsedMs(start) / rounds;
    std::printf("live refresh: %.2f ms (floor %.0f ms), %.3f of the floor, %d of %d complete\n",
                perRefresh, floorMs, perRefresh / floorMs, complete, rounds);
    return complete == rounds ? 0 : 1;
}

int benchFetch(StationLink& link, const std::string& content, int rounds) {
    // Per 4096-byte chunk: 67 reports of 62 bytes at 1 ms, the 10 ms after
    // the request frame and the 10 ms between chunks.
    const double floorKBs = 4096.0 / (67 + 10 + 10);
    int status = 0;
    for (int run = 0; run < rounds; ++run) {
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
        const double ms = elapsedMs(start);
        QFile copy(QDir(data.path()).filePath("BIG.CSV"));
        copy.open(QIODevice::ReadOnly);
        const bool identical = copy.readAll().replace("\r\n", "\n").toStdString() == content;
        const double rate = static_cast<double>(content.size()) / ms;
        std::printf("fetch %d: %.2f s, %.2f KB/s (floor %.2f), %.3f of the floor, %s, %s\n",
                    run + 1, ms / 1000, rate, floorKBs, rate / floorKBs,
                    outcome && outcome->complete() ? "complete" : "FAILED",
                    identical ? "byte-identical" : "NOT IDENTICAL");
        if (!identical || !outcome || !outcome->complete())
            status = 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const bool fetch = argc > 1 && std::strcmp(argv[1], "fetch") == 0;
    const bool emulated = argc > 2 && std::strcmp(argv[2], "emulated") == 0;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : (fetch ? 1 : 20);
    if (emulated) {
        emulated::prepareProcess(argc, argv);
        if (!emulated::unavailableReason().empty()) {
            std::fprintf(stderr, "emulated_bench: %s\n", emulated::unavailableReason().c_str());
            return 2;
        }
    }
    QCoreApplication app(argc, argv);

    QTemporaryDir card;
    std::string content = "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n";
    sim::Profile profile;
    if (fetch) {
        for (int i = 0; content.size() < (1u << 20); ++i)
            content += "2026-12-01 " + std::to_string(10 + i % 14) + ":" +
                       std::to_string(10 + i % 50) + ":00,21.5,45,9.1,21.5\n";
        content.resize(1u << 20);
        std::ofstream(QDir(card.path()).filePath("BIG.CSV").toStdString(), std::ios::binary)
            << content;
        profile.sdDir = card.path().toStdString();
    }

    std::optional<emulated::EmulatedBus> bus;
    std::shared_ptr<Transport> transport;
    if (emulated) {
        bus.emplace();
        bus->addStation(
            {.serial = "BENCH1", .product = "USB Thermo-Hygrometer", .profile = profile});
        transport = std::make_shared<HidapiTransport>();
    } else {
        transport =
            std::make_shared<sim::VirtualTransport>(std::make_shared<sim::VirtualStation>(profile));
    }
    int status = 1;
    {
        StationLink link(transport);
        if (!link.openStation()) {
            std::fprintf(stderr, "emulated_bench: no station\n");
            return 1;
        }
        status = fetch ? benchFetch(link, content, rounds) : benchLive(link, rounds);
    }
    return status;
}
