// The report's way out. Each searched file's report lines wait in a buffer
// of that file's own; a file's lines leave only at its turn, which its owner
// gives once the lines of every file before it in walk order have left, so
// the report comes out in walk order whichever thread searched which file.
// The destination gets whole report lines. The writer's state is private to
// Output.cpp.
#pragma once
#include "engine/report/HitList.h"

// One file's report on its way out: a plain record that its owner keeps (the
// walker's ring, or a test) from OutputBeginFile to OutputEndFile. The thread
// that searches the file writes its lines; the file's turn lets them out.
struct FileOutput {
    BYTE* buffer;  // capacity bytes, the owner's
    DWORD capacity;
    DWORD used;         // bytes waiting in the buffer
    DWORD whole;        // bytes of it up to the end of its last whole line
    ULONGLONG lines;    // report lines written into it
    BOOL atTurn;        // its owner gave it the turn: its lines leave as the buffer fills
    BOOL wroteThrough;  // its buffer ran full: some of its lines left before its end
    BOOL stopped;       // set by its owner when a stop may have cut the file's search
                        // short: the report ends with what the file has
    FileNotes* notes;   // its lines' notes for the results window's list, or NULL (OutputKeepNotes)
};

// Aims the report at handle. No file may be open.
void OutputStart(HANDLE handle);

// Makes file the report of a file, its lines to wait in the capacity bytes
// at buffer until its turn.
void OutputBeginFile(FileOutput* file, BYTE* buffer, DWORD capacity);
// Keeps notes of the file's report lines in notes, its owner's room, and
// lists them as they leave (engine/report/HitList.h); after OutputBeginFile.
void OutputKeepNotes(FileOutput* file, FileNotes* notes);
// Gives the file its turn: every file before it in walk order has left, so
// its lines may go out as its buffer fills. Safe from any thread.
void OutputGiveTurn(FileOutput* file);
// Appends bytes to the file's report. When they would fill the buffer, waits
// for the file's turn and then writes its lines straight through, whole lines
// first; a file whose turn will not come (the report ended) drops them.
void OutputWrite(FileOutput* file, const void* bytes, DWORD length);
// Notes the report line about to be written into the file's report, when it
// keeps notes: where its line starts in the searched file. When the notes are
// full, waits for the file's turn and lets its lines out.
void OutputNoteLine(FileOutput* file, ULONGLONG lineAt);
// Marks the end of a report line in the file's report.
void OutputEndLine(FileOutput* file);
// At the file's turn, once its search is over: writes its lines out. After a
// file that a stop cut short, nothing more is written.
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
// TRUE when the line end of a report line has reached the destination
// since OutputStart.
BOOL OutputFoundAny();
// The report lines whose line end has reached the destination since
// OutputStart; read once the search is over.
ULONGLONG OutputLinesOut();
