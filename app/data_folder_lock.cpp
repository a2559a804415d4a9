#include "data_folder_lock.h"

#include "data_folder.h"
#include "error_text.h"

#include <QCoreApplication>
#include <QDir>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vellumet::app {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// In the window's language; the command line installs no catalogue.
std::string tr(const char* source, const QString& a, const QString& b) {
    return QCoreApplication::translate("DataFolderLock", source).arg(a, b).toStdString();
}

QString systemText(int error) {
    return systemErrorText(QString::fromLocal8Bit(std::strerror(error)));
}

// The process id the holder wrote into the lock file; empty when none is there yet.
std::string holderOf(int fd) {
    char text[32] = {};
    const ssize_t got = pread(fd, text, sizeof text - 1, 0);
    if (got <= 0)
        return {};
    std::string pid(text, static_cast<std::size_t>(got));
    pid.erase(pid.find_last_not_of(" \n") + 1);
    return pid.find_first_not_of("0123456789") == std::string::npos ? pid : std::string();
}

} // namespace

DataFolderLock::~DataFolderLock() {
    ::close(fd_); // ends the lock
}

Result<std::unique_ptr<DataFolderLock>> DataFolderLock::acquire(const QString& folder,
                                                                std::chrono::milliseconds wait,
                                                                std::stop_token stop) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(kDataFolderLockName));
    const int fd =
        ::open(nativePath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return makeError(Errc::Io,
                         tr("cannot make the lock file %1: %2", shown(path), systemText(errno)));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            ::close(fd);
            return makeError(Errc::Io, tr("cannot lock %1: %2", shown(path), systemText(error)));
        }
        if (stop.stop_requested()) {
            ::close(fd);
            return makeError(Errc::Cancelled);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            const std::string pid = holderOf(fd);
            ::close(fd);
            const QString message =
                pid.empty()
                    ? QCoreApplication::translate("DataFolderLock",
                                                  "the data folder %1 is in use by another "
                                                  "process; try again when it has finished")
                          .arg(shown(folder))
                    : QCoreApplication::translate("DataFolderLock",
                                                  "the data folder %1 is in use by process %2; "
                                                  "try again when it has finished")
                          .arg(shown(folder), QString::fromStdString(pid));
            return makeError(Errc::Io, message.toStdString());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string pid = std::to_string(::getpid()) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // Only the message of a second writer would lack the number; the lock holds.
    }
    return std::unique_ptr<DataFolderLock>(new DataFolderLock(fd));
}

} // namespace vellumet::app
