// The ring between the walker and the scanning threads: the walker hands each
// file out in walk order, the threads search the files, each into a report
// buffer of its own, and the walker lets the reports out in walk order.
#pragma once
#include "engine/SearchRequest.h"

// Scanning threads by default: one per logical processor, at most this many.
// Under Wine, whose server serialises every open and close, threads beyond
// the processors only add waiting; each thread may hold a read buffer of up
// to READ_WHOLE_BYTES, so the cap also bounds the memory of a search.
#define SCAN_THREADS_DEFAULT_MAX 8

// Files handed out and not yet written. Enough for the threads to go on past
// a file that takes long (a large file early in the walk) for as long as
// hundreds of small files take, so that they do not wait on it.
#define RING_SLOTS 64
// Report bytes a file keeps while it waits for its turn: a file with more
// waits for its turn and then writes its lines straight through.
#define SLOT_REPORT_BYTES 16384

struct ScanRing;

// The scanning threads of a search that asks for asked (0: the default).
int ScanThreadCount(LONG asked);

// Makes the ring for the request's search and starts its scanning threads
// (as many as the request asks for, or the default). With one thread the
// walker searches each file itself as it hands it out. NULL without memory.
ScanRing* StartScanRing(const SearchRequest* request);

// Hands a file that a directory search found to the scanning threads: its
// paths, the place of its name in openPath and its short name (or "") are
// copied into the ring, for SearchFoundFile. Waits while the ring is full,
// letting out the reports of the files done at its head. Hands out nothing
// once a stop was requested.
void HandOut(ScanRing* ring, const WCHAR* openPath, int nameAt, const WCHAR* shortName, const WCHAR* shownPath);

// What HandOutNotice names.
#define NOTICE_FILE 1    // a file the walk needs but could not read
#define NOTICE_FOLDER 2  // a folder that could not be listed

// Hands the ring a notice of a file or folder that the walk could not read,
// with the system's error code: told at its turn in walk order, as the files
// that cannot be read are (engine/report/Notices.h). shownPath names it.
void HandOutNotice(ScanRing* ring, const WCHAR* shownPath, DWORD error, int notice);

// Waits until every file handed out is searched and its report let out, ends
// the threads and frees the ring. Returns how many files were passed over as
// binary (FILE_SKIPPED_BINARY).
ULONGLONG FinishScanRing(ScanRing* ring);

// Breaks off a report write that a scanning thread of the running search is
// blocked in (a file whose report outgrew its buffer writes its own). Safe
// from any thread.
void BreakOffScanningWrites();
