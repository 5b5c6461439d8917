// The hits of the running search as the results window lists them: a small
// record for each report line that has left, in report order, one for each
// file with hits, and the files that could not be read. Nothing of a line is
// kept but where it is: the window reads its numbers and text back from the
// report, or the text from the searched file. Only the thread whose turn it is to let report lines out
// (engine/report/Output.cpp) adds to the list; the user-interface thread
// reads it at any time, up to the counts it last read: records never move,
// and a count grows only once its records are written. A run without the
// results window never starts the list, and nothing of it is done.
#pragma once
#include "engine/text/TextForm.h"

// The most hits and files the list holds, the address space it reserves for
// them and for their paths; it commits what it fills. The report holds every
// hit whatever the list holds.
#define HIT_LIST_MOST (1u << 25)
#define HIT_FILES_MOST (1u << 22)
#define HIT_PATH_UNITS_MOST (1u << 28)

// A file's lines noted while they wait to be let out; a file with more waits
// for its turn and lets them out as they come, as its report does when it
// outgrows its buffer. As many as report lines of 32 bytes fill a file's
// 16 KiB of report (walk/ScanRing.h), so that most files wait for neither.
#define FILE_NOTES 512

// A file not listed yet.
#define NO_HIT_FILE 0xFFFFFFFFu

// One listed hit: 24 bytes.
struct HitRecord {
    ULONGLONG reportAt;  // where its report line starts in the report
    ULONGLONG lineAt;    // where its line starts in the searched file, in bytes
    DWORD file;          // its file's number, for ListedFile
};

// One listed file: its paths in the list's own room.
struct HitFile {
    const WCHAR* shownPath;  // as the report lines name it
    const WCHAR* openPath;   // the long form ("\\?\") it was opened by
    TextForm form;           // how its text was read
    int ansiNameBytes;       // bytes of its name in its report lines
};

struct UnreadableFile {
    const WCHAR* shownPath;
    DWORD error;  // the system's error code
};

// A report line noted as it is written, until it has left. Offsets count in
// the file's own report, from its first byte.
struct LineNote {
    ULONGLONG at;   // where the line starts
    ULONGLONG end;  // where it ends, its line end included; 0 while it is written
    ULONGLONG lineAt;
};

// The notes of one file's report lines, beside its output (Output.h): the
// owner of the output keeps the room, the report lines fill it
// (engine/report/Report.cpp), the writer lists them as they leave.
struct FileNotes {
    LineNote notes[FILE_NOTES];
    DWORD used;             // notes waiting, in line order
    ULONGLONG appended;     // bytes written into the file's report
    ULONGLONG letOut;       // bytes of them that have left
    const BYTE* textStart;  // the file's first byte in memory, where its lines are counted from
    TextForm form;
    const WCHAR* shownPath;  // the file's paths, set with its notes; its owner keeps them
    const WCHAR* openPath;   // until its report has left
    int ansiNameBytes;
    DWORD fileNumber;  // NO_HIT_FILE until its first hit is listed
};

// Reserves the list for the searches of a results window; FALSE without
// address space. The run calls it before the first search, and EndHitList
// after the last; no search may run at either time.
BOOL StartHitList();
void EndHitList();
// TRUE between StartHitList and EndHitList: the scanning ring then keeps
// notes for each file.
BOOL HitListOn();
// Empties the list for the next search and gives its memory back; no search
// may run.
void ClearHitList();

// Lists the first count notes, whose lines have left; the file's report
// started at reportStart in the report. Called with the file's turn.
void ListNotedLines(FileNotes* notes, DWORD count, ULONGLONG reportStart);
// Lists a file that could not be read, at its turn.
void ListUnreadableFile(const WCHAR* shownPath, DWORD error);

// The counts, for the user-interface thread; each record below a count it
// read stays as it is.
ULONGLONG ListedHits();
DWORD ListedFiles();
DWORD ListedUnreadableFiles();
// TRUE when a hit, a file or a path did not fit in the list.
BOOL HitListFull();
const HitRecord* ListedHit(ULONGLONG number);
const HitFile* ListedFile(DWORD number);
const UnreadableFile* ListedUnreadableFile(DWORD number);
