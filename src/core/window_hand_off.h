// What the server thread hands to the window thread without waiting for it. A busy window
// (a long repaint, a dialog) then never holds up the FTP service; the window shows what it is
// handed when it gets to it, in the order it was handed.
//
// Each hand-off belongs to an owner object: a closure that the window runs after its owner has
// gone does nothing, so a queued closure never reaches a controller or view that has gone.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "core/window_thread.h"

namespace corvane {

// Closures posted one by one: each runs once, in posting order.
class WindowPoster {
public:
    explicit WindowPoster(WindowThread& window)
        : window_(window)
    {}
    // Any thread. False when the window's queue is gone (the closure then never runs).
    bool Post(std::function<void()> closure)
    {
        std::weak_ptr<bool> alive = alive_;
        return window_.Post([alive, closure = std::move(closure)] {
            if (alive.lock()) closure();
        });
    }

private:
    WindowThread& window_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A value shown by the window thread, latest value wins: one show is queued at a time, and it
// shows the value handed last before it runs. Repeats while a show waits cost nothing more.
template <typename Value>
class LatestValueShow {
public:
    using Show = std::function<void(const Value&)>;

    LatestValueShow(WindowThread& window, Show show)
        : window_(window),
          state_(std::make_shared<State>(std::move(show)))
    {}

    // Any thread.
    void Hand(Value value)
    {
        {
            std::lock_guard hold(state_->lock);
            state_->value = std::move(value);
        }
        if (state_->queued.exchange(true)) return;
        std::weak_ptr<State> weak = state_;
        const bool posted = window_.Post([weak] {
            const auto state = weak.lock();
            if (!state) return;
            // Cleared before the value is read: a value handed meanwhile queues a show of its own.
            state->queued = false;
            Value latest;
            {
                std::lock_guard hold(state->lock);
                latest = state->value;
            }
            state->show(latest);
        });
        if (!posted) state_->queued = false;
    }

private:
    struct State {
        explicit State(Show s)
            : show(std::move(s))
        {}
        const Show show;
        std::mutex lock;
        Value value{};  // guarded by lock
        std::atomic<bool> queued{false};
    };
    WindowThread& window_;
    std::shared_ptr<State> state_;
};

}  // namespace corvane
