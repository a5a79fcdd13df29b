// The window thread as the core sees it: the one thread that owns the settings, the log writer
// and everything the operator sees. The core reaches it only through this interface, so it
// never depends on a toolkit: the administration window implements it over its own event
// queue, the headless program over an EventLoop on the main thread.
#pragma once

#include <cassert>
#include <functional>

namespace corvane {

class WindowThread {
public:
    using Closure = std::function<void()>;

    virtual ~WindowThread() = default;

    // From another thread: runs the closure on the window thread and returns once it has run.
    // On the window thread itself the closure runs at once. When the window thread's queue is
    // gone (the program is ending) the closure does not run and the call returns. Built on
    // Post and IsWindowThread, so every window thread waits the same way.
    void RunAndWait(const Closure& closure);
    // Any thread: queues the closure for the window thread; false when its queue is gone.
    virtual bool Post(Closure closure) = 0;
    // Window thread only: handles what is queued for it now (closures of RunAndWait included),
    // then returns. The waits of the controller call it every millisecond.
    virtual void PumpQueue() = 0;
    virtual bool IsWindowThread() const = 0;
};

}  // namespace corvane

// The check behind "window thread only" for code that reaches the window thread through this
// interface: a debug build stops at once on any other thread; release builds compile it away.
#define CORVANE_ASSERT_WINDOW_THREAD(window)                                                                           \
    assert((window).IsWindowThread() && "called from a thread other than the window thread")
