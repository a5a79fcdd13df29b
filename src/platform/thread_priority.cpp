#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace corvane {

bool SetCurrentThreadIdlePriority()
{
    sched_param param{};
    param.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0;
}

void YieldToOtherThreads() { sched_yield(); }

}  // namespace corvane
