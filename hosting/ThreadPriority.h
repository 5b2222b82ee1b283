// Thread priorities of the components, applied best-effort as a per-thread nice value.
#pragma once

#include <sys/types.h>

namespace corvina::hosting {

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// The nice value a priority stands for (tpIdle is 19, tpNormal 0).
int NiceValue(TThreadPriority priority);

// The kernel's id of the calling thread.
pid_t CurrentThreadId();

// Sets the nice value of one thread. Raising a priority needs a privilege the process may
// lack; that failure is ignored, the thread then keeps running at its old priority.
void ApplyThreadPriority(pid_t threadId, TThreadPriority priority);

} // namespace corvina::hosting
