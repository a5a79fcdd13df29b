// The window thread of the headless program (and of tests): an EventLoop on the thread that
// creates this object.
#pragma once

#include "core/window_thread.h"
#include "platform/event_loop.h"

namespace corvane {

class EventLoopWindowThread : public WindowThread {
public:
    // `loop` must be the calling thread's loop and outlive this object.
    explicit EventLoopWindowThread(EventLoop& loop)
        : loop_(loop)
    {}

    bool Post(Closure closure) override;
    void PumpQueue() override;
    bool IsWindowThread() const override;

private:
    EventLoop& loop_;
};

}  // namespace corvane
