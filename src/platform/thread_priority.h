// The scheduling class of background work: the indexer runs only when nothing else wants the
// processor, so a walk of a large share never slows the FTP service down.
#pragma once

namespace corvane {

// Puts the calling thread into the host's idle scheduling class (SCHED_IDLE). False when the
// host refuses; the thread then runs on at its normal priority.
bool SetCurrentThreadIdlePriority();

// Lets any other runnable thread go first (the pause between two steps of a background walk).
void YieldToOtherThreads();

}  // namespace corvane
