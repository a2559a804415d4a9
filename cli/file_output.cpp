#include "file_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumet::cli {

namespace {

Error ioError(const std::string& path, int error) {
    return makeError(Errc::Io, "cannot write " + path + ": " + std::strerror(error));
}

Error notRegular(const std::string& path) {
    return makeError(Errc::InvalidInput,
                     path + " exists and is not a regular file; nothing was written");
}

// The file that is really written: path itself, or where its links lead.
// Empty when nothing exists there yet.
Result<std::string> existingTarget(const std::string& path, struct stat& info) {
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return std::string();
        return ioError(path, errno);
    }
    if (!S_ISLNK(info.st_mode))
        return S_ISREG(info.st_mode) ? Result<std::string>(path) : notRegular(path);
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        // A link that leads nowhere (or round in a circle): writing through
        // it would create a file somewhere the user did not name.
        return makeError(Errc::InvalidInput, path + " is a symbolic link that leads to no file (" +
                                                 std::strerror(errno) + "); nothing was written");
    }
    std::string target(resolved);
    std::free(resolved);
    if (::stat(target.c_str(), &info) != 0)
        return ioError(path, errno);
    if (!S_ISREG(info.st_mode))
        return notRegular(path);
    return target;
}

// A fresh name beside target that no other file has; the file is created
// with 0666 less the umask, as any new file would be.
int createBeside(const std::string& target, std::string& name) {
    const std::filesystem::path place(target);
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", entropy());
        name = (place.parent_path() / ("." + place.filename().string() + suffix)).string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

Status checkOutputTarget(const std::string& path) {
    struct stat info {};
    Result<std::string> target = existingTarget(path, info);
    if (!target)
        return target.error();
    return {};
}

Status writeWholeFile(const std::string& path, std::string_view bytes,
                      const std::stop_token& stop) {
    struct stat old {};
    Result<std::string> existing = existingTarget(path, old);
    if (!existing)
        return existing.error();
    const bool replacing = !existing->empty();
    const std::string target = replacing ? *existing : path;

    std::string partName;
    int fd = createBeside(target, partName);
    if (fd < 0)
        return ioError(path, errno);
    const auto failWith = [&](int error) -> Status {
        if (fd >= 0)
            ::close(fd);
        ::unlink(partName.c_str());
        return ioError(path, error);
    };

    if (replacing) {
        // The new file takes the old one's place, so it keeps its permissions
        // and, where allowed, its owner.
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return failWith(errno);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may give a file away; anyone else's copy is their own.
        }
    }
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return failWith(errno);
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    // A full disk may only show here: the data is not on it until the sync.
    if (::fsync(fd) != 0)
        return failWith(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return failWith(errno);
    if (stop.stop_requested()) {
        ::unlink(partName.c_str());
        return makeError(Errc::Cancelled, "interrupted; " + path + " was left as it was");
    }
    if (::rename(partName.c_str(), target.c_str()) != 0)
        return failWith(errno);

    // The rename itself is made lasting by syncing the folder; some file
    // systems cannot sync a folder, and the file is whole either way.
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return {};
}

} // namespace vellumet::cli
