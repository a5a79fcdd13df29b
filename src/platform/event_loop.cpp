#include "platform/event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

thread_local EventLoop* t_currentLoop = nullptr;

// Which loop serves which thread, for posting by thread. A loop leaves the registry before it
// is torn down, under this mutex, so a post never reaches a dying loop.
std::mutex g_registryMutex;
std::unordered_map<std::thread::id, EventLoop*> g_registry;  // guarded by g_registryMutex

std::uint32_t ToEpoll(std::uint32_t events)
{
    std::uint32_t out = 0;
    if (events & EventLoop::IoReadable) out |= EPOLLIN | EPOLLRDHUP;
    if (events & EventLoop::IoWritable) out |= EPOLLOUT;
    return out;
}

std::uint32_t FromEpoll(std::uint32_t events)
{
    std::uint32_t out = 0;
    if (events & (EPOLLIN | EPOLLPRI)) out |= EventLoop::IoReadable;
    if (events & EPOLLOUT) out |= EventLoop::IoWritable;
    if (events & EPOLLERR) out |= EventLoop::IoError;
    if (events & (EPOLLHUP | EPOLLRDHUP)) out |= EventLoop::IoHangup;
    return out;
}

void ReportEscapedException(const char* where) noexcept
{
    try {
        throw;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane: exception escaped %s: %s\n", where, e.what());
    } catch (...) {
        std::fprintf(stderr, "corvane: exception escaped %s\n", where);
    }
}

}  // namespace

struct EventLoop::Impl {
    // One registration of a descriptor. The token, not the descriptor number, travels through
    // epoll, so a readiness collected for a descriptor that was closed and reused is dropped.
    struct Watch {
        int fd = -1;
        std::uint32_t interest = 0;
        std::shared_ptr<IoHandler> handler;
        int dispatchDepth = 0;   // > 0 while its handler runs
        bool suspended = false;  // taken out of epoll by a nested pump until its handler returns
    };
    struct Timer {
        Clock::time_point deadline;
        std::chrono::milliseconds period{0};
        std::shared_ptr<Task> task;
    };

    std::thread::id owner = std::this_thread::get_id();
    int epollFd = -1;
    int wakeFd = -1;
    std::atomic<bool> quit{false};

    std::mutex postMutex;
    std::deque<Task> posted;  // guarded by postMutex
    bool closing = false;     // guarded by postMutex

    // Owner thread only.
    std::uint64_t nextToken = 1;
    std::unordered_map<std::uint64_t, Watch> watches;
    std::unordered_map<int, std::uint64_t> tokenOfFd;
    TimerId nextTimer = 1;
    std::unordered_map<TimerId, Timer> timers;
    std::multimap<Clock::time_point, TimerId> timerOrder;

    void Wake() const
    {
        const std::uint64_t one = 1;
        // A full counter still wakes the loop, so a failed write loses nothing.
        [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    void DrainWake() const
    {
        std::uint64_t value = 0;
        [[maybe_unused]] ssize_t n = ::read(wakeFd, &value, sizeof value);
    }

    bool HasPosted()
    {
        std::lock_guard lock(postMutex);
        return !posted.empty();
    }

    int WaitBudgetMs(int callerTimeoutMs)
    {
        if (HasPosted()) return 0;
        int budget = callerTimeoutMs;
        if (!timerOrder.empty()) {
            auto until = timerOrder.begin()->first - Clock::now();
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(until).count();
            int timerMs = ms <= 0 ? 0 : static_cast<int>(std::min<long long>(ms, 1 << 30));
            budget = budget < 0 ? timerMs : std::min(budget, timerMs);
        }
        return budget;
    }

    void DispatchIo(std::uint64_t token, std::uint32_t epollEvents)
    {
        auto it = watches.find(token);
        if (it == watches.end()) return;
        Watch& watch = it->second;
        if (watch.dispatchDepth > 0) {
            // Its handler is further up this stack, waiting; keep the level-triggered readiness
            // from spinning the nested pump until that handler returns.
            if (!watch.suspended) {
                ::epoll_ctl(epollFd, EPOLL_CTL_DEL, watch.fd, nullptr);
                watch.suspended = true;
            }
            return;
        }
        std::shared_ptr<IoHandler> handler = watch.handler;
        ++watch.dispatchDepth;
        try {
            (*handler)(FromEpoll(epollEvents));
        } catch (...) {
            ReportEscapedException("a descriptor handler");
        }
        auto again = watches.find(token);
        if (again == watches.end()) return;
        Watch& after = again->second;
        if (--after.dispatchDepth == 0 && after.suspended) {
            after.suspended = false;
            epoll_event ev{};
            ev.events = ToEpoll(after.interest);
            ev.data.u64 = token;
            ::epoll_ctl(epollFd, EPOLL_CTL_ADD, after.fd, &ev);
        }
    }

    void FireDueTimers()
    {
        const auto now = Clock::now();
        // Collect first: a timer handler may add or cancel timers.
        std::vector<TimerId> due;
        for (auto it = timerOrder.begin(); it != timerOrder.end() && it->first <= now; ++it) due.push_back(it->second);
        for (TimerId id : due) {
            auto it = timers.find(id);
            if (it == timers.end() || it->second.deadline > now) continue;
            std::shared_ptr<Task> task = it->second.task;
            EraseOrder(id, it->second.deadline);
            if (it->second.period.count() > 0) {
                auto next = it->second.deadline + it->second.period;
                if (next <= now) next = now + it->second.period;
                it->second.deadline = next;
                timerOrder.emplace(next, id);
            } else {
                timers.erase(it);
            }
            try {
                (*task)();
            } catch (...) {
                ReportEscapedException("a timer");
            }
        }
    }

    void EraseOrder(TimerId id, Clock::time_point deadline)
    {
        auto range = timerOrder.equal_range(deadline);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == id) {
                timerOrder.erase(it);
                return;
            }
        }
    }

