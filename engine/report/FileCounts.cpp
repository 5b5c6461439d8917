// The counts of the running search's files.
#include "engine/report/FileCounts.h"

// Added to by every scanning thread, read by the user-interface thread.
static volatile LONG64 Counts[FILE_COUNTS];

void ClearFileCounts()
{
    for (int n = 0; n < FILE_COUNTS; n++)
        InterlockedExchange64(&Counts[n], 0);
}

void CountFile(FileCount count)
{
    InterlockedIncrement64(&Counts[count]);
}

ULONGLONG FilesCounted(FileCount count)
{
    return (ULONGLONG)InterlockedCompareExchange64(&Counts[count], 0, 0);
}
