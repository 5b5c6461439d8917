// Words to the user beside the report, which the walk needs as much as the
// run: text written to a standard handle, the system's words for an error,
// and the line that names a file the search found but could not read.
#pragma once
#include <windows.h>

// Writes text to the handle: as characters to a console, else as bytes in the
// ANSI code page, like the report.
void WriteText(HANDLE handle, const WCHAR* text);
// The system's words for an error code, on one line, into text (capacity units).
void SystemReason(DWORD error, WCHAR* text, int capacity);

// Where the lines about unreadable files and folders go: standard error in a command-line
// run, NULL (nowhere) in a run that started with the dialog, which stays
// silent. Set by the run before the search starts.
void UnreadableFilesTo(HANDLE destination);
// Tells, on a line of its own and never in the report, that the file shown as
// shownPath could not be opened or read, with the system's words for error:
// "Seekline: cannot read PATH: REASON". Called for one file at a time, in
// walk order, so that the lines follow the report's order. Counts the file
// (FILES_UNREADABLE), and lists it for the results window when it lists hits.
void TellUnreadableFile(const WCHAR* shownPath, DWORD error);
// The same for a folder that could not be listed: "Seekline: cannot read
// folder PATH: REASON".
void TellUnreadableFolder(const WCHAR* shownPath, DWORD error);
