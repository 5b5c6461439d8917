// One report line per hit: "path(line,column) : text" and CR LF, through
// OutputWrite.
#pragma once
#include <windows.h>

// Bytes of a report line's text; longer lines are cut.
#define LINE_TEXT_BYTES 259

// How report lines name the file being searched, prepared by SearchFile.
struct ReportName {
    const char* ansi;  // the path in the ANSI code page, terminated
};

// Writes one report line: the name, the line number and the column, then at
// most LINE_TEXT_BYTES of text (the line without its terminator).
void ReportHit(const ReportName* name, DWORD lineNumber, DWORD column, const BYTE* text, ULONGLONG textLength);
