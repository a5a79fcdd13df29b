// SIGINT, SIGTERM and SIGHUP as events of an owner loop: the orderly shut-down runs as an ordinary
// handler on that thread, never inside a signal handler.
#pragma once

#include <functional>

#include "platform/event_loop.h"

namespace corvane {

class ShutdownSignals {
public:
    // Blocks SIGINT, SIGTERM and SIGHUP for the process (call before starting other threads)
    // and delivers them to `onSignal` on the loop's thread. A hang-up (the terminal that started
    // the program closes) is an orderly stop like the others; one ignored by the caller (nohup)
    // stays ignored.
    ShutdownSignals(EventLoop& loop, std::function<void(int signalNumber)> onSignal);
    ~ShutdownSignals();
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

private:
    EventLoop& loop_;
    int fd_ = -1;
};

}  // namespace corvane
