// The desktop report file, and the words about a report that could not be
// written whole.
#pragma once
#include <windows.h>

// Creates "Seekline.txt" on the user's desktop afresh and puts its path into
// path (MAX_PATH units); an existing report is replaced only when this
// succeeds. Readable: others may read it while it is written (the results
// window reads its lines back). If it fails, tells the user why (where,
// TELL_...; a message box over owner) and returns INVALID_HANDLE_VALUE: the
// run must not search.
HANDLE CreateReportFile(WCHAR* path, BOOL readable, int where, HWND owner);
// Tells of a report that could not be written whole, with the system's
// reason and whether its last line is cut: the report file at path, or
// standard output for NULL. TRUE if there was one. A reader that closed its
// pipe early (a pager, "head") is normal use, and a write broken off by a
// stop is a cancel.
BOOL TellIncompleteReport(const WCHAR* path, int where, HWND owner);
