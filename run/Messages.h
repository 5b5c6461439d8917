// Words to the user outside the dialogs: the usage text, bad input and
// report failures, on standard error or in a message box.
#pragma once
#include "engine/report/Notices.h"

// Where a message goes.
#define TELL_BOX 0      // a message box: a run that started with the dialog
#define TELL_CONSOLE 1  // standard error when the process has one, else a message box
#define TELL_QUIET 2    // standard error when the process has one, else nowhere

// Room for one message: a path, the system's reason and some words.
#define MESSAGE_CHARS 1024

// The standard handle (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) when the process
// has one that leads somewhere (a console, a pipe, a file), else NULL.
HANDLE StandardHandle(DWORD which);
// Shows one message, a line without its line end.
void TellUser(const WCHAR* text, int where);
// Shows a failure: format has a %s for the subject (a path) and one for the
// system's words for error, each bounded (%.300s) to fit MESSAGE_CHARS.
void TellSystemFailure(const WCHAR* format, const WCHAR* subject, DWORD error, int where);
// Shows a failure of a run that started with the dialog, in a message box
// over owner (or none) in the words of text id of the string tables
// (settings/UiText.h): %1 the subject, %2 the system's words for error.
void TellBoxFailure(HWND owner, UINT id, const WCHAR* subject, DWORD error);