    // Runs at most the tasks that were queued when it began, one at a time from the front, so a
    // nested pump inside one of them continues the same order instead of jumping ahead.
    void RunPosted()
    {
        std::size_t budget;
        {
            std::lock_guard lock(postMutex);
            budget = posted.size();
        }
        while (budget-- > 0) {
            Task task;
            {
                std::lock_guard lock(postMutex);
                if (posted.empty()) return;
                task = std::move(posted.front());
                posted.pop_front();
            }
            try {
                task();
            } catch (...) {
                ReportEscapedException("a posted task");
            }
        }
    }

    void PumpOnce(int timeoutMs)
    {
        epoll_event events[64];
        int n = ::epoll_wait(epollFd, events, 64, WaitBudgetMs(timeoutMs));
        if (n < 0 && errno != EINTR) {
            std::fprintf(stderr, "corvane: epoll_wait failed: errno %d\n", errno);
        }
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == 0) {
                DrainWake();
                continue;
            }
            DispatchIo(events[i].data.u64, events[i].events);
        }
        FireDueTimers();
        RunPosted();
    }
};

EventLoop::EventLoop()
    : impl_(std::make_unique<Impl>())
{
    if (t_currentLoop != nullptr) throw std::logic_error("this thread already has an event loop");
    impl_->epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl_->epollFd < 0 || impl_->wakeFd < 0) {
        if (impl_->epollFd >= 0) ::close(impl_->epollFd);
        if (impl_->wakeFd >= 0) ::close(impl_->wakeFd);
        throw std::runtime_error("cannot create the event loop's descriptors");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;  // token 0 is the wake-up descriptor
    ::epoll_ctl(impl_->epollFd, EPOLL_CTL_ADD, impl_->wakeFd, &ev);
    t_currentLoop = this;
    std::lock_guard lock(g_registryMutex);
    g_registry[impl_->owner] = this;
}

EventLoop::~EventLoop()
{
    {
        std::lock_guard lock(g_registryMutex);
        auto it = g_registry.find(impl_->owner);
        if (it != g_registry.end() && it->second == this) g_registry.erase(it);
    }
    {
        std::lock_guard lock(impl_->postMutex);
        impl_->closing = true;
        impl_->posted.clear();
    }
    if (t_currentLoop == this) t_currentLoop = nullptr;
    ::close(impl_->wakeFd);
    ::close(impl_->epollFd);
}

EventLoop* EventLoop::Current() { return t_currentLoop; }

bool EventLoop::PostToThread(std::thread::id target, Task task)
{
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(target);
    if (it == g_registry.end()) return false;
    return it->second->Post(std::move(task));
}

bool EventLoop::Post(Task task)
{
    std::lock_guard lock(impl_->postMutex);
    if (impl_->closing) return false;
    impl_->posted.push_back(std::move(task));
    // The owner thread is never asleep in epoll_wait while it posts, and every pump looks at the
    // queue before it waits; only another thread has to wake the loop. The wake-up is written
    // under the lock: the closing loop closes its descriptor only after taking the lock, so the
    // write can never reach a descriptor number that has been closed and handed out again.
    if (std::this_thread::get_id() != impl_->owner) impl_->Wake();
    return true;
}

