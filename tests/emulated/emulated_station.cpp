#include "emulated_station.h"

#include <umockdev.h>

#include <linux/capability.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace vellumet::emulated {

namespace {

std::string& reasonStore() {
    static std::string reason;
    return reason;
}

bool preloadMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libumockdev-preload") != std::string::npos)
            return true;
    return false;
}

// Root may open any file; the refused node must refuse this process too.
void dropFileAccessOverride() {
    if (geteuid() != 0)
        return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        prctl(PR_CAPBSET_DROP, cap, 0, 0, 0); // also for the programs it starts
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    const unsigned mask = ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    data[0].effective &= mask;
    data[0].permitted &= mask;
    data[0].inheritable &= mask;
    syscall(SYS_capset, &header, data);
}

// The station's report descriptor: one vendor-defined 64-byte input and
// output report, without report ids.
const std::uint8_t kReportDescriptor[] = {
    0x06, 0x00, 0xFF, // usage page (vendor defined)
    0x09, 0x01,       // usage 1
    0xA1, 0x01,       // collection (application)
    0x15, 0x00,       //   logical minimum 0
    0x26, 0xFF, 0x00, //   logical maximum 255
    0x75, 0x08,       //   report size 8
    0x95, 0x40,       //   report count 64
    0x09, 0x01,       //   usage 1
    0x81, 0x02,       //   input (data, variable, absolute)
    0x09, 0x01,       //   usage 1
    0x91, 0x02,       //   output (data, variable, absolute)
    0xC0,             // end collection
};

// Opened past the preload's redirection of /dev: the rig's own descriptors
// are the real pty, not the emulated nodes.
int openUnredirected(const std::string& path, int flags) {
    return ::open(("/" + path).c_str(), flags | O_CLOEXEC | O_NOCTTY);
}

} // namespace

void prepareProcess(int argc, char** argv) {
    (void)argc;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer's runtime must come first of all libraries; the preload cannot.
    (void)argv;
    reasonStore() = "umockdev's preload cannot be loaded beside the sanitizer's runtime";
    return;
#endif
    if (!preloadMapped()) {
        if (std::getenv("VELLUMET_RIG_PRELOADED") != nullptr) {
            reasonStore() = "umockdev's preload (libumockdev-preload.so.0) did not load; "
                            "is the umockdev package installed?";
            return;
        }
        std::string preload = "libumockdev-preload.so.0";
        if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
            preload += std::string(":") + old;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        setenv("VELLUMET_RIG_PRELOADED", "1", 1);
        execv("/proc/self/exe", argv);
        reasonStore() =
            std::string("cannot run again under umockdev's preload: ") + std::strerror(errno);
        return;
    }
    dropFileAccessOverride();
}

const std::string& unavailableReason() {
    return reasonStore();
}

// --- EmulatedStation ---

EmulatedStation::EmulatedStation(EmulatedBus& bus, int index, Options options)
    : bus_(bus), index_(index), options_(std::move(options)),
      station_(std::make_shared<sim::VirtualStation>(options_.profile)) {
    master_ = openUnredirected("/dev/ptmx", O_RDWR);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        std::abort();
    slaveName_ = ptsname(master_);
    slave_ = openUnredirected(slaveName_, O_RDWR | O_NONBLOCK);
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);

    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedStation::onIoctl), this);
    g_signal_connect(handler_, "handle-read", G_CALLBACK(&EmulatedStation::onRead), this);
    g_signal_connect(handler_, "handle-write", G_CALLBACK(&EmulatedStation::onWrite), this);
    pump_ = std::thread([this] { pump(); });
}

EmulatedStation::~EmulatedStation() {
    stop_ = true;
    pump_.join();
    {
        std::lock_guard lock(mutex_);
        if (waitingRead_) {
            umockdev_ioctl_client_complete(waitingRead_, -1, EIO);
            g_object_unref(waitingRead_);
            waitingRead_ = nullptr;
        }
    }
    if (plugged_)
        umockdev_testbed_detach_ioctl(bus_.testbed(), node().c_str(), nullptr);
    g_object_unref(handler_);
    ::close(slave_);
    ::close(master_);
}

std::string EmulatedStation::devicePath(int level) const {
    const std::string port = std::to_string(index_ + 1);
    char hid[32];
    std::snprintf(hid, sizeof hid, "0003:0483:5750.%04X", index_ + 1);
    std::string path = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + port;
    if (level >= 1)
        path += "/1-" + port + ":1.0";
    if (level >= 2)
        path += std::string("/") + hid;
    if (level >= 3)
        path += "/hidraw/hidraw" + std::to_string(index_);
    return path;
}

std::string EmulatedStation::hidrawSysPath() const {
    return devicePath(3);
}

