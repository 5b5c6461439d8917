// The files git keeps beside a repository's work, as the ignore rules need
// them: the ".git" that marks a repository's top, the repository's own
// folder of settings, and the user's excludes file named in the user's git
// configuration.
#pragma once
#include "engine/report/Report.h"

// Room for what finding these files composes and reads; one per walk.
struct GitScratch {
    WCHAR joined[2 * LONG_PATH_CHARS];  // a path put together, before the platform resolves it
    WCHAR path[LONG_PATH_CHARS];        // a file read on the way
    WCHAR common[LONG_PATH_CHARS];      // a worktree's common folder
    WCHAR home[LONG_PATH_CHARS];
    WCHAR configHome[LONG_PATH_CHARS];
    BYTE* bytes;  // the file's bytes: the room the owner lends
    DWORD byteCount;
};

// Reads the file at path whole into buffer (capacity bytes) and sets *got.
// Returns 0 or the system's error code; ERROR_NOT_ENOUGH_MEMORY for a file
// of more than capacity bytes.
DWORD ReadSmallFile(const WCHAR* path, BYTE* buffer, DWORD capacity, DWORD* got);

// TRUE when the folder whose path is the first end units of path (its
// backslash included) holds ".git": the folder of a repository, or the file
// of a worktree or submodule that names its folder. Writes the name behind
// end, where path has room for it, and ends path at end again.
BOOL HoldsRepository(WCHAR* path, int end);

// Writes into exclude (LONG_PATH_CHARS units) the path of the info\exclude
// file of the repository whose top is path, ending at end like
// HoldsRepository's: in its
// ".git" folder, or in the folder a ".git" file names ("gitdir: PATH"), and
// there in the common folder its "commondir" file names, if any. FALSE when
// there is no such path.
BOOL RepositoryExcludeFile(WCHAR* path, int end, WCHAR* exclude, GitScratch* scratch);

// Writes into file (LONG_PATH_CHARS units) the user's excludes file as git
// finds it: core.excludesFile as the user's configuration sets it last
// (%XDG_CONFIG_HOME%\git\config, or without that variable
// %HOME%\.config\git\config, then %HOME%\.gitconfig, HOME being
// %USERPROFILE% where it is not set), "~\" or "~/" in front standing for
// HOME; without one, %XDG_CONFIG_HOME%\git\ignore or
// %HOME%\.config\git\ignore. *relative is TRUE for a path relative to the
// top of each repository, as git takes it. FALSE when there is none.
BOOL UserExcludesFile(WCHAR* file, BOOL* relative, GitScratch* scratch);

// Writes into joined (LONG_PATH_CHARS units) the full path of path, taken
// relative to the folder base (ending in a backslash, in the long form or
// not) unless it is absolute. FALSE when it does not fit.
BOOL JoinGitPath(const WCHAR* base, const WCHAR* path, WCHAR* joined, GitScratch* scratch);
