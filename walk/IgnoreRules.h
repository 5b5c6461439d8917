// What git ignores, for the skip-ignored option. The walk tells the rules
// each folder it enters and leaves: they read the folder's .gitignore as it
// enters, drop its rules as it leaves, and tell whether git ignores an entry
// of the folder the walk is in. A folder that holds ".git" is the top of a
// repository, and of its own repository below another one. Outside every
// repository nothing is ignored but ".git".
#pragma once
#include "walk/ScanRing.h"

// Room for the rules of all the folders from the top of the repository down
// to the folder being walked, with the repository's info\exclude and the
// user's excludes file: the files' text and a record per line. A rules file
// that does not fit in what is left is named as one that could not be read
// (not enough memory) and ignores nothing; its folder is walked all the same.
#define IGNORE_RULE_BYTES (8u << 20)

struct IgnoreRules;

// Starts the rules of a walk of the folder whose long form is the first
// folderEnd units of openPath, its backslash included, rootLength of them
// its root, and whose shown path ends at shownEnd in shownPath: finds the
// repository that holds the folder, if any, and reads the rules of its top
// and of every folder down to this one, its info\exclude and the user's
// excludes file (walk/GitFiles.h). The rules files it cannot read it names
// through the ring. The folder itself, and those above it, are walked
// whatever the rules say of them: it is the one the user chose. NULL
// without memory.
IgnoreRules* StartIgnoreRules(const WCHAR* openPath, int folderEnd, int rootLength, const WCHAR* shownPath,
                              int shownEnd, ScanRing* ring);
// Reads the rules of the folder the walk enters at depth (1 for a subfolder
// of the start folder), whose long form ends at folderEnd in openPath and
// shown path at shownEnd in shownPath, each with its backslash.
void EnterIgnoreFolder(IgnoreRules* rules, int depth, const WCHAR* openPath, int folderEnd, const WCHAR* shownPath,
                       int shownEnd);
// Drops the rules of the folder at depth, which the walk leaves.
void LeaveIgnoreFolder(IgnoreRules* rules, int depth);
// TRUE when git ignores the entry called name (a folder when isFolder) of
// the folder at depth, by git's rules (gitignore(5)) with its case folding
// on, as on Windows; always for ".git".
BOOL IsIgnored(IgnoreRules* rules, int depth, const WCHAR* name, BOOL isFolder);
void FinishIgnoreRules(IgnoreRules* rules);
