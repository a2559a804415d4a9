#pragma once

#include "sim/virtual_station.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace vellumet::emulated {

// Call first thing in main(): runs the test binary again under umockdev's
// preload when it is not yet, and takes away root's licence to open any file,
// so that a node the rig refuses is refused to this process and its children
// as to an ordinary user. Returns normally only when the rig can run, or with
// the reason it cannot in unavailableReason().
void prepareProcess(int argc, char** argv);
// Empty when the rig can run here; otherwise why not (for GTEST_SKIP).
const std::string& unavailableReason();

class EmulatedBus;

// One USB station 0483:5750 with its interface, hid and hidraw devices in the
// testbed, the virtual station answering behind its /dev/hidrawN node one
// report per read, as a hidraw node hands them out.
class EmulatedStation {
public:
    struct Options {
        std::string serial = "EM0001";
        std::string product = "USB Thermo-Hygrometer";
        sim::Profile profile{};
    };

    EmulatedStation(EmulatedBus& bus, int index, Options options);
    ~EmulatedStation();
    EmulatedStation(const EmulatedStation&) = delete;
    EmulatedStation& operator=(const EmulatedStation&) = delete;

    // Adds the devices and announces them ("add" uevents); the station's
    // queue starts empty, as after a real plug.
    void plug();
    // Announces the removal ("remove", the hidraw node first), takes the
    // devices out and hangs up the node: a program that still has it open
    // sees its next read fail.
    void unplug();
    bool plugged() const { return plugged_; }
    // A uevent on the hidraw device alone ("change": udevadm trigger).
    void announce(const char* action);

    // Opening the node fails with EACCES while denied (no udev rule).
    void setDenied(bool denied);
    // Takes every frame and never answers again.
    void setSilent(bool silent);
    // Every read from now on fails with EIO, as from a device that is gone.
    void setReadsFail(bool fail);
    // Holds back every report after the first n the station sends from now;
    // holding() tells when the hold began.
    void holdAfterReports(int n);
    bool holding() const { return holding_; }

    // Puts a report of any length in front of the station's own reports.
    void injectReport(std::vector<std::uint8_t> report);

    // Each write() on the node, exactly as the program made it.
    std::vector<std::vector<std::uint8_t>> rawWrites() const;
    // Each report a read() handed out, as many bytes as it returned.
    std::vector<std::vector<std::uint8_t>> reportsRead() const;
    void clearLog();

    sim::VirtualStation& station() { return *station_; }
    std::string node() const { return "/dev/hidraw" + std::to_string(index_); }
    const std::string& serial() const { return options_.serial; }
    std::string hidrawSysPath() const;

private:
    static int onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static int onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static int onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);

    void pump();
    void deliverLocked(); // with mutex_ held: completes a waiting read
    void signalLocked();  // with mutex_ held: the readiness byte matches the queue
    void pointNode();     // the node at the pty, or at the refused file
    std::string devicePath(int level) const;

    EmulatedBus& bus_;
    const int index_;
    const Options options_;
    std::shared_ptr<sim::VirtualStation> station_;
    UMockdevIoctlBase* handler_ = nullptr;

    mutable std::mutex mutex_;
    bool plugged_ = false;
    bool denied_ = false;
    bool silent_ = false;
    bool readsFail_ = false;
    int holdAfter_ = -1;
    std::atomic<bool> holding_{false};
    std::uint64_t generation_ = 0;
    int master_ = -1;
    int slave_ = -1; // non-blocking, only to drain the readiness byte
    std::string slaveName_;
    bool readyByte_ = false;
    std::deque<std::vector<std::uint8_t>> queue_;
    UMockdevIoctlClient* waitingRead_ = nullptr;
    std::vector<std::vector<std::uint8_t>> writes_;
    std::vector<std::vector<std::uint8_t>> reads_;

    std::atomic<bool> stop_{false};
    std::thread pump_;
};

// The umockdev testbed of one test: its stations and its folder.
class EmulatedBus {
public:
    EmulatedBus();
    ~EmulatedBus();
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // A new station, plugged unless said otherwise; hidraw0, hidraw1, … in
    // the order they are added.
    EmulatedStation& addStation(EmulatedStation::Options options = {}, bool plugged = true);

    UMockdevTestbed* testbed() { return testbed_; }
    std::string root() const;

private:
    UMockdevTestbed* testbed_ = nullptr;
    std::vector<std::unique_ptr<EmulatedStation>> stations_;
};

} // namespace vellumet::emulated

// Skips the test, saying why, where the rig cannot run.
#define VELLUMET_REQUIRE_RIG()                                                                     \
    do {                                                                                           \
        if (!::vellumet::emulated::unavailableReason().empty())                                    \
            GTEST_SKIP() << ::vellumet::emulated::unavailableReason();                             \
    } while (false)
