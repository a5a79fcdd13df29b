#include "gui/qt_window_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <deque>
#include <mutex>

namespace corvane {

QtWindowThread::QtWindowThread()
    : receiver_(new QObject)
{}

QtWindowThread::~QtWindowThread()
{
    std::deque<Closure> dropped;
    {
        std::lock_guard guard(lock_);
        open_ = false;
        dropped.swap(queued_);
    }
    // Removes the wake-up still posted to it.
    delete receiver_;
    // The closures go here, unrun, and with them their Releases: their waiters are let go.
}

// The closures wait in this object's own queue, under its own lock; Qt's queue carries only a
// wake-up, one at a time. So the hand-off from the server thread is ordered by a lock the
// thread sanitizer can see, and repeated posts cost one Qt event.
bool QtWindowThread::Post(Closure closure)
{
    std::lock_guard guard(lock_);
    if (!open_) return false;
    queued_.push_back(std::move(closure));
    if (wakePending_) return true;
    // Posting to an object of another thread is safe from any thread; the functor runs on the
    // receiver's thread.
    if (!QMetaObject::invokeMethod(
            receiver_, [this] { RunQueued(); }, Qt::QueuedConnection)) {
        queued_.pop_back();
        return false;
    }
    wakePending_ = true;
    return true;
}

// One closure at a time, taken from the front: a closure that pumps the queue itself (a nested
// PumpQueue) goes on with the next one, so closures always run in posting order.
void QtWindowThread::RunQueued()
{
    for (;;) {
        Closure next;
        {
            std::lock_guard guard(lock_);
            wakePending_ = false;
            if (queued_.empty()) return;
            next = std::move(queued_.front());
            queued_.pop_front();
        }
        next();
    }
}

void QtWindowThread::PumpQueue()
{
    RunQueued();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool QtWindowThread::IsWindowThread() const { return QThread::currentThread() == receiver_->thread(); }

}  // namespace corvane
