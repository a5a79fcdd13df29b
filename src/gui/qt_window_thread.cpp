#include "gui/qt_window_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <mutex>

namespace corvane {

QtWindowThread::QtWindowThread() : receiver_(new QObject) {}

QtWindowThread::~QtWindowThread()
{
    QObject* receiver = nullptr;
    {
        std::lock_guard guard(lock_);
        open_ = false;
        receiver = receiver_;
    }
    // Removes the events still posted to it, destroying their closures (and their Releases).
    delete receiver;
}

bool QtWindowThread::Post(Closure closure)
{
    std::lock_guard guard(lock_);
    if (!open_) return false;
    // Posting to an object of another thread is safe from any thread; the functor runs on the
    // receiver's thread, in posting order.
    return QMetaObject::invokeMethod(receiver_, std::move(closure), Qt::QueuedConnection);
}

void QtWindowThread::PumpQueue()
{
    QCoreApplication::sendPostedEvents(receiver_);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool QtWindowThread::IsWindowThread() const { return QThread::currentThread() == receiver_->thread(); }

}  // namespace corvane
