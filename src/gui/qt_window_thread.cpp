#include "gui/qt_window_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>

namespace corvane {
namespace {

// Shared between the waiting thread and the queued closure. Only the closure's capture holds
// the Release: when the closure has run, or is dropped unrun because the window thread's queue
// is going away, the Release goes and the waiter is released, so a waiter can never hang.
struct Rendezvous {
    std::mutex lock;
    std::condition_variable ran;
    bool done = false;
};

struct Release {
    std::shared_ptr<Rendezvous> meeting;
    explicit Release(std::shared_ptr<Rendezvous> m) : meeting(std::move(m)) {}
    Release(const Release&) = delete;
    Release& operator=(const Release&) = delete;
    ~Release()
    {
        std::lock_guard guard(meeting->lock);
        meeting->done = true;
        meeting->ran.notify_one();
    }
};

}  // namespace

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

void QtWindowThread::RunAndWait(const Closure& closure)
{
    if (IsWindowThread()) {
        closure();
        return;
    }
    auto meeting = std::make_shared<Rendezvous>();
    auto release = std::make_shared<Release>(meeting);
    // The caller waits until the closure has run, so it may refer to the caller's locals.
    const bool posted = Post([release = std::move(release), &closure]() mutable {
        closure();
        release.reset();
    });
    if (!posted) return;
    std::unique_lock guard(meeting->lock);
    meeting->ran.wait(guard, [&meeting] { return meeting->done; });
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
