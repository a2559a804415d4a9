#pragma once

#include "core/result.h"

#include <QString>

#include <chrono>
#include <memory>
#include <stop_token>

namespace vellumet::app {

// Name of the lock file inside the data folder; no card file may take it.
inline constexpr const char* kDataFolderLockName = "vellumet.lock";

// The one writer of a data folder: whoever writes a local copy of a card file
// or the record database holds this lock while it does, so that two
// processes (two commands, or the window and a command) never write the same
// files at once. An advisory lock on a file in the folder: it goes with the
// process, so a crash never leaves it taken. The holder's process id is
// written into the file for the message of whoever finds it taken.
class DataFolderLock {
public:
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // Takes the lock of folder, waiting up to wait for another holder to give
    // it up (zero: not at all). Io ("the data folder ... is in use by
    // process N") when it stays taken or the lock file cannot be made;
    // Cancelled when stop is requested while waiting.
    static Result<std::unique_ptr<DataFolderLock>>
    acquire(const QString& folder, std::chrono::milliseconds wait = std::chrono::milliseconds(0),
            std::stop_token stop = {});

private:
    explicit DataFolderLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace vellumet::app
