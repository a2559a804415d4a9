#pragma once

#include "core/operation.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace vellumet::app {

// How a window runs a blocking job (a station exchange, a transfer, an
// import) without blocking itself: the job runs as an operation on its own
// thread, and its progress and outcome are handed to the window's thread,
// where widgets may be touched. Nothing is handed to a window that has gone.
// The window keeps the returned operation and destroys it (which cancels the
// job and waits for its thread) before it goes itself.
template <class T>
std::shared_ptr<Operation<T>>
runInBackground(QObject* window, typename Operation<T>::Body job,
                std::function<void(const Result<T>&)> done,
                std::function<void(std::int64_t, std::int64_t)> progress = {}) {
    auto operation = std::make_shared<Operation<T>>(std::move(job));
    QPointer<QObject> guard(window);
    if (progress)
        operation->onProgress([guard, progress](std::int64_t at, std::int64_t total) {
            if (QObject* target = guard.data())
                QMetaObject::invokeMethod(
                    target,
                    [guard, progress, at, total] {
                        if (guard)
                            progress(at, total);
                    },
                    Qt::QueuedConnection);
        });
    operation->onFinished([guard, done = std::move(done)](const Result<T>& outcome) {
        if (QObject* target = guard.data())
            QMetaObject::invokeMethod(
                target,
                [guard, done, outcome] {
                    if (guard)
                        done(outcome);
                },
                Qt::QueuedConnection);
    });
    operation->start();
    return operation;
}

} // namespace vellumet::app
