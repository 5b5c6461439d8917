// The stop flag: the one process-wide state that the user-interface thread,
// the console's control handler and every thread of a search share.
#pragma once
#include <windows.h>

// TRUE once a stop was requested: Cancel, Ctrl+C, a closed console or a
// report write that failed. Read afresh at every call; the search threads poll
// it between files and after every step of a scan.
BOOL Stopped();
// Requests the stop; it holds until ClearStop. Safe from any thread.
void RequestStop();
// Clears the flag for a new search: the results window's next search, or a
// test's.
void ClearStop();
