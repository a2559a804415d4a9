#pragma once

#include "dialog_copies.h"
#include "poll_loop.h"

#include "device/readings.h"
#include "device/station_link.h"
#include "device/transport.h"

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <stop_token>

namespace vellumet::ui {

// The main window's logic without the window: the live readings, the copies
// for the dialogs, the polling loop and the connection rules. The window
// forwards device changes here and shows what it reports.
class MainSession {
public:
    MainSession(StationLink& link, PollTiming timing = {});
    ~MainSession();
    MainSession(const MainSession&) = delete;
    MainSession& operator=(const MainSession&) = delete;

    // Opens the station (the first scan also starts the reader thread).
    // Returns whether it was found.
    bool openAtStart();

    // Starts the polling thread; repaint is called after every pass and after
    // every refresh, on the polling thread.
    void startPolling(std::function<void()> repaint);

    // Ends the polling thread promptly, even while the station is silent: the
    // refresh is cancelled inside its wait. Safe to call twice.
    void shutdown();

    // An arrival is looked at only while not connected, a removal only while
    // connected; anything else is ignored (nullopt). Otherwise the station is
    // scanned for again and the new connection state returned; when it is gone,
    // every reading becomes NO_VALUE and waiting senders are released.
    std::optional<bool> handleDeviceChange(DeviceChange change);

    // For monitors that cannot say what changed (periodic re-scan, lost
    // events): looks at the device list and reports the change it implies.
    std::optional<bool> rescan();

    // One refresh of all station data: the four queries and the copies.
    void refresh();

    bool connected() const { return link_.connected(); }
    bool fahrenheit() const { return link_.fahrenheit(); }
    Readings readings() const;
    std::array<float, kReadingSlots> temperatureSlots() const;
    std::array<std::int32_t, kReadingSlots> humiditySlots() const;

    // Hands the Calibration dialog all nine readings, as the menu command does
    // before it opens the dialog.
    void copyReadingsToCalib();

    DialogCopies& copies() { return copies_; }
    const DialogCopies& copies() const { return copies_; }
    PollLoop& poll() { return poll_; }
    StationLink& link() { return link_; }

private:
    void storeReadings(const Readings& readings);
    void markRemoved();

    StationLink& link_;
    DialogCopies copies_;
    std::array<std::atomic<float>, kReadingSlots> temperatures_;
    std::array<std::atomic<std::int32_t>, kReadingSlots> humidities_;
    std::function<void()> repaint_;
    std::stop_source pollStop_;
    PollLoop poll_;
    std::atomic<bool> shutDown_{false};
};

} // namespace vellumet::ui
