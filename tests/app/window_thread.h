#pragma once
// For a test whose engine acts during a run: the run goes on a thread of its own, and what it
// does to the windows must happen on theirs.

#include <QCoreApplication>
#include <QThread>
#include <functional>

namespace vantorra::testing {

// Runs `action` on the windows' thread and returns when it has run.
inline void onWindowThread(const std::function<void()>& action) {
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) return action();
    QMetaObject::invokeMethod(QCoreApplication::instance(), action, Qt::BlockingQueuedConnection);
}

}  // namespace vantorra::testing
