// The report's way out. Each searched file's report lines wait in a buffer
// of that file's own; a file's lines leave only when the lines of every file
// before it in walk order have left, so the report comes out in walk order
// whichever thread searched which file. The destination gets whole report
// lines. The writer's state is private to Output.cpp.
#pragma once
#include <windows.h>

// One file's report on its way out: a plain record that its owner keeps (the
// walker's ring, or a test) from OutputBeginFile to OutputEndFile. The thread
// that searches the file writes its lines; the file's turn lets them out.
struct FileOutput {
    BYTE* buffer;      // capacity bytes, the owner's
    DWORD capacity;
    DWORD used;        // bytes waiting in the buffer
    DWORD whole;       // bytes of it up to the end of its last whole line
    ULONGLONG lines;   // report lines written into it
    ULONGLONG turn;    // its place in walk order
    BOOL atTurn;       // its turn has come (or the report ended): its lines leave as the buffer fills
    BOOL stopped;      // set by its owner when a stop may have cut the file's search
                       // short: the report ends with what the file has
};

// Aims the report at handle and makes the next file begun the first in walk
// order. No file may be open.
void OutputStart(HANDLE handle);

// Makes file the report of the next file in walk order, its lines to wait in
// the capacity bytes at buffer. Called in walk order, by one thread.
void OutputBeginFile(FileOutput* file, BYTE* buffer, DWORD capacity);
// Appends bytes to the file's report. When they would fill the buffer, waits
// for the file's turn and then writes its lines straight through, whole lines
// first; a file whose turn will not come (the report ended) drops them.
void OutputWrite(FileOutput* file, const void* bytes, DWORD length);
// Marks the end of a report line in the file's report.
void OutputEndLine(FileOutput* file);
// Waits for the file's turn, writes its lines out and passes the turn to the
// next file. After a file that a stop cut short, nothing more is written.
void OutputEndFile(FileOutput* file);

// The system's error code of the first report write that failed, or 0. After
// a failed write nothing more is written, the stop is requested, and a report
// file is cut back to its last whole line.
DWORD OutputFailure();
// TRUE when a failed write left the start of a line at the end of a report
// file that the platform would not cut back.
BOOL OutputLastLineCut();
// TRUE when the report went to a pipe whose reader has closed it, as a
// pager or "head" does when it has read enough: normal use, not a failure.
BOOL OutputReaderGone();
// TRUE when a report line has been handed to the destination since
// OutputStart.
BOOL OutputFoundAny();
