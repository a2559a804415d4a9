#include "main_session.h"

namespace vellumet::ui {

MainSession::MainSession(StationLink& link, PollTiming timing)
    : link_(link), poll_(PollLoop::Hooks{[this] { return connected(); }, [this] { refresh(); },
                                         [this] {
                                             if (repaint_)
                                                 repaint_();
                                         }},
                         timing) {}

MainSession::~MainSession() {
    shutdown();
}

bool MainSession::openAtStart() {
    return link_.openStation();
}

void MainSession::startPolling(std::function<void()> repaint) {
    repaint_ = std::move(repaint);
    poll_.start();
}

void MainSession::shutdown() {
    if (shutDown_.exchange(true))
        return;
    pollStop_.request_stop(); // a refresh in any of its waits returns at once
    link_.cancelWaits();
    poll_.stop();
}

std::optional<bool> MainSession::handleDeviceChange(DeviceChange change) {
    const bool wasConnected = connected();
    if ((change == DeviceChange::Arrival && wasConnected) ||
        (change == DeviceChange::Removal && !wasConnected))
        return std::nullopt;

    if (link_.openStation())
        return true;
    markRemoved();
    return false;
}

std::optional<bool> MainSession::rescan() {
    if (connected()) {
        if (link_.stationStillListed())
            return std::nullopt;
        return handleDeviceChange(DeviceChange::Removal);
    }
    if (!link_.stationPresent())
        return std::nullopt;
    return handleDeviceChange(DeviceChange::Arrival);
}

void MainSession::markRemoved() {
    link_.markStationGone();
    StationSnapshot gone = *snapshot();
    gone.readings = Readings{}; // every reading missing
    publish(std::move(gone));
}

void MainSession::refresh() {
    readStation(link_, pollStop_.get_token(), [this](RefreshStep, const StationSnapshot& sofar) {
        StationSnapshot next = snapshot()->updatedWith(sofar);
        if (!link_.connected())
            next.readings = Readings{}; // a removal meanwhile: nothing is shown as current
        publish(std::move(next));
    });
}

std::shared_ptr<const StationSnapshot> MainSession::snapshot() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

void MainSession::publish(StationSnapshot next) {
    auto shared = std::make_shared<const StationSnapshot>(std::move(next));
    std::lock_guard lock(snapshotMutex_);
    snapshot_ = std::move(shared);
}

} // namespace vellumet::ui
