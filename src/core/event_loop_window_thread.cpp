#include "core/event_loop_window_thread.h"

namespace corvane {

bool EventLoopWindowThread::Post(Closure closure) { return loop_.Post(std::move(closure)); }

void EventLoopWindowThread::PumpQueue() { loop_.ProcessMessages(); }

bool EventLoopWindowThread::IsWindowThread() const { return loop_.IsInLoopThread(); }

}  // namespace corvane