void EventLoop::Quit()
{
    impl_->quit = true;
    std::lock_guard lock(impl_->postMutex);
    if (!impl_->closing) impl_->Wake();
}

bool EventLoop::QuitRequested() const { return impl_->quit; }

void EventLoop::MessageLoop()
{
    AssertOwnerThread();
    while (!impl_->quit) impl_->PumpOnce(-1);
    impl_->quit = false;
}

void EventLoop::ProcessMessages()
{
    AssertOwnerThread();
    impl_->PumpOnce(0);
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    AssertOwnerThread();
    const bool forever = timeout.count() < 0;
    const auto deadline = Clock::now() + (forever ? std::chrono::milliseconds(0) : timeout);
    while (!done()) {
        int waitMs = -1;
        if (!forever) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return done();
            waitMs = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        impl_->PumpOnce(waitMs);
    }
    return true;
}

void EventLoop::WatchFd(int fd, std::uint32_t events, IoHandler handler)
{
    AssertOwnerThread();
    UnwatchFd(fd);
    const std::uint64_t token = impl_->nextToken++;
    Impl::Watch watch;
    watch.fd = fd;
    watch.interest = events;
    watch.handler = std::make_shared<IoHandler>(std::move(handler));
    epoll_event ev{};
    ev.events = ToEpoll(events);
    ev.data.u64 = token;
    if (::epoll_ctl(impl_->epollFd, EPOLL_CTL_ADD, fd, &ev) != 0)
        throw std::runtime_error("cannot watch descriptor " + std::to_string(fd));
    impl_->watches.emplace(token, std::move(watch));
    impl_->tokenOfFd[fd] = token;
}

void EventLoop::ModifyFd(int fd, std::uint32_t events)
{
    AssertOwnerThread();
    auto found = impl_->tokenOfFd.find(fd);
    if (found == impl_->tokenOfFd.end()) return;
    Impl::Watch& watch = impl_->watches.at(found->second);
    if (watch.interest == events) return;
    watch.interest = events;
    if (watch.suspended) return;  // re-added with the new interest when its handler returns
    epoll_event ev{};
    ev.events = ToEpoll(events);
    ev.data.u64 = found->second;
    ::epoll_ctl(impl_->epollFd, EPOLL_CTL_MOD, fd, &ev);
}

void EventLoop::UnwatchFd(int fd, bool beforeClose)
{
    AssertOwnerThread();
    auto found = impl_->tokenOfFd.find(fd);
    if (found == impl_->tokenOfFd.end()) return;
    auto it = impl_->watches.find(found->second);
    if (it != impl_->watches.end()) {
        if (!it->second.suspended && !beforeClose) ::epoll_ctl(impl_->epollFd, EPOLL_CTL_DEL, fd, nullptr);
        impl_->watches.erase(it);
    }
    impl_->tokenOfFd.erase(found);
}

bool EventLoop::IsWatching(int fd) const { return impl_->tokenOfFd.count(fd) != 0; }

EventLoop::TimerId EventLoop::AddTimer(std::chrono::milliseconds delay, std::chrono::milliseconds period, Task task)
{
    AssertOwnerThread();
    const TimerId id = impl_->nextTimer++;
    Impl::Timer timer;
    timer.deadline = Clock::now() + std::max(delay, std::chrono::milliseconds(0));
    timer.period = period;
    timer.task = std::make_shared<Task>(std::move(task));
    impl_->timerOrder.emplace(timer.deadline, id);
    impl_->timers.emplace(id, std::move(timer));
    return id;
}

void EventLoop::CancelTimer(TimerId id)
{
    AssertOwnerThread();
    auto it = impl_->timers.find(id);
    if (it == impl_->timers.end()) return;
    impl_->EraseOrder(id, it->second.deadline);
    impl_->timers.erase(it);
}

bool EventLoop::TimerActive(TimerId id) const { return impl_->timers.count(id) != 0; }

bool EventLoop::IsInLoopThread() const { return std::this_thread::get_id() == impl_->owner; }

void EventLoop::AssertOwnerThread() const
{
    assert(IsInLoopThread() && "an owner-thread method of an event loop called from another thread");
}

std::thread::id EventLoop::OwnerThread() const { return impl_->owner; }

}  // namespace corvane
