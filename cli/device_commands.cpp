#include "command.h"
#include "commands.h"
#include "output.h"

#include "app/data_folder.h"
#include "app/transport_factory.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace vellumet::cli {

namespace {

struct FoundStation {
    DeviceInfo info;
    bool openable = false;
    std::string problem; // why it cannot be opened
};

std::vector<FoundStation> findStations(Invocation& inv) {
    // Every station, whatever --device names; no trace, nothing is exchanged.
    const GlobalOptions& options = inv.options();
    const TransportOptions transportOptions{options.simulate, options.profilePath, {}, {}, {}};
    Result<std::shared_ptr<Transport>> transport = inv.env().makeTransport
                                                       ? inv.env().makeTransport(transportOptions)
                                                       : makeTransport(transportOptions);
    if (!transport)
        fail(transport.error());
    std::vector<FoundStation> found;
    for (const DeviceInfo& info : (*transport)->enumerate(kStationVendorId, kStationProductId)) {
        FoundStation station{info, false, {}};
        auto handle = (*transport)->tryOpen(info.path);
        station.openable = static_cast<bool>(handle);
        if (!handle)
            station.problem = handle.error().code == Errc::AccessDenied ? "permission denied"
                                                                        : "cannot be opened";
        found.push_back(std::move(station));
    }
    return found;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width)
        text += std::string(width - text.size(), ' ');
    return text;
}

} // namespace

int runDevices(Invocation& inv) {
    if (!inv.args().empty())
        throw UsageError("devices takes no arguments, got '" + inv.args().front() + "'");
    const std::vector<FoundStation> stations = findStations(inv);
    const std::string& chosen = inv.options().device;
    switch (inv.format()) {
    case Format::Text: {
        if (stations.empty()) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x:%04x", kStationVendorId, kStationProductId);
            inv.output = std::string("No station found (USB ") + ids + ")\n";
            break;
        }
        std::size_t pathWidth = 4;
        std::size_t serialWidth = 6;
        std::size_t productWidth = 7;
        for (const FoundStation& s : stations) {
            pathWidth = std::max(pathWidth, s.info.path.size());
            serialWidth = std::max(serialWidth, s.info.serial.size());
            productWidth = std::max(productWidth, s.info.product.size());
        }
        std::string text = padded("Path", pathWidth) + "  " + padded("Serial", serialWidth) + "  " +
                           padded("Product", productWidth) + "  Access\n";
        for (const FoundStation& s : stations) {
            std::string access = s.openable ? "ok" : s.problem;
            if (!chosen.empty() && matchesDevice(s.info, chosen))
                access += " (chosen by --device)";
            text += padded(terminalText(s.info.path), pathWidth) + "  " +
                    padded(terminalText(s.info.serial), serialWidth) + "  " +
                    padded(terminalText(s.info.product), productWidth) + "  " + access + '\n';
        }
        inv.output = text;
        break;
    }
    case Format::Json: {
        QJsonArray list;
        for (const FoundStation& s : stations) {
            QJsonObject o{{"path", QString::fromStdString(s.info.path)},
                          {"serial", QString::fromStdString(s.info.serial)},
                          {"product", QString::fromStdString(s.info.product)},
                          {"openable", s.openable},
                          {"chosen", !chosen.empty() && matchesDevice(s.info, chosen)}};
            if (!s.openable)
                o["problem"] = QString::fromStdString(s.problem);
            list.append(o);
        }
        inv.output = jsonText(QJsonObject{{"devices", list}}, false);
        break;
    }
    case Format::Csv: {
        std::string text = "path,serial,product,openable,chosen,problem\n";
        for (const FoundStation& s : stations)
            text += csvField(s.info.path) + ',' + csvField(s.info.serial) + ',' +
                    csvField(s.info.product) + ',' + (s.openable ? "true" : "false") + ',' +
                    (!chosen.empty() && matchesDevice(s.info, chosen) ? "true" : "false") + ',' +
                    csvField(s.problem) + '\n';
        inv.output = text;
        break;
    }
    }
    return kExitOk;
}

} // namespace vellumet::cli
