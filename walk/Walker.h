// The folder walker: searches every file of a folder that matches the
// request's patterns, and its subfolders when asked.
#pragma once
#include "engine/report/Report.h"

// Room for the long form of a path the walker opens: the platform's longest
// and the "\\?\UNC\" in front.
#define OPEN_PATH_CHARS (LONG_PATH_CHARS + 8)

// What a walk tells its run besides the report.
struct WalkOutcome {
    DWORD startError;         // the system's error when the start folder could not be listed
                              // before any file was found in it: nothing was searched
    ULONGLONG foldersUnread;  // folders that could not be listed, each named at its turn
    ULONGLONG binarySkipped;  // files passed over as binary (skipBinary)
};

// Searches folder with the request on the request's scanning threads, each
// file's path published as the current file (walk/CurrentFile.h) as its
// search starts, and each file counted (engine/report/FileCounts.h). The report comes out in walk order, file by file, as each
// file's turn comes; a file it finds but cannot read goes to
// TellUnreadableFile at its turn, a folder it cannot list to
// TellUnreadableFolder. Obeys the stop flag between files, patterns and
// folders. Reaches paths up to the platform's limit of 32,767 units; report
// lines name them below folder as typed. Stays in folder: a link to a folder
// on the descent or to one that holds folder is not entered. Passes over
// the files and folders that the pattern list's exclusions name
// (engine/PatternList.h), and with skipIgnored what git ignores
// (walk/IgnoreRules.h).
WalkOutcome SearchFolder(const WCHAR* folder, const SearchRequest* request);
