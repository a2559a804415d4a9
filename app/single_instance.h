#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace vellumet::app {

inline constexpr const char* kInstanceName = "kq7421";

// The program's single-instance lock: a lock file that a second process cannot
// take while the first holds it. A lock left by a crashed process is stale
// and is taken over.
class SingleInstance {
public:
    // lockDir empty: the user's runtime folder, or the temporary folder.
    explicit SingleInstance(QString name = QString::fromLatin1(kInstanceName),
                            QString lockDir = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum class Outcome {
        Acquired,      // this process holds the lock (or already did)
        HeldByAnother, // another running copy holds it
        Unavailable,   // the lock cannot be made at all (its folder is unusable)
    };
    // Takes the lock. Only HeldByAnother means that another copy runs: when
    // the lock cannot be made at all, the program goes on as the only copy.
    Outcome acquire();
    // Gives the lock up, so that a new instance started now can take it.
    void release();
    bool held() const { return held_; }
    QString lockPath() const { return path_; }
    QString name() const { return name_; }

private:
    QString name_;
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

} // namespace vellumet::app
