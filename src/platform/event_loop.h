// The owner thread's event queue.
//
// Every object that handles network or timer events belongs to one thread, its owner, and all
// of its events run there, one at a time, taken from that thread's EventLoop. A thread has at
// most one loop; the loop registers itself as the thread's current loop when it is created and
// unregisters when it is destroyed.
//
// Three kinds of event reach a loop:
//  - readiness of a watched file descriptor (readable, writable, error, hang-up);
//  - timers, one-shot or periodic;
//  - posted tasks, from the owner thread itself or from any other thread.
// Posted tasks run in posting order, and never inside the call that posted them: a task posted
// from a handler runs after that handler has returned. Idle, the loop sleeps in epoll_wait.
//
// Nested pumping (ProcessMessages or RunUntil from inside a handler) is allowed. While a
// descriptor's handler runs, that descriptor is not dispatched again by a nested pump, so a
// handler that waits never re-enters itself for the same readiness.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace corvane {

class EventLoop {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    // Readiness bits handed to a descriptor's handler (and asked for by WatchFd).
    enum IoEvent : std::uint32_t {
        IoReadable = 1u << 0,
        IoWritable = 1u << 1,
        IoError = 1u << 2,   // the descriptor has an error condition pending
        IoHangup = 1u << 3,  // the peer closed (both directions, or the read side)
    };
    using IoHandler = std::function<void(std::uint32_t events)>;

    // Creates the calling thread's loop. Throws std::logic_error when the thread has one already.
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // The calling thread's loop, or nullptr when the thread has none.
    static EventLoop* Current();

    // Safe from any thread. Queues the task on the loop of the thread `target`; false while that
    // thread has no loop (not yet created, or already gone), so that the sender can retry.
    static bool PostToThread(std::thread::id target, Task task);

    // Safe from any thread. Queues the task on this loop; false once the loop is shutting down.
    bool Post(Task task);

    // Safe from any thread. Makes MessageLoop return after the event it is handling.
    void Quit();
    bool QuitRequested() const;

    // Owner thread only. Runs until Quit; clears the quit request on return.
    void MessageLoop();

    // Owner thread only. Handles what is ready now: ready descriptors, due timers and the tasks
    // queued before the call began; then returns without waiting. Safe inside a handler.
    void ProcessMessages();

    // Owner thread only. Handles events, waiting for them, until `done` returns true or the
    // timeout passes (a negative timeout waits for ever). Returns the last value of `done`.
    // A handler that must wait for something waits here, so the thread's queue is still served.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

    // Owner thread only. Watches a descriptor for the given IoEvent bits (IoError and IoHangup
    // are always reported). Watching a descriptor again replaces its interest and handler.
    void WatchFd(int fd, std::uint32_t events, IoHandler handler);
    // Owner thread only. Changes the interest of a watched descriptor; nothing if not watched.
    void ModifyFd(int fd, std::uint32_t events);
    // Owner thread only. Stops watching; a readiness already collected for it is dropped.
    // `beforeClose`: the caller closes the descriptor next, and it is the only one of its open
    // file (no dup, no inheritance), so the close takes it out of epoll and no call is made.
    void UnwatchFd(int fd, bool beforeClose = false);
    bool IsWatching(int fd) const;

    // Owner thread only. A timer fires through this loop after `delay`, and then every
    // `period` when the period is above zero. The id stays unique for the loop's lifetime.
    TimerId AddTimer(std::chrono::milliseconds delay, std::chrono::milliseconds period, Task task);
    TimerId AddOneShot(std::chrono::milliseconds delay, Task task)
    {
        return AddTimer(delay, std::chrono::milliseconds(0), std::move(task));
    }
    // Owner thread only. Cancelling an unknown or fired one-shot timer does nothing.
    void CancelTimer(TimerId id);
    bool TimerActive(TimerId id) const;

    bool IsInLoopThread() const;
    std::thread::id OwnerThread() const;
    // Debug builds stop here when the calling thread is not the owner; release builds do nothing.
    void AssertOwnerThread() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
