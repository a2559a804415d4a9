#pragma once

#include "poll_loop.h"

#include "device/readings.h"
#include "device/station_link.h"
#include "device/station_snapshot.h"
#include "device/transport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace vellumet::ui {

// The main window's logic without the window: the station's state as last
// read, the polling loop and the connection rules. The window
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

    // One reading of the whole station. What came replaces the snapshot's
    // part after each step; a part that did not come keeps what it held.
    void refresh();

    bool connected() const { return link_.connected(); }
    bool fahrenheit() const { return link_.fahrenheit(); }
    Readings readings() const { return snapshot()->readings; }
    // The station as last read, for the window and its dialogs; never null.
    // Replaced as a whole, so a holder's copy never changes under it.
    std::shared_ptr<const StationSnapshot> snapshot() const;

    PollLoop& poll() { return poll_; }
    StationLink& link() { return link_; }

private:
    void publish(StationSnapshot next);
    void markRemoved();

    StationLink& link_;
    mutable std::mutex snapshotMutex_;
    std::shared_ptr<const StationSnapshot> snapshot_ = std::make_shared<const StationSnapshot>();
    std::function<void()> repaint_;
    std::stop_source pollStop_;
    PollLoop poll_;
    std::atomic<bool> shutDown_{false};
};

} // namespace vellumet::ui
