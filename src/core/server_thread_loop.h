// The server thread's loop as the thread's parts see it: set while the loop exists, so that a
// part can assert it runs on that thread and time events of its own there. Before the loop
// exists and after it has gone it is null, and there is nothing to check against (tests that
// drive the handlers without the thread running).
#pragma once

#include <atomic>

#include "platform/event_loop.h"

namespace corvane {

class ServerThreadLoop {
public:
    // Server thread: at the start and the end of its body.
    void Set(EventLoop* loop) { loop_.store(loop); }
    // Any thread.
    EventLoop* Get() const { return loop_.load(); }
    void AssertOwner() const
    {
        if (const EventLoop* loop = loop_.load()) loop->AssertOwnerThread();
    }

private:
    std::atomic<EventLoop*> loop_{nullptr};
};

}  // namespace corvane
