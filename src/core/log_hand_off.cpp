#include "core/log_hand_off.h"

namespace corvane {

LogHandOff::LogHandOff(WindowThread& window, Write write)
    : window_(window),
      state_(std::make_shared<State>(std::move(write)))
{}

void LogHandOff::Hand(std::vector<std::string> lines, std::size_t bytes)
{
    if (lines.empty()) return;
    std::size_t waiting = 0;
    {
        std::lock_guard hold(state_->lock);
        state_->batches.push_back(Batch{std::move(lines), bytes});
        waiting = state_->bytes += bytes;
    }
    // Every batch before this one has its closure queued ahead of the wait's: the order holds.
    if (waiting > kBacklogBytes) return WriteArrived();
    std::weak_ptr<State> weak = state_;
    window_.Post([weak] {
        if (const auto state = weak.lock()) WriteOldest(*state);
    });
    // A batch whose closure could not be queued (the window's queue is gone) waits for the
    // owner's WriteArrived.
}

void LogHandOff::WriteArrived()
{
    const std::shared_ptr<State> state = state_;
    window_.RunAndWait([state] { WriteAll(*state); });
}

void LogHandOff::WriteOldest(State& state)
{
    Batch batch;
    {
        std::lock_guard hold(state.lock);
        // Taken already by a WriteArrived that ran first.
        if (state.batches.empty()) return;
        batch = std::move(state.batches.front());
        state.batches.pop_front();
        state.bytes -= batch.bytes;
    }
    state.write(batch.lines);
}

void LogHandOff::WriteAll(State& state)
{
    std::deque<Batch> batches;
    {
        std::lock_guard hold(state.lock);
        batches.swap(state.batches);
        state.bytes = 0;
    }
    for (const Batch& batch : batches) state.write(batch.lines);
}

}  // namespace corvane
