// Searching one file for the request's needle.
#pragma once
#include "engine/SearchRequest.h"

// The platform's longest path in UTF-16 units, with the terminator.
#define LONG_PATH_CHARS 32768
// Longest path a report line names: a folder as typed, then the rest of a
// path of the platform's longest.
#define REPORT_PATH_CHARS (PATH_CHARS + LONG_PATH_CHARS)

// Files up to this size are read whole with one ReadFile into one reused
// buffer; larger ones are mapped. Measured under Wine (the benchmark's read
// against map): opening and closing a file cost about 150 us either way;
// mapping adds about as much again for small files, still 25% at 4 MiB,
// breaks even near 16 MiB and wins above it, where the copy no longer fits
// in the cache. So 16 MiB, which also bounds the buffer.
#define READ_WHOLE_BYTES (16u << 20)

// Searches the file at path and writes one report line per hit, naming the
// file by path, through OutputWrite. A file that cannot be opened or read is
// skipped in silence. Borrows the byte behind the needle while it runs and
// puts it back.
void SearchFile(const WCHAR* path, SearchRequest* request);

// The same, for a file opened at openPath (the platform's long form) whose
// report lines name it shownPath (the path as the user gave its folder).
void SearchFileAs(const WCHAR* openPath, const WCHAR* shownPath, SearchRequest* request);

// Frees the buffer that SearchFile reads files into; the walk calls it when
// it is over.
void ReleaseReadBuffer();