void EmulatedStation::plug() {
    struct stat st {};
    ::stat(("/" + slaveName_).c_str(), &st);
    const std::string dev =
        std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    const std::string raw = "hidraw" + std::to_string(index_);
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "0003:0483:5750.%04X", index_ + 1);
    const auto strip = [](const std::string& p) { return p.substr(4); }; // without "/sys"

    std::ostringstream d;
    d << "P: " << strip(devicePath(0)) << "\n"
      << "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
      << "E: PRODUCT=483/5750/100\n"
      << "A: idVendor=0483\nA: idProduct=5750\nA: bcdDevice=0100\n"
      << "A: manufacturer=Vellumet\nA: product=" << options_.product << "\n"
      << "A: serial=" << options_.serial << "\n"
      << "A: busnum=1\nA: devnum=" << index_ + 2 << "\n\n"
      << "P: " << strip(devicePath(1)) << "\n"
      << "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n"
      << "A: bInterfaceNumber=00\nA: bInterfaceClass=03\n\n"
      << "P: " << strip(devicePath(2)) << "\n"
      << "E: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n"
      << "E: HID_ID=0003:00000483:00005750\n"
      << "E: HID_NAME=Vellumet " << options_.product << "\n"
      << "E: HID_UNIQ=" << options_.serial << "\n"
      << "E: HID_PHYS=usb-0000:00:14.0-" << index_ + 1 << "/input0\n\n"
      << "P: " << strip(devicePath(3)) << "\n"
      << "E: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" << raw << "\n"
      << "A: dev=" << dev << "\n"
      << "L: device=../../../" << hidName << "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bus_.testbed(), d.str().c_str(), &error)) {
        std::fprintf(stderr, "emulated station: %s\n", error ? error->message : "?");
        std::abort();
    }
    umockdev_testbed_set_attribute_binary(
        bus_.testbed(), devicePath(2).c_str(), "report_descriptor",
        const_cast<std::uint8_t*>(kReportDescriptor), sizeof kReportDescriptor);
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        readsFail_ = false;
        holdAfter_ = -1;
        holding_ = false;
        station_->plug();
        generation_ = station_->attach().value_or(0);
        plugged_ = true;
        pointNode();
        signalLocked();
    }
    if (!umockdev_testbed_attach_ioctl(bus_.testbed(), node().c_str(), handler_, &error)) {
        std::fprintf(stderr, "emulated station: %s\n", error ? error->message : "?");
        std::abort();
    }
    for (int level = 0; level <= 3; ++level)
        umockdev_testbed_uevent(bus_.testbed(), devicePath(level).c_str(), "add");
}

void EmulatedStation::unplug() {
    {
        std::lock_guard lock(mutex_);
        plugged_ = false;
        station_->unplug();
        queue_.clear();
        deliverLocked();
        signalLocked();
    }
    for (int level = 3; level >= 0; --level)
        umockdev_testbed_uevent(bus_.testbed(), devicePath(level).c_str(), "remove");
    umockdev_testbed_detach_ioctl(bus_.testbed(), node().c_str(), nullptr);
    for (int level = 3; level >= 0; --level)
        umockdev_testbed_remove_device(bus_.testbed(), devicePath(level).c_str());
    std::error_code ec;
    std::filesystem::remove(bus_.root() + node(), ec);
}

void EmulatedStation::announce(const char* action) {
    umockdev_testbed_uevent(bus_.testbed(), devicePath(3).c_str(), action);
}

void EmulatedStation::pointNode() {
    const std::filesystem::path link = bus_.root() + node();
    std::error_code ec;
    std::filesystem::create_directories(link.parent_path(), ec);
    std::filesystem::remove(link, ec);
    if (denied_) {
        const std::string refused = bus_.root() + "/refused-hidraw" + std::to_string(index_);
        if (!std::filesystem::exists(refused)) {
            std::ofstream(refused).close();
            ::chmod(refused.c_str(), 0);
        }
        std::filesystem::create_symlink(refused, link, ec);
    } else {
        std::filesystem::create_symlink(slaveName_, link, ec);
    }
}

void EmulatedStation::setDenied(bool denied) {
    std::lock_guard lock(mutex_);
    denied_ = denied;
    if (plugged_)
        pointNode();
}

