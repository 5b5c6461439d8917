// The line scanner's core: the passes of one search over bytes in memory.
#pragma once
#include "engine/Report.h"
#include "engine/SearchRequest.h"

// Runs every pass of the request over the size bytes at bytes, writing one
// report line per hit with name. Reads no byte outside them. Borrows the
// byte behind the needle while it runs and puts the needle back. Reads
// StopRequested after every 4 KiB of text and every line that holds a match;
// returns FALSE, beginning no further pass, when a stop was requested.
BOOL ScanBytes(const BYTE* bytes, ULONGLONG size, ReportName* name, SearchRequest* request);
