// Definitions of the process-wide state.
#include "engine/ProcessState.h"

ReportBuffer OutputBuffer;
std::atomic<LONG> StopRequested(0);
