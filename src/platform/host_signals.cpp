#include "platform/host_signals.h"

#include <signal.h>

#include <atomic>

namespace corvane {
namespace {

void Ignore(int signalNumber)
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

void IgnoreConnectionFaultSignals()
{
    // An atomic flag rather than call_once: the fast path is one load on every send.
    static std::atomic<bool> done{false};
    if (done.load(std::memory_order_acquire)) return;
    Ignore(SIGPIPE);
    Ignore(SIGXFSZ);
    done.store(true, std::memory_order_release);
}

}  // namespace corvane
