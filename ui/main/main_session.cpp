#include "main_session.h"

#include "device/station_queries.h"

namespace vellumet::ui {

MainSession::MainSession(StationLink& link, PollTiming timing)
    : link_(link), poll_(PollLoop::Hooks{[this] { return connected(); }, [this] { refresh(); },
                                         [this] {
                                             if (repaint_)
                                                 repaint_();
                                         }},
                         timing) {
    for (auto& t : temperatures_)
        t.store(NO_VALUE_F);
    for (auto& h : humidities_)
        h.store(NO_VALUE);
}

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
    storeReadings(lastReadings(link_));
}

void MainSession::refresh() {
    const AnswerStore& answers = link_.answers();
    refreshStation(link_, pollStop_.get_token(), [&](RefreshStep step) {
        switch (step) {
        case RefreshStep::StationInfo:
            copies_.setSettingInfo(answers.intervalAnswer(), answers.identText(),
                                   answers.settingsAnswer());
            break;
        case RefreshStep::AlarmLimits:
            copies_.setAlarm({answers.alarmAnswer(1), answers.alarmAnswer(2),
                              answers.alarmAnswer(3), answers.alarmAnswer(4)});
            break;
        case RefreshStep::Calibration:
            copies_.setCalibrationOffsets(answers.calibrationAnswer());
            break;
        case RefreshStep::CurrentReadings:
            storeReadings(lastReadings(link_));
            break;
        }
    });
}

void MainSession::storeReadings(const Readings& readings) {
    for (std::size_t i = 0; i < readings.size(); ++i) {
        temperatures_[i].store(readings[i].temperature);
        humidities_[i].store(readings[i].humidity);
    }
}

Readings MainSession::readings() const {
    Readings out;
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].temperature = temperatures_[i].load();
        out[i].humidity = humidities_[i].load();
    }
    return out;
}

std::array<float, kReadingSlots> MainSession::temperatureSlots() const {
    std::array<float, kReadingSlots> out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = temperatures_[i].load();
    return out;
}

std::array<std::int32_t, kReadingSlots> MainSession::humiditySlots() const {
    std::array<std::int32_t, kReadingSlots> out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = humidities_[i].load();
    return out;
}

void MainSession::copyReadingsToCalib() {
    copies_.setCalibReadings(temperatureSlots(), humiditySlots());
}

} // namespace vellumet::ui
