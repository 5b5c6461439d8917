// Scanning a mapped view that may fault.
#pragma once
#include "engine/Report.h"
#include "engine/SearchRequest.h"

// Scans the mapped view like ScanBytes. Reading a view faults when another
// program cuts the file short, or on an in-page error of network or removable
// media; the scan then ends where the readable bytes ended, with the hits
// found so far reported and the needle put back. Worker thread only.
void ScanMappedView(const BYTE* view, ULONGLONG size, ReportName* name, SearchRequest* request);
