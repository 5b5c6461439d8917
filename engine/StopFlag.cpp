// The stop flag, private to this file.
#include "engine/StopFlag.h"
#include <atomic>

// 0 at start, 1 from the stop on. It carries no data with it, so a relaxed
// read is enough: a thread that reads it a step late only does one step more.
static std::atomic<LONG> StopRequested(0);

BOOL Stopped()
{
    return StopRequested.load(std::memory_order_relaxed) != 0;
}

void RequestStop()
{
    StopRequested.store(1);
}

void ClearStop()
{
    StopRequested.store(0);
}
