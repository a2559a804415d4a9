#include "single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace vellumet::app {

namespace {

QString defaultLockDir() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QFileInfo(runtime).isWritable())
        return runtime;
    return QDir::tempPath();
}

} // namespace

SingleInstance::SingleInstance(QString name, QString lockDir) : name_(std::move(name)) {
    const QString dir = lockDir.isEmpty() ? defaultLockDir() : lockDir;
    path_ = QDir(dir).filePath(name_ + QStringLiteral(".lock"));
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::acquire() {
    if (held_)
        return Outcome::Acquired;
    lock_ = std::make_unique<QLockFile>(path_);
    // The lock is held for the whole run, so its age says nothing: only a dead
    // owner makes it stale.
    lock_->setStaleLockTime(0);
    held_ = lock_->tryLock(0);
    if (held_)
        return Outcome::Acquired;
    const bool another = lock_->error() == QLockFile::LockFailedError;
    lock_.reset();
    return another ? Outcome::HeldByAnother : Outcome::Unavailable;
}

void SingleInstance::release() {
    if (lock_)
        lock_->unlock();
    lock_.reset();
    held_ = false;
}

} // namespace vellumet::app
