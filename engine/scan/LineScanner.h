// The line scanner's core: the passes of one search over bytes in memory.
#pragma once
#include "engine/scan/ScanWorkspace.h"

// Runs every pass of the request over the size bytes at bytes, writing one
// report line per hit to report. With the Unicode files option the bytes are
// first told apart (DetectTextForm), and UTF-8 and UTF-16 text is searched
// as characters; ANSI text is searched as bytes either way, a double-byte
// character as one, and under code page 65001 as UTF-8. Reads no byte
// outside them; the request is left as it is. Reads the stop flag after
// every 4 KiB of text and every line that holds a match; returns FALSE,
// beginning no further pass, when a stop was requested.
BOOL ScanBytes(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request,
               ScanWorkspace* workspace);
