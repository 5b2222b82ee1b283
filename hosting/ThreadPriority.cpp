#include "hosting/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace corvina::hosting {

namespace {
struct PriorityRow {
    TThreadPriority priority;
    int nice;
};

constexpr PriorityRow kPriorities[] = {
    {TThreadPriority::tpIdle, 19},          {TThreadPriority::tpLowest, 10},
    {TThreadPriority::tpLower, 5},          {TThreadPriority::tpNormal, 0},
    {TThreadPriority::tpHigher, -5},        {TThreadPriority::tpHighest, -10},
    {TThreadPriority::tpTimeCritical, -20},
};
} // namespace

int NiceValue(TThreadPriority priority) {
    for (const PriorityRow& row : kPriorities)
        if (row.priority == priority)
            return row.nice;
    return 0;
}

pid_t CurrentThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

void ApplyThreadPriority(pid_t threadId, TThreadPriority priority) {
    if (threadId <= 0)
        return;
    // On Linux PRIO_PROCESS with a thread id addresses that one thread.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), NiceValue(priority));
}

} // namespace corvina::hosting
