#pragma once

#include "device/station_link.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

class QSocketNotifier;

namespace vellumet::ui {

// Tells the main window when an HID device may have come or gone, always on
// the window's thread:
// - a libudev monitor on the hidraw subsystem where libudev is there;
// - a periodic re-scan where no udev daemon runs (containers, other systems),
//   since the monitor may then never hear a thing;
// - the transport's own plug and unplug reports (the virtual station).
class DeviceMonitor : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool useUdev = true;
        std::chrono::milliseconds rescanInterval{2000};
    };

    DeviceMonitor(StationLink& link, Options options, QObject* parent = nullptr);
    ~DeviceMonitor() override;

    bool usingUdev() const { return udevActive_; }
    bool periodicRescan() const { return timer_.isActive(); }

    // The window's title: the program's name, and the serial number of the
    // open station when more than one station is plugged in.
    static QString windowTitle(const StationLink& link);

    // Reports a change from any thread (the link's reader uses it when the
    // station stops answering reads).
    void post(DeviceChange change);

signals:
    void deviceChanged(vellumet::DeviceChange change);
    // Something may have changed but the monitor cannot say what: look at the
    // device list (periodic re-scan, or udev events lost to a full buffer).
    void rescanRequested();

private:
    bool startUdev();
    void stopUdev();
    void drainUdev();

    StationLink& link_;
    QTimer timer_;
    bool udevActive_ = false;
    struct Udev;
    std::unique_ptr<Udev> udev_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vellumet::ui
