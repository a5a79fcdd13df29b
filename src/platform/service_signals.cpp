#include "platform/service_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <stdexcept>

namespace corvane {
namespace {

// A blocked signal is queued even when ignored, so one that the starter set to be ignored
// (nohup) must stay out of the set to stay ignored.
bool IgnoredByStarter(int signalNumber)
{
    struct sigaction current {};
    return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

ServiceSignals::ServiceSignals(EventLoop& loop, std::function<void(int)> onSignal)
    : loop_(loop)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    if (!IgnoredByStarter(SIGHUP)) sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot receive the service signals");
    loop_.WatchFd(fd_, EventLoop::IoReadable, [this, onSignal = std::move(onSignal)](std::uint32_t) {
        signalfd_siginfo info{};
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            onSignal(static_cast<int>(info.ssi_signo));
    });
}

ServiceSignals::~ServiceSignals()
{
    loop_.UnwatchFd(fd_);
    ::close(fd_);
}

}  // namespace corvane
