// Opening a hit in the user's editor at its line and column. The editor is
// the command line the settings key holds as "Editor", with %path%, %line%
// and %column% in it; without one, the first of these found installed:
//   1. Visual Studio Code: Code.exe --goto "path:line:column"
//   2. Notepad++: notepad++.exe -n<line> -c<column> "path"
//   3. the open command of the file's type, which takes no line;
//   4. Notepad.
// Editors are found where Windows registers programs: the App Paths keys,
// the uninstall entries, and the folders of PATH, never in fixed folders.
#pragma once
#include <windows.h>

// The registry value of the editor's command line.
#define EDITOR_VALUE L"Editor"
// Room for a command line, as CreateProcessW takes one.
#define COMMAND_LINE_CHARS 32768
// Editors Seekline knows how to start at a line.
#define KNOWN_EDITORS 2

// The ready command line (with %path%, %line%, %column%) of known editor n,
// 0 to KNOWN_EDITORS - 1, when it is installed; FALSE when it is not found.
BOOL FindKnownEditor(int n, WCHAR* commandLine, int capacity);

// Opens the file at path in the editor at the line and column (in
// characters). FALSE, with the system's error code, when the editor could
// not be started; commandLine then says what was tried.
BOOL OpenInEditor(const WCHAR* path, ULONGLONG line, ULONGLONG column, WCHAR* commandLine, DWORD* error);

// Opens the folder that holds path in Explorer, the file selected; FALSE,
// with the system's error code, when it cannot.
BOOL OpenContainingFolder(const WCHAR* path, DWORD* error);
