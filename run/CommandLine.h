// The command line: a search run from a console, a script or an IDE, or the
// settings dialog opened on a folder dropped on the program's icon.
#pragma once
#include "engine/SearchRequest.h"
#include "run/Messages.h"

// Exit codes of a command-line search (a run with the dialog always ends with 0).
#define EXIT_FOUND 0      // at least one hit
#define EXIT_NOT_FOUND 1  // no hit
#define EXIT_ERROR 2      // bad usage, or the report could not be written whole
#define EXIT_CANCELLED 3  // Cancel, Ctrl+C or the console closed

// What the command line asks for.
#define RUN_DIALOG 0            // no arguments: the settings dialog
#define RUN_DIALOG_ON_FOLDER 1  // one existing folder or file dropped on the program: the dialog on that folder
#define RUN_SEARCH 2            // switches and a search text
#define RUN_USAGE 3             // /?
#define RUN_BAD_USAGE 4         // the problem says what is wrong

struct CommandLine {
    int run;                                // one of RUN_...
    WCHAR text[SEARCH_TEXT_CHARS + 1];      // the search text
    WCHAR fileTypes[FILE_TYPES_CHARS + 1];  // /T:, else *.*
    WCHAR folder[FOLDER_CHARS + 1];         // /F:, else the current folder; the
                                            // dropped folder for RUN_DIALOG_ON_FOLDER
    SearchOptions options;                  // the switches of settings/OptionTable.h
    LONG noWindow;                          // /Q: no progress dialog and no message box
    LONG scanThreads;                       // /J:n, else 0: one thread per processor
    WCHAR problem[MESSAGE_CHARS];           // one line for RUN_BAD_USAGE
};

// Reads the process's command line into line. With opensDroppedPaths (the
// program that folders are dropped on) a lone existing folder or file opens
// the dialog on that folder; without (the console program, typed at a
// prompt) it is the search text.
void ReadCommandLine(CommandLine* line, BOOL opensDroppedPaths);
// The usage text, lines ended with CR LF.
extern const WCHAR UsageText[];
