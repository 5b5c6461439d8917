// One report line per hit: "path(line,column) : text" and CR LF, through
// OutputWrite.
#pragma once
#include <windows.h>

// Bytes of a report line's text; longer lines are cut.
#define LINE_TEXT_BYTES 259

// How report lines name the file being searched. The name is converted to the
// ANSI code page at the first hit only, since most files have none.
struct ReportName {
    const WCHAR* shownPath;  // the path as report lines print it
    const WCHAR* openPath;   // the path the file was opened with, for its short name
    BOOL converted;          // FALSE until the first hit has converted the name
};

// Writes one report line: the name, the line number and the column, then at
// most LINE_TEXT_BYTES of text (the line without its terminator).
void ReportHit(ReportName* name, DWORD lineNumber, DWORD column, const BYTE* text, ULONGLONG textLength);
