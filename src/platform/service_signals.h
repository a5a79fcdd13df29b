// The signals a service manager sends, as events of an owner loop: each is handled as an
// ordinary handler on that thread, never inside a signal handler.
#pragma once

#include <functional>

#include "platform/event_loop.h"

namespace corvane {

class ServiceSignals {
public:
    // Blocks SIGINT, SIGTERM, SIGHUP and SIGUSR1 for the process (call before starting other
    // threads) and delivers them to `onSignal` on the loop's thread: the first two stop the
    // program, SIGHUP reloads its settings, SIGUSR1 reopens its log file. A hang-up that the
    // caller ignores (nohup) stays ignored.
    ServiceSignals(EventLoop& loop, std::function<void(int signalNumber)> onSignal);
    ~ServiceSignals();
    ServiceSignals(const ServiceSignals&) = delete;
    ServiceSignals& operator=(const ServiceSignals&) = delete;

private:
    EventLoop& loop_;
    int fd_ = -1;
};

}  // namespace corvane
