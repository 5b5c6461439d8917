// The straightforward byte-by-byte scanner that the fast one must equal.
#pragma once
#include "engine/Report.h"
#include "engine/SearchRequest.h"

// Same contract as ScanBytes.
BOOL ReferenceScanBytes(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request);
