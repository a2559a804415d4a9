#include "device_monitor.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef VELLUMET_HAVE_UDEV
#include <libudev.h>
#include <unistd.h>
#endif

namespace vellumet::ui {

struct DeviceMonitor::Udev {
#ifdef VELLUMET_HAVE_UDEV
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    ~Udev() {
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
#endif
};

DeviceMonitor::DeviceMonitor(StationLink& link, Options options, QObject* parent)
    : QObject(parent), link_(link) {
    if (options.useUdev)
        udevActive_ = startUdev();
    bool daemon = false;
#ifdef VELLUMET_HAVE_UDEV
    daemon = access("/run/udev/control", F_OK) == 0;
#endif
    if (!udevActive_ || !daemon) {
        timer_.setInterval(options.rescanInterval);
        connect(&timer_, &QTimer::timeout, this, &DeviceMonitor::rescanRequested);
        timer_.start();
    }
    // The listener may run on any thread; the change is handed over queued.
    link_.setChangeListener([this](DeviceChange change) { post(change); });
}

DeviceMonitor::~DeviceMonitor() {
    // Waits for a notification in progress, so none can reach a dead monitor.
    link_.setChangeListener(nullptr);
    stopUdev();
}

void DeviceMonitor::post(DeviceChange change) {
    QMetaObject::invokeMethod(
        this, [this, change] { emit deviceChanged(change); }, Qt::QueuedConnection);
}

QString DeviceMonitor::windowTitle(const StationLink& link) {
    const QString name = QStringLiteral("Vellumet");
#ifdef VELLUMET_HAVE_UDEV
    const std::string open = link.connected() ? link.devicePath() : std::string();
    udev* context = udev_new();
    if (!context || open.empty()) {
        if (context)
            udev_unref(context);
        return name;
    }
    int stations = 0;
    QString serial;
    udev_enumerate* list = udev_enumerate_new(context);
    udev_enumerate_add_match_subsystem(list, "hidraw");
    udev_enumerate_scan_devices(list);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list)) {
        udev_device* raw = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (!raw)
            continue;
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(raw, "usb", "usb_device");
        const char* vendor = usb ? udev_device_get_sysattr_value(usb, "idVendor") : nullptr;
        const char* product = usb ? udev_device_get_sysattr_value(usb, "idProduct") : nullptr;
        if (vendor && product && std::strtoul(vendor, nullptr, 16) == kStationVendorId &&
            std::strtoul(product, nullptr, 16) == kStationProductId) {
            ++stations;
            const char* node = udev_device_get_devnode(raw);
            const char* number = udev_device_get_sysattr_value(usb, "serial");
            if (node && open == node && number)
                serial = QString::fromUtf8(number);
        }
        udev_device_unref(raw);
    }
    udev_enumerate_unref(list);
    udev_unref(context);
    if (stations > 1 && !serial.isEmpty())
        return name + QStringLiteral(" \u2014 ") + serial;
#else
    (void)link;
#endif
    return name;
}

bool DeviceMonitor::startUdev() {
#ifdef VELLUMET_HAVE_UDEV
    udev_ = std::make_unique<Udev>();
    udev_->context = udev_new();
    if (!udev_->context)
        return false;
    udev_->monitor = udev_monitor_new_from_netlink(udev_->context, "udev");
    if (!udev_->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(udev_->monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(udev_->monitor) < 0) {
        udev_.reset();
        return false;
    }
    udev_monitor_set_receive_buffer_size(udev_->monitor, 1 << 20);
    const int fd = udev_monitor_get_fd(udev_->monitor);
    if (fd < 0) {
        udev_.reset();
        return false;
    }
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { drainUdev(); });
    return true;
#else
    return false;
#endif
}

void DeviceMonitor::stopUdev() {
    delete notifier_;
    notifier_ = nullptr;
    udev_.reset();
}

void DeviceMonitor::drainUdev() {
#ifdef VELLUMET_HAVE_UDEV
    if (!udev_ || !udev_->monitor)
        return;
    // Take every pending event now: the notifier fires once for a burst.
    bool lost = false;
    bool changed = false;
    for (;;) {
        errno = 0;
        udev_device* device = udev_monitor_receive_device(udev_->monitor);
        if (!device) {
            lost = errno == ENOBUFS;
            if (errno == EINTR)
                continue;
            break;
        }
        const char* action = udev_device_get_action(device);
        if (action && std::strcmp(action, "add") == 0)
            emit deviceChanged(DeviceChange::Arrival);
        else if (action && std::strcmp(action, "remove") == 0)
            emit deviceChanged(DeviceChange::Removal);
        else if (action && std::strcmp(action, "change") == 0)
            changed = true; // "udevadm trigger" after a new rule: access may have changed
        udev_device_unref(device);
    }
    if (lost || changed)
        emit rescanRequested();
#endif
}

} // namespace vellumet::ui
