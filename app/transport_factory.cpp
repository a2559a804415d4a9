#include "transport_factory.h"

#include "device/hidapi_transport.h"
#include "device/trace_transport.h"
#include "sim/virtual_station.h"

namespace vellumet {

Result<std::shared_ptr<Transport>> makeTransport(const TransportOptions& options) {
    std::shared_ptr<Transport> transport;
    if (options.simulate) {
        sim::Profile profile;
        if (!options.profilePath.empty()) {
            auto loaded = sim::loadProfile(options.profilePath);
            if (!loaded)
                return loaded.error();
            profile = std::move(*loaded);
        }
        transport = std::make_shared<sim::VirtualTransport>(
            std::make_shared<sim::VirtualStation>(std::move(profile)));
    } else {
        transport = std::make_shared<HidapiTransport>();
    }
    if (options.tracePath.empty())
        return transport;
    auto traced = std::make_shared<TracingTransport>(transport, options.tracePath);
    if (!traced->traceOk())
        return makeError(Errc::Io, options.tracePath + ": cannot create the trace file");
    return std::shared_ptr<Transport>(std::move(traced));
}

} // namespace vellumet