void EmulatedStation::setSilent(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

void EmulatedStation::setReadsFail(bool fail) {
    std::lock_guard lock(mutex_);
    readsFail_ = fail;
    deliverLocked();
    signalLocked();
}

void EmulatedStation::holdAfterReports(int n) {
    std::lock_guard lock(mutex_);
    holdAfter_ = n;
    holding_ = false;
}

void EmulatedStation::injectReport(std::vector<std::uint8_t> report) {
    std::lock_guard lock(mutex_);
    queue_.push_front(std::move(report));
    deliverLocked();
    signalLocked();
}

std::vector<std::vector<std::uint8_t>> EmulatedStation::rawWrites() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<std::vector<std::uint8_t>> EmulatedStation::reportsRead() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

void EmulatedStation::clearLog() {
    std::lock_guard lock(mutex_);
    writes_.clear();
    reads_.clear();
}

void EmulatedStation::pump() {
    while (!stop_) {
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(mutex_);
            if (plugged_)
                generation = generation_;
        }
        if (generation == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        std::uint8_t report[kReportDataSize];
        const int n = station_->readReport(generation, report, sizeof report, 20);
        if (n <= 0) {
            if (n < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        std::lock_guard lock(mutex_);
        if (silent_ || !plugged_)
            continue;
        if (holdAfter_ == 0) {
            holding_ = true;
            continue;
        }
        if (holdAfter_ > 0)
            --holdAfter_;
        queue_.emplace_back(report, report + n);
        deliverLocked();
        signalLocked();
    }
}

void EmulatedStation::deliverLocked() {
    if (!waitingRead_)
        return;
    UMockdevIoctlClient* client = waitingRead_;
    if (readsFail_ || !plugged_) {
        waitingRead_ = nullptr;
        umockdev_ioctl_client_complete(client, -1, EIO);
        g_object_unref(client);
        return;
    }
    if (queue_.empty())
        return;
    waitingRead_ = nullptr;
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::vector<std::uint8_t> report = std::move(queue_.front());
    queue_.pop_front();
    // As the kernel does: at most what the reader asked for; the rest is lost.
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(arg->data_len), report.size());
    umockdev_ioctl_data_update(arg, 0, report.data(), static_cast<int>(n));
    reads_.emplace_back(report.begin(), report.begin() + static_cast<long>(n));
    umockdev_ioctl_client_complete(client, static_cast<long>(n), 0);
    g_object_unref(client);
}

void EmulatedStation::signalLocked() {
    // poll() on the node is the pty's: one byte readable while a read would not block.
    const bool ready = !queue_.empty() || readsFail_ || !plugged_;
    if (ready && !readyByte_) {
        const char byte = 'r';
        if (::write(master_, &byte, 1) == 1)
            readyByte_ = true;
    } else if (!ready && readyByte_) {
        char drain[16];
        while (::read(slave_, drain, sizeof drain) > 0) {
        }
        readyByte_ = false;
    }
}

int EmulatedStation::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    auto* station = static_cast<EmulatedStation*>(self);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const auto answer = [&](const void* value, std::size_t size) {
        GError* error = nullptr;
        UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, size, &error);
        if (!target) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        umockdev_ioctl_data_update(target, 0, static_cast<std::uint8_t*>(const_cast<void*>(value)),
                                   static_cast<int>(size));
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(target);
    };
    {
        std::lock_guard lock(station->mutex_);
        if (!station->plugged_) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
    }
    if (request == HIDIOCGRDESCSIZE) {
        const int size = sizeof kReportDescriptor;
        answer(&size, sizeof size);
    } else if (request == HIDIOCGRDESC) {
        hidraw_report_descriptor descriptor{};
        descriptor.size = sizeof kReportDescriptor;
        std::memcpy(descriptor.value, kReportDescriptor, sizeof kReportDescriptor);
        answer(&descriptor, sizeof descriptor);
    } else if (request == HIDIOCGRAWINFO) {
        hidraw_devinfo info{};
        info.bustype = 3; // BUS_USB
        info.vendor = static_cast<__s16>(0x0483);
        info.product = static_cast<__s16>(0x5750);
        answer(&info, sizeof info);
    } else {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
    }
    return TRUE;
}

int EmulatedStation::onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    auto* station = static_cast<EmulatedStation*>(self);
    std::lock_guard lock(station->mutex_);
    if (station->waitingRead_) { // a second reader at once: not what the program does
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
    }
    station->waitingRead_ = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
    station->deliverLocked();
    station->signalLocked();
    return TRUE;
}

int EmulatedStation::onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    auto* station = static_cast<EmulatedStation*>(self);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::vector<std::uint8_t> bytes(arg->data, arg->data + arg->data_len);
    std::lock_guard lock(station->mutex_);
    station->writes_.push_back(bytes);
    if (!station->plugged_ || station->readsFail_) {
        umockdev_ioctl_client_complete(client, -1, EIO);
        return TRUE;
    }
    // The kernel drops report id 0 before the report goes out; any other
    // first byte goes out as data.
    std::size_t start = !bytes.empty() && bytes[0] == 0 ? 1 : 0;
    Block frame{};
    std::copy_n(bytes.begin() + static_cast<long>(start),
                std::min(frame.size(), bytes.size() - start), frame.begin());
    station->station_->acceptFrame(station->generation_, frame);
    umockdev_ioctl_client_complete(client, static_cast<long>(bytes.size()), 0);
    return TRUE;
}

// --- EmulatedBus ---

EmulatedBus::EmulatedBus() : testbed_(umockdev_testbed_new()) {}

EmulatedBus::~EmulatedBus() {
    stations_.clear();
    g_object_unref(testbed_);
    unsetenv("UMOCKDEV_DIR");
}

EmulatedStation& EmulatedBus::addStation(EmulatedStation::Options options, bool plugged) {
    const int index = static_cast<int>(stations_.size());
    stations_.push_back(std::make_unique<EmulatedStation>(*this, index, std::move(options)));
    if (plugged)
        stations_.back()->plug();
    return *stations_.back();
}

std::string EmulatedBus::root() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string root(dir);
    g_free(dir);
    return root;
}

} // namespace vellumet::emulated
