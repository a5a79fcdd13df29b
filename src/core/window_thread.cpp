#include "core/window_thread.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace corvane {
namespace {

// Shared between the waiting thread and the posted closure. The closure's capture holds the
// only share of `Release`: when the closure has run, or is dropped unrun because the window
// thread's queue is going away, the share goes and the waiter is released, so a waiter can
// never hang.
struct Rendezvous {
    std::mutex lock;
    std::condition_variable ran;
    bool done = false;
};

struct Release {
    std::shared_ptr<Rendezvous> meeting;
    explicit Release(std::shared_ptr<Rendezvous> m)
        : meeting(std::move(m))
    {}
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

void WindowThread::RunAndWait(const Closure& closure)
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

}  // namespace corvane
