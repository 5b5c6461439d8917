// One report line per hit: "path(line,column) : text" and CR LF, into the
// file's own output (engine/report/Output.h).
#pragma once
#include "engine/report/Output.h"
#include "engine/SearchRequest.h"

// Bytes of a report line's text; longer lines are cut.
#define LINE_TEXT_BYTES 259
// UTF-16 units of the text of a Unicode line that a report line can print:
// LINE_TEXT_BYTES characters, each at least one byte, a surrogate pair two
// units.
#define LINE_TEXT_UNITS (2 * LINE_TEXT_BYTES)

// The platform's longest path in UTF-16 units, with the terminator.
#define LONG_PATH_CHARS 32768
// Longest path a report line names: a folder as typed, then the rest of a
// path of the platform's longest.
#define REPORT_PATH_CHARS (PATH_CHARS + LONG_PATH_CHARS)
// Three bytes per UTF-16 unit is the most any ANSI code page needs.
#define ANSI_NAME_BYTES (REPORT_PATH_CHARS * 3)

// Room to spell a file's name for its report lines; each scanning thread has
// its own.
struct ReportNameRoom {
    char ansi[ANSI_NAME_BYTES];  // the name in the ANSI code page
    int ansiLength;
    WCHAR shortPath[LONG_PATH_CHARS];    // the path in short names
    WCHAR printable[REPORT_PATH_CHARS];  // the shown path with short names where needed
};

// The report of the file being searched: how its lines name it. The name is
// converted to the ANSI code page at the first hit only, since most files
// have none.
struct FileReport {
    const WCHAR* shownPath;  // the path as report lines print it
    const WCHAR* openPath;   // the path the file was opened with, for its short name
    ReportNameRoom* room;    // the scanning thread's room for the name
    FileOutput* output;      // where its lines go: the file's own buffer, let out at its turn
    BOOL named;              // FALSE until the first hit has spelled the name into room
};

// Tells the report where the file's bytes start in memory and how its text
// is read: the results window's list notes each line's place from there.
void ReportTextStart(FileReport* report, const BYTE* bytes, TextForm form);

// Writes one report line: the name, the line number and the column, in full,
// then at most LINE_TEXT_BYTES of text (the line without its terminator).
void ReportHit(FileReport* report, ULONGLONG lineNumber, ULONGLONG column, const BYTE* text, ULONGLONG textLength);
// The same for a line of Unicode text that starts at lineStart among the
// file's bytes, given as units of UTF-16 (at most LINE_TEXT_UNITS): the report stays in the ANSI code page, so the text is
// converted to it, each character it cannot hold exactly (a surrogate pair
// is one character) written as its default character, never as a
// look-alike, and cut to at most LINE_TEXT_BYTES without splitting one.
void ReportTextHit(FileReport* report, ULONGLONG lineNumber, ULONGLONG column, const BYTE* lineStart, const WCHAR* text,
                   int units);
