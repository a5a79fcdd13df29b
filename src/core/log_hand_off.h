// The server thread's log lines on their way to the window thread, which alone writes the log
// (screen and file). The server thread hands its batches without waiting; each batch is
// written by a closure of its own, so batches keep their place among everything else the
// window is handed (a service's start writes lines of its own) and the log keeps its order.
//
// No line is lost: a batch whose closure has not run yet stays here, and the owner writes what
// is left when it goes (WriteArrived). Only a window that has fallen far behind (kBacklogBytes
// of lines not yet written) makes the server thread wait for it, so a flood of lines cannot
// fill the memory.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/window_thread.h"

namespace corvane {

class LogHandOff {
public:
    using Write = std::function<void(const std::vector<std::string>& lines)>;
    static constexpr std::size_t kBacklogBytes = 16 * 1024 * 1024;

    LogHandOff(WindowThread& window, Write write);

    // Any thread but the window thread. `bytes` is the text size of `lines`.
    void Hand(std::vector<std::string> lines, std::size_t bytes);
    // Writes, on the window thread, what has arrived and not been written yet; returns once it
    // has (at once on the window thread itself).
    void WriteArrived();

private:
    struct Batch {
        std::vector<std::string> lines;
        std::size_t bytes = 0;
    };
    struct State {
        explicit State(Write w)
            : write(std::move(w))
        {}
        const Write write;
        std::mutex lock;
        std::deque<Batch> batches;  // guarded by lock; oldest first
        std::size_t bytes = 0;      // guarded by lock; of all batches
    };
    // Window thread: the oldest batch (each batch's closure), or every batch.
    static void WriteOldest(State& state);
    static void WriteAll(State& state);

    WindowThread& window_;
    std::shared_ptr<State> state_;
};

}  // namespace corvane
